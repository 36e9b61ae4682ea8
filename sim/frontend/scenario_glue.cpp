// fsim's --scenario: parse the file, play it on the started session, print the outcome.
#include <cstdio>

#include "cli_common.h"
#include "frontend_links.h"
#include "host/printable.h"
#include "session/wording.h"
#include "scenario/scenario.h"

namespace fsim {

int run_scenario_file(
    sim::AppSession& session,
    const std::filesystem::path& file,
    bool show_screens,
    const std::filesystem::path& screenshot_dir) {
    const std::string app(session.app());
    sim::scenario::Scenario scenario;
    try {
        scenario = sim::scenario::parse_file(file);
    } catch(const sim::scenario::ParseError& e) {
        std::fprintf(stderr, "fsim %s: %s\n", app.c_str(), e.what());
        return 2;
    }
    if(scenario.app && *scenario.app != app) {
        std::fprintf(
            stderr,
            "fsim %s: %s: the scenario is for %s (app: %s); run it with fsim %s\n",
            app.c_str(),
            file.c_str(),
            scenario.app->c_str(),
            scenario.app->c_str(),
            scenario.app->c_str());
        return 2;
    }
    std::printf(
        "scenario '%s' (%s)\n", host::printable(scenario.name).c_str(), file.c_str());
    sim::scenario::RunOptions options;
    options.show_screens = show_screens;
    options.screenshot_dir = screenshot_dir;
    const auto result = sim::scenario::run(scenario, session, options);
    if(result.ok) {
        std::printf(
            "scenario '%s': %s, all checks held, %.1f s virtual in %.2f s wall\n",
            host::printable(scenario.name).c_str(),
            sim::count_of(scenario.steps.size(), "step").c_str(),
            result.virtual_seconds,
            result.wall_seconds);
        return 0;
    }
    std::printf(
        "scenario '%s': FAILED at %s (%zu of %s run, %.1f s virtual in %.2f s wall)\n",
        host::printable(scenario.name).c_str(),
        result.message.c_str(),
        result.steps_run,
        sim::count_of(scenario.steps.size(), "step").c_str(),
        result.virtual_seconds,
        result.wall_seconds);
    return 1;
}

} // namespace fsim
