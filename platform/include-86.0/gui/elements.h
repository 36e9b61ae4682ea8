/* Drawing helpers shared by the GUI modules. At 86.0 their positions and sizes became int32_t and
 * size_t; our apps draw with the canvas and the modules, so this SDK serves only the bottom
 * buttons, whose calls did not change. */
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
#define ELEMENTS_INVERSE_MARKER '!'

/* Bottom buttons, 12 px high, with their marks: left arrow, OK ring, right arrow. */
void elements_button_left(Canvas* canvas, const char* str);
void elements_button_right(Canvas* canvas, const char* str);
void elements_button_center(Canvas* canvas, const char* str);

#ifdef __cplusplus
}
#endif
