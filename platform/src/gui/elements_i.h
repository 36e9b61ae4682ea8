#pragma once
// Text layout shared by the elements and the modules (host code).

#include <gui/canvas.h>

#include <string>
#include <string_view>

namespace gui_elements {

/// The room a line aligned at x has on the canvas: right of x (Left), left of x (Right), or
/// twice the distance to the nearer edge (Center).
int available_width(const Canvas* canvas, int x, Align horizontal);

/// Narrows `text` to `width` pixels in the current font as elements_string_fit_width does: when
/// it is too wide, characters go until the rest fits beside "...", which then follows it.
std::string fit_width(Canvas* canvas, std::string_view text, int width);

} // namespace gui_elements
