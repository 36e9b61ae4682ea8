#pragma once
#include <furi/core/base.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__arm__)
typedef void FuriSemaphore;
#else
/* The firmware's handles are all void; the host runtime keeps them distinct types, so code that
 * hands one kind of handle to another kind's function fails to compile here. */
typedef struct FuriSemaphore FuriSemaphore;
#endif

FuriSemaphore* furi_semaphore_alloc(uint32_t max_count, uint32_t initial_count);
void furi_semaphore_free(FuriSemaphore* instance);
FuriStatus furi_semaphore_acquire(FuriSemaphore* instance, uint32_t timeout);
FuriStatus furi_semaphore_release(FuriSemaphore* instance);
uint32_t furi_semaphore_get_count(FuriSemaphore* instance);

#ifdef __cplusplus
}
#endif
