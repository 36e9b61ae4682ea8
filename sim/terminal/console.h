#pragma once
// The commands typed on the live front-end's ':' prompt, and the single keys that stand for the
// most used of them. They act on the session's virtual hardware (the module's field and faults,
// the walk), type on the on-screen keyboard, save screenshots and quit. Every command answers
// with one line for the status line, and some with a panel of lines shown in place of the
// screen (the help, the list of tags).

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "host/screen.h"
#include "module_console.h"
#include "session/app_session.h"

namespace sim::terminal {

class Console {
public:
    /// Screenshots without a folder in their name go to `screenshot_dir`.
    Console(AppSession& session, std::filesystem::path screenshot_dir);

    /// Runs one command line as typed after ':'.
    Outcome run(std::string_view line);

    /// The keys and commands, one per line.
    static std::vector<std::string> help();

private:
    using Words = std::vector<std::string>;
    Outcome walk(const Words& words);
    Outcome shot(const Words& words);
    Outcome type(const Words& words, bool save);
    /// The virtual module, or null with `why` saying what the command needs.
    Yrm100* module(std::string_view command, std::string& why);

    AppSession& session_;
    std::filesystem::path screenshot_dir_;
};

/// The first "fsim-NNNN.png" in `folder` that does not exist yet.
std::filesystem::path next_screenshot(const std::filesystem::path& folder);

} // namespace sim::terminal
