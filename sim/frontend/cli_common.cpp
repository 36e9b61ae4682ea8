#include "cli_common.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace fsim {

int run_command(
    CLI::App& app,
    std::span<const std::string_view> args,
    const std::function<int()>& body) {
    const std::string name = app.get_name();
    try {
        // CLI11 takes the arguments last first.
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch(const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return 0;
    } catch(const CLI::ParseError& e) {
        std::fprintf(
            stderr, "%s: %s (%s --help lists the options)\n", name.c_str(), e.what(), name.c_str());
        return 2;
    }
    try {
        return body();
    } catch(const UsageError& e) {
        std::fprintf(stderr, "%s: %s\n", name.c_str(), e.what());
        return 2;
    } catch(const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", name.c_str(), e.what());
        return 1;
    }
}

void add_api_option(CLI::App& app, sim::AppApi& api) {
    app.add_option_function<std::string>(
           "--api",
           [&api](const std::string& value) { api = *sim::parse_app_api(value); },
           "the firmware API the app is built for: 36.0 (default) or 86.0 (release 1.3.x, the "
           "serial API and the expansion service)")
        ->check(CLI::IsMember({"36.0", "86.0"}))
        ->type_name("API");
}

std::string readable_file(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if(error || !std::filesystem::exists(status)) return path + ": no such file";
    if(std::filesystem::is_directory(status)) return path + ": is a folder, not a file";
    if(!std::filesystem::is_regular_file(status)) return path + ": not a regular file";
    std::ifstream in(path, std::ios::binary);
    if(!in) return path + ": cannot be read (" + std::strerror(errno) + ")";
    return {};
}

} // namespace fsim
