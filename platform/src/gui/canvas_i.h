// Internals of the host canvas, shared by the GUI service, view ports and host tools.
#pragma once
#include <gui/canvas.h>

#include "host/screen.h"

/// The canvas handed to draw callbacks. The drawing area ("frame") is a rectangle of the screen;
/// coordinates given to canvas_* are relative to it and everything is clipped to it.
struct Canvas {
    host::Screen screen;
    Color color = ColorBlack;
    Font font = FontSecondary;
    bool bitmap_alpha = false;
    CanvasDirection direction = CanvasDirectionLeftToRight;
    int frame_x = 0;
    int frame_y = 0;
    int frame_width = host::Screen::kWidth;
    int frame_height = host::Screen::kHeight;
};

namespace gui_host {

/// Sets the drawing area; clipped to the screen.
void canvas_set_frame(Canvas* canvas, int x, int y, int width, int height);
/// Color black, font secondary, bitmap mode off, whole screen as the frame; pixels are kept.
void canvas_reset_state(Canvas* canvas);

/// Writes a warning to the runtime's log (or stderr when no runtime exists).
void gui_warn(const char* tag, const char* format, ...) __attribute__((format(printf, 2, 3)));

} // namespace gui_host
