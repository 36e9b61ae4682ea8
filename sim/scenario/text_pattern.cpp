#include "text_pattern.h"

#include <algorithm>
#include <cctype>
#include <regex>
#include <vector>

namespace sim::scenario {
namespace {

/// The most copies of one atom a pattern may compile to, and the largest repeat count.
constexpr std::size_t kMaxPatternStates = 10000;
constexpr std::size_t kMaxRepeat = 999;

/// Why std::regex must not compile `pattern`, or nothing. libstdc++ compiles `x{m,n}` into n
/// copies of x, so nested repeats multiply (`((a{99}){99}){99}` is a million states), and it
/// reads a repeat count into a long without checking for overflow (undefined behaviour). This
/// walks the pattern as ECMAScript does, sizing each group and multiplying it by its repeat, so
/// such patterns are refused with a reason before they are compiled.
std::optional<std::string> pattern_too_big(std::string_view pattern) {
    std::vector<std::size_t> groups{0}; // the size so far of each open group, outermost first
    std::size_t last = 0; // the size of the atom or group a repeat would apply to
    const auto add = [&](std::size_t size) {
        groups.back() = std::min(groups.back() + size, kMaxPatternStates + 1);
        last = size;
    };
    for(std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if(c == '\\') {
            ++i;
            add(1);
        } else if(c == '[') {
            i += i + 1 < pattern.size() && pattern[i + 1] == '^' ? 2 : 1;
            while(i < pattern.size() && pattern[i] != ']') i += pattern[i] == '\\' ? 2 : 1;
            add(1);
        } else if(c == '(') {
            groups.push_back(0);
            last = 0;
        } else if(c == ')' && groups.size() > 1) {
            const std::size_t size = groups.back();
            groups.pop_back();
            add(size);
        } else if(c == '{') {
            std::size_t j = i + 1;
            std::size_t most = 0;
            bool digits = false;
            while(j < pattern.size() && (std::isdigit(static_cast<unsigned char>(pattern[j])) ||
                                         pattern[j] == ',')) {
                if(pattern[j] == ',') {
                    most += 1; // {m,} compiles to m + 1 copies
                } else {
                    digits = true;
                    std::size_t count = 0;
                    std::size_t length = 0;
                    while(j < pattern.size() &&
                          std::isdigit(static_cast<unsigned char>(pattern[j]))) {
                        if(++length > 3) {
                            return "a repeat count above " + std::to_string(kMaxRepeat);
                        }
                        count = count * 10 + static_cast<std::size_t>(pattern[j] - '0');
                        ++j;
                    }
                    most = std::max(most, count);
                    continue;
                }
                ++j;
            }
            if(!digits || j >= pattern.size() || pattern[j] != '}') {
                add(1); // not a repeat; std::regex says what it is
            } else {
                const std::size_t grown = last * most;
                groups.back() = std::min(groups.back() - last + grown, kMaxPatternStates + 1);
                last = grown;
                i = j;
            }
        } else {
            add(1);
        }
        if(groups.back() > kMaxPatternStates) {
            return "repeats that compile to more than " + std::to_string(kMaxPatternStates) +
                   " states";
        }
    }
    return std::nullopt;
}

} // namespace

struct TextPattern::Compiled {
    std::regex regex;
};

std::optional<std::string> TextPattern::refusal(const std::string& pattern) {
    if(const auto why = pattern_too_big(pattern))
        return "too large a regular expression (" + *why + ")";
    try {
        std::regex check(pattern);
        (void)check;
    } catch(const std::regex_error& error) {
        return "not a regular expression (" + std::string(error.what()) + ")";
    }
    return std::nullopt;
}

TextPattern::TextPattern(const std::string& pattern)
    : compiled_(std::make_unique<Compiled>(Compiled{std::regex(pattern)})) {}
TextPattern::~TextPattern() = default;
TextPattern::TextPattern(TextPattern&&) noexcept = default;
TextPattern& TextPattern::operator=(TextPattern&&) noexcept = default;

bool TextPattern::matches(const std::string& text) const {
    return std::regex_match(text, compiled_->regex);
}

} // namespace sim::scenario
