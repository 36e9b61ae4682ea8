#pragma once
// Command-line parsing shared by fsim's commands: long options with values (`--name value` or
// `--name=value`), flags, and usage errors that name what was wrong.

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace fsim {

/// A mistake on the command line; main prints it with the usage hint and exits with 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A failure while running a command (a file that cannot be read or written); exit code 1.
class RunError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Options {
public:
    /// `name` without dashes. A value option takes the next argument (or `=value`).
    Options& value(std::string name);
    Options& flag(std::string name);

    /// Throws UsageError on an unknown option, a missing value, a repeated option or a stray
    /// argument. `-h` counts as `--help` when a `help` flag is declared.
    void parse(std::span<const std::string_view> args);

    bool has(std::string_view name) const;
    std::optional<std::string> get(std::string_view name) const;
    std::string get_or(std::string_view name, std::string fallback) const;
    /// A number within [min, max]; UsageError names the option when it is not one.
    double number_or(std::string_view name, double fallback, double min, double max) const;
    std::uint64_t integer_or(std::string_view name, std::uint64_t fallback) const;
    /// One of `choices`; UsageError lists them otherwise.
    std::string choice_or(
        std::string_view name,
        std::string fallback,
        std::span<const std::string_view> choices) const;

private:
    std::map<std::string, bool, std::less<>> declared_; // name -> takes a value
    std::map<std::string, std::string, std::less<>> given_;
};

} // namespace fsim
