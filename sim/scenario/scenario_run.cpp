// Playing a parsed scenario on a session: the loop and what every step's runner shares; each
// step's own playing is in steps.cpp.
#include <chrono>
#include <cstdio>

#include "scenario.h"
#include "host/printable.h"
#include "session/screen_text.h"
#include "steps.h"

namespace sim::scenario {
namespace detail {
namespace {

constexpr std::uint32_t kPollMs = 10;

} // namespace

std::string shown(const host::Screen& screen) {
    std::string out;
    for(std::string text : screen.strings()) {
        for(char& c : text) {
            if(c == '\n') c = ' ';
        }
        if(!out.empty()) out += ", ";
        out += "\"" + host::printable(text, 200) + "\"";
    }
    return out.empty() ? "nothing (a blank screen)" : out;
}

Failure no_module() {
    return std::string("no virtual module (a real one on a serial port, or an app without one)");
}

Failure write_png(const host::Screen& screen, const std::filesystem::path& file) {
    std::error_code ignored;
    if(file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ignored);
    std::string error;
    if(!screen.write_png(file, &error))
        return "cannot write " + file.string() + (error.empty() ? "" : ": " + error);
    return std::nullopt;
}

bool StepRunner::poll(const std::function<bool()>& holds, std::uint32_t timeout_ms) {
    for(std::uint32_t waited = 0;; waited += kPollMs) {
        if(holds()) return true;
        if(waited >= timeout_ms) return false;
        session.wait(kPollMs);
    }
}

std::filesystem::path StepRunner::folder() const {
    const auto parent = scenario.file.parent_path();
    return parent.empty() ? std::filesystem::path(".") : parent;
}

std::filesystem::path StepRunner::screenshot_dir() const {
    return options.screenshot_dir.empty() ? folder() : options.screenshot_dir;
}

std::optional<std::filesystem::path> StepRunner::card_file(const std::string& path) const {
    const auto root = session.sd_root();
    if(root.empty()) return std::nullopt;
    return root / std::string_view(path).substr(5); // after "/ext/", checked when parsed
}

Failure StepRunner::tag(const std::string& id, Yrm100*& module, Yrm100::TagId& tag_id) {
    module = session.virtual_module();
    if(module == nullptr) return no_module();
    const auto it = tags.find(id);
    if(it == tags.end()) return "no tag '" + id + "' entered";
    tag_id = it->second;
    return std::nullopt;
}

} // namespace detail

RunResult run(const Scenario& scenario, AppSession& session, const RunOptions& options) {
    RunResult result;
    const auto wall_start = std::chrono::steady_clock::now();
    const host::Nanos virtual_start = session.runtime().now();
    const auto finish = [&] {
        result.wall_seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
        result.virtual_seconds =
            static_cast<double>(session.runtime().now() - virtual_start) / 1e9;
        return result;
    };
    if(scenario.app && *scenario.app != session.app()) {
        result.ok = false;
        result.message =
            "the scenario is for " + *scenario.app + ", not " + std::string(session.app());
        return finish();
    }
    detail::StepRunner runner(scenario, session, options);
    for(std::size_t i = 0; i < scenario.steps.size(); ++i) {
        const Step& step = scenario.steps[i];
        const std::size_t number = i + 1;
        const detail::StepKind* kind = detail::find_step(step.key);
        detail::Failure failure;
        try {
            failure = kind != nullptr ? kind->run(runner, step.action) :
                                        "no step '" + step.key + "' to play";
        } catch(const std::exception& e) {
            failure = std::string("failed: ") + e.what();
        }
        result.steps_run = number;
        const std::string title = host::printable(
            step.name ? step.summary + " [" + *step.name + "]" : step.summary);
        if(failure) {
            result.ok = false;
            result.failed_step = number;
            result.message = "step " + std::to_string(number) + " " + title + " (line " +
                             std::to_string(step.line) + "): " + *failure;
            std::fprintf(
                options.out,
                "  FAIL %zu %s (line %zu): %s\n",
                number,
                title.c_str(),
                step.line,
                failure->c_str());
            if(options.show_screens)
                std::fputs(framed_screen(session.screen(), "    ").c_str(), options.out);
            return finish();
        }
        std::fprintf(options.out, "  ok   %zu %s\n", number, title.c_str());
        if(options.show_screens && kind->shows_screen)
            std::fputs(framed_screen(session.screen(), "    ").c_str(), options.out);
    }
    return finish();
}

} // namespace sim::scenario
