#pragma once
// The run-token scheduler behind every blocking platform call.
//
// Every platform thread is a fiber on the OS thread that created the runtime (its "main"): only
// the running one executes platform code, as on the device's single core. A thread gives the
// token up when it blocks; when no thread is ready, the virtual clock jumps to the earliest
// deadline or device event, the events due then run in interrupt context, and the woken threads
// run in priority order (equal priorities in the order they became ready). The thread that
// blocks runs this loop itself, so a delay with nothing else to do switches nothing; a hand-over
// is a user-space stack switch (Boost.Context), no system call.

#include <atomic>
#include <cstddef>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "host/runtime.h"
#include "host/time.h"

namespace host {

inline constexpr Nanos kForever = ~Nanos{0};

class WaitList;

/// A fiber's stack: mapped memory with a guard page below it, reused from run to run.
struct FiberStack {
    void* base = nullptr; // lowest address (the guard page)
    std::size_t size = 0; // bytes, guard page included
};

struct Task {
    enum class State {
        Created,
        Ready,
        Running,
        Blocked,
        Finished
    };

    std::string name;
    int priority = FuriThreadPriorityNormal;
    State state = State::Created;
    FuriThread* thread = nullptr; // the platform thread this task runs

    // Scheduling bookkeeping, touched only by the token holder.
    std::uint64_t ready_seq = 0;
    Nanos deadline = kForever;
    WaitList* waiting_on = nullptr;
    bool timed_out = false;
    std::uintptr_t wait_value = 0; // primitive-specific (e.g. event flag mask)

    // The fiber. `context` is where the task stopped while another runs (null while it runs,
    // before its first run and once it ended); "main" runs on the OS thread's own stack and has
    // no `stack` of its own.
    void* context = nullptr;
    std::function<void()> body; // what a started thread runs
    FiberStack stack;
    // What the sanitizers know of the fiber (unused in other builds).
    void* tsan_fiber = nullptr;
    void* asan_fake_stack = nullptr;
    const void* asan_stack_bottom = nullptr;
    std::size_t asan_stack_size = 0;

    // Run on the thread as it ends (Scheduler::at_exit).
    std::vector<std::function<void()>> exit_hooks;
};

/// Tasks blocked on one object, in priority order (FIFO among equals), as FreeRTOS orders them.
class WaitList {
public:
    bool empty() const { return tasks_.empty(); }
    Task* front() const { return tasks_.empty() ? nullptr : tasks_.front(); }
    const std::deque<Task*>& tasks() const { return tasks_; }
    void insert(Task* task);
    void remove(Task* task);

private:
    std::deque<Task*> tasks_;
};

class Scheduler {
public:
    Scheduler(const RuntimeOptions& options);
    ~Scheduler();
    Scheduler(const Scheduler&) = delete;
    Scheduler& operator=(const Scheduler&) = delete;

    Nanos now() const { return now_; }

    /// The platform task of the calling OS thread; null in interrupt context or on a foreign thread.
    static Task* current();
    static bool in_interrupt();
    /// Stops with a clear message unless called from a platform thread (not interrupt context).
    static Task* require_thread(const char* what);

    /// Makes the calling OS thread a running platform task (the runtime's "main").
    void adopt(Task* task);
    void release_adopted(Task* task);

    /// Registers a task so it can be found by name; unregister before it is destroyed.
    void register_task(Task* task);
    void unregister_task(Task* task);
    Task* find_task(const std::string& name) const;
    std::vector<Task*> tasks() const { return tasks_; }

    /// Makes `task` a fiber that runs body() once it receives the token. The task becomes ready
    /// now; the caller may be preempted by it.
    void spawn(Task* task, std::function<void()> body);
    /// Keeps fn to run on the calling platform thread as it ends (what a thread_local's
    /// destructor did when each platform thread was an OS thread); the thread's body calls
    /// run_exit_hooks. The runtime's "main" never ends here, so what it registers never runs.
    void at_exit(std::function<void()> fn);
    void run_exit_hooks(Task* task);

