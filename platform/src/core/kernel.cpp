#include <furi.h>
#include <task.h>

#include "core/fatal.h"
#include "core/internals.h"
#include "host/kernel.h"

using host::sched;

extern "C" {

bool furi_kernel_is_irq_or_masked(void) {
    return host::Scheduler::in_interrupt();
}

uint32_t furi_kernel_get_tick_frequency(void) {
    return 1000;
}

uint32_t furi_get_tick(void) {
    return host::Runtime::current().tick();
}

uint32_t furi_ms_to_ticks(uint32_t milliseconds) {
    return milliseconds;
}

void furi_delay_tick(uint32_t ticks) {
    if(host::Scheduler::in_interrupt()) {
        sched().busy_wait_until(
            sched().now() + static_cast<host::Nanos>(ticks) * host::kMillisecond);
        return;
    }
    if(ticks == 0) {
        sched().yield();
        return;
    }
    host::Scheduler::require_thread("furi_delay_ms");
    sched().block(nullptr, sched().now() + static_cast<host::Nanos>(ticks) * host::kMillisecond);
}

void furi_delay_ms(uint32_t milliseconds) {
    furi_delay_tick(milliseconds);
}

void furi_delay_us(uint32_t microseconds) {
    sched().busy_wait_until(
        sched().now() + static_cast<host::Nanos>(microseconds) * host::kMicrosecond);
}

TickType_t xTaskGetTickCount(void) {
    return furi_get_tick();
}

TaskHandle_t xTaskGetHandle(const char* name) {
    furi_check(name);
    return reinterpret_cast<TaskHandle_t>(sched().find_task(name));
}

void vTaskPrioritySet(TaskHandle_t handle, UBaseType_t priority) {
    if(priority >= configMAX_PRIORITIES) {
        host::fatal(
            "vTaskPrioritySet: priority %lu is above the maximum %d",
            static_cast<unsigned long>(priority),
            configMAX_PRIORITIES - 1);
    }
    host::Task* task = handle ? reinterpret_cast<host::Task*>(handle) :
                                host::Scheduler::require_thread("vTaskPrioritySet");
    task->priority = static_cast<int>(priority);
    sched().preempt_point();
}

} // extern "C"

UBaseType_t host::task_priority(TaskHandle_t handle) {
    host::Task* task = handle ? reinterpret_cast<host::Task*>(handle) :
                                host::Scheduler::require_thread("task_priority");
    return static_cast<UBaseType_t>(task->priority);
}
