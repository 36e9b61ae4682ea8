#pragma once
// Keys from the bytes a terminal in raw mode sends. Arrows come as CSI (ESC [ A) or SS3
// (ESC O A) sequences, with Shift as the modifier parameter 2 (ESC [ 1 ; 2 A); Esc alone is the
// same byte that starts a sequence, so a pending ESC is the Esc key only once the input has
// paused (flush()). Sequences may arrive split across reads.

#include <string>
#include <string_view>
#include <vector>

namespace sim::terminal {

enum class Key {
    character, ///< a printable ASCII character, in `ch`
    up,
    down,
    left,
    right,
    enter,
    backspace,
    escape,
    interrupt, ///< Ctrl-C
};

struct KeyEvent {
    Key key = Key::character;
    char ch = 0;        ///< for Key::character
    bool shift = false; ///< an arrow with Shift held
    bool operator==(const KeyEvent&) const = default;
};

class KeyDecoder {
public:
    /// The keys completed by `bytes`; an unfinished sequence waits for the next feed or flush.
    std::vector<KeyEvent> feed(std::string_view bytes);
    /// The input paused: a lone ESC is the Esc key; an unfinished sequence is dropped.
    std::vector<KeyEvent> flush();
    /// Bytes of an unfinished sequence are waiting.
    bool pending() const { return !pending_.empty(); }

private:
    std::string pending_;
};

/// A readable name for a key, for messages ("Up", "Shift+Left", "'x'").
std::string key_name(const KeyEvent& event);

} // namespace sim::terminal
