/* Icons: images built into an app (see the generated <appid>_icons.h). Opaque to apps. */
#pragma once
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct Icon Icon;

uint8_t icon_get_width(const Icon* instance);
uint8_t icon_get_height(const Icon* instance);
/* The first frame: rows of ceil(width / 8) bytes, least significant bit leftmost, 1 = dark. */
const uint8_t* icon_get_data(const Icon* instance);

#ifdef __cplusplus
}
#endif
