#pragma once
// "Did you mean": the closest of some names to a word that is likely a typo of it. Scenario keys
// and fsim's options share it.

#include <initializer_list>
#include <span>
#include <string_view>

namespace sim::scenario {

/// The closest of `names` to `word` when it is a likely typo of it (at most two edits, a swap of
/// neighbours counting as one, and fewer than the name's length), else empty.
std::string_view closest(std::string_view word, std::span<const std::string_view> names);
inline std::string_view
    closest(std::string_view word, std::initializer_list<std::string_view> names) {
    return closest(word, std::span<const std::string_view>(names.begin(), names.size()));
}

} // namespace sim::scenario
