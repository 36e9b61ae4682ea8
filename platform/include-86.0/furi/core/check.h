#pragma once
#include <stdbool.h>

#include <furi/core/common_defines.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__arm__)
/* What the crash handler prints for a furi_check or furi_assert given no message. */
#define __FURI_ASSERT_MESSAGE_FLAG (0x01)
#define __FURI_CHECK_MESSAGE_FLAG (0x02)

/* On the device the crash handler is the firmware's exported __furi_crash_implementation; the
 * message (or one of the flags above) travels in r12, where the handler picks it up. */
FURI_NORETURN void __furi_crash_implementation(void);

#define furi_crash(message)                                     \
    do {                                                        \
        register const void* r12 asm("r12") = (void*)(message); \
        asm volatile("" : : "r"(r12));                          \
        __furi_crash_implementation();                          \
    } while(0)

#else
/* On the host runtime a crash prints the message, the place and the thread, then aborts. */
__attribute__((noreturn)) void
    furi_crash_at(const char* message, const char* file, int line, const char* function);
__attribute__((noreturn)) void
    furi_check_failed(const char* expression, const char* file, int line, const char* function);

#define furi_crash(message) furi_crash_at((message), __FILE__, __LINE__, __func__)
#endif

#ifdef __cplusplus
}
#endif

#if defined(__arm__)
#define furi_check(__e)                                       \
    do {                                                      \
        if(!(__e)) furi_crash(__FURI_CHECK_MESSAGE_FLAG);     \
    } while(0)
#else
#define furi_check(__e)                                                   \
    do {                                                                  \
        if(!(__e)) furi_check_failed(#__e, __FILE__, __LINE__, __func__); \
    } while(0)
#endif

#define furi_assert(__e) furi_check(__e)

#define furi_halt(message) furi_crash(message)
