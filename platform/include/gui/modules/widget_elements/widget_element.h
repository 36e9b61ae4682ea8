/* Types shared by the widget's elements. */
#pragma once
#include <input/input.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    GuiButtonTypeLeft = 0,
    GuiButtonTypeCenter = 1,
    GuiButtonTypeRight = 2,
} GuiButtonType;

/* Receives every input type of the button's key (Press, Short, Long, Repeat, Release). */
typedef void (*ButtonCallback)(GuiButtonType result, InputType type, void* context);

#ifdef __cplusplus
}
#endif
