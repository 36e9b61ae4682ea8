#pragma once
// What runs as the app on its thread: the host build for API 36.0 or 86.0 (app_api.h), or a
// package (.fap) on the emulated Cortex-M4 (sim/emu), started as the firmware starts it: its
// entry point on the app's thread with the manifest's stack size, on the emulated firmware of the
// session's API. Sessions pick one with AppProgram::pick and nowhere else; api_for picks the API
// a package runs at.

#include <furi.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

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
            if(error->status == "API version mismatch")
                message += "\n  fsim plays the firmware at API " + fap::Firmware::api36().api_text() +
                           " and at " + fap::Firmware::api86().api_text() +
                           " (the package's API picks one; --api 36.0 or 86.0 asks for one)";
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
    /// The API a session runs at. The host build: `requested` (--api), else 36.0. A package:
    /// the firmware its manifest's API major names (an 86.x package runs on the firmware at
    /// 86.0, a 36.x one on 36.1), which `requested`, when given, must be; PackageError when it
    /// is not. A file whose manifest names neither gets `requested` or 36.0, and the loader then
    /// refuses it with the firmware's message.
    static AppApi api_for(std::optional<AppApi> requested, const std::filesystem::path& fap) {
        if(fap.empty()) return requested.value_or(AppApi::V36);
        std::ifstream in(fap, std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto manifest = fap::read_manifest(bytes);
        std::optional<AppApi> built;
        for(const AppApi api : {AppApi::V36, AppApi::V86})
            if(manifest && manifest->api_major() == firmware_for(api).api_major()) built = api;
        if(!built) return requested.value_or(AppApi::V36);
        if(requested && *requested != *built) {
            const auto firmware = [](AppApi api) { return firmware_for(api).api_text(); };
            throw PackageError(
                fap.string() + " is a package for API " + std::to_string(manifest->api_major()) + "." +
                std::to_string(manifest->api_minor()) + ": it runs on the firmware at API " +
                firmware(*built) + ", and --api " + std::string(to_string(*requested)) +
                " asks for the firmware at " + firmware(*requested) +
                ", whose loader refuses it; leave --api out (the package picks its firmware)");
        }
        return *built;
    }

    /// What runs as the app `appid` ("corvane", "pacewick"): the package at `fap` when one is
    /// given, on the emulated firmware at `api` (36.1 for 36.0, or 86.0), else the host build
    /// for `api` on a thread of `stack` bytes (the manifest's). A package whose API the
    /// firmware's loader refuses (another major) gives PackageError; api_for picks the API that
    /// fits the package.
    static AppProgram
        pick(std::string_view appid, AppApi api, const std::filesystem::path& fap, std::uint32_t stack) {
        if(fap.empty()) return host(app_entry(appid, api), stack);
        fap::MachineOptions options;
        options.firmware = firmware_for(api);
        return package(fap, std::move(options));
    }
    /// The emulated firmware a package of `api` runs on: 36.1 for 36.0, 86.0 for 86.0.
    static fap::Firmware firmware_for(AppApi api) {
        return api == AppApi::V86 ? fap::Firmware::api86() : fap::Firmware::api36();
    }
};

} // namespace sim
