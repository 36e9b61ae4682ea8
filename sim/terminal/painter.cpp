#include "painter.h"

#include <algorithm>

namespace sim::terminal {
namespace {

void move_to_line(std::string& out, std::size_t index) {
    out += "\x1b[";
    out += std::to_string(index + 1);
    out += ";1H";
}

} // namespace

std::string Painter::paint(const std::vector<std::string>& lines) {
    std::string out;
    if(!valid_) {
        out += "\x1b[H\x1b[2J";
        shown_.clear();
        valid_ = true;
    }
    for(std::size_t i = 0; i < lines.size(); ++i) {
        if(i < shown_.size() && shown_[i] == lines[i]) continue;
        move_to_line(out, i);
        out += lines[i];
        out += "\x1b[K";
    }
    for(std::size_t i = lines.size(); i < shown_.size(); ++i) {
        if(shown_[i].empty()) continue;
        move_to_line(out, i);
        out += "\x1b[K";
    }
    shown_ = lines;
    return out;
}

std::string fit(const std::string& text, int columns) {
    std::string out;
    int used = 0;
    for(std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if(c == 0x1b) { // an escape sequence: copied whole, no column
            std::size_t end = i + 1;
            if(end < text.size() && text[end] == '[') {
                ++end;
                while(end < text.size() && !(text[end] >= 0x40 && text[end] <= 0x7E)) ++end;
            }
            end = std::min(end + 1, text.size());
            out.append(text, i, end - i);
            i = end;
            continue;
        }
        std::size_t length = 1;
        if(c >= 0xF0) {
            length = 4;
        } else if(c >= 0xE0) {
            length = 3;
        } else if(c >= 0xC0) {
            length = 2;
        }
        length = std::min(length, text.size() - i);
        if(used < columns) { // past the width only escapes are kept (a colour's reset)
            if(c < 0x20) {
                out += ' '; // a control character would move the cursor
            } else {
                out.append(text, i, length);
            }
            ++used;
        }
        i += length;
    }
    return out;
}

} // namespace sim::terminal
