#pragma once
// The commands that act on a virtual YRM100: tags into and out of its field, a tag's new EPC,
// the module unplugged, a spoiled reply, refused writes. The live front-end's ':' prompt and
// `fsim module --pty`'s standard input share them.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "devices/yrm100.h"
#include "host/runtime.h"

namespace sim::terminal {

struct Outcome {
    Outcome() = default;
    /// Just a message.
    Outcome(std::string text)
        : message(std::move(text)) {}

    std::string message;            ///< for the status line
    std::vector<std::string> panel; ///< shown in place of the screen until the next key
    bool quit = false;
};

class ModuleConsole {
public:
    using Words = std::vector<std::string>;

    /// `prefix` goes before a command's name in messages and help (":" on the live prompt).
    ModuleConsole(Yrm100& module, host::Runtime& runtime, std::string_view prefix = "")
        : module_(module)
        , runtime_(runtime)
        , prefix_(prefix) {}

    /// Whether `command` is one of these (tag, tags, unplug, plug, fault, refuse-write).
    static bool handles(std::string_view command);
    /// Runs the command line split into words (words[0] one that handles() takes).
    Outcome run(const Words& words);
    /// The commands, one per line, each name after `prefix`.
    static std::vector<std::string> help(std::string_view prefix = "");

private:
    Outcome tag(const Words& words);
    Outcome plug(bool plugged);
    Outcome fault(const Words& words);
    Outcome refuse_write(const Words& words);

    Yrm100& module_;
    host::Runtime& runtime_;
    std::string prefix_;
};

/// The words of a command line, split at white space.
std::vector<std::string> split_words(std::string_view line);

} // namespace sim::terminal
