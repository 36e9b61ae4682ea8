#include "cli_common.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "scenario/closest.h"

namespace fsim {

namespace {

/// An option's value that is empty: a mistake for every option fsim has.
std::string not_empty(std::string& value) {
    return value.empty() ? "an empty value" : std::string();
}

/// For an unknown option among `args` that is a likely typo of one of `app`'s, "--x: no such
/// option; did you mean --y?"; empty when there is none.
std::string did_you_mean(const CLI::App& app, std::span<const std::string_view> args) {
    std::vector<std::string> names;
    for(const CLI::Option* option : app.get_options()) {
        for(const auto& name : option->get_lnames()) names.push_back("--" + name);
    }
    const std::vector<std::string_view> known(names.begin(), names.end());
    for(std::string_view arg : args) {
        if(!arg.starts_with("--")) continue;
        const std::string_view name = arg.substr(0, arg.find('='));
        if(std::find(known.begin(), known.end(), name) != known.end()) continue;
        const std::string_view near = sim::scenario::closest(name, known);
        if(!near.empty()) {
            return std::string(name) + ": no such option; did you mean " + std::string(near) +
                   "?";
        }
    }
    return {};
}

/// CLI11's "Could not convert: --seed = abc" as "--seed: 'abc' is not a number".
std::string conversion_message(const CLI::ConversionError& e) {
    const std::string_view what = e.what();
    constexpr std::string_view kPrefix = "Could not convert: ";
    const auto equals = what.find(" = ");
    if(!what.starts_with(kPrefix) || equals == std::string_view::npos) return std::string(what);
    const std::string option(what.substr(kPrefix.size(), equals - kPrefix.size()));
    return option + ": '" + std::string(what.substr(equals + 3)) + "' is not a number";
}

} // namespace

int run_command(
    CLI::App& app,
    std::span<const std::string_view> args,
    const std::function<int()>& body) {
    const std::string name = app.get_name();
    for(CLI::Option* option : app.get_options()) {
        if(option->get_expected_min() > 0) option->transform(CLI::Validator(not_empty, ""));
    }
    const auto usage_error = [&](const std::string& what) {
        std::fprintf(
            stderr,
            "%s: %s (%s --help lists the options)\n",
            name.c_str(),
            what.c_str(),
            name.c_str());
        return 2;
    };
    try {
        // CLI11 takes the arguments last first.
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch(const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return 0;
    } catch(const CLI::ExtrasError& e) {
        const std::string hint = did_you_mean(app, args);
        return usage_error(hint.empty() ? e.what() : hint);
    } catch(const CLI::ConversionError& e) {
        return usage_error(conversion_message(e));
    } catch(const CLI::ExcludesError& e) {
        // CLI11's "--tag excludes --no-tags".
        const std::string what = e.what();
        const auto at = what.find(" excludes ");
        return usage_error(
            at == std::string::npos ?
                what :
                what.substr(0, at) + " and " + what.substr(at + 10) + " do not go together");
    } catch(const CLI::ParseError& e) {
        return usage_error(e.what());
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

void add_api_option(CLI::App& app, std::optional<sim::AppApi>& api) {
    app.add_option_function<std::string>(
           "--api",
           [&api](const std::string& value) { api = *sim::parse_app_api(value); },
           "the firmware API the app is built for: 36.0 (default) or 86.0 (release 1.3.x, the "
           "serial API and the expansion service); with --fap, the package's API is the default")
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

std::string parent_exists(const std::string& path) {
    if(path.empty()) return "an empty value";
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if(folder.empty()) return {}; // the current folder
    std::error_code error;
    if(!std::filesystem::is_directory(folder, error))
        return path + ": there is no folder " + folder.string() + " to put it in";
    return {};
}

CLI::Validator number_in(double min, double max) {
    return CLI::Validator(
        [min, max](std::string& text) -> std::string {
            char* end = nullptr;
            errno = 0;
            const double value = std::strtod(text.c_str(), &end);
            if(text.empty() || end == text.c_str() || *end != '\0' || errno == ERANGE ||
               value != value)
                return "'" + text + "' is not a number";
            if(value < min || value > max) {
                char range[96];
                std::snprintf(range, sizeof range, "%g is outside %g to %g", value, min, max);
                return range;
            }
            return {};
        },
        "");
}

} // namespace fsim
