#pragma once
// When a pixel of a PNG is ink: a set bit of an icon, a dark pixel of a screenshot. The apps'
// images (icongen) and the golden screenshots (Screen::read_png) are read by this one rule.

#include <cstdint>

namespace host {

/// Opaque (alpha at least half) and darker than half (luminance by ITU-R BT.601 weights).
constexpr bool png_ink(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t alpha) {
    const int luminance = (r * 299 + g * 587 + b * 114) / 1000;
    return alpha >= 128 && luminance < 128;
}

} // namespace host
