/* Not in the SDK at API 86.0: furi_timer_set_thread_priority replaces the timer task's handle and vTaskPrioritySet. */
#pragma once
#if defined(__arm__) || !defined(FURI_HOST_RUNTIME)
#error "task.h is not in the SDK at API 86.0: use furi_timer_set_thread_priority"
#else
/* The host runtime serves both SDKs from one library; its own sources still see the 36.x one. */
#include_next <task.h>
#endif
