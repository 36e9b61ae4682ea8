#pragma once
// Kernel calls only the runtime and its tests need. The firmware does not export them, so they
// are not in the SDK headers a device build sees.
#include <task.h>

namespace host {

/// Removes a record that nobody holds open; false when it is open or does not exist.
bool record_destroy(const char* name);

/// The task's priority (0 .. configMAX_PRIORITIES - 1); null is the calling thread.
UBaseType_t task_priority(TaskHandle_t task);

} // namespace host
