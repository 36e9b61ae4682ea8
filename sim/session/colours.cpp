#include "colours.h"

#include <cstdio>

namespace sim {

std::string colour_names() {
    std::string out;
    for(const auto& colour : kNamedColours) {
        if(!out.empty()) out += ", ";
        out += colour.name;
    }
    return out;
}

std::optional<host::Rgb> colour_from_name(std::string_view name) {
    for(const auto& colour : kNamedColours) {
        if(colour.name == name) return colour.rgb;
    }
    if(name.size() != 7 || name[0] != '#') return std::nullopt;
    unsigned value[3] = {};
    for(int i = 0; i < 3; ++i) {
        for(int d = 0; d < 2; ++d) {
            const char c = name[static_cast<std::size_t>(1 + 2 * i + d)];
            unsigned digit = 0;
            if(c >= '0' && c <= '9') {
                digit = static_cast<unsigned>(c - '0');
            } else if(c >= 'a' && c <= 'f') {
                digit = static_cast<unsigned>(c - 'a' + 10);
            } else if(c >= 'A' && c <= 'F') {
                digit = static_cast<unsigned>(c - 'A' + 10);
            } else {
                return std::nullopt;
            }
            value[i] = value[i] * 16 + digit;
        }
    }
    return host::Rgb{
        static_cast<std::uint8_t>(value[0]),
        static_cast<std::uint8_t>(value[1]),
        static_cast<std::uint8_t>(value[2])};
}

std::string colour_hex(host::Rgb c) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "#%02X%02X%02X", c.r, c.g, c.b);
    return hex;
}

std::string colour_name(host::Rgb c) {
    for(const auto& colour : kNamedColours) {
        if(colour.rgb == c) return std::string(colour.name);
    }
    if(c.r >= 192 && c.g >= 64 && c.g < 192 && c.b < 64) return "orange " + colour_hex(c);
    return colour_hex(c);
}

std::string led_state(const host::NotificationState& state) {
    if(state.blinking) {
        std::string text = "blinking " + colour_name(state.blink_color);
        if(!state.led.off()) text += " over " + colour_name(state.led);
        return text;
    }
    if(state.led.off()) return "off";
    return colour_name(state.led) + " (steady)";
}

} // namespace sim
