#pragma once
// Counts in messages: "1 step", "2 steps".

#include <cstddef>
#include <string>
#include <string_view>

namespace sim {

/// `n` and the noun, in the plural unless n is 1 ("1 tag", "0 tags", "12 bytes").
inline std::string count_of(std::size_t n, std::string_view noun) {
    return std::to_string(n) + " " + std::string(noun) + (n == 1 ? "" : "s");
}

} // namespace sim
