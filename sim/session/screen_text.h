#pragma once
// The screen as terminal text in a box, for reports on a terminal or in a log.

#include <string>
#include <string_view>

#include "host/screen.h"

namespace sim {

/// Screen::to_text() (two pixel rows a line, half blocks) in a box; every line after `indent`.
inline std::string framed_screen(const host::Screen& screen, std::string_view indent = "") {
    std::string border;
    for(int i = 0; i < host::Screen::kWidth; ++i) border += "\u2500";
    const std::string pad(indent);
    std::string out = pad + "\u250c" + border + "\u2510\n";
    const std::string text = screen.to_text();
    std::size_t start = 0;
    while(start < text.size()) {
        const auto end = text.find('\n', start);
        out += pad + "\u2502" + text.substr(start, end - start) + "\u2502\n";
        if(end == std::string::npos) break;
        start = end + 1;
    }
    return out + pad + "\u2514" + border + "\u2518\n";
}

} // namespace sim
