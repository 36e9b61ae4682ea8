#include "cli.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace fsim {

Options& Options::value(std::string name) {
    declared_[std::move(name)] = true;
    return *this;
}

Options& Options::flag(std::string name) {
    declared_[std::move(name)] = false;
    return *this;
}

void Options::parse(std::span<const std::string_view> args) {
    for(std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if(arg == "-h" && declared_.contains("help")) arg = "--help";
        if(!arg.starts_with("--") || arg.size() == 2) {
            throw UsageError("unexpected argument '" + std::string(arg) + "'");
        }
        std::string_view name = arg.substr(2);
        std::optional<std::string_view> inline_value;
        if(const auto eq = name.find('='); eq != std::string_view::npos) {
            inline_value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        const auto it = declared_.find(name);
        if(it == declared_.end()) throw UsageError("unknown option '--" + std::string(name) + "'");
        if(given_.contains(name))
            throw UsageError("option '--" + std::string(name) + "' given twice");

        std::string value;
        if(it->second) {
            if(inline_value) {
                value = *inline_value;
            } else if(i + 1 < args.size()) {
                value = args[++i];
            } else {
                throw UsageError("option '--" + std::string(name) + "' needs a value");
            }
        } else if(inline_value) {
            throw UsageError("option '--" + std::string(name) + "' takes no value");
        }
        given_.emplace(std::string(name), std::move(value));
    }
}

bool Options::has(std::string_view name) const {
    return given_.contains(name);
}

std::optional<std::string> Options::get(std::string_view name) const {
    const auto it = given_.find(name);
    if(it == given_.end()) return std::nullopt;
    return it->second;
}

std::string Options::get_or(std::string_view name, std::string fallback) const {
    return get(name).value_or(std::move(fallback));
}

double Options::number_or(std::string_view name, double fallback, double min, double max) const {
    const auto text = get(name);
    if(!text) return fallback;
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
    if(text->empty() || ec != std::errc{} || end != text->data() + text->size() ||
       !std::isfinite(value)) {
        throw UsageError("--" + std::string(name) + " wants a number, not '" + *text + "'");
    }
    if(value < min || value > max) {
        char range[64];
        std::snprintf(range, sizeof range, "%g and %g", min, max);
        throw UsageError("--" + std::string(name) + " must be between " + range);
    }
    return value;
}

std::uint64_t Options::integer_or(std::string_view name, std::uint64_t fallback) const {
    const auto text = get(name);
    if(!text) return fallback;
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
    if(text->empty() || ec != std::errc{} || end != text->data() + text->size()) {
        throw UsageError("--" + std::string(name) + " wants a whole number, not '" + *text + "'");
    }
    return value;
}

std::string Options::choice_or(
    std::string_view name,
    std::string fallback,
    std::span<const std::string_view> choices) const {
    const auto text = get(name);
    if(!text) return fallback;
    std::string list;
    for(const auto choice : choices) {
        if(choice == *text) return *text;
        if(!list.empty()) list += ", ";
        list += choice;
    }
    throw UsageError(
        "--" + std::string(name) + " must be one of " + list + ", not '" + *text + "'");
}

} // namespace fsim
