#pragma once
#include <stdbool.h>

#ifdef __cplusplus
extern "C" {
#endif

/** Stops the system with a message. Never returns. */
__attribute__((noreturn)) void furi_crash_at(const char* message, const char* file, int line, const char* function);
/** Stops the system after a failed check. Never returns. */
__attribute__((noreturn)) void furi_check_failed(const char* expression, const char* file, int line, const char* function);

#ifdef __cplusplus
}
#endif

#define furi_crash(message) furi_crash_at((message), __FILE__, __LINE__, __func__)

#define furi_check(__e) \
    ((__e) ? (void)0 : furi_check_failed(#__e, __FILE__, __LINE__, __func__))

#define furi_assert(__e) furi_check(__e)

#define furi_halt(message) furi_crash(message)
