#include "closest.h"

#include <algorithm>
#include <vector>

namespace sim::scenario {
namespace {

std::size_t edit_distance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for(std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for(std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for(std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] =
                std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

} // namespace

std::string_view closest(std::string_view word, std::span<const std::string_view> names) {
    std::string_view best;
    if(word.size() > 40) return best;
    std::size_t best_distance = 3; // a typo: at most two edits
    for(auto name : names) {
        const std::size_t distance = edit_distance(word, name);
        if(distance < best_distance && distance < std::max<std::size_t>(name.size(), 2)) {
            best = name;
            best_distance = distance;
        }
    }
    return best;
}

} // namespace sim::scenario
