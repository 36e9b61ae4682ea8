#include <unistd.h>

#include <cstdlib>

#include "cli_common.h"
#include "frontend_links.h"
#include "terminal/live.h"
#include "terminal/tty.h"

namespace fsim {

void add_terminal_options(CLI::App& app, TerminalSettings& settings) {
    app.add_option(
           "--render",
           settings.render,
           "live screen: auto (half blocks when the terminal has 130x39, else braille), braille or blocks")
        ->check(CLI::IsMember({"auto", "braille", "blocks"}));
    app.add_option(
           "--screenshots",
           settings.screenshot_dir,
           "folder for screenshots (made if its parent exists; live default out/screenshots)")
        ->check(parent_exists)
        ->type_name("DIR");
    app.add_flag_callback(
        "--no-color",
        [&settings] { settings.colour = false; },
        "live screen in the terminal's own colours, not black on orange (also with NO_COLOR set)");
}

int run_terminal(sim::AppSession& session, const TerminalSettings& settings) {
    if(isatty(STDIN_FILENO) == 0 || isatty(STDOUT_FILENO) == 0)
        throw UsageError("not a terminal: the live mode needs one on stdin and stdout");
    sim::terminal::LiveOptions options;
    options.render = settings.render;
    options.screenshot_dir = settings.screenshot_dir;
    const char* no_color = std::getenv("NO_COLOR");
    options.colour = settings.colour && (no_color == nullptr || *no_color == '\0');
    try {
        return sim::terminal::run_live(session, options, STDIN_FILENO, STDOUT_FILENO);
    } catch(const sim::terminal::TerminalError& e) {
        throw UsageError(e.what());
    }
}

} // namespace fsim
