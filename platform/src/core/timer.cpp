// Software timers. As on the device, their callbacks run on the timer service task "TimersSrv"
// (priority 2 unless an app raises it with vTaskPrioritySet).
#include <furi.h>

#include <algorithm>

#include "core/fatal.h"
#include "core/internals.h"

using host::internals;
using host::sched;

struct FuriTimer {
    FuriTimerCallback callback;
    FuriTimerType type;
    void* context;
    bool running = false;
    bool in_callback = false;
    host::Nanos period = 0;
    host::Nanos expiry = 0;
    std::uint64_t start_seq = 0;
};

namespace host {

namespace {

constexpr int kTimerServicePriority = 2;

FuriTimer* next_due(TimerService& service) {
    FuriTimer* due = nullptr;
    for(FuriTimer* timer : service.timers) {
        if(!timer->running) continue;
        if(due == nullptr || timer->expiry < due->expiry ||
           (timer->expiry == due->expiry && timer->start_seq < due->start_seq)) {
            due = timer;
        }
    }
    return due;
}

int32_t timer_service_main(void* context) {
    auto& service = *static_cast<TimerService*>(context);
    while(!service.stopping) {
        FuriTimer* due = next_due(service);
        if(due == nullptr || due->expiry > sched().now()) {
            sched().block(&service.wakeup, due ? due->expiry : kForever);
            continue;
        }
        if(due->type == FuriTimerTypePeriodic) {
            due->expiry += due->period;
        } else {
            due->running = false;
        }
        due->in_callback = true;
        due->callback(due->context);
        due->in_callback = false;
    }
    return 0;
}

} // namespace

void start_timer_service(Runtime&) {
    auto& service = internals().timers;
    service.thread = furi_thread_alloc_ex("TimersSrv", 1024, timer_service_main, &service);
    // Let the service reach its first wait right away, so a new runtime has no thread pending.
    service.thread->task.priority = FuriThreadPriorityIsr;
    furi_thread_start(service.thread);
    service.thread->task.priority = kTimerServicePriority;
}

void stop_timer_service(Runtime&) {
    auto& service = internals().timers;
    if(service.thread == nullptr) return;
    service.stopping = true;
    sched().wake_all(service.wakeup);
    furi_thread_join(service.thread);
    furi_thread_free(service.thread);
    service.thread = nullptr;
}

} // namespace host

namespace {

constexpr host::NotNull<FuriTimer> checked_timer{"timer"};

void wake_service() {
    auto& service = internals().timers;
    sched().wake_all(service.wakeup);
}

} // namespace

extern "C" {

FuriTimer* furi_timer_alloc(FuriTimerCallback func, FuriTimerType type, void* context) {
    if(func == nullptr) host::fatal("furi_timer_alloc: callback is null");
    if(host::Scheduler::in_interrupt())
        host::fatal("furi_timer_alloc called from interrupt context");
    auto* timer = host::make_tracked<FuriTimer>();
    timer->callback = func;
    timer->type = type;
    timer->context = context;
    internals().timers.timers.push_back(timer);
    return timer;
}

void furi_timer_free(FuriTimer* timer) {
    checked_timer(timer, "furi_timer_free");
    if(host::Scheduler::in_interrupt())
        host::fatal("furi_timer_free called from interrupt context");
    timer->running = false;
    // Never pull the timer from under its own running callback.
    while(timer->in_callback) furi_delay_ms(1);
    std::erase(internals().timers.timers, timer);
    host::destroy_tracked(timer);
}

FuriStatus furi_timer_start(FuriTimer* timer, uint32_t ticks) {
    checked_timer(timer, "furi_timer_start");
    if(ticks == 0 || ticks >= FuriWaitForever / 2) return FuriStatusErrorParameter;
    timer->period = static_cast<host::Nanos>(ticks) * host::kMillisecond;
    timer->expiry = sched().now() + timer->period;
    timer->running = true;
    timer->start_seq = ++internals().timers.start_counter;
    wake_service();
    return FuriStatusOk;
}

FuriStatus furi_timer_stop(FuriTimer* timer) {
    checked_timer(timer, "furi_timer_stop");
    timer->running = false;
    wake_service();
    return FuriStatusOk;
}

uint32_t furi_timer_is_running(FuriTimer* timer) {
    return checked_timer(timer, "furi_timer_is_running")->running ? 1 : 0;
}

} // extern "C"
