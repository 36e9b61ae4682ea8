/* Drawing helpers shared by the GUI modules: buttons, scroll bar, multi-line and boxed text. */
#pragma once
#include <stdbool.h>
#include <stdint.h>

#include <furi/core/string.h>

#include <gui/canvas.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The text box: at most this many lines, and the markers that switch bold (FontPrimary),
 * monospace (FontKeyboard) and inverse (white on black) on and off. */
#define ELEMENTS_MAX_LINES_NUM (7)
#define ELEMENTS_BOLD_MARKER '#'
#define ELEMENTS_MONO_MARKER '*'
#define ELEMENTS_INVERSED_MARKER '!'

/* Bottom buttons, 12 px high, with their marks: left arrow, OK ring, right arrow. */
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
void elements_slightly_rounded_box(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    uint8_t width,
    uint8_t height);
void elements_slightly_rounded_frame(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    uint8_t width,
    uint8_t height);
void elements_bold_rounded_frame(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    uint8_t width,
    uint8_t height);
void elements_progress_bar(Canvas* canvas, uint8_t x, uint8_t y, uint8_t width, float progress);

/* Lines separated by '\n' in the current font, the first baseline at y, one font height apart;
 * never wrapped. */
void elements_multiline_text(Canvas* canvas, uint8_t x, uint8_t y, const char* text);
/* Lines separated by '\n', the whole block aligned at (x, y). A line wider than the room beside
 * x is cut (inside a word) and goes on below: the cut line ends in "-", or in "..." when the next
 * line would fall below the canvas. */
void elements_multiline_text_aligned(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    Align horizontal,
    Align vertical,
    const char* text);
void elements_multiline_text_framed(Canvas* canvas, uint8_t x, uint8_t y, const char* text);

/* Cuts `string` so that it fits `width` pixels in the current font, ending it in "..." (only when
 * it was too wide). */
void elements_string_fit_width(Canvas* canvas, FuriString* string, uint8_t width);

/* Text in the box (x, y, width, height), FontSecondary, broken between characters where a line
 * passes the width, at most ELEMENTS_MAX_LINES_NUM lines that fit the height. The markers '#',
 * '*' and '!' (bare or after ESC) switch bold, monospace and inverse on and off and are not drawn.
 * With strip_to_dots the last line ends in "..." where its next glyph and the dots would pass the
 * box's right edge. */
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
