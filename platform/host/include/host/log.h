#pragma once
#include <furi.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace host {

struct LogLine {
    std::uint32_t tick; ///< virtual milliseconds
    FuriLogLevel level;
    std::string tag;
    std::string text;
};

/// The level's letter in a log line: E, W, I, D, T ('?' for any other value).
char log_level_letter(FuriLogLevel level);

/// Every line that passes the log level is kept here (and echoed to stderr unless silenced).
class LogCapture {
public:
    std::vector<LogLine> lines() const;
    std::vector<LogLine> lines_with_tag(std::string_view tag) const;
    /// Texts of the lines under a tag, in order.
    std::vector<std::string> texts(std::string_view tag) const;
    bool contains(std::string_view tag, std::string_view text) const;
    /// Lines added since the run began (cleared ones included), and the lines from number
    /// `first` on that are still kept: what a viewer that has seen `first` lines is missing.
    std::uint64_t total() const;
    std::vector<LogLine> lines_since(std::uint64_t first) const;
    void clear();
    void set_echo(bool echo);
    bool echo() const;

    void add(LogLine line); // used by the runtime

private:
    mutable std::mutex mutex_;
    std::vector<LogLine> lines_;
    std::uint64_t cleared_ = 0; ///< lines dropped by clear()
    bool echo_ = true;
};

} // namespace host
