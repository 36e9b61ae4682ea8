#pragma once
// fsim's commands. Each parses the arguments after its name with CLI11 and returns the exit code:
// 0 done (every check held), 1 a failure while running (a check that did not hold, a file that
// cannot be written), 2 a mistake in what it was given (an option, a value, a file it reads).

#include <span>
#include <string_view>

namespace fsim {

struct Command {
    std::string_view name;
    std::string_view summary;
    int (*run)(std::span<const std::string_view> args);
};

int run_corvane(std::span<const std::string_view> args);
int run_pacewick(std::span<const std::string_view> args);
int run_module(std::span<const std::string_view> args);

inline constexpr Command kCommands[] = {
    {"corvane", "the UHF RFID reader app: interactive, or a scenario file", run_corvane},
    {"pacewick", "the step counter: a simulated walk, interactive, or a scenario", run_pacewick},
    {"module", "serve the virtual YRM100 module on a pseudo-terminal", run_module},
};

} // namespace fsim
