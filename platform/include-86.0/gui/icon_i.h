/* The layout of an Icon, for generated icon tables and the canvas. Apps only pass &I_... around. */
#pragma once
#include <stdint.h>

#include <gui/icon.h>

#ifdef __cplusplus
extern "C" {
#endif

struct Icon {
    const uint16_t width;
    const uint16_t height;
    const uint8_t frame_count;
    const uint8_t frame_rate;
    const uint8_t* const* frames;
};

#ifdef __cplusplus
}
#endif
