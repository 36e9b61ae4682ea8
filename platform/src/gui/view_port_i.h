// Internals of view ports, shared with the GUI service.
#pragma once
#include <gui/gui.h>
#include <gui/view_port.h>

/// Plain data: allocated zero-filled with the runtime's counting allocator.
struct ViewPort {
    Gui* gui;
    bool is_enabled;
    ViewPortDrawCallback draw_callback;
    void* draw_callback_context;
    ViewPortInputCallback input_callback;
    void* input_callback_context;
    uint8_t width;  // 0: the whole width
    uint8_t height; // 0: the whole height
    ViewPortOrientation orientation;
};

namespace gui_host {

/// Asks the GUI to redraw (view_port_update and friends end here). Any context.
void gui_request_redraw(Gui* gui);
/// Draws the view port into the canvas (GUI thread).
void view_port_draw(ViewPort* view_port, Canvas* canvas);
/// Hands an input event to the view port's callback (GUI thread).
void view_port_input(ViewPort* view_port, InputEvent* event);

} // namespace gui_host
