#pragma once
#include <furi/core/base.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*FuriTimerCallback)(void* context);

typedef enum {
    FuriTimerTypeOnce = 0,
    FuriTimerTypePeriodic = 1,
} FuriTimerType;

#if defined(__arm__)
typedef void FuriTimer;
#else
/* The firmware's handles are all void; the host runtime keeps them distinct types, so code that
 * hands one kind of handle to another kind's function fails to compile here. */
typedef struct FuriTimer FuriTimer;
#endif

/** Timer callbacks run on the timer service thread "TimersSrv". */
FuriTimer* furi_timer_alloc(FuriTimerCallback func, FuriTimerType type, void* context);
void furi_timer_free(FuriTimer* instance);
FuriStatus furi_timer_start(FuriTimer* instance, uint32_t ticks);
FuriStatus furi_timer_stop(FuriTimer* instance);
uint32_t furi_timer_is_running(FuriTimer* instance);

#ifdef __cplusplus
}
#endif
