#include "status.h"

#include "host/printable.h"

namespace sim::terminal {

namespace {

/// Dark pixels in a row of the screen.
int dark_in_row(const host::Screen& screen, int y) {
    int dark = 0;
    for(int x = 0; x < host::Screen::kWidth; ++x) dark += screen.pixel(x, y) ? 1 : 0;
    return dark;
}

/// The string sits on a selection bar: the rows just above its letters and just below its
/// baseline are dark across most of the screen, as under a menu's or the file browser's
/// selected row (and not under a bottom button, which is narrow).
bool selected(const host::Screen& screen, const host::DrawnText& text) {
    constexpr int kBar = 100;
    return dark_in_row(screen, text.box.y - 1) >= kBar &&
           dark_in_row(screen, text.baseline + 1) >= kBar;
}

} // namespace

std::vector<std::string> screen_strings(const host::Screen& screen) {
    std::vector<std::string> out;
    for(const auto& text : screen.texts()) {
        // Blank, or the text input's cursor: nothing the screen says.
        if(text.text.find_first_not_of(" \t|") == std::string::npos) continue;
        out.push_back((selected(screen, text) ? "> " : "") + host::printable(text.text));
    }
    return out;
}

std::vector<std::string>
    screen_text_lines(const std::vector<std::string>& strings, int columns, int max_lines) {
    std::vector<std::string> lines;
    std::string line = "screen:";
    bool first = true;
    for(const auto& s : strings) {
        if(s.find_first_not_of(" \t") == std::string::npos) continue;
        const std::string piece = (first ? " " : " | ") + s;
        first = false;
        if(line.size() + piece.size() > static_cast<std::size_t>(columns) && line.size() > 8 &&
           static_cast<int>(lines.size()) + 1 < max_lines) {
            lines.push_back(line);
            line = "       " + s;
            continue;
        }
        line += piece;
    }
    lines.push_back(line);
    return lines;
}

} // namespace sim::terminal
