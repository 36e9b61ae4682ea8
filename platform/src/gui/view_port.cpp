// View ports: a draw callback and an input callback placed on a GUI layer.
#include "view_port_i.h"

#include <furi.h>

#include <new>

#include "canvas_i.h"
#include "core/fatal.h"
#include "host/memory.h"

extern "C" {

ViewPort* view_port_alloc(void) {
    void* memory = furi_host_malloc(sizeof(ViewPort));
    if(memory == nullptr) host::fatal("out of memory allocating a view port");
    auto* view_port = new(memory) ViewPort{};
    view_port->is_enabled = true;
    view_port->orientation = ViewPortOrientationHorizontal;
    return view_port;
}

void view_port_free(ViewPort* view_port) {
    furi_check(view_port != nullptr);
    // Freeing a view port that is still on a GUI would leave the GUI drawing freed memory.
    furi_check(view_port->gui == nullptr);
    view_port->~ViewPort();
    furi_host_free(view_port);
}

void view_port_set_width(ViewPort* view_port, uint8_t width) {
    furi_check(view_port != nullptr);
    view_port->width = width;
}

uint8_t view_port_get_width(const ViewPort* view_port) {
    furi_check(view_port != nullptr);
    return view_port->width;
}

void view_port_set_height(ViewPort* view_port, uint8_t height) {
    furi_check(view_port != nullptr);
    view_port->height = height;
}

uint8_t view_port_get_height(const ViewPort* view_port) {
    furi_check(view_port != nullptr);
    return view_port->height;
}

void view_port_enabled_set(ViewPort* view_port, bool enabled) {
    furi_check(view_port != nullptr);
    if(view_port->is_enabled != enabled) {
        view_port->is_enabled = enabled;
        if(view_port->gui != nullptr) gui_host::gui_request_redraw(view_port->gui);
    }
}

bool view_port_is_enabled(const ViewPort* view_port) {
    furi_check(view_port != nullptr);
    return view_port->is_enabled;
}

void view_port_draw_callback_set(ViewPort* view_port, ViewPortDrawCallback callback, void* context) {
    furi_check(view_port != nullptr);
    view_port->draw_callback = callback;
    view_port->draw_callback_context = context;
}

void view_port_input_callback_set(
    ViewPort* view_port,
    ViewPortInputCallback callback,
    void* context) {
    furi_check(view_port != nullptr);
    view_port->input_callback = callback;
    view_port->input_callback_context = context;
}

void view_port_update(ViewPort* view_port) {
    furi_check(view_port != nullptr);
    if(view_port->gui != nullptr && view_port->is_enabled)
        gui_host::gui_request_redraw(view_port->gui);
}

void view_port_set_orientation(ViewPort* view_port, ViewPortOrientation orientation) {
    furi_check(view_port != nullptr);
    // Kept for the API; the host draws every view port in the horizontal orientation.
    if(static_cast<unsigned>(orientation) < ViewPortOrientationMAX)
        view_port->orientation = orientation;
}

ViewPortOrientation view_port_get_orientation(const ViewPort* view_port) {
    furi_check(view_port != nullptr);
    return view_port->orientation;
}

} // extern "C"

namespace gui_host {

void view_port_draw(ViewPort* view_port, Canvas* canvas) {
    canvas_reset_state(canvas);
    const int width = view_port->width != 0 ? view_port->width : host::Screen::kWidth;
    const int height = view_port->height != 0 ? view_port->height : host::Screen::kHeight;
    canvas_set_frame(canvas, 0, 0, width, height);
    if(view_port->draw_callback != nullptr)
        view_port->draw_callback(canvas, view_port->draw_callback_context);
}

void view_port_input(ViewPort* view_port, InputEvent* event) {
    if(view_port->input_callback != nullptr)
        view_port->input_callback(event, view_port->input_callback_context);
}

} // namespace gui_host
