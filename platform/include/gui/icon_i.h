/* The layout of an Icon, for generated icon tables and the canvas. Apps only pass &I_... around. */
#pragma once
#include <stdint.h>

#include <gui/icon.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__arm__)
struct Icon {
    const uint8_t width;
    const uint8_t height;
    const uint8_t frame_count;
    const uint8_t frame_rate;
    const uint8_t* const* frames;
};
#else
/* The host runtime serves the 36.x and the 86.0 SDK from one library, so its icons have the
 * wider sizes of 86.0 under both; an app only names its icons, so it cannot tell. */
struct Icon {
    const uint16_t width;
    const uint16_t height;
    const uint8_t frame_count;
    const uint8_t frame_rate;
    const uint8_t* const* frames;
};
#endif

#ifdef __cplusplus
}
#endif
