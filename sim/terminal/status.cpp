#include "status.h"

namespace sim::terminal {

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
