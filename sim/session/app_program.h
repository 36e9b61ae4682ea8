#pragma once
// What runs as the app on its thread: the host build for API 36.0 or 86.0 (app_api.h), or a
// package (.fap) on the emulated Cortex-M4 (sim/emu), started as the firmware starts it: its
// entry point on the app's thread with the manifest's stack size. Sessions pick one with
// AppProgram::pick and nowhere else.

#include <furi.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "app_api.h"
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
    /// What runs as the app `appid` ("corvane", "pacewick"): the package at `fap` when one is
    /// given, else the host build for `api` on a thread of `stack` bytes (the manifest's). The
    /// emulated firmware is at API 36.x, so a package runs only with the 36.0 services:
    /// PackageError for a package at `api` 86.0, as for one the loader refuses.
    static AppProgram
        pick(std::string_view appid, AppApi api, const std::filesystem::path& fap, std::uint32_t stack) {
        if(fap.empty()) return host(app_entry(appid, api), stack);
        if(api != AppApi::V36) {
            throw PackageError(
                fap.string() + ": packages run on the emulated firmware at API 36.x, not with the "
                               "86.0 services (--api 86.0)");
        }
        return package(fap);
    }
};

} // namespace sim
