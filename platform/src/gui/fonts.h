// Bitmap fonts of the host canvas, read from the X11 "misc" PCF fonts of Debian's xfonts-base.
#pragma once
#include <gui/canvas.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace gui_host {

/// One glyph, trimmed to its ink. Pixel (col, row) sits at (origin_x + left + col,
/// baseline - top + row).
struct Glyph {
    bool present = false;
    int advance = 0;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> ink;  ///< width * height, row-major, 1 = set

    bool pixel(int col, int row) const { return ink[static_cast<std::size_t>(row * width + col)] != 0; }
};

struct FontFace {
    std::string file;      ///< PCF file name, e.g. "clB6x10.pcf.gz"
    int cap_height = 0;    ///< ink height above the baseline of the reference glyph ('A' or '0')
    int ascent = 0;        ///< highest ink above the baseline over letters and digits
    int descent = 0;       ///< lowest ink below the baseline over letters and digits
    int cell_height = 0;   ///< the font's line cell (PCF pixel size)
    CanvasFontParameters params{};
    std::array<Glyph, 256> glyphs{};  ///< indexed by byte value, Latin-1

    const Glyph& glyph(unsigned char c) const { return glyphs[c]; }
};

/// The directory fonts are read from: $FURI_HOST_FONT_DIR, or /usr/share/fonts/X11/misc.
std::string font_directory();

/// Loads all four faces once (thread-safe). On failure prints which file is missing and how to
/// get it, then aborts: the GUI cannot run without its fonts.
const FontFace& font_face(Font font);

/// Loads the faces without aborting; false with a message when a file is missing or unreadable.
bool fonts_load(std::string* error);

/// The PCF file chosen for a font.
const char* font_file_name(Font font);

}  // namespace gui_host
