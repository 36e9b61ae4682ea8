#pragma once
#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

size_t memmgr_get_free_heap(void);
size_t memmgr_get_total_heap(void);
size_t memmgr_get_minimum_free_heap(void);

#ifdef __cplusplus
}
#endif
