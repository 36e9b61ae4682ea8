#pragma once
// The 128x64 screen as terminal text: Unicode braille (2x4 pixels a character, 64x16, fits an
// 80x24 terminal) or half blocks (1x2 pixels a character, 128x32), framed. With colour the
// pixels are black on the device's orange (256-colour escapes); without, they are the
// terminal's foreground on its background.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/screen.h"

namespace sim::terminal {

enum class RenderMode {
    braille,
    blocks,
};

struct Size {
    int columns = 80;
    int rows = 24;
    bool operator==(const Size&) const = default;
};

/// Terminal columns and rows the framed picture takes.
Size picture_size(RenderMode mode);

/// Status lines under the picture when the terminal has the rows for all of them.
inline constexpr int kStatusRows = 5;

/// "auto", "braille" or "blocks" for a terminal of `size`: auto takes half blocks when the
/// framed picture and every status line fit, braille otherwise. Nothing for another setting.
std::optional<RenderMode> choose_render(std::string_view setting, Size size);

/// The screen's pixels as lines of text, without a frame: 16 lines of 64 braille characters, or
/// 32 lines of 128 of " ▀▄█".
std::vector<std::string> render_pixels(const host::Screen& screen, RenderMode mode);

/// The picture in a frame: the lines of render_pixels between box-drawing borders, the top
/// border carrying `title`. With `colour`, each line's pixels are wrapped in the colour escapes
/// (and a reset), so each line stands alone.
std::vector<std::string>
    render_framed(const host::Screen& screen, RenderMode mode, bool colour, std::string_view title);

} // namespace sim::terminal
