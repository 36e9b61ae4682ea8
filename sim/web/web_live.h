#pragma once
// The web front-end: the app's screen, keys and status on a page in the browser, with the
// virtual hardware's controls beside it (corvane's module, field and SD card; pacewick's walk),
// screenshots and a scenario recorder.
//
// run_web serves the page and runs the session on the session's thread, paced to the wall
// clock: what the pages ask for waits in an inbox until the loop takes it, between short waits
// of virtual time, so the runtime and the devices are only ever touched from that thread. New
// frames go out as the GUI commits them (the frame callback hands them to the sender); the
// status, the field, the card's files, the log and the walk are published after each wait when
// they changed. docs/web.md describes the page and the protocol.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "session/app_session.h"

namespace sim::web {

/// A real module on a serial port in place of the virtual one.
struct RealModule {
    std::string device;
    /// Empty while the line works; what went wrong once it failed.
    std::function<std::string()> problem;
};

struct WebOptions {
    std::string host = "127.0.0.1";
    std::uint16_t port = 0; ///< 0: a free one
    /// fsim's options that a recording's replay needs before --scenario ("--no-tags ...").
    std::string replay_options;
    std::optional<RealModule> real_module;
    /// Called once the page is served, with its address ("http://127.0.0.1:PORT/").
    std::function<void(const std::string& url)> serving;
    /// Polled between waits: true ends the run.
    std::function<bool()> stop;
};

/// Serves the page for the started session until stop() says so; returns 0. ServerError when
/// the address cannot be served.
int run_web(AppSession& session, const WebOptions& options);

} // namespace sim::web
