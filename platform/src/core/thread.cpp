#include <furi.h>

#include "api86/seam.h"
#include "host/kernel.h"
#include "core/fatal.h"
#include "core/internals.h"

using host::sched;

namespace {

constexpr host::NotNull<FuriThread> checked_thread{"thread"};

void set_state(FuriThread* thread, FuriThreadState state) {
    thread->state = state;
    if(thread->state_callback) thread->state_callback(state, thread->state_context);
}

} // namespace

extern "C" {

FuriThread* furi_thread_alloc(void) {
    auto* thread = host::make_tracked<FuriThread>();
    thread->task.thread = thread;
    sched().register_task(&thread->task);
    return thread;
}

FuriThread* furi_thread_alloc_ex(
    const char* name,
    uint32_t stack_size,
    FuriThreadCallback callback,
    void* context) {
    FuriThread* thread = furi_thread_alloc();
    furi_thread_set_name(thread, name);
    thread->stack_size = stack_size;
    thread->callback = callback;
    thread->context = context;
    return thread;
}

void furi_thread_free(FuriThread* thread) {
    checked_thread(thread, "furi_thread_free");
    if(thread->adopted)
        host::fatal(
            "furi_thread_free: \"%s\" is not a thread the app allocated", thread->name.c_str());
    if(thread->state != FuriThreadStateStopped) {
        host::fatal(
            "furi_thread_free: thread \"%s\" is still running; join it first",
            thread->name.c_str());
    }
    if(host::Scheduler::current() == &thread->task)
        host::fatal("furi_thread_free: a thread cannot free itself");
    sched().unregister_task(&thread->task);
    host::destroy_tracked(thread);
}

void furi_thread_set_name(FuriThread* thread, const char* name) {
    checked_thread(thread, "furi_thread_set_name");
    thread->name = name ? name : "";
    thread->task.name = thread->name;
}

void furi_thread_set_appid(FuriThread* thread, const char* appid) {
    checked_thread(thread, "furi_thread_set_appid")->appid = appid ? appid : "";
}

void furi_thread_set_stack_size(FuriThread* thread, size_t stack_size) {
    checked_thread(thread, "furi_thread_set_stack_size")->stack_size =
        static_cast<std::uint32_t>(stack_size);
}

void furi_thread_set_callback(FuriThread* thread, FuriThreadCallback callback) {
    checked_thread(thread, "furi_thread_set_callback");
    if(thread->state != FuriThreadStateStopped)
        host::fatal("furi_thread_set_callback: thread is running");
    thread->callback = callback;
}

void furi_thread_set_context(FuriThread* thread, void* context) {
    checked_thread(thread, "furi_thread_set_context");
    if(thread->state != FuriThreadStateStopped)
        host::fatal("furi_thread_set_context: thread is running");
    thread->context = context;
}

void furi_thread_set_priority(FuriThread* thread, FuriThreadPriority priority) {
    checked_thread(thread, "furi_thread_set_priority");
    if(priority > FuriThreadPriorityIsr)
        host::fatal("furi_thread_set_priority: invalid priority %d", priority);
    thread->task.priority = priority == FuriThreadPriorityNone ? FuriThreadPriorityNormal :
                                                                 priority;
}

void furi_thread_set_current_priority(FuriThreadPriority priority) {
    host::Task* task = host::Scheduler::require_thread("furi_thread_set_current_priority");
    if(priority > FuriThreadPriorityIsr)
        host::fatal("furi_thread_set_current_priority: invalid priority %d", priority);
    task->priority = priority == FuriThreadPriorityNone ? FuriThreadPriorityNormal : priority;
    sched().preempt_point();
}

FuriThreadPriority furi_thread_get_current_priority(void) {
    return static_cast<FuriThreadPriority>(
        host::Scheduler::require_thread("furi_thread_get_current_priority")->priority);
}

void furi_thread_set_state_callback(FuriThread* thread, FuriThreadStateCallback callback) {
    checked_thread(thread, "furi_thread_set_state_callback")->state_callback = callback;
}

void furi_thread_set_state_context(FuriThread* thread, void* context) {
    checked_thread(thread, "furi_thread_set_state_context")->state_context = context;
}

FuriThreadState furi_thread_get_state(FuriThread* thread) {
    return checked_thread(thread, "furi_thread_get_state")->state;
}

void furi_thread_start(FuriThread* thread) {
    checked_thread(thread, "furi_thread_start");
    if(thread->callback == nullptr)
        host::fatal("furi_thread_start: thread \"%s\" has no callback", thread->name.c_str());
    if(thread->state != FuriThreadStateStopped || thread->adopted) {
        host::fatal("furi_thread_start: thread \"%s\" is already running", thread->name.c_str());
    }
    host::Scheduler::require_thread("furi_thread_start");
    set_state(thread, FuriThreadStateStarting);
    sched().spawn(&thread->task, [thread] {
        set_state(thread, FuriThreadStateRunning);
        thread->return_code = thread->callback(thread->context);
        // Before it counts as stopped: a joiner may free the thread as soon as it runs.
        sched().run_exit_hooks(&thread->task);
        set_state(thread, FuriThreadStateStopped);
        sched().wake_all(thread->joiners);
    });
    sched().preempt_point();
}

bool furi_thread_join(FuriThread* thread) {
    checked_thread(thread, "furi_thread_join");
    host::Task* self = host::Scheduler::require_thread("furi_thread_join");
    if(self == &thread->task)
        host::fatal("furi_thread_join: thread \"%s\" cannot join itself", thread->name.c_str());
    while(thread->state != FuriThreadStateStopped) sched().block(&thread->joiners, host::kForever);
    return true;
}

FuriThreadId furi_thread_get_id(FuriThread* thread) {
    return checked_thread(thread, "furi_thread_get_id");
}

int32_t furi_thread_get_return_code(FuriThread* thread) {
    checked_thread(thread, "furi_thread_get_return_code");
    if(thread->state != FuriThreadStateStopped)
        host::fatal("furi_thread_get_return_code: thread is still running");
    return thread->return_code;
}

FuriThreadId furi_thread_get_current_id(void) {
    host::Task* task = host::Scheduler::current();
    return task ? task->thread : nullptr;
}

FuriThread* furi_thread_get_current(void) {
    host::Task* task = host::Scheduler::current();
    return task ? task->thread : nullptr;
}

void furi_thread_yield(void) {
    sched().yield();
}

const char* furi_thread_get_name(FuriThreadId thread_id) {
    return thread_id ? static_cast<FuriThread*>(thread_id)->name.c_str() : nullptr;
}

const char* furi_thread_get_appid(FuriThreadId thread_id) {
    if(thread_id == nullptr) return nullptr;
    const auto* thread = static_cast<FuriThread*>(thread_id);
    return thread->appid.empty() ? nullptr : thread->appid.c_str();
}

uint32_t furi_thread_get_stack_space(FuriThreadId thread_id) {
    return thread_id ? static_cast<FuriThread*>(thread_id)->stack_size : 0;
}

} // extern "C"

void host::at_thread_exit(std::function<void()> fn) {
    sched().at_exit(std::move(fn));
}

int host::seam::thread_state(FuriThread* thread) {
    return static_cast<int>(furi_thread_get_state(thread));
}
