/* Force-included into device sources when they are built for the host: routes the C allocator
 * through the runtime, which zero-fills like the platform's allocator and counts live blocks. */
#pragma once
#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

void* furi_host_malloc(size_t size);
void* furi_host_calloc(size_t count, size_t size);
void* furi_host_realloc(void* ptr, size_t size);
void furi_host_free(void* ptr);
char* furi_host_strdup(const char* s);

#ifdef __cplusplus
}
#endif

#define malloc(size) furi_host_malloc(size)
#define calloc(count, size) furi_host_calloc(count, size)
#define realloc(ptr, size) furi_host_realloc(ptr, size)
#define free(ptr) furi_host_free(ptr)
#define strdup(s) furi_host_strdup(s)
