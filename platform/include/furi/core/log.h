#pragma once
#include <stdarg.h>
#include <stdint.h>
#include <furi/core/base.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    FuriLogLevelDefault = 0,
    FuriLogLevelNone = 1,
    FuriLogLevelError = 2,
    FuriLogLevelWarn = 3,
    FuriLogLevelInfo = 4,
    FuriLogLevelDebug = 5,
    FuriLogLevelTrace = 6,
} FuriLogLevel;

void furi_log_print_format(FuriLogLevel level, const char* tag, const char* format, ...)
    __attribute__((__format__(__printf__, 3, 4)));
void furi_log_print_raw_format(FuriLogLevel level, const char* format, ...)
    __attribute__((__format__(__printf__, 2, 3)));
void furi_log_set_level(FuriLogLevel level);
FuriLogLevel furi_log_get_level(void);
bool furi_log_level_to_string(FuriLogLevel level, const char** str);
bool furi_log_level_from_string(const char* str, FuriLogLevel* level);

#ifdef __cplusplus
}
#endif

#define FURI_LOG_E(tag, format, ...) \
    furi_log_print_format(FuriLogLevelError, tag, format, ##__VA_ARGS__)
#define FURI_LOG_W(tag, format, ...) \
    furi_log_print_format(FuriLogLevelWarn, tag, format, ##__VA_ARGS__)
#define FURI_LOG_I(tag, format, ...) \
    furi_log_print_format(FuriLogLevelInfo, tag, format, ##__VA_ARGS__)
#define FURI_LOG_D(tag, format, ...) \
    furi_log_print_format(FuriLogLevelDebug, tag, format, ##__VA_ARGS__)
#define FURI_LOG_T(tag, format, ...) \
    furi_log_print_format(FuriLogLevelTrace, tag, format, ##__VA_ARGS__)
