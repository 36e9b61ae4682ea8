#pragma once
#include <furi/core/base.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__arm__)
typedef void FuriEventFlag;
#else
/* The firmware's handles are all void; the host runtime keeps them distinct types, so code that
 * hands one kind of handle to another kind's function fails to compile here. */
typedef struct FuriEventFlag FuriEventFlag;
#endif

FuriEventFlag* furi_event_flag_alloc(void);
void furi_event_flag_free(FuriEventFlag* instance);
uint32_t furi_event_flag_set(FuriEventFlag* instance, uint32_t flags);
uint32_t furi_event_flag_clear(FuriEventFlag* instance, uint32_t flags);
uint32_t furi_event_flag_get(FuriEventFlag* instance);
uint32_t furi_event_flag_wait(
    FuriEventFlag* instance,
    uint32_t flags,
    uint32_t options,
    uint32_t timeout);

#ifdef __cplusplus
}
#endif
