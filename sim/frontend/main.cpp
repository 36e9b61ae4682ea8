// fsim: runs the device apps on the host runtime with virtual hardware.
#include <cstdio>
#include <string_view>
#include <vector>

#include "commands.h"

namespace {

void print_usage(std::FILE* out) {
    std::fprintf(
        out,
        "usage: fsim <command> [options]\n"
        "\n"
        "Runs the device apps on the host runtime, on virtual time, with simulated hardware.\n"
        "\n"
        "commands:\n");
    for(const auto& command : fsim::kCommands) {
        std::fprintf(
            out,
            "  %-10.*s %.*s\n",
            static_cast<int>(command.name.size()),
            command.name.data(),
            static_cast<int>(command.summary.size()),
            command.summary.data());
    }
    std::fprintf(
        out,
        "\n'fsim <command> --help' describes a command's options.\n"
        "Exit codes: 0 done, 1 a failed check or run, 2 a bad option, value or file.\n");
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if(args.empty()) {
        print_usage(stderr);
        return 2;
    }
    if(args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        print_usage(stdout);
        return 0;
    }
    for(const auto& command : fsim::kCommands) {
        if(args[0] == command.name) return command.run(std::span(args).subspan(1));
    }
    std::fprintf(
        stderr,
        "fsim: unknown command '%.*s' (fsim --help lists the commands)\n",
        static_cast<int>(args[0].size()),
        args[0].data());
    return 2;
}
