#include "core/scheduler.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <string>

#include "core/fatal.h"

namespace host {

namespace {
thread_local Task* tls_task = nullptr;
thread_local int tls_interrupt_depth = 0;

// The run token's hand-over on Linux futexes. std::atomic<bool>::wait would share a wait word
// among unrelated tasks (waking them all) and spin with sched_yield first, which on a loaded
// host costs more than the sleep it tries to avoid.
static_assert(
    sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t) &&
    std::atomic<std::uint32_t>::is_always_lock_free);

void futex_wait(std::atomic<std::uint32_t>& word, std::uint32_t expected) {
    syscall(
        SYS_futex,
        reinterpret_cast<std::uint32_t*>(&word),
        FUTEX_WAIT_PRIVATE,
        expected,
        nullptr,
        nullptr,
        0);
}

void futex_wake_one(std::atomic<std::uint32_t>& word) {
    syscall(
        SYS_futex,
        reinterpret_cast<std::uint32_t*>(&word),
        FUTEX_WAKE_PRIVATE,
        1,
        nullptr,
        nullptr,
        0);
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

std::thread Scheduler::spawn(Task* task, std::function<void()> body) {
    std::thread os_thread([this, task, body = std::move(body)] {
        tls_task = task;
        wait_for_token(task);
        body();
        finish_current();
        tls_task = nullptr;
    });
    make_ready(task);
    return os_thread;
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
    // The token is a flag per task: set the next one's and sleep on our own. The release/acquire
    // pair orders everything the old holder did before everything the new holder does.
    const bool finished = self->state == Task::State::Finished;
    ++handovers_;
    next->go.store(1, std::memory_order_release);
    futex_wake_one(next->go);
    if(finished) return;
    wait_for_token(self);
}

void Scheduler::wait_for_token(Task* self) {
    while(self->go.load(std::memory_order_acquire) == 0) futex_wait(self->go, 0);
    self->go.store(0, std::memory_order_relaxed);
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
