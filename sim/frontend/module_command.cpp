#include "cli_common.h"
#include "commands.h"

namespace fsim {

int run_module(std::span<const std::string_view> args) {
    CLI::App app("Serves the virtual YRM100 on a pseudo-terminal.", "fsim module");
    return run_command(app, args, []() -> int { throw RunError("not supported yet"); });
}

} // namespace fsim
