#include "host/printable.h"

#include <cstdio>

namespace host {
namespace {

/// The length of the valid UTF-8 character at the start of `text` that is not a control (U+0080
/// to U+009F), or 0.
std::size_t utf8_printable(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned code = 0;
    if(lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
    } else if(lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
    } else if(lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if(text.size() < length) return 0;
    for(std::size_t i = 1; i < length; ++i) {
        if((byte(i) & 0xC0) != 0x80) return 0;
        code = code << 6 | (byte(i) & 0x3Fu);
    }
    // Overlong forms, surrogates, beyond U+10FFFF and the C1 controls are not shown as they are.
    const unsigned least = length == 2 ? 0xA0 : length == 3 ? 0x800 : 0x10000;
    if(code < least || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
    return length;
}

} // namespace

std::string printable(std::string_view text, std::size_t max) {
    const std::string_view shown = text.substr(0, max);
    std::string out;
    out.reserve(shown.size());
    for(std::size_t i = 0; i < shown.size();) {
        const auto byte = static_cast<unsigned char>(shown[i]);
        if(byte == '\n') {
            out += "\\n";
        } else if(byte == '\t') {
            out += "\\t";
        } else if(byte >= 0x20 && byte < 0x7F) {
            out += shown[i];
        } else if(const std::size_t length = byte >= 0x80 ? utf8_printable(shown.substr(i)) : 0) {
            out += shown.substr(i, length);
            i += length;
            continue;
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            out += escape;
        }
        ++i;
    }
    if(text.size() > shown.size()) out += "...";
    return out;
}

} // namespace host
