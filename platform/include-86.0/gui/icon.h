/* Icons: images built into an app (see the generated <appid>_icons.h). Opaque to apps. */
#pragma once
#include <stdint.h>

#include <furi/core/common_defines.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct Icon Icon;

uint16_t icon_get_width(const Icon* instance) FURI_HOST_API86(icon_get_width);
uint16_t icon_get_height(const Icon* instance) FURI_HOST_API86(icon_get_height);
/* The first frame: rows of ceil(width / 8) bytes, least significant bit leftmost, 1 = dark. */
FURI_DEPRECATED const uint8_t* icon_get_data(const Icon* instance);

#ifdef __cplusplus
}
#endif
