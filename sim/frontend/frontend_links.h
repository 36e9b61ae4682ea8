#pragma once
// Where fsim's app commands meet the scenario runner and the terminal front-end.

#include <CLI/CLI.hpp>

#include <filesystem>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "session/app_session.h"
#include "web/web_live.h"

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

/// Where the web page is served: --web [HOST:]PORT.
struct WebSettings {
    std::optional<std::string> address;
};

/// --web.
void add_web_option(CLI::App& app, WebSettings& settings);

/// Serves the started session on a web page until Ctrl-C (SIGINT or SIGTERM): the page's address
/// is the first line on stdout. `replay_options` go into a recording's replay command.
int run_web_page(
    sim::AppSession& session,
    const WebSettings& settings,
    const std::string& replay_options,
    std::optional<sim::web::RealModule> real_module = std::nullopt);

/// The arguments among `args` that a recording's replay needs: the options named in
/// `with_value` with their values, and the `flags`, quoted for a shell.
std::string replay_arguments(
    std::span<const std::string_view> args,
    std::initializer_list<std::string_view> with_value,
    std::initializer_list<std::string_view> flags = {});

} // namespace fsim
