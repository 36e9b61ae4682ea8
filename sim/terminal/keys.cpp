#include "keys.h"

namespace sim::terminal {
namespace {

constexpr char kEsc = '\x1b';
constexpr std::size_t kMaxSequence = 32;

/// The arrow a CSI or SS3 final byte names, or nothing.
bool arrow(char final_byte, Key& key) {
    switch(final_byte) {
    case 'A':
        key = Key::up;
        return true;
    case 'B':
        key = Key::down;
        return true;
    case 'C':
        key = Key::right;
        return true;
    case 'D':
        key = Key::left;
        return true;
    default:
        return false;
    }
}

/// Shift is bit 0 of (modifier - 1): parameters "1;2", "1;4" (Shift+Alt), "1;6" (Shift+Ctrl).
bool shifted(std::string_view parameters) {
    const auto semicolon = parameters.rfind(';');
    if(semicolon == std::string_view::npos) return false;
    int modifier = 0;
    for(char c : parameters.substr(semicolon + 1)) {
        if(c < '0' || c > '9' || modifier > 100) return false;
        modifier = modifier * 10 + (c - '0');
    }
    return modifier >= 2 && ((modifier - 1) & 1) != 0;
}

enum class Scan {
    incomplete, ///< more bytes needed
    done,       ///< `used` bytes make one sequence (an event when `has_event`)
};

struct Scanned {
    Scan scan = Scan::incomplete;
    std::size_t used = 0;
    bool has_event = false;
    KeyEvent event;
};

/// One escape sequence at the start of `bytes` (which starts with ESC).
Scanned scan_escape(std::string_view bytes) {
    if(bytes.size() < 2) return {};
    const char second = bytes[1];
    if(second == 'O') { // SS3: one final byte
        if(bytes.size() < 3) return {};
        Scanned s{Scan::done, 3, false, {}};
        s.has_event = arrow(bytes[2], s.event.key);
        return s;
    }
    if(second == '[') { // CSI: parameter bytes 0x30-0x3F, intermediates 0x20-0x2F, final 0x40-0x7E
        std::size_t i = 2;
        while(i < bytes.size() && bytes[i] >= 0x30 && bytes[i] <= 0x3F) ++i;
        const std::size_t parameters_end = i;
        while(i < bytes.size() && bytes[i] >= 0x20 && bytes[i] <= 0x2F) ++i;
        if(i >= bytes.size()) {
            // No terminal's key takes this long: a stream of junk is dropped, not kept.
            if(bytes.size() > kMaxSequence) return {Scan::done, bytes.size(), false, {}};
            return {};
        }
        const char final_byte = bytes[i];
        Scanned s{Scan::done, i + 1, false, {}};
        if(final_byte < 0x40 || final_byte > 0x7E) {
            s.used = i; // not a sequence after all: drop what came before the odd byte
            return s;
        }
        s.has_event = arrow(final_byte, s.event.key);
        if(s.has_event) s.event.shift = shifted(bytes.substr(2, parameters_end - 2));
        return s;
    }
    // ESC then something else (Alt+key, or Esc typed just before a key): Esc, then that key.
    return {Scan::done, 1, true, KeyEvent{Key::escape}};
}

} // namespace

std::vector<KeyEvent> KeyDecoder::feed(std::string_view bytes) {
    pending_.append(bytes);
    std::vector<KeyEvent> events;
    std::size_t at = 0;
    while(at < pending_.size()) {
        const char c = pending_[at];
        if(c == kEsc) {
            const Scanned s = scan_escape(std::string_view(pending_).substr(at));
            if(s.scan == Scan::incomplete) break;
            if(s.has_event) events.push_back(s.event);
            at += s.used;
            continue;
        }
        ++at;
        if(c == '\r' || c == '\n') {
            events.push_back({Key::enter});
        } else if(c == 0x7f || c == 0x08) {
            events.push_back({Key::backspace});
        } else if(c == 0x03) {
            events.push_back({Key::interrupt});
        } else if(c >= 0x20 && c < 0x7f) {
            events.push_back({Key::character, c});
        }
        // Other control bytes and non-ASCII bytes are no key of the device's: dropped.
    }
    pending_.erase(0, at);
    return events;
}

std::vector<KeyEvent> KeyDecoder::flush() {
    std::vector<KeyEvent> events;
    if(pending_ == std::string(1, kEsc)) events.push_back({Key::escape});
    pending_.clear();
    return events;
}

std::string key_name(const KeyEvent& event) {
    switch(event.key) {
    case Key::character:
        return std::string("'") + event.ch + "'";
    case Key::up:
        return event.shift ? "Shift+Up" : "Up";
    case Key::down:
        return event.shift ? "Shift+Down" : "Down";
    case Key::left:
        return event.shift ? "Shift+Left" : "Left";
    case Key::right:
        return event.shift ? "Shift+Right" : "Right";
    case Key::enter:
        return "Enter";
    case Key::backspace:
        return "Backspace";
    case Key::escape:
        return "Esc";
    case Key::interrupt:
        return "Ctrl-C";
    }
    return "?";
}

} // namespace sim::terminal
