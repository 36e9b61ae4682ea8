// The 86.0 calls of the core and storage whose types changed, and the timer thread's priority.
#include <furi.h>
#include <storage/storage.h>
#include <task.h> // the runtime's own FreeRTOS stand-in (not in the 86.0 SDK)

#include "api86/seam.h"
#include "core/fatal.h"

namespace {
// configTIMER_TASK_PRIORITY and configMAX_PRIORITIES - 1 of the firmware's FreeRTOS.
constexpr UBaseType_t kTimerThreadNormal = 2;
constexpr UBaseType_t kTimerThreadElevated = configMAX_PRIORITIES - 1;
} // namespace

extern "C" {

FuriThreadState furi_thread_get_state(FuriThread* thread) {
    // The runtime cleans a thread up as its callback returns: never Stopping.
    switch(host::seam::thread_state(thread)) {
    case 1:
        return FuriThreadStateStarting;
    case 2:
        return FuriThreadStateRunning;
    default:
        return FuriThreadStateStopped;
    }
}

void furi_timer_set_thread_priority(FuriTimerThreadPriority priority) {
    if(furi_kernel_is_irq_or_masked())
        host::fatal("furi_timer_set_thread_priority: from interrupt context (furi_check failed)");
    TaskHandle_t timer_thread = xTaskGetHandle("TimersSrv");
    if(timer_thread == nullptr) host::fatal("furi_timer_set_thread_priority: no timer thread");
    if(priority == FuriTimerThreadPriorityNormal) {
        vTaskPrioritySet(timer_thread, kTimerThreadNormal);
    } else if(priority == FuriTimerThreadPriorityElevated) {
        vTaskPrioritySet(timer_thread, kTimerThreadElevated);
    } else {
        host::fatal("furi_timer_set_thread_priority: unknown priority %d (furi_crash)", priority);
    }
}

size_t storage_file_read(File* file, void* buff, size_t bytes_to_read) {
    return host::seam::storage_file_read(file, buff, bytes_to_read);
}

size_t storage_file_write(File* file, const void* buff, size_t bytes_to_write) {
    return host::seam::storage_file_write(file, buff, bytes_to_write);
}

bool storage_file_copy_to_file(File* source, File* destination, size_t size) {
    return host::seam::storage_file_copy_to_file(source, destination, size);
}

} // extern "C"
