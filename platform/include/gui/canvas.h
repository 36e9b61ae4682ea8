/* Canvas: the 128x64 one-bit drawing surface a view port's draw callback receives. */
#pragma once
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

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
uint8_t canvas_width(const Canvas* canvas);
uint8_t canvas_height(const Canvas* canvas);
uint8_t canvas_current_font_height(const Canvas* canvas);
const CanvasFontParameters* canvas_get_font_params(const Canvas* canvas, Font font);

void canvas_clear(Canvas* canvas);
void canvas_set_color(Canvas* canvas, Color color);
void canvas_set_font_direction(Canvas* canvas, CanvasDirection dir);
void canvas_invert_color(Canvas* canvas);
void canvas_set_font(Canvas* canvas, Font font);
void canvas_set_bitmap_mode(Canvas* canvas, bool alpha);

/* Text: (x, y) is the left end of the baseline. */
void canvas_draw_str(Canvas* canvas, uint8_t x, uint8_t y, const char* str);
void canvas_draw_str_aligned(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    Align horizontal,
    Align vertical,
    const char* str);
uint16_t canvas_string_width(Canvas* canvas, const char* str);
uint8_t canvas_glyph_width(Canvas* canvas, char symbol);
void canvas_draw_glyph(Canvas* canvas, uint8_t x, uint8_t y, uint16_t ch);

void canvas_draw_icon(Canvas* canvas, uint8_t x, uint8_t y, const Icon* icon);
void canvas_draw_icon_ex(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    const Icon* icon,
    IconRotation rotation);
/* XBM data: rows of ceil(w / 8) bytes, least significant bit leftmost. */
void canvas_draw_xbm(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    uint8_t w,
    uint8_t h,
    const uint8_t* bitmap);
void canvas_draw_bitmap(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    uint8_t width,
    uint8_t height,
    const uint8_t* compressed_bitmap_data);

void canvas_draw_dot(Canvas* canvas, uint8_t x, uint8_t y);
void canvas_draw_box(Canvas* canvas, uint8_t x, uint8_t y, uint8_t width, uint8_t height);
void canvas_draw_frame(Canvas* canvas, uint8_t x, uint8_t y, uint8_t width, uint8_t height);
void canvas_draw_line(Canvas* canvas, uint8_t x1, uint8_t y1, uint8_t x2, uint8_t y2);
void canvas_draw_circle(Canvas* canvas, uint8_t x, uint8_t y, uint8_t radius);
void canvas_draw_disc(Canvas* canvas, uint8_t x, uint8_t y, uint8_t radius);
void canvas_draw_triangle(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    uint8_t base,
    uint8_t height,
    CanvasDirection dir);
void canvas_draw_rframe(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    uint8_t width,
    uint8_t height,
    uint8_t radius);
void canvas_draw_rbox(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    uint8_t width,
    uint8_t height,
    uint8_t radius);

#ifdef __cplusplus
}
#endif
