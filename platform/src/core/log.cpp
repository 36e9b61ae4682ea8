#include <furi.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/fatal.h"
#include "core/scheduler.h"
#include "host/log.h"
#include "host/printable.h"
#include "host/runtime.h"

namespace host {

char log_level_letter(FuriLogLevel level) {
    switch(level) {
    case FuriLogLevelError:
        return 'E';
    case FuriLogLevelWarn:
        return 'W';
    case FuriLogLevelInfo:
        return 'I';
    case FuriLogLevelDebug:
        return 'D';
    case FuriLogLevelTrace:
        return 'T';
    default:
        return '?';
    }
}


std::vector<LogLine> LogCapture::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::vector<LogLine> LogCapture::lines_with_tag(std::string_view tag) const {
    std::lock_guard lock(mutex_);
    std::vector<LogLine> result;
    for(const auto& line : lines_) {
        if(line.tag == tag) result.push_back(line);
    }
    return result;
}

std::vector<std::string> LogCapture::texts(std::string_view tag) const {
    std::vector<std::string> result;
    for(const auto& line : lines_with_tag(tag)) result.push_back(line.text);
    return result;
}

bool LogCapture::contains(std::string_view tag, std::string_view text) const {
    std::lock_guard lock(mutex_);
    for(const auto& line : lines_) {
        if(line.tag == tag && line.text == text) return true;
    }
    return false;
}

std::uint64_t LogCapture::total() const {
    std::lock_guard lock(mutex_);
    return cleared_ + lines_.size();
}

std::vector<LogLine> LogCapture::lines_since(std::uint64_t first) const {
    std::lock_guard lock(mutex_);
    const std::uint64_t skip = first > cleared_ ? first - cleared_ : 0;
    if(skip >= lines_.size()) return {};
    return {lines_.begin() + static_cast<std::ptrdiff_t>(skip), lines_.end()};
}

void LogCapture::clear() {
    std::lock_guard lock(mutex_);
    cleared_ += lines_.size();
    lines_.clear();
}

void LogCapture::set_echo(bool echo) {
    std::lock_guard lock(mutex_);
    echo_ = echo;
}

bool LogCapture::echo() const {
    std::lock_guard lock(mutex_);
    return echo_;
}

void LogCapture::add(LogLine line) {
    std::lock_guard lock(mutex_);
    lines_.push_back(std::move(line));
}

} // namespace host

namespace {

FuriLogLevel current_level = FuriLogLevelInfo;

FuriLogLevel effective(FuriLogLevel level) {
    return level == FuriLogLevelDefault ? FuriLogLevelInfo : level;
}

struct LevelName {
    FuriLogLevel level;
    const char* name;
};
constexpr LevelName kLevelNames[] = {
    {FuriLogLevelDefault, "default"},
    {FuriLogLevelNone, "none"},
    {FuriLogLevelError, "error"},
    {FuriLogLevelWarn, "warn"},
    {FuriLogLevelInfo, "info"},
    {FuriLogLevelDebug, "debug"},
    {FuriLogLevelTrace, "trace"},
};

// The console's copy of a log line, on USART1's TX pin, costing the caller its transmission time.
void to_console(host::Runtime& runtime, const char* line, std::size_t size) {
    if(!runtime.console_enabled() || size == 0) return;
    auto& uart = runtime.uart(FuriHalUartIdUSART1);
    uart.transmit(reinterpret_cast<const std::uint8_t*>(line), size);
    uart.wait_until_sent();
}

void emit(FuriLogLevel level, const char* tag, const char* format, va_list args, bool raw = false) {
    if(host::Scheduler::in_interrupt()) {
        host::fatal(
            "furi_log_print_format called from interrupt context (tag \"%s\")", tag ? tag : "");
    }
    if(level == FuriLogLevelNone || effective(level) > effective(current_level)) return;
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    const std::uint32_t tick = host::Runtime::exists() ? host::Runtime::current().tick() : 0;
    const auto echo = [&] {
        std::fprintf(
            stderr,
            "%8u [%c][%s] %s\n",
            static_cast<unsigned>(tick),
            host::log_level_letter(level),
            host::printable(tag ? tag : "").c_str(),
            host::printable(text).c_str());
    };
    if(!host::Runtime::exists()) {
        echo();
        return;
    }
    auto& runtime = host::Runtime::current();
    auto& capture = runtime.log();
    if(capture.echo()) echo();
    capture.add(host::LogLine{tick, level, tag ? tag : "", text});
    if(raw) {
        to_console(runtime, text, std::strlen(text));
    } else {
        char line[sizeof text + 64];
        const int size = std::snprintf(
            line,
            sizeof line,
            "%u [%c][%s] %s\r\n",
            static_cast<unsigned>(tick),
            host::log_level_letter(level),
            tag ? tag : "",
            text);
        to_console(runtime, line, std::min(static_cast<std::size_t>(size), sizeof line - 1));
    }
}

} // namespace

extern "C" {

void furi_log_print_format(FuriLogLevel level, const char* tag, const char* format, ...) {
    va_list args;
    va_start(args, format);
    emit(level, tag, format, args);
    va_end(args);
}

void furi_log_print_raw_format(FuriLogLevel level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    emit(level, "", format, args, true);
    va_end(args);
}

void furi_log_set_level(FuriLogLevel level) {
    current_level = level;
}

FuriLogLevel furi_log_get_level(void) {
    return current_level;
}

bool furi_log_level_to_string(FuriLogLevel level, const char** str) {
    for(const auto& entry : kLevelNames) {
        if(entry.level == level) {
            *str = entry.name;
            return true;
        }
    }
    return false;
}

bool furi_log_level_from_string(const char* str, FuriLogLevel* level) {
    for(const auto& entry : kLevelNames) {
        if(std::strcmp(entry.name, str) == 0) {
            *level = entry.level;
            return true;
        }
    }
    return false;
}

} // extern "C"

namespace host {
// The runtime resets the level for every run, so one test's level does not leak into the next.
void reset_log_level() {
    current_level = FuriLogLevelInfo;
}
} // namespace host
