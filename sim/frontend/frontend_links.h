#pragma once
// Where fsim's app commands meet the scenario runner and the terminal front-end.

#include <CLI/CLI.hpp>

#include <filesystem>
#include <string>

#include "session/app_session.h"

namespace fsim {

/// How the interactive front-end draws and where it saves screenshots.
struct TerminalSettings {
    std::string render = "auto"; ///< auto, braille or blocks
    std::filesystem::path screenshot_dir = "out/screenshots";
    bool colour = true; ///< black on orange; --no-color or NO_COLOR in the environment: off
};

/// --render, --screenshots and --no-color.
void add_terminal_options(CLI::App& app, TerminalSettings& settings);

/// Runs the scenario file on the started session and prints each step's outcome. 0 when every
/// check held, 1 naming the failing step and what was seen, 2 for a file that is not a scenario.
/// With `show_screens`, every screen the scenario sees settle is printed as text. Relative
/// `save-to` screenshots go to `screenshot_dir` (empty: the scenario's folder).
int run_scenario_file(
    sim::AppSession& session,
    const std::filesystem::path& file,
    bool show_screens = false,
    const std::filesystem::path& screenshot_dir = {});

/// Runs the session live in this terminal until the app ends or the user quits. Needs a
/// terminal on stdin and stdout (UsageError otherwise).
int run_terminal(sim::AppSession& session, const TerminalSettings& settings);

} // namespace fsim
