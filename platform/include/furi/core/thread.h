#pragma once
#include <furi/core/base.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    FuriThreadStateStopped = 0,
    FuriThreadStateStarting = 1,
    FuriThreadStateRunning = 2,
} FuriThreadState;

typedef enum {
    FuriThreadPriorityNone = 0,
    FuriThreadPriorityIdle = 1,
    FuriThreadPriorityLowest = 14,
    FuriThreadPriorityLow = 15,
    FuriThreadPriorityNormal = 16,
    FuriThreadPriorityHigh = 17,
    FuriThreadPriorityHighest = 18,
    FuriThreadPriorityIsr = 31, /* configMAX_PRIORITIES - 1 */
} FuriThreadPriority;

typedef struct FuriThread FuriThread;
typedef void* FuriThreadId;

typedef int32_t (*FuriThreadCallback)(void* context);
typedef void (*FuriThreadStateCallback)(FuriThreadState state, void* context);

FuriThread* furi_thread_alloc(void);
FuriThread* furi_thread_alloc_ex(
    const char* name,
    uint32_t stack_size,
    FuriThreadCallback callback,
    void* context);
/** The thread must be stopped (never started, or joined). */
void furi_thread_free(FuriThread* thread);
void furi_thread_set_name(FuriThread* thread, const char* name);
void furi_thread_set_appid(FuriThread* thread, const char* appid);
void furi_thread_set_stack_size(FuriThread* thread, size_t stack_size);
void furi_thread_set_callback(FuriThread* thread, FuriThreadCallback callback);
void furi_thread_set_context(FuriThread* thread, void* context);
void furi_thread_set_priority(FuriThread* thread, FuriThreadPriority priority);
void furi_thread_set_current_priority(FuriThreadPriority priority);
FuriThreadPriority furi_thread_get_current_priority(void);
void furi_thread_set_state_callback(FuriThread* thread, FuriThreadStateCallback callback);
void furi_thread_set_state_context(FuriThread* thread, void* context);
FuriThreadState furi_thread_get_state(FuriThread* thread);
void furi_thread_start(FuriThread* thread);
/** Waits until the thread has ended. Joining oneself is an error. */
bool furi_thread_join(FuriThread* thread);
FuriThreadId furi_thread_get_id(FuriThread* thread);
int32_t furi_thread_get_return_code(FuriThread* thread);
FuriThreadId furi_thread_get_current_id(void);
FuriThread* furi_thread_get_current(void);
void furi_thread_yield(void);
const char* furi_thread_get_name(FuriThreadId thread_id);
/** The app id set with furi_thread_set_appid, or null when none was set. */
const char* furi_thread_get_appid(FuriThreadId thread_id);
uint32_t furi_thread_get_stack_space(FuriThreadId thread_id);

#ifdef __cplusplus
}
#endif
