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

typedef struct FuriTimer FuriTimer;

/** Timer callbacks run on the timer service thread. */
FuriTimer* furi_timer_alloc(FuriTimerCallback func, FuriTimerType type, void* context);
void furi_timer_free(FuriTimer* instance);
FuriStatus furi_timer_start(FuriTimer* instance, uint32_t ticks);
FuriStatus furi_timer_stop(FuriTimer* instance);
uint32_t furi_timer_is_running(FuriTimer* instance);

typedef enum {
    FuriTimerThreadPriorityNormal = 0, /* below the app threads (FreeRTOS priority 2) */
    FuriTimerThreadPriorityElevated = 1, /* above them (the highest, 31) */
} FuriTimerThreadPriority;

/** Sets the timer service thread's priority; not from interrupt context. */
void furi_timer_set_thread_priority(FuriTimerThreadPriority priority);

#ifdef __cplusplus
}
#endif
