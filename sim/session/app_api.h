#pragma once
// The firmware API an app was built for: 36.0, the manifests' API and the default, or 86.0
// (release 1.3.x). The host build holds both builds of each app (the 86.0 one linked as a package
// is, only its entry point visible, renamed <entry>_api86); here are a build's entry point and
// the services the API has beyond the other's (86.0's expansion record, which its apps open).
// What runs as the app, a host build or a package on the emulator, is picked in app_program.h.

#include <furi.h>

#include <optional>
#include <string_view>

#include "host/expansion.h"
#include "host/runtime.h"

extern "C" {
int32_t uhf_app_main(void* p);
int32_t uhf_app_main_api86(void* p);
int32_t pacewick_app(void* p);
int32_t pacewick_app_api86(void* p);
}

namespace sim {

enum class AppApi {
    V36, // API 36.0: furi_hal_uart, the console switch
    V86, // API 86.0: the serial API, the expansion service
};

constexpr std::string_view to_string(AppApi api) {
    return api == AppApi::V86 ? "86.0" : "36.0";
}

/// "36.0" or "86.0"; nothing for anything else.
inline std::optional<AppApi> parse_app_api(std::string_view text) {
    if(text == "36.0") return AppApi::V36;
    if(text == "86.0") return AppApi::V86;
    return std::nullopt;
}

/// The entry point of the app `appid` ("corvane", "pacewick") built for `api`.
inline FuriThreadCallback app_entry(std::string_view appid, AppApi api) {
    const bool v86 = api == AppApi::V86;
    if(appid == "pacewick") return v86 ? pacewick_app_api86 : pacewick_app;
    furi_check(appid == "corvane");
    return v86 ? uhf_app_main_api86 : uhf_app_main;
}

/// The services of `api` that the other API lacks. Construct after the runtime, destroy before.
class ApiServices {
public:
    ApiServices(host::Runtime& runtime, AppApi api) {
        if(api == AppApi::V86) expansion_.emplace(runtime);
    }
    /// The expansion record at 86.0; null at 36.0.
    host::ExpansionService* expansion() { return expansion_ ? &*expansion_ : nullptr; }

private:
    std::optional<host::ExpansionService> expansion_;
};

} // namespace sim
