#pragma once
// Brings the terminal from the lines it shows to the next lines with as little output as it
// takes: the cursor moves to each line that changed, which is rewritten and cleared to its end;
// nothing is cleared as a whole (no flicker) except on the first paint and after invalidate().
// Lines must fit the terminal's width (autowrap is off while the front-end runs).

#include <string>
#include <vector>

namespace sim::terminal {

class Painter {
public:
    /// The escape sequences and text that turn what the terminal shows into `lines`; empty when
    /// nothing changed.
    std::string paint(const std::vector<std::string>& lines);
    /// The terminal's content is unknown (resized, or written over): the next paint clears and
    /// draws every line.
    void invalidate() { valid_ = false; }

private:
    std::vector<std::string> shown_;
    bool valid_ = false;
};

/// `text` cut to `columns` characters (UTF-8 code points; escape sequences take none).
std::string fit(const std::string& text, int columns);

} // namespace sim::terminal
