#pragma once
// Kernel calls only the runtime and its tests need. The firmware does not export them, so they
// are not in the SDK headers a device build sees.
#include <task.h>

#include <functional>

namespace host {

/// Removes a record that nobody holds open; false when it is open or does not exist.
bool record_destroy(const char* name);

/// The task's priority (0 .. configMAX_PRIORITIES - 1); null is the calling thread.
UBaseType_t task_priority(TaskHandle_t task);

/// Runs fn on the calling platform thread when its callback has returned, before the thread
/// counts as stopped (so before a join returns), the latest registered first. Platform threads
/// share one OS thread, so this is where state kept per platform thread goes away (a
/// thread_local would live as long as the runtime's OS thread). The runtime's "main" never ends,
/// so what it registers never runs. Not from interrupt context.
void at_thread_exit(std::function<void()> fn);

} // namespace host
