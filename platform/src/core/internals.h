#pragma once
// State of one runtime run that the C API functions share. Owned by host::Runtime.

#include <furi.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/scheduler.h"

struct FuriThread {
    std::string name;
    std::string appid;
    std::uint32_t stack_size = 0;
    FuriThreadCallback callback = nullptr;
    void* context = nullptr;
    FuriThreadState state = FuriThreadStateStopped;
    FuriThreadStateCallback state_callback = nullptr;
    void* state_context = nullptr;
    std::int32_t return_code = 0;
    bool adopted = false; // the runtime's "main": an OS thread that was there before the runtime
    host::Task task;
    host::WaitList joiners;
};

struct FuriTimer;

namespace host {

struct Record {
    void* data = nullptr;
    int holders = 0;
};

struct TimerService {
    FuriThread* thread = nullptr;
    WaitList wakeup;                // the service task waits here for the next expiry
    std::vector<FuriTimer*> timers; // every allocated timer
    std::uint64_t start_counter = 0;
    bool stopping = false;
};

struct RuntimeInternals {
    std::unique_ptr<FuriThread> main_thread;
    std::map<std::string, Record> records;
    WaitList record_waiters;
    TimerService timers;
};

/// The live runtime's pieces, for the C API implementations.
Scheduler& sched();
RuntimeInternals& internals();
Nanos to_deadline(std::uint32_t ticks); // FuriWaitForever -> kForever

void start_timer_service(Runtime& runtime);
void stop_timer_service(Runtime& runtime);
void reset_log_level();

} // namespace host
