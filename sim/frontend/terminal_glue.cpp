#include "cli_common.h"
#include "frontend_links.h"

namespace fsim {

void add_terminal_options(CLI::App& app, TerminalSettings& settings) {
    app.add_option("--render", settings.render, "live screen: auto, braille or blocks")
        ->check(CLI::IsMember({"auto", "braille", "blocks"}));
    app.add_option("--screenshots", settings.screenshot_dir, "folder for screenshots taken live (default .)");
}

int run_terminal(sim::AppSession&, const TerminalSettings&) {
    throw RunError("the interactive mode is not supported yet");
}

} // namespace fsim
