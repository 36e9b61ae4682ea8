#pragma once
// The LED's colours by name, for everything that reads or writes one: scenario files
// (expect-led), their failure messages and the live status line.

#include <optional>
#include <string>
#include <string_view>

#include "host/notification.h"

namespace sim {

struct NamedColour {
    std::string_view name;
    host::Rgb rgb;
};

/// Off and the seven full colours the LED mixes from its red, green and blue.
inline constexpr NamedColour kNamedColours[] = {
    {"off", {0, 0, 0}},
    {"red", {255, 0, 0}},
    {"green", {0, 255, 0}},
    {"blue", {0, 0, 255}},
    {"cyan", {0, 255, 255}},
    {"magenta", {255, 0, 255}},
    {"yellow", {255, 255, 0}},
    {"white", {255, 255, 255}},
};

/// "off, red, green, blue, cyan, magenta, yellow, white".
std::string colour_names();

/// A name of kNamedColours or "#RRGGBB"; nothing for anything else.
std::optional<host::Rgb> colour_from_name(std::string_view name);

/// The colour's name; another colour as "#RRGGBB", with "orange " in front of an orange one.
std::string colour_name(host::Rgb colour);
/// "#RRGGBB", upper-case.
std::string colour_hex(host::Rgb colour);

/// What the LED does, for a sentence: "off", "green (steady)", "blinking cyan", "blinking cyan
/// over red".
std::string led_state(const host::NotificationState& state);

} // namespace sim
