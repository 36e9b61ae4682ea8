#pragma once
// fsim's commands: each takes the arguments after its name and returns the exit code. A command
// throws UsageError for a command-line mistake and RunError for a failure while running.

#include <span>
#include <string_view>

namespace fsim {

struct Command {
    std::string_view name;
    std::string_view summary;
    int (*run)(std::span<const std::string_view> args);
};

/// Runs pacewick headless with a simulated walk and shows its final screen.
int run_pacewick(std::span<const std::string_view> args);

inline constexpr Command kCommands[] = {
    {"pacewick", "run the step counter headless on a simulated walk", run_pacewick},
};

} // namespace fsim
