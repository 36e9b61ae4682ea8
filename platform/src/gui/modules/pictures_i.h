#pragma once
// The modules' own pictures: one-bit pixel art at the sizes and places the device's modules use
// (text input keys, the validator's warning, the loading hourglass).

#include <gui/icon_i.h>

#include <array>
#include <cstddef>
#include <cstdint>

namespace gui_modules {

/// A picture written as rows of '#' (dark) and '.' (light), packed at compile time into the XBM
/// rows an Icon frame holds (ceil(W / 8) bytes a row, least significant bit leftmost).
template <std::size_t W, std::size_t H>
struct Picture {
    static constexpr std::size_t kStride = (W + 7) / 8;
    std::array<uint8_t, kStride * H> bits{};
};

// Not constexpr on purpose: a row of the wrong length reaches it and stops the compilation.
void picture_row_has_the_wrong_length();

template <std::size_t W, std::size_t H>
constexpr Picture<W, H> pack_picture(const char* const (&rows)[H]) {
    Picture<W, H> picture;
    for(std::size_t y = 0; y < H; ++y) {
        std::size_t x = 0;
        for(; rows[y][x] != '\0'; ++x) {
            if(x >= W) picture_row_has_the_wrong_length();
            if(rows[y][x] == '#') {
                picture.bits[y * Picture<W, H>::kStride + x / 8] |=
                    static_cast<uint8_t>(1U << (x % 8));
            }
        }
        if(x != W) picture_row_has_the_wrong_length();
    }
    return picture;
}

namespace pictures {

extern const Icon key_backspace_16x9;
extern const Icon key_backspace_selected_16x9;
extern const Icon key_save_24x11;
extern const Icon key_save_selected_24x11;
/// The validator's refusal box.
extern const Icon warning_45x42;
/// The loading view: 7 frames at 5 frames a second.
extern const Icon hourglass_24x24;

} // namespace pictures
} // namespace gui_modules
