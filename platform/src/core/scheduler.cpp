#include "core/scheduler.h"

#include <sys/mman.h>
#include <unistd.h>

#include <boost/context/detail/fcontext.hpp>

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

#include "core/fatal.h"

// The sanitizers must be told of every stack switch, or they lose track of what is on which stack.
#if defined(__SANITIZE_ADDRESS__)
#define HOST_FIBER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HOST_FIBER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define HOST_FIBER_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define HOST_FIBER_TSAN 1
#endif
#endif
#ifdef HOST_FIBER_ASAN
#include <sanitizer/asan_interface.h>
#include <sanitizer/common_interface_defs.h>
#endif
#ifdef HOST_FIBER_TSAN
#include <sanitizer/tsan_interface.h>
#endif

namespace host {

namespace {
thread_local Task* tls_task = nullptr;
thread_local int tls_interrupt_depth = 0;

namespace fctx = boost::context::detail;

// Fiber stacks as large as an OS thread's (8 MiB, of which only the pages touched take memory),
// with a guard below so an overflow faults instead of writing into a neighbour. Mapping one costs
// system calls and page faults, which are slow in a virtual machine, so stacks of ended threads
// wait here for the next thread, of this runtime or of the next one in the process.
constexpr std::size_t kStackSize = 8 << 20;
constexpr std::size_t kGuardSize = 64 << 10;
constexpr std::size_t kStacksKept = 32;

#ifdef HOST_FIBER_ASAN
/// Clears what ASan knows of a stack's bytes: an ended fiber leaves its last frames' red zones
/// poisoned. Writing the shadow of 8 MiB is a megabyte of memset and a page fault for every 32 KiB
/// of stack, on every thread start; its whole pages are dropped instead, and read back as zeros
/// (unpoisoned), as ASan clears large regions itself. Only the partial pages at the ends are
/// written.
void unpoison_stack(char* begin, std::size_t size) {
    std::size_t scale = 0;
    std::size_t offset = 0;
    __asan_get_shadow_mapping(&scale, &offset);
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(begin);
    const std::uintptr_t end = start + size;
    const std::uintptr_t shadow_start = ((start >> scale) + offset + page - 1) & ~(page - 1);
    const std::uintptr_t shadow_end = ((end >> scale) + offset) & ~(page - 1);
    if(shadow_start >= shadow_end ||
       madvise(reinterpret_cast<void*>(shadow_start), shadow_end - shadow_start, MADV_DONTNEED) != 0) {
        ASAN_UNPOISON_MEMORY_REGION(begin, size);
        return;
    }
    const std::uintptr_t dropped_start = (shadow_start - offset) << scale;
    const std::uintptr_t dropped_end = (shadow_end - offset) << scale;
    ASAN_UNPOISON_MEMORY_REGION(begin, dropped_start - start);
    ASAN_UNPOISON_MEMORY_REGION(reinterpret_cast<char*>(dropped_end), end - dropped_end);
}
#endif

class StackPool {
public:
    static StackPool& instance() {
        static StackPool pool;
        return pool;
    }

    ~StackPool() {
        for(const FiberStack& stack : free_) munmap(stack.base, stack.size);
    }

    FiberStack take() {
        {
            std::lock_guard lock(mutex_);
            if(!free_.empty()) {
                const FiberStack stack = free_.back();
                free_.pop_back();
#ifdef HOST_FIBER_ASAN
                unpoison_stack(static_cast<char*>(stack.base) + kGuardSize, stack.size - kGuardSize);
#endif
                return stack;
            }
        }
        void* base = mmap(
            nullptr,
            kStackSize,
            PROT_READ | PROT_WRITE,
            MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK,
            -1,
            0);
        if(base == MAP_FAILED) fatal("cannot map a %zu-byte stack for a platform thread", kStackSize);
        if(mprotect(base, kGuardSize, PROT_NONE) != 0)
            fatal("cannot protect the guard page of a platform thread's stack");
        return FiberStack{base, kStackSize};
    }

