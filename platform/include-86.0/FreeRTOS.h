/* Not in the SDK at API 86.0: apps call no FreeRTOS function at this API. */
#pragma once
#if defined(__arm__) || !defined(FURI_HOST_RUNTIME)
#error "FreeRTOS.h is not in the SDK at API 86.0: apps call no FreeRTOS function at this API"
#else
/* The host runtime serves both SDKs from one library; its own sources still see the 36.x one. */
#include_next <FreeRTOS.h>
#endif
