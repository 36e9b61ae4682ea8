#pragma once
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/** Writes a random, human-friendly name of at most max_name_size - 1 characters. */
void name_generator_make_random(char* name, size_t max_name_size);

#ifdef __cplusplus
}
#endif
