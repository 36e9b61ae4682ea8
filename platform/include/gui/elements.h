/* Drawing helpers shared by the GUI modules: buttons, scroll bar, multi-line and boxed text. */
#pragma once
#include <stdbool.h>
#include <stdint.h>

#include <furi/core/string.h>

#include "canvas.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Marker inside a text box's text that switches bold (FontPrimary) on and off. */
#define ELEMENTS_BOLD_MARKER '#'

/* Bottom buttons with their arrow marks: left arrow, OK circle, right arrow. */
void elements_button_left(Canvas* canvas, const char* str);
void elements_button_right(Canvas* canvas, const char* str);
void elements_button_center(Canvas* canvas, const char* str);

/* A vertical scroll bar at the right edge for item `pos` of `total`. */
void elements_scrollbar(Canvas* canvas, uint16_t pos, uint16_t total);
/* The same along the left of x, from y down `height` pixels. */
void elements_scrollbar_pos(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    uint8_t height,
    uint16_t pos,
    uint16_t total);

void elements_frame(Canvas* canvas, uint8_t x, uint8_t y, uint8_t width, uint8_t height);
void elements_slightly_rounded_box(Canvas* canvas, uint8_t x, uint8_t y, uint8_t width, uint8_t height);
void elements_slightly_rounded_frame(Canvas* canvas, uint8_t x, uint8_t y, uint8_t width, uint8_t height);
void elements_bold_rounded_frame(Canvas* canvas, uint8_t x, uint8_t y, uint8_t width, uint8_t height);
void elements_progress_bar(Canvas* canvas, uint8_t x, uint8_t y, uint8_t width, float progress);

/* Lines separated by '\n' in the current font, top line's baseline at y; lines too wide for the
 * screen wrap at a space where possible. */
void elements_multiline_text(Canvas* canvas, uint8_t x, uint8_t y, const char* text);
/* The same, the whole block aligned at (x, y). */
void elements_multiline_text_aligned(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    Align horizontal,
    Align vertical,
    const char* text);
void elements_multiline_text_framed(Canvas* canvas, uint8_t x, uint8_t y, const char* text);

/* Cuts `string` so that it fits `width` pixels in the current font, ending it in "...". */
void elements_string_fit_width(Canvas* canvas, FuriString* string, uint8_t width);

/* Word-wrapped text in the box (x, y, width, height), FontSecondary, with ESC '#' switching bold
 * (FontPrimary) on and off. Lines that do not fit are dropped; with strip_to_dots the last line
 * shown ends in "..." when text was dropped. */
void elements_text_box(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    uint8_t width,
    uint8_t height,
    Align horizontal,
    Align vertical,
    const char* text,
    bool strip_to_dots);

#ifdef __cplusplus
}
#endif
