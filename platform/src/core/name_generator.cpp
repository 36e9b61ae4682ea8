// Random default names ("Brave_otter": only the first letter upper case, as the device writes them) for files the user is about to save. Drawn from the
// runtime's seeded generator, so a run with the same seed proposes the same names.

#include <furi/core/check.h>
#include <toolbox/name_generator.h>

#include <array>
#include <cstring>
#include <string_view>

#include "host/random.h"

namespace {

// Every "Adjective_noun" pair fits in 21 characters, the usual 22-byte name buffer.
constexpr std::array<std::string_view, 24> kAdjectives{
    "Amber", "Bold",  "Brave",  "Bright", "Calm",  "Clever", "Cosmic", "Dusty",
    "Eager", "Fuzzy", "Gentle", "Happy",  "Jolly", "Lucky",  "Mellow", "Nimble",
    "Quiet", "Rapid", "Shiny",  "Silent", "Sunny", "Swift",  "Tiny",   "Witty",
};
constexpr std::array<std::string_view, 24> kNouns{
    "badger", "beacon",  "comet",  "dolphin", "falcon", "fern",   "fox",    "gecko",
    "harbor", "lantern", "maple",  "meadow",  "otter",  "panda",  "pebble", "pixel",
    "raven",  "river",   "rocket", "spark",   "tiger",  "walrus", "willow", "zephyr",
};

constexpr std::size_t longest(const auto& words) {
    std::size_t n = 0;
    for(const auto word : words) n = word.size() > n ? word.size() : n;
    return n;
}
static_assert(longest(kAdjectives) + 1 + longest(kNouns) <= 21);

template <std::size_t N>
std::string_view pick(const std::array<std::string_view, N>& words) {
    return words[host::random::below(static_cast<std::uint32_t>(N))];
}

} // namespace

extern "C" {

void name_generator_make_random(char* name, size_t max_name_size) {
    if(max_name_size == 0) return;
    furi_check(name != nullptr);

    const std::string_view adjective = pick(kAdjectives);
    const std::string_view noun = pick(kNouns);
    std::array<char, 32> full{};
    std::memcpy(full.data(), adjective.data(), adjective.size());
    full[adjective.size()] = '_';
    std::memcpy(full.data() + adjective.size() + 1, noun.data(), noun.size());
    std::size_t length = adjective.size() + 1 + noun.size();

    // Cut to fit; a cut that ends on the separator drops it too.
    if(length > max_name_size - 1u) length = max_name_size - 1u;
    if(length > 0 && full[length - 1] == '_') --length;
    std::memcpy(name, full.data(), length);
    name[length] = '\0';
}

} // extern "C"
