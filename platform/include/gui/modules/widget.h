/* Widget: a screen composed of elements (strings, text boxes, icons, frames) and up to three
 * bottom buttons. Elements keep copies of their texts. */
#pragma once
#include <stdbool.h>
#include <stdint.h>

#include <gui/view.h>

#include <gui/modules/widget_elements/widget_element.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct Widget Widget;

Widget* widget_alloc(void);
void widget_free(Widget* widget);
/* Removes every element. */
void widget_reset(Widget* widget);
View* widget_get_view(Widget* widget);

/* One line of text aligned at (x, y). */
void widget_add_string_element(
    Widget* widget,
    uint8_t x,
    uint8_t y,
    Align horizontal,
    Align vertical,
    Font font,
    const char* text);
/* Lines split at '\n' and wrapped to the screen, the block aligned at (x, y). */
void widget_add_string_multiline_element(
    Widget* widget,
    uint8_t x,
    uint8_t y,
    Align horizontal,
    Align vertical,
    Font font,
    const char* text);
/* Word-wrapped text in a box; ESC '#' switches bold on and off. strip_to_dots ends text that
 * does not fit in "...". */
void widget_add_text_box_element(
    Widget* widget,
    uint8_t x,
    uint8_t y,
    uint8_t width,
    uint8_t height,
    Align horizontal,
    Align vertical,
    const char* text,
    bool strip_to_dots);
/* A bottom button: Left and Right keys for the side buttons, OK for the centre one. */
void widget_add_button_element(
    Widget* widget,
    GuiButtonType button_type,
    const char* text,
    ButtonCallback callback,
    void* context);
void widget_add_icon_element(Widget* widget, uint8_t x, uint8_t y, const Icon* icon);
void widget_add_frame_element(
    Widget* widget,
    uint8_t x,
    uint8_t y,
    uint8_t width,
    uint8_t height,
    uint8_t radius);

#ifdef __cplusplus
}
#endif
