// Icon accessors. Icons are constant tables generated from PNGs (tools/icongen).
#include <gui/icon_i.h>

extern "C" {

uint8_t icon_get_width(const Icon* instance) {
    return instance != nullptr ? instance->width : 0;
}

uint8_t icon_get_height(const Icon* instance) {
    return instance != nullptr ? instance->height : 0;
}

const uint8_t* icon_get_data(const Icon* instance) {
    if(instance == nullptr || instance->frames == nullptr || instance->frame_count == 0)
        return nullptr;
    return instance->frames[0];
}

} // extern "C"
