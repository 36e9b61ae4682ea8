// The dialogs' pictures, drawn as ASCII art ('#' dark, anything else light) and turned into
// icons at compile time: the SD card with a question mark of the storage-error message and the
// file browser's folder, back-arrow and default file icons.
#pragma once
#include <gui/icon_i.h>

#include <array>
#include <cstddef>
#include <cstdint>

namespace dialogs_host {

/// One frame of a W x H icon in the canvas's XBM layout: rows of ceil(W / 8) bytes, leftmost
/// pixel in bit 0. A row of the wrong length does not compile.
template <std::size_t W, std::size_t H>
struct IconArt {
    static constexpr std::size_t kStride = (W + 7) / 8;
    std::array<std::uint8_t, kStride * H> bits{};

    consteval explicit IconArt(const char* const (&rows)[H]) {
        for(std::size_t y = 0; y < H; ++y) {
            std::size_t x = 0;
            for(; rows[y][x] != '\0'; ++x) {
                if(x >= W) row_too_long();
                if(rows[y][x] == '#')
                    bits[y * kStride + x / 8] |= static_cast<std::uint8_t>(1u << (x % 8));
            }
            if(x != W) row_too_short();
        }
    }

private:
    static void row_too_long() {} // not constexpr: calling it stops the compile
    static void row_too_short() {}
};

extern const Icon kIconSdQuestion; // 35 x 43
extern const Icon kIconFolder;     // 10 x 10
extern const Icon kIconBack;       // 10 x 10
extern const Icon kIconFile;       // 10 x 10

} // namespace dialogs_host
