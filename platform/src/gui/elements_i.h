#pragma once
// Text layout shared by the elements and the modules (host code).

#include <gui/canvas.h>

#include <string>
#include <string_view>
#include <vector>

namespace gui_elements {

/// Splits `text` at '\n' and wraps each line to `max_width` pixels in the canvas's current font:
/// at the last space that fits, or between characters when a word alone is too wide.
std::vector<std::string> wrap_lines(Canvas* canvas, std::string_view text, int max_width);

/// The width available to a line aligned at x on the screen.
int available_width(const Canvas* canvas, int x, Align horizontal);

/// Narrows `text` to `width` pixels in the current font, ending it in "..." when it was cut.
std::string fit_width(Canvas* canvas, std::string_view text, int width);

}  // namespace gui_elements
