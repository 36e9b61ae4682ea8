#include "closest.h"

#include <algorithm>
#include <vector>

namespace sim::scenario {
namespace {

/// Edits from a to b: a letter inserted, dropped, changed, or two neighbours swapped ("lnog").
std::size_t edit_distance(std::string_view a, std::string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for(std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for(std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for(std::size_t i = 1; i <= a.size(); ++i) {
        for(std::size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min(
                {d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if(i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

std::size_t length_gap(std::string_view a, std::string_view b) {
    return a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
}

} // namespace

std::string_view closest(std::string_view word, std::span<const std::string_view> names) {
    std::string_view best;
    if(word.size() > 40) return best;
    std::size_t best_distance = 3; // a typo: at most two edits
    for(auto name : names) {
        const std::size_t distance = edit_distance(word, name);
        if(distance >= std::max<std::size_t>(name.size(), 2)) continue;
        // Of two as near, the one of the nearer length ("sepd": "speed", not "sd").
        if(distance < best_distance ||
           (distance == best_distance && !best.empty() &&
            length_gap(word, name) < length_gap(word, best))) {
            best = name;
            best_distance = distance;
        }
    }
    return best;
}

} // namespace sim::scenario
