#pragma once
#include <stdarg.h>
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define FURI_STRING_FAILURE ((size_t)-1)

typedef struct FuriString FuriString;

FuriString* furi_string_alloc(void);
FuriString* furi_string_alloc_set_str(const char cstr_source[]);
FuriString* furi_string_alloc_printf(const char format[], ...)
    __attribute__((__format__(__printf__, 1, 2)));
FuriString* furi_string_alloc_vprintf(const char format[], va_list args);
FuriString* furi_string_alloc_move(FuriString* source);
void furi_string_free(FuriString* string);
void furi_string_reserve(FuriString* string, size_t size);
void furi_string_reset(FuriString* string);
void furi_string_swap(FuriString* string_1, FuriString* string_2);
void furi_string_move(FuriString* string_1, FuriString* string_2);
size_t furi_string_hash(const FuriString* string);
size_t furi_string_size(const FuriString* string);
bool furi_string_empty(const FuriString* string);
char furi_string_get_char(const FuriString* string, size_t index);
void furi_string_set_char(FuriString* string, size_t index, const char c);
const char* furi_string_get_cstr(const FuriString* string);
void furi_string_set_str(FuriString* string, const char cstr[]);
void furi_string_set_strn(FuriString* string, const char cstr[], size_t n);
void furi_string_set_n(FuriString* string, const FuriString* source, size_t offset, size_t length);
int furi_string_printf(FuriString* string, const char format[], ...)
    __attribute__((__format__(__printf__, 2, 3)));
int furi_string_vprintf(FuriString* string, const char format[], va_list args);
void furi_string_push_back(FuriString* string, char c);
void furi_string_cat_str(FuriString* string_1, const char cstring_2[]);
int furi_string_cat_printf(FuriString* string, const char format[], ...)
    __attribute__((__format__(__printf__, 2, 3)));
int furi_string_cat_vprintf(FuriString* string, const char format[], va_list args);
int furi_string_cmp_str(const FuriString* string_1, const char cstring_2[]);
int furi_string_cmpi_str(const FuriString* string_1, const char cstring_2[]);
bool furi_string_equal_str(const FuriString* string_1, const char cstring_2[]);
size_t furi_string_search_str(const FuriString* string, const char cstring[], size_t start);
size_t furi_string_search_char(const FuriString* string, char c, size_t start);
size_t furi_string_search_rchar(const FuriString* string, char c, size_t start);
void furi_string_replace_at(FuriString* string, size_t pos, size_t len, const char replace[]);
void furi_string_replace_all_str(FuriString* string, const char needle[], const char replace[]);
bool furi_string_start_with_str(const FuriString* string, const char start[]);
bool furi_string_end_with_str(const FuriString* string, const char end[]);
void furi_string_left(FuriString* string, size_t index);
void furi_string_right(FuriString* string, size_t index);
void furi_string_mid(FuriString* string, size_t index, size_t size);
void furi_string_trim(FuriString* string, const char chars[]);
size_t furi_string_utf8_length(FuriString* str);

#ifdef __cplusplus
}
#endif
