#pragma once
// The regular expression of an `expect-text ... matches:` step (ECMAScript, as std::regex reads
// it), in a file of its own: <regex> costs more to compile than the rest of the steps together,
// so only this file pays it, once per build, and the scenario fuzzer links it as it is.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace sim::scenario {

class TextPattern {
public:
    /// Why `pattern` cannot be a step's pattern ("too large a regular expression (...)" or "not a
    /// regular expression (...)"), or nothing.
    static std::optional<std::string> refusal(const std::string& pattern);

    /// A pattern that refusal() accepts.
    explicit TextPattern(const std::string& pattern);
    ~TextPattern();
    TextPattern(TextPattern&&) noexcept;
    TextPattern& operator=(TextPattern&&) noexcept;

    /// Whether the whole of `text` matches.
    bool matches(const std::string& text) const;

private:
    struct Compiled;
    std::unique_ptr<Compiled> compiled_;
};

} // namespace sim::scenario
