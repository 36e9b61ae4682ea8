/* Canvas: the 128x64 one-bit drawing surface a view port's draw callback receives. At 86.0
 * positions are int32_t and sizes size_t: what lies off the canvas is clipped. */
#pragma once
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#include <furi/core/common_defines.h>
#include <gui/icon.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    ColorWhite = 0x00,
    ColorBlack = 0x01,
    ColorXOR = 0x02,
} Color;

typedef enum {
    FontPrimary = 0,
    FontSecondary = 1,
    FontKeyboard = 2,
    FontBigNumbers = 3,
    FontTotalNumber,
} Font;

typedef enum {
    AlignLeft = 0,
    AlignRight = 1,
    AlignTop = 2,
    AlignBottom = 3,
    AlignCenter = 4,
} Align;

typedef enum {
    CanvasOrientationHorizontal = 0,
    CanvasOrientationHorizontalFlip,
    CanvasOrientationVertical,
    CanvasOrientationVerticalFlip,
} CanvasOrientation;

typedef enum {
    CanvasDirectionLeftToRight = 0,
    CanvasDirectionTopToBottom,
    CanvasDirectionRightToLeft,
    CanvasDirectionBottomToTop,
} CanvasDirection;

typedef enum {
    IconRotation0 = 0,
    IconRotation90,
    IconRotation180,
    IconRotation270,
} IconRotation;

/* Line spacing hints for a font. */
typedef struct {
    uint8_t leading_default;
    uint8_t leading_min;
    uint8_t height;
    uint8_t descender;
} CanvasFontParameters;

typedef struct Canvas Canvas;

void canvas_reset(Canvas* canvas);
void canvas_commit(Canvas* canvas);
size_t canvas_width(const Canvas* canvas) FURI_HOST_API86(canvas_width);
size_t canvas_height(const Canvas* canvas) FURI_HOST_API86(canvas_height);
size_t canvas_current_font_height(const Canvas* canvas)
    FURI_HOST_API86(canvas_current_font_height);
const CanvasFontParameters* canvas_get_font_params(const Canvas* canvas, Font font);

void canvas_clear(Canvas* canvas);
void canvas_set_color(Canvas* canvas, Color color);
void canvas_set_font_direction(Canvas* canvas, CanvasDirection dir);
void canvas_invert_color(Canvas* canvas);
void canvas_set_font(Canvas* canvas, Font font);
void canvas_set_bitmap_mode(Canvas* canvas, bool alpha);

/* Text: (x, y) is the left end of the baseline. */
void canvas_draw_str(Canvas* canvas, int32_t x, int32_t y, const char* str)
    FURI_HOST_API86(canvas_draw_str);
void canvas_draw_str_aligned(
    Canvas* canvas,
    int32_t x,
    int32_t y,
    Align horizontal,
    Align vertical,
    const char* str) FURI_HOST_API86(canvas_draw_str_aligned);
uint16_t canvas_string_width(Canvas* canvas, const char* str);
size_t canvas_glyph_width(Canvas* canvas, uint16_t symbol) FURI_HOST_API86(canvas_glyph_width);
void canvas_draw_glyph(Canvas* canvas, int32_t x, int32_t y, uint16_t ch)
    FURI_HOST_API86(canvas_draw_glyph);

void canvas_draw_icon(Canvas* canvas, int32_t x, int32_t y, const Icon* icon)
    FURI_HOST_API86(canvas_draw_icon);
void canvas_draw_icon_ex(
    Canvas* canvas,
    int32_t x,
    int32_t y,
    const Icon* icon,
    IconRotation rotation) FURI_HOST_API86(canvas_draw_icon_ex);
/* XBM data: rows of ceil(width / 8) bytes, least significant bit leftmost. */
void canvas_draw_xbm(
    Canvas* canvas,
    int32_t x,
    int32_t y,
    size_t width,
    size_t height,
    const uint8_t* bitmap) FURI_HOST_API86(canvas_draw_xbm);
void canvas_draw_bitmap(
    Canvas* canvas,
    int32_t x,
    int32_t y,
    size_t width,
    size_t height,
    const uint8_t* compressed_bitmap_data) FURI_HOST_API86(canvas_draw_bitmap);

void canvas_draw_dot(Canvas* canvas, int32_t x, int32_t y) FURI_HOST_API86(canvas_draw_dot);
void canvas_draw_box(Canvas* canvas, int32_t x, int32_t y, size_t width, size_t height)
    FURI_HOST_API86(canvas_draw_box);
void canvas_draw_frame(Canvas* canvas, int32_t x, int32_t y, size_t width, size_t height)
    FURI_HOST_API86(canvas_draw_frame);
void canvas_draw_line(Canvas* canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
    FURI_HOST_API86(canvas_draw_line);
void canvas_draw_circle(Canvas* canvas, int32_t x, int32_t y, size_t radius)
    FURI_HOST_API86(canvas_draw_circle);
void canvas_draw_disc(Canvas* canvas, int32_t x, int32_t y, size_t radius)
    FURI_HOST_API86(canvas_draw_disc);
void canvas_draw_triangle(
    Canvas* canvas,
    int32_t x,
    int32_t y,
    size_t base,
    size_t height,
    CanvasDirection dir) FURI_HOST_API86(canvas_draw_triangle);
void canvas_draw_rframe(
    Canvas* canvas,
    int32_t x,
    int32_t y,
    size_t width,
    size_t height,
    size_t radius) FURI_HOST_API86(canvas_draw_rframe);
void canvas_draw_rbox(
    Canvas* canvas,
    int32_t x,
    int32_t y,
    size_t width,
    size_t height,
    size_t radius) FURI_HOST_API86(canvas_draw_rbox);

#ifdef __cplusplus
}
#endif
