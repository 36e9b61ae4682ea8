// Mutexes, semaphores and event flags on the run-token scheduler.
#include <furi.h>

#include "core/fatal.h"
#include "core/internals.h"

using host::sched;

struct FuriMutex {
    FuriMutexType type;
    host::Task* owner = nullptr;
    std::uint32_t depth = 0;
    host::WaitList waiters;
};

struct FuriSemaphore {
    std::uint32_t max_count;
    std::uint32_t count;
    host::WaitList waiters;
};

struct FuriEventFlag {
    std::uint32_t flags = 0;
    host::WaitList waiters;
};

namespace {

template <typename T>
T* checked_sync(T* object, const char* what) {
    return host::NotNull<T>{"instance"}(object, what);
}

constexpr std::uint32_t kEventFlagMask = 0x00FFFFFFu; // as FreeRTOS event groups: 24 usable bits

bool flags_satisfied(std::uint32_t flags, std::uint32_t wanted, std::uint32_t options) {
    return (options & FuriFlagWaitAll) ? (flags & wanted) == wanted : (flags & wanted) != 0;
}

} // namespace

extern "C" {

FuriMutex* furi_mutex_alloc(FuriMutexType type) {
    auto* mutex = host::make_tracked<FuriMutex>();
    mutex->type = type;
    return mutex;
}

void furi_mutex_free(FuriMutex* mutex) {
    checked_sync(mutex, "furi_mutex_free");
    if(!mutex->waiters.empty()) host::fatal("furi_mutex_free: a thread still waits on the mutex");
    host::destroy_tracked(mutex);
}

FuriStatus furi_mutex_acquire(FuriMutex* mutex, uint32_t timeout) {
    checked_sync(mutex, "furi_mutex_acquire");
    if(host::Scheduler::in_interrupt())
        host::fatal("furi_mutex_acquire: mutexes cannot be taken in interrupt context");
    host::Task* self = host::Scheduler::require_thread("furi_mutex_acquire");
    if(mutex->owner == self) {
        if(mutex->type == FuriMutexTypeRecursive) {
            ++mutex->depth;
            return FuriStatusOk;
        }
        host::fatal(
            "furi_mutex_acquire: thread \"%s\" already holds this (non-recursive) mutex",
            self->name.c_str());
    }
    const host::Nanos deadline = host::to_deadline(timeout);
    while(mutex->owner != nullptr) {
        if(timeout == 0) return FuriStatusErrorResource;
        if(!sched().block(&mutex->waiters, deadline) && mutex->owner != nullptr)
            return FuriStatusErrorTimeout;
    }
    mutex->owner = self;
    mutex->depth = 1;
    return FuriStatusOk;
}

FuriStatus furi_mutex_release(FuriMutex* mutex) {
    checked_sync(mutex, "furi_mutex_release");
    if(host::Scheduler::in_interrupt()) return FuriStatusErrorISR;
    if(mutex->owner != host::Scheduler::current()) return FuriStatusErrorResource;
    if(--mutex->depth == 0) {
        mutex->owner = nullptr;
        sched().wake_one(mutex->waiters);
        sched().preempt_point();
    }
    return FuriStatusOk;
}

FuriThreadId furi_mutex_get_owner(FuriMutex* mutex) {
    checked_sync(mutex, "furi_mutex_get_owner");
    return mutex->owner ? mutex->owner->thread : nullptr;
}

FuriSemaphore* furi_semaphore_alloc(uint32_t max_count, uint32_t initial_count) {
    if(max_count == 0 || initial_count > max_count) {
        host::fatal(
            "furi_semaphore_alloc: invalid counts (max %u, initial %u)", max_count, initial_count);
    }
    auto* semaphore = host::make_tracked<FuriSemaphore>();
    semaphore->max_count = max_count;
    semaphore->count = initial_count;
    return semaphore;
}

void furi_semaphore_free(FuriSemaphore* semaphore) {
    checked_sync(semaphore, "furi_semaphore_free");
    if(!semaphore->waiters.empty())
        host::fatal("furi_semaphore_free: a thread still waits on the semaphore");
    host::destroy_tracked(semaphore);
}

FuriStatus furi_semaphore_acquire(FuriSemaphore* semaphore, uint32_t timeout) {
    checked_sync(semaphore, "furi_semaphore_acquire");
    if(timeout != 0 && host::Scheduler::in_interrupt()) {
        host::fatal("furi_semaphore_acquire: only timeout 0 is allowed in interrupt context");
    }
    const host::Nanos deadline = host::to_deadline(timeout);
    while(semaphore->count == 0) {
        if(timeout == 0) return FuriStatusErrorResource;
        if(!sched().block(&semaphore->waiters, deadline) && semaphore->count == 0)
            return FuriStatusErrorTimeout;
    }
    --semaphore->count;
    return FuriStatusOk;
}

FuriStatus furi_semaphore_release(FuriSemaphore* semaphore) {
    checked_sync(semaphore, "furi_semaphore_release");
    if(semaphore->count == semaphore->max_count) return FuriStatusErrorResource;
    ++semaphore->count;
    sched().wake_one(semaphore->waiters);
    sched().preempt_point();
    return FuriStatusOk;
}

uint32_t furi_semaphore_get_count(FuriSemaphore* semaphore) {
    return checked_sync(semaphore, "furi_semaphore_get_count")->count;
}

FuriEventFlag* furi_event_flag_alloc(void) {
    return host::make_tracked<FuriEventFlag>();
}

void furi_event_flag_free(FuriEventFlag* event) {
    checked_sync(event, "furi_event_flag_free");
    if(!event->waiters.empty())
        host::fatal("furi_event_flag_free: a thread still waits on the event flags");
    host::destroy_tracked(event);
}

uint32_t furi_event_flag_set(FuriEventFlag* event, uint32_t flags) {
    checked_sync(event, "furi_event_flag_set");
    if(flags & ~kEventFlagMask) return FuriFlagErrorParameter;
    event->flags |= flags;
    const std::uint32_t result = event->flags;
    // Wake every waiter; each re-checks its own condition.
    sched().wake_all(event->waiters);
    sched().preempt_point();
    return result;
}

uint32_t furi_event_flag_clear(FuriEventFlag* event, uint32_t flags) {
    checked_sync(event, "furi_event_flag_clear");
    if(flags & ~kEventFlagMask) return FuriFlagErrorParameter;
    const std::uint32_t before = event->flags;
    event->flags &= ~flags;
    return before;
}

uint32_t furi_event_flag_get(FuriEventFlag* event) {
    return checked_sync(event, "furi_event_flag_get")->flags;
}

uint32_t
    furi_event_flag_wait(FuriEventFlag* event, uint32_t flags, uint32_t options, uint32_t timeout) {
    checked_sync(event, "furi_event_flag_wait");
    if(flags & ~kEventFlagMask) return FuriFlagErrorParameter;
    if(host::Scheduler::in_interrupt())
        host::fatal("furi_event_flag_wait: cannot wait in interrupt context");
    const host::Nanos deadline = host::to_deadline(timeout);
    while(!flags_satisfied(event->flags, flags, options)) {
        if(timeout == 0) return FuriFlagErrorResource;
        if(!sched().block(&event->waiters, deadline) &&
           !flags_satisfied(event->flags, flags, options)) {
            return FuriFlagErrorTimeout;
        }
    }
    const std::uint32_t result = event->flags;
    if(!(options & FuriFlagNoClear)) event->flags &= ~flags;
    return result;
}

} // extern "C"
