// The 86.0 GUI calls whose types changed: the canvas's int32_t positions and size_t sizes, the
// icons' 16-bit sizes, and the dispatcher that always has its queue.
#include <furi.h>
#include <gui/canvas.h>
#include <gui/icon_i.h>
#include <gui/view_dispatcher.h>

#include "api86/seam.h"

using namespace host;

extern "C" {

size_t canvas_width(const Canvas* canvas) {
    return seam::canvas_width(canvas);
}

size_t canvas_height(const Canvas* canvas) {
    return seam::canvas_height(canvas);
}

size_t canvas_current_font_height(const Canvas* canvas) {
    return seam::canvas_current_font_height(canvas);
}

void canvas_draw_str(Canvas* canvas, int32_t x, int32_t y, const char* str) {
    seam::canvas_draw_str(canvas, x, y, str);
}

void canvas_draw_str_aligned(
    Canvas* canvas,
    int32_t x,
    int32_t y,
    Align horizontal,
    Align vertical,
    const char* str) {
    seam::canvas_draw_str_aligned(canvas, x, y, horizontal, vertical, str);
}

size_t canvas_glyph_width(Canvas* canvas, uint16_t symbol) {
    return seam::canvas_glyph_width(canvas, symbol);
}

void canvas_draw_glyph(Canvas* canvas, int32_t x, int32_t y, uint16_t ch) {
    seam::canvas_draw_glyph(canvas, x, y, ch);
}

void canvas_draw_icon(Canvas* canvas, int32_t x, int32_t y, const Icon* icon) {
    seam::canvas_draw_icon_ex(canvas, x, y, icon, IconRotation0);
}

void canvas_draw_icon_ex(
    Canvas* canvas,
    int32_t x,
    int32_t y,
    const Icon* icon,
    IconRotation rotation) {
    seam::canvas_draw_icon_ex(canvas, x, y, icon, rotation);
}

void canvas_draw_xbm(
    Canvas* canvas,
    int32_t x,
    int32_t y,
    size_t width,
    size_t height,
    const uint8_t* bitmap) {
    seam::canvas_draw_xbm(canvas, x, y, width, height, bitmap, "canvas_draw_xbm");
}

void canvas_draw_bitmap(
    Canvas* canvas,
    int32_t x,
    int32_t y,
    size_t width,
    size_t height,
    const uint8_t* compressed_bitmap_data) {
    seam::canvas_draw_xbm(
        canvas, x, y, width, height, compressed_bitmap_data, "canvas_draw_bitmap");
}

void canvas_draw_dot(Canvas* canvas, int32_t x, int32_t y) {
    seam::canvas_draw_dot(canvas, x, y);
}

void canvas_draw_box(Canvas* canvas, int32_t x, int32_t y, size_t width, size_t height) {
    seam::canvas_draw_box(canvas, x, y, width, height);
}

void canvas_draw_frame(Canvas* canvas, int32_t x, int32_t y, size_t width, size_t height) {
    seam::canvas_draw_frame(canvas, x, y, width, height);
}

void canvas_draw_line(Canvas* canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    seam::canvas_draw_line(canvas, x1, y1, x2, y2);
}

void canvas_draw_circle(Canvas* canvas, int32_t x, int32_t y, size_t radius) {
    seam::canvas_draw_circle(canvas, x, y, radius);
}

void canvas_draw_disc(Canvas* canvas, int32_t x, int32_t y, size_t radius) {
    seam::canvas_draw_disc(canvas, x, y, radius);
}

void canvas_draw_triangle(
    Canvas* canvas,
    int32_t x,
    int32_t y,
    size_t base,
    size_t height,
    CanvasDirection dir) {
    seam::canvas_draw_triangle(canvas, x, y, base, height, dir);
}

void canvas_draw_rframe(
    Canvas* canvas,
    int32_t x,
    int32_t y,
    size_t width,
    size_t height,
    size_t radius) {
    seam::canvas_draw_rframe(canvas, x, y, width, height, radius);
}

void canvas_draw_rbox(
    Canvas* canvas,
    int32_t x,
    int32_t y,
    size_t width,
    size_t height,
    size_t radius) {
    seam::canvas_draw_rbox(canvas, x, y, width, height, radius);
}

// The host's icons have the 16-bit sizes under both SDKs (gui/icon_i.h).
uint16_t icon_get_width(const Icon* instance) {
    return instance != nullptr ? instance->width : 0;
}

uint16_t icon_get_height(const Icon* instance) {
    return instance != nullptr ? instance->height : 0;
}

ViewDispatcher* view_dispatcher_alloc(void) {
    return seam::view_dispatcher_alloc_queued();
}

void view_dispatcher_enable_queue(ViewDispatcher* view_dispatcher) {
    furi_check(view_dispatcher);
}

} // extern "C"
