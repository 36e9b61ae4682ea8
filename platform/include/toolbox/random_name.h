#pragma once
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/** Older name of name_generator_make_random; firmware at API 36.0 no longer exports it. */
void set_random_name(char* name, uint8_t max_name_size);

#ifdef __cplusplus
}
#endif
