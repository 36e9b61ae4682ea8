#pragma once
// What runs as the app on its thread: the host build's entry point, or a package (.fap) on the
// emulated Cortex-M4 (sim/emu), started as the firmware starts it: its entry point on the app's
// thread with the manifest's stack size. Sessions pick one here and nowhere else.

#include <furi.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "emu/machine.h"

namespace sim {

/// The firmware's loader refused the package; what() is its message ("Preload failed, <path>:
/// API version mismatch").
class PackageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct AppProgram {
    std::uint32_t stack = 0;
    FuriThreadCallback entry = nullptr;
    void* context = nullptr;
    /// The emulator, when a package runs.
    std::shared_ptr<fap::Machine> machine;

    static AppProgram host(FuriThreadCallback entry, std::uint32_t stack) {
        return AppProgram{stack, entry, nullptr, nullptr};
    }
    /// Loads the package at `path`; PackageError when the firmware would refuse it.
    static AppProgram package(const std::filesystem::path& path, fap::MachineOptions options = {}) {
        auto machine = std::make_shared<fap::Machine>(std::move(options));
        if(auto error = machine->load(path)) {
            std::string message = error->message(path.string());
            for(const auto& detail : error->details) message += "\n  " + detail;
            throw PackageError(message);
        }
        AppProgram p;
        p.stack = machine->fap().manifest.stack_size;
        if(p.stack == 0)
            throw PackageError("Preload failed, " + path.string() +
                               ": the manifest's stack size is 0, which marks a plugin, not an app");
        p.entry = &fap::Machine::run_entry;
        p.context = machine->entry_context();
        p.machine = std::move(machine);
        return p;
    }
};

} // namespace sim