    /// Blocks the current task on `list` (may be null: a pure delay) until woken or until
    /// `deadline`. Returns true when woken, false on timeout.
    bool block(WaitList* list, Nanos deadline);
    /// Makes a blocked task ready (it was signalled, not timed out). Token holder only.
    void wake(Task* task);
    Task* wake_one(WaitList& list);
    void wake_all(WaitList& list);
    /// Gives the token to a ready task of higher priority, if any (thread context only).
    void preempt_point();
    /// Lets other ready tasks of the same priority run.
    void yield();
    /// Advances the clock to `deadline` running due events, without switching threads (a busy wait).
    void busy_wait_until(Nanos deadline);
    /// Ends the current task for good: hands the token on and never returns to platform code.
    void finish_current();

    EventId schedule_at(Nanos at, std::function<void()> fn);
    /// The same for a plain function and its two arguments, with nothing to allocate or destroy:
    /// the UART's per-byte interrupts take this path.
    using EventCall = void (*)(void* context, std::uint64_t arg);
    EventId schedule_call_at(Nanos at, EventCall call, void* context, std::uint64_t arg);
    bool cancel(EventId id);
    void inject(std::function<void()> fn);

    std::uint64_t handovers() const { return handovers_; }
    std::uint64_t events_run() const { return events_run_; }

    /// Runs fn in interrupt context on the calling thread.
    static void run_as_interrupt(const std::function<void()>& fn);

private:
    void make_ready(Task* task);
    Task* pick_ready();
    void reschedule(Task* self);
    void switch_to(Task* self, Task* next);
    void arrive(Task* self, void* from_context);
    [[noreturn]] void run_fiber(Task* self);
    friend struct FiberEntry;
    bool advance_clock(); // false: nothing can ever happen
    void run_due_events();
    void run_until_a_task_is_ready(Nanos earliest_deadline);
    void expire_deadlines();
    void drain_inbox();
    Nanos earliest_deadline() const;
    Nanos next_event_time() const { return events_.empty() ? kForever : events_.front().at; }
    struct Event;
    Event pop_event();
    static void run_stored(void* self, std::uint64_t slot);
    [[noreturn]] void report_deadlock() const;

    const RuntimeOptions& options_;
    Nanos now_ = 0;
    std::uint64_t ready_counter_ = 0;
    std::uint64_t event_counter_ = 0;
    std::uint64_t handovers_ = 0;
    std::uint64_t events_run_ = 0;
    std::vector<Task*> tasks_;
    std::vector<Task*> ready_;
    Task* switch_from_ = nullptr; // the task that last handed the token over
    Task* switch_to_ = nullptr;   // and the one it handed it to

    // Pending interrupt events: a binary min-heap on (time, id), so events due at the same time
    // run in the order they were scheduled. A UART byte is one event: the heap's entries are
    // plain values in one vector, so scheduling and running one allocates nothing once the
    // vector has grown. A std::function waits in a slot of `stored_` (reused through
    // `free_slots_`) and its entry calls run_stored.
    struct Event {
        Nanos at;
        EventId id;
        EventCall call;
        void* context;
        std::uint64_t arg;
    };
    struct Later {
        bool operator()(const Event& a, const Event& b) const {
            return a.at != b.at ? a.at > b.at : a.id > b.id;
        }
    };
    std::vector<Event> events_;
    std::vector<std::function<void()>> stored_;
    std::vector<std::uint64_t> free_slots_;

    // Shared with OS threads that do not hold the token. The flag lets the token holder see an
    // empty inbox without taking the mutex on every scheduling round.
    mutable std::mutex mutex_;
    std::condition_variable inbox_cv_;
    std::vector<std::function<void()>> inbox_;
    std::atomic<bool> inbox_pending_{false};

    // Pacing of interactive runs.
    std::chrono::steady_clock::time_point wall_start_;
    Nanos virtual_start_ = 0;
};

} // namespace host
