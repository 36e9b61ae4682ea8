#pragma once
#include <stdbool.h>
#include <stdint.h>

#ifndef UNUSED
#define UNUSED(X) (void)(X)
#endif

#ifndef COUNT_OF
#define COUNT_OF(x) (sizeof(x) / sizeof(x[0]))
#endif

#ifndef MAX
#define MAX(a, b) ((a) > (b) ? (a) : (b))
#endif

#ifndef MIN
#define MIN(a, b) ((a) < (b) ? (a) : (b))
#endif

#ifndef CLAMP
#define CLAMP(x, upper, lower) (MIN(upper, MAX(x, lower)))
#endif

#ifndef FURI_BIT
#define FURI_BIT(x, n) (((x) >> (n)) & 1)
#endif

#ifdef __cplusplus
#define FURI_NORETURN [[noreturn]]
#else
#include <stdnoreturn.h>
#define FURI_NORETURN noreturn
#endif

#ifndef FURI_DEPRECATED
#define FURI_DEPRECATED __attribute__((deprecated))
#endif

#ifndef FURI_PACKED
#define FURI_PACKED __attribute__((packed))
#endif

#ifndef FURI_WEAK
#define FURI_WEAK __attribute__((weak))
#endif

/* The host runtime serves the 36.x and the 86.0 SDK from one library. A call whose argument or
 * return types changed at 86.0 keeps its name here, and on the host links to the runtime's 86.0
 * entry point "furi_api86_<name>"; on the device it is the firmware's export of that name. */
#if defined(__arm__)
#define FURI_HOST_API86(name)
#else
#define FURI_HOST_API86(name) __asm__("furi_api86_" #name)
#endif
