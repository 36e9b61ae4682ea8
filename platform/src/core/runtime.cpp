#include "host/runtime.h"

#include <furi.h>

#include "core/fatal.h"
#include "core/internals.h"
#include "core/scheduler.h"
#include "host/random.h"

namespace host {

namespace {
Runtime* live_runtime = nullptr;
}

Runtime::Runtime(RuntimeOptions options)
    : options_(options) {
    if(live_runtime != nullptr)
        fatal("a host::Runtime already exists; only one can run at a time");
    live_runtime = this;
    log_.set_echo(options_.log_to_stderr);
    reset_log_level();
    random::seed(); // random names repeat from run to run
    scheduler_ = std::make_unique<Scheduler>(options_);
    internals_ = std::make_unique<RuntimeInternals>();
    gpio_ = std::make_unique<GpioBus>();
    uart_[0] = std::make_unique<UartPort>(*this, FuriHalUartIdUSART1);
    uart_[1] = std::make_unique<UartPort>(*this, FuriHalUartIdLPUART1);
    serial_ = std::make_unique<SerialControl>(*this);

    auto main = std::make_unique<FuriThread>();
    main->name = "main";
    main->adopted = true;
    main->state = FuriThreadStateRunning;
    main->task.name = "main";
    main->task.thread = main.get();
    scheduler_->register_task(&main->task);
    scheduler_->adopt(&main->task);
    internals_->main_thread = std::move(main);

    start_timer_service(*this);
}

Runtime::~Runtime() {
    stop_timer_service(*this);
    Task* main_task = &internals_->main_thread->task;
    if(Scheduler::current() != main_task) {
        fatal("host::Runtime must be destroyed on the thread that created it");
    }
    for(Task* task : scheduler_->tasks()) {
        if(task != main_task && task->state != Task::State::Created &&
           task->state != Task::State::Finished) {
            fatal(
                "host::Runtime destroyed while platform thread \"%s\" still runs; stop and join it first",
                task->name.c_str());
        }
    }
    scheduler_->release_adopted(main_task);
    scheduler_->unregister_task(main_task);
    gpio_->reset();
    live_runtime = nullptr;
}

Runtime& Runtime::current() {
    if(live_runtime == nullptr) fatal("the platform API was called with no host::Runtime alive");
    return *live_runtime;
}

bool Runtime::exists() {
    return live_runtime != nullptr;
}

Nanos Runtime::now() const {
    return scheduler_->now();
}

std::uint32_t Runtime::cycle_counter() const {
    const std::uint64_t cycles = scheduler_->now() * kCpuHz / kSecond;
    return static_cast<std::uint32_t>(options_.cycle_counter_start + cycles);
}

EventId Runtime::schedule_at(Nanos at, std::function<void()> fn) {
    return scheduler_->schedule_at(at, std::move(fn));
}

EventId Runtime::schedule_after(Nanos delay, std::function<void()> fn) {
    return scheduler_->schedule_at(scheduler_->now() + delay, std::move(fn));
}

bool Runtime::cancel(EventId id) {
    return scheduler_->cancel(id);
}

void Runtime::inject(std::function<void()> fn) {
    scheduler_->inject(std::move(fn));
}

void Runtime::run_for(Nanos duration) {
    scheduler_->block(nullptr, scheduler_->now() + duration);
}

std::uint64_t Runtime::handovers() const {
    return scheduler_->handovers();
}

std::uint64_t Runtime::events_run() const {
    return scheduler_->events_run();
}

UartPort& Runtime::uart(FuriHalUartId id) {
    if(id != FuriHalUartIdUSART1 && id != FuriHalUartIdLPUART1)
        fatal("no UART with id %d", static_cast<int>(id));
    return *uart_[id];
}

std::vector<std::string> Runtime::thread_names() const {
    std::vector<std::string> names;
    for(const Task* task : scheduler_->tasks()) names.push_back(task->name);
    return names;
}

void run_in_interrupt_context(const std::function<void()>& fn) {
    Scheduler::run_as_interrupt(fn);
}

Scheduler& sched() {
    return Runtime::current().scheduler();
}

RuntimeInternals& internals() {
    return Runtime::current().internals();
}

Nanos to_deadline(std::uint32_t ticks) {
    if(ticks == FuriWaitForever) return kForever;
    return sched().now() + static_cast<Nanos>(ticks) * kMillisecond;
}

} // namespace host
