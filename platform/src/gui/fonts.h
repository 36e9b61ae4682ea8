// The canvas's four bitmap fonts: the device's faces, with the device's metrics.
#pragma once
#include <gui/canvas.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gui_host {

/// One glyph, trimmed to its ink. Pixel (col, row) sits at (origin_x + left + col,
/// baseline - top + row). A glyph that is not `present` does not exist in the font: it draws
/// nothing and takes no width (the device's fonts hold only ASCII).
struct Glyph {
    bool present = false;
    int advance = 0;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> ink; ///< width * height, row-major, 1 = set

    bool pixel(int col, int row) const {
        return ink[static_cast<std::size_t>(row * width + col)] != 0;
    }
};

struct FontFace {
    std::string file;    ///< file name, e.g. "helvB08.pcf.gz"
    std::string path;    ///< where it was read from
    int line_height = 0; ///< line pitch, canvas_current_font_height
    int ascent = 0;      ///< what vertical alignment adds (Top: all, Center: half)
    int ink_ascent = 0;  ///< highest ink above the baseline over letters and digits
    int ink_descent = 0; ///< lowest ink below the baseline over letters and digits
    CanvasFontParameters params{};
    std::array<Glyph, 256> glyphs{}; ///< indexed by byte value; only ASCII is present

    const Glyph& glyph(unsigned char c) const { return glyphs[c]; }

    /// The device's string width: the sum of the advances, except that the last glyph counts its
    /// ink box (width plus x offset) instead of its advance when it has ink. Bytes the font does
    /// not hold count nothing.
    int text_width(std::string_view text) const;
};

/// Where a font's file is read from: $FURI_HOST_FONT_DIR when set (all four files), else the
/// project's font folder, or the system's X11 100 dpi folder for FontPrimary.
std::string font_path(Font font);

/// Loads all four faces once (thread-safe). On failure prints which file is missing and how to
/// get it, then aborts: the GUI cannot run without its fonts.
const FontFace& font_face(Font font);

/// Loads the faces without aborting; false with a message when a file is missing or unreadable.
bool fonts_load(std::string* error);

/// The file chosen for a font.
const char* font_file_name(Font font);

} // namespace gui_host
