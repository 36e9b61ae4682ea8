#pragma once
#include <furi/core/base.h>
#include <furi/core/common_defines.h>

#ifdef __cplusplus
extern "C" {
#endif

/* At 86.0 a thread whose callback returned is Stopping until the kernel has cleaned it up; the
 * host runtime cleans up at once, so it reports Stopped, never Stopping. */
typedef enum {
    FuriThreadStateStopped = 0,
    FuriThreadStateStopping = 1,
    FuriThreadStateStarting = 2,
    FuriThreadStateRunning = 3,
} FuriThreadState;

/* Thread priorities and state callbacks changed at 86.0 (Idle became 0, the callback gained the
 * thread); our apps use neither, so this SDK leaves them out. */

typedef struct FuriThread FuriThread;
typedef void* FuriThreadId;

typedef int32_t (*FuriThreadCallback)(void* context);

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
FuriThreadState furi_thread_get_state(FuriThread* thread) FURI_HOST_API86(furi_thread_get_state);
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
