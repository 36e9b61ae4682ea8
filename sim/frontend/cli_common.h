#pragma once
// What fsim's commands share: CLI11 parsing with fsim's exit codes and one-line errors.

#include <CLI/CLI.hpp>

#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "session/app_api.h"

namespace fsim {

/// A mistake in what the user gave: an option, a value, a file to read. Exit code 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A failure while running: a file that cannot be written, a device that went away. Exit code 1.
class RunError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Parses `args` (what follows the command's name) into `app` and runs `body`. --help prints
/// the help and returns 0; a parse error or a UsageError prints "<app name>: <what>" on one
/// line and returns 2; a RunError (or any other exception) prints it and returns 1. An empty
/// value is refused for every option that takes one, and an unknown option that is a likely
/// typo of one gets "did you mean".
int run_command(
    CLI::App& app,
    std::span<const std::string_view> args,
    const std::function<int()>& body);

/// --api 36.0|86.0: which build of the app runs (default 36.0), or with --fap which firmware the
/// package runs on (default: the one its API names; sim::AppProgram::api_for).
void add_api_option(CLI::App& app, std::optional<sim::AppApi>& api);

/// A CLI11 check that a file can be read: it exists, is a regular file and opens.
std::string readable_file(const std::string& path);

/// A CLI11 check of a path the command writes or makes: the folder it goes in must exist (the
/// command makes nothing above it).
std::string parent_exists(const std::string& path);

/// A CLI11 check of a number within [min, max] ("'x' is not a number"); silent in the help,
/// where the option's type name is N and its text gives the range.
CLI::Validator number_in(double min, double max);

} // namespace fsim