    void give(FiberStack stack) {
        {
            std::lock_guard lock(mutex_);
            if(free_.size() < kStacksKept) {
                free_.push_back(stack);
                return;
            }
        }
        munmap(stack.base, stack.size);
    }

private:
    std::mutex mutex_;
    std::vector<FiberStack> free_;
};

void* stack_top(const FiberStack& stack) {
    return static_cast<char*>(stack.base) + stack.size;
}

// Sanitizer bookkeeping around a switch from the running fiber to `next`; `ending` when the
// running one never runs again.
void before_switch(Task* self, Task* next, bool ending) {
#ifdef HOST_FIBER_ASAN
    __sanitizer_start_switch_fiber(
        ending ? nullptr : &self->asan_fake_stack, next->asan_stack_bottom, next->asan_stack_size);
#endif
#ifdef HOST_FIBER_TSAN
    __tsan_switch_to_fiber(next->tsan_fiber, 0);
#endif
    (void)self;
    (void)next;
    (void)ending;
}

const char* state_name(Task::State state) {
    switch(state) {
    case Task::State::Created:
        return "not started";
    case Task::State::Ready:
        return "ready";
    case Task::State::Running:
        return "running";
    case Task::State::Blocked:
        return "blocked";
    case Task::State::Finished:
        return "finished";
    }
    return "?";
}
} // namespace

void WaitList::insert(Task* task) {
    // Highest priority first; a newcomer goes behind the waiters of its own priority.
    auto pos = std::find_if(tasks_.begin(), tasks_.end(), [&](const Task* other) {
        return other->priority < task->priority;
    });
    tasks_.insert(pos, task);
}

void WaitList::remove(Task* task) {
    auto pos = std::find(tasks_.begin(), tasks_.end(), task);
    if(pos != tasks_.end()) tasks_.erase(pos);
}

Scheduler::Scheduler(const RuntimeOptions& options)
    : options_(options)
    , wall_start_(std::chrono::steady_clock::now()) {}

Scheduler::~Scheduler() = default;

Task* Scheduler::current() {
    return tls_interrupt_depth > 0 ? nullptr : tls_task;
}

bool Scheduler::in_interrupt() {
    return tls_interrupt_depth > 0;
}

Task* Scheduler::require_thread(const char* what) {
    if(tls_interrupt_depth > 0) {
        fatal("%s: blocking call from interrupt context", what);
    }
    if(tls_task == nullptr) {
        fatal(
            "%s: called from an OS thread that is not a platform thread (use Runtime::inject)",
            what);
    }
    return tls_task;
}

void Scheduler::run_as_interrupt(const std::function<void()>& fn) {
    ++tls_interrupt_depth;
    fn();
    --tls_interrupt_depth;
}

void Scheduler::adopt(Task* task) {
    tls_task = task;
    task->state = Task::State::Running;
#ifdef HOST_FIBER_TSAN
    task->tsan_fiber = __tsan_get_current_fiber();
#endif
}

void Scheduler::release_adopted(Task* task) {
    if(tls_task == task) tls_task = nullptr;
}

void Scheduler::register_task(Task* task) {
    tasks_.push_back(task);
}

void Scheduler::unregister_task(Task* task) {
    std::erase(tasks_, task);
    std::erase(ready_, task);
}

Task* Scheduler::find_task(const std::string& name) const {
    for(Task* task : tasks_) {
        if(task->name == name && task->state != Task::State::Created &&
           task->state != Task::State::Finished) {
            return task;
        }
    }
    return nullptr;
}

struct FiberEntry {
    static void run(fctx::transfer_t from) {
        auto* scheduler = static_cast<Scheduler*>(from.data);
        Task* self = scheduler->switch_to_;
        scheduler->arrive(self, from.fctx);
        scheduler->run_fiber(self);
    }
};

void Scheduler::spawn(Task* task, std::function<void()> body) {
    if(task->stack.base == nullptr) task->stack = StackPool::instance().take();
    task->body = std::move(body);
    task->context = fctx::make_fcontext(stack_top(task->stack), kStackSize - kGuardSize, &FiberEntry::run);
    task->asan_stack_bottom = static_cast<char*>(task->stack.base) + kGuardSize;
    task->asan_stack_size = kStackSize - kGuardSize;
#ifdef HOST_FIBER_TSAN
    task->tsan_fiber = __tsan_create_fiber(0);
#endif
    make_ready(task);
}

void Scheduler::run_fiber(Task* self) {
    {
        const std::function<void()> body = std::move(self->body);
        self->body = nullptr;
        body();
    }
    finish_current(); // never returns: the next task frees this stack on arrival
    fatal("a finished platform thread ran again");
}

void Scheduler::at_exit(std::function<void()> fn) {
    require_thread("at_exit")->exit_hooks.push_back(std::move(fn));
}

void Scheduler::run_exit_hooks(Task* task) {
    // Like thread_local destructors, the latest first; a hook may add another.
    while(!task->exit_hooks.empty()) {
        const std::function<void()> hook = std::move(task->exit_hooks.back());
        task->exit_hooks.pop_back();
        hook();
    }
}

void Scheduler::make_ready(Task* task) {
    task->state = Task::State::Ready;
    task->ready_seq = ++ready_counter_;
    ready_.push_back(task);
}

Task* Scheduler::pick_ready() {
    if(ready_.empty()) return nullptr;
    auto best = ready_.begin();
    for(auto it = ready_.begin(); it != ready_.end(); ++it) {
        if((*it)->priority > (*best)->priority ||
           ((*it)->priority == (*best)->priority && (*it)->ready_seq < (*best)->ready_seq)) {
            best = it;
        }
    }
    Task* task = *best;
    ready_.erase(best);
    return task;
}

bool Scheduler::block(WaitList* list, Nanos deadline) {
    Task* self = require_thread("blocking wait");
    self->deadline = deadline;
    self->timed_out = false;
    self->waiting_on = list;
    if(list) list->insert(self);
    self->state = Task::State::Blocked;
    reschedule(self);
    return !self->timed_out;
}

void Scheduler::wake(Task* task) {
    if(task->state != Task::State::Blocked) return;
    if(task->waiting_on) task->waiting_on->remove(task);
    task->waiting_on = nullptr;
    task->deadline = kForever;
    task->timed_out = false;
    make_ready(task);
}

Task* Scheduler::wake_one(WaitList& list) {
    Task* task = list.front();
    if(task) wake(task);
    return task;
}

void Scheduler::wake_all(WaitList& list) {
    while(!list.empty()) wake(list.front());
}

void Scheduler::preempt_point() {
    Task* self = current();
    if(self == nullptr || self->state != Task::State::Running) return;
    bool higher = std::any_of(ready_.begin(), ready_.end(), [&](const Task* task) {
        return task->priority > self->priority;
    });
    if(!higher) return;
    make_ready(self);
    reschedule(self);
}

void Scheduler::yield() {
    Task* self = require_thread("furi_thread_yield");
    make_ready(self);
    reschedule(self);
}

void Scheduler::finish_current() {
    Task* self = tls_task;
    self->state = Task::State::Finished;
    reschedule(self);
}

void Scheduler::reschedule(Task* self) {
    for(;;) {
        drain_inbox();
        if(Task* next = pick_ready()) {
            next->state = Task::State::Running;
            if(next != self) switch_to(self, next);
            return;
        }
        if(!advance_clock()) report_deadlock();
    }
}

void Scheduler::switch_to(Task* self, Task* next) {
    // All platform threads are fibers of one OS thread: the hand-over is a jump to where `next`
    // stopped (or to its start). A finished task jumps away for good; whoever runs next returns
    // its stack.
    ++handovers_;
    switch_from_ = self;
    switch_to_ = next;
    before_switch(self, next, self->state == Task::State::Finished);
    void* to = std::exchange(next->context, nullptr);
    if(to == nullptr) fatal("platform thread \"%s\" has nowhere to resume", next->name.c_str());
    const fctx::transfer_t from = fctx::jump_fcontext(to, this);
    arrive(self, from.fctx);
}

void Scheduler::arrive(Task* self, void* from_context) {
    Task* from = switch_from_;
#ifdef HOST_FIBER_ASAN
    const void* from_bottom = nullptr;
    std::size_t from_size = 0;
    __sanitizer_finish_switch_fiber(self->asan_fake_stack, &from_bottom, &from_size);
    if(from->stack.base == nullptr) {
        // "main" runs on its OS thread's stack, which only ASan can tell us.
        from->asan_stack_bottom = from_bottom;
        from->asan_stack_size = from_size;
    }
#endif
    tls_task = self;
    if(from->state == Task::State::Finished) {
#ifdef HOST_FIBER_TSAN
        __tsan_destroy_fiber(from->tsan_fiber);
        from->tsan_fiber = nullptr;
#endif
        StackPool::instance().give(from->stack);
        from->stack = FiberStack{};
        from->context = nullptr;
    } else {
        from->context = from_context;
    }
}

Nanos Scheduler::earliest_deadline() const {
    Nanos earliest = kForever;
    for(const Task* task : tasks_) {
        if(task->state == Task::State::Blocked) earliest = std::min(earliest, task->deadline);
    }
    return earliest;
}

bool Scheduler::advance_clock() {
    const Nanos deadline = earliest_deadline();
    const Nanos target = std::min(next_event_time(), deadline);
    if(target == kForever) {
        if(!options_.realtime) return false;
        // Interactive run with nothing scheduled: wait for the front-end to inject something.
        std::unique_lock lock(mutex_);
        inbox_cv_.wait(lock, [&] { return !inbox_.empty(); });
        const double elapsed = std::chrono::duration<double, std::nano>(
                                   std::chrono::steady_clock::now() - wall_start_)
                                   .count();
        now_ =
            std::max(now_, virtual_start_ + static_cast<Nanos>(elapsed * options_.realtime_speed));
        return true;
    }
    if(options_.virtual_time_limit != 0 && target > options_.virtual_time_limit) {
        fatal(
            "virtual time limit of %.3f s reached: the run never settles (a job that never ends?)",
            static_cast<double>(options_.virtual_time_limit) / kSecond);
    }
    if(options_.realtime && target > now_) {
        // Time the host spent running threads does not pass on the virtual clock. When the wall
        // clock has got ahead, start pacing afresh from here instead of rushing to catch up, so
        // a delay never lasts less wall time than it should.
        const auto wall_now = std::chrono::steady_clock::now();
        const auto wall_of_now = wall_start_ + std::chrono::nanoseconds(static_cast<std::int64_t>(
                                                   static_cast<double>(now_ - virtual_start_) /
                                                   options_.realtime_speed));
        if(wall_now > wall_of_now) {
            wall_start_ = wall_now;
            virtual_start_ = now_;
        }
        const auto wall_deadline =
            wall_start_ +
            std::chrono::nanoseconds(static_cast<std::int64_t>(
                static_cast<double>(target - virtual_start_) / options_.realtime_speed));
        std::unique_lock lock(mutex_);
        if(inbox_cv_.wait_until(lock, wall_deadline, [&] { return !inbox_.empty(); })) {
            const double elapsed = std::chrono::duration<double, std::nano>(
                                       std::chrono::steady_clock::now() - wall_start_)
                                       .count();
            const Nanos wall_virtual =
                virtual_start_ + static_cast<Nanos>(elapsed * options_.realtime_speed);
            now_ = std::clamp(wall_virtual, now_, target);
            return true; // run the injected work first, at the time it arrived
        }
    }
    now_ = std::max(now_, target);
    run_due_events();
    expire_deadlines();
    // Paced runs give the wall clock its say before every step; a jumping clock goes on
    // through the events that follow while none of them readies a thread.
    if(!options_.realtime) run_until_a_task_is_ready(deadline);
    return true;
}

void Scheduler::run_until_a_task_is_ready(Nanos earliest_deadline) {
    // No platform thread runs between two interrupt events unless one of them readies it: until
    // then each further step is what a full scheduling round would do (jump to the next event,
    // run what is due), without the round's bookkeeping. Interrupts cannot block a task or move
    // its deadline, so the earliest deadline stays put until a task becomes ready; an injection
    // from another OS thread ends the pass so it runs at the next point, as before.
    while(ready_.empty() && !inbox_pending_.load(std::memory_order_acquire)) {
        const Nanos next = next_event_time();
        if(next >= earliest_deadline) return; // the round expires it (or nothing is left)
        if(options_.virtual_time_limit != 0 && next > options_.virtual_time_limit) return;
        now_ = std::max(now_, next);
        run_due_events();
    }
}

Scheduler::Event Scheduler::pop_event() {
    std::pop_heap(events_.begin(), events_.end(), Later{});
    const Event event = events_.back();
    events_.pop_back();
    return event;
}

void Scheduler::run_stored(void* self, std::uint64_t slot) {
    auto* scheduler = static_cast<Scheduler*>(self);
    // Out of its slot before it runs: it may schedule more, which may reuse the slot.
    const std::function<void()> fn = std::move(scheduler->stored_[slot]);
    scheduler->stored_[slot] = nullptr;
    scheduler->free_slots_.push_back(slot);
    fn();
}

void Scheduler::run_due_events() {
    while(!events_.empty() && events_.front().at <= now_) {
        const Event event = pop_event();
        ++events_run_;
        ++tls_interrupt_depth;
        event.call(event.context, event.arg);
        --tls_interrupt_depth;
    }
}

void Scheduler::expire_deadlines() {
    for(Task* task : tasks_) {
        if(task->state == Task::State::Blocked && task->deadline <= now_) {
            if(task->waiting_on) task->waiting_on->remove(task);
            task->waiting_on = nullptr;
            task->deadline = kForever;
            task->timed_out = true;
            make_ready(task);
        }
    }
}

void Scheduler::busy_wait_until(Nanos deadline) {
    if(in_interrupt()) return; // a busy wait inside an interrupt handler stalls nothing we model
    for(;;) {
        drain_inbox();
        const Nanos next = next_event_time();
        if(next > deadline) break;
        now_ = std::max(now_, next);
        run_due_events();
    }
    now_ = std::max(now_, deadline);
    expire_deadlines();
    preempt_point();
}

EventId Scheduler::schedule_at(Nanos at, std::function<void()> fn) {
    std::uint64_t slot;
    if(free_slots_.empty()) {
        slot = stored_.size();
        stored_.push_back(std::move(fn));
    } else {
        slot = free_slots_.back();
        free_slots_.pop_back();
        stored_[slot] = std::move(fn);
    }
    return schedule_call_at(at, &Scheduler::run_stored, this, slot);
}

EventId Scheduler::schedule_call_at(Nanos at, EventCall call, void* context, std::uint64_t arg) {
    const EventId id = ++event_counter_;
    events_.push_back(Event{std::max(at, now_), id, call, context, arg});
    std::push_heap(events_.begin(), events_.end(), Later{});
    return id;
}

bool Scheduler::cancel(EventId id) {
    // Rare (a model going away, a key released early): a linear search and a new heap order.
    auto it =
        std::find_if(events_.begin(), events_.end(), [id](const Event& e) { return e.id == id; });
    if(it == events_.end()) return false;
    if(it->call == &Scheduler::run_stored && it->context == this) {
        stored_[it->arg] = nullptr;
        free_slots_.push_back(it->arg);
    }
    if(it != events_.end() - 1) *it = events_.back();
    events_.pop_back();
    std::make_heap(events_.begin(), events_.end(), Later{});
    return true;
}

void Scheduler::inject(std::function<void()> fn) {
    {
        std::lock_guard lock(mutex_);
        inbox_.push_back(std::move(fn));
        inbox_pending_.store(true, std::memory_order_release);
    }
    inbox_cv_.notify_one();
}

void Scheduler::drain_inbox() {
    if(!inbox_pending_.load(std::memory_order_acquire)) return;
    std::vector<std::function<void()>> pending;
    {
        std::lock_guard lock(mutex_);
        pending.swap(inbox_);
        inbox_pending_.store(false, std::memory_order_relaxed);
    }
    for(auto& fn : pending) run_as_interrupt(fn);
}

void Scheduler::report_deadlock() const {
    std::string threads;
    for(const Task* task : tasks_) {
        if(!threads.empty()) threads += ", ";
        threads += task->name + " (" + state_name(task->state) + ")";
    }
    fatal(
        "deadlock at %" PRIu64
        " ms: every platform thread waits forever and nothing is scheduled: %s",
        now_ / kMillisecond,
        threads.c_str());
}

} // namespace host
