#pragma once
// Bridges written by hand: the variadic functions (formatted from the guest's AAPCS variadic
// words), the C library the firmware exports (on guest memory, with the guest heap), and the
// crash handler.

#include <string>

#include "marshal.h"

namespace fap {

/// printf-style formatting of the guest's format string with its variadic words, starting at
/// argument word `first`: 32-bit integers, %lld/%llu 8-aligned, %s guest strings, %c, %p,
/// flags, widths and precisions. A floating-point conversion stops the run.
std::string format_guest(Call& c, const char* format, int first);

/// Stops the run when the runtime lacks the function the import names (a weak reference).
void require(Call& c, const void* function);

#define FAP_BRIDGE(name) void name(Call& c)
FAP_BRIDGE(bridge_furi_crash);
FAP_BRIDGE(bridge_snprintf);
FAP_BRIDGE(bridge_furi_string_printf);
FAP_BRIDGE(bridge_furi_string_cat_printf);
FAP_BRIDGE(bridge_furi_string_alloc_printf);
FAP_BRIDGE(bridge_furi_log_print_format);
FAP_BRIDGE(bridge_furi_log_print_raw_format);
FAP_BRIDGE(bridge_malloc);
FAP_BRIDGE(bridge_free);
FAP_BRIDGE(bridge_realloc);
FAP_BRIDGE(bridge_memcpy);
FAP_BRIDGE(bridge_memmove);
FAP_BRIDGE(bridge_memset);
FAP_BRIDGE(bridge_memcmp);
FAP_BRIDGE(bridge_strlen);
FAP_BRIDGE(bridge_strcmp);
FAP_BRIDGE(bridge_strncmp);
FAP_BRIDGE(bridge_strcpy);
FAP_BRIDGE(bridge_strncpy);
FAP_BRIDGE(bridge_strchr);
FAP_BRIDGE(bridge_strrchr);
FAP_BRIDGE(bridge_strstr);
FAP_BRIDGE(bridge_strcat);
FAP_BRIDGE(bridge_strtol);
FAP_BRIDGE(bridge_strtoul);
FAP_BRIDGE(bridge_atoi);
FAP_BRIDGE(bridge_toupper);
FAP_BRIDGE(bridge_tolower);
FAP_BRIDGE(bridge_isalnum);
FAP_BRIDGE(bridge_isalpha);
FAP_BRIDGE(bridge_isdigit);
FAP_BRIDGE(bridge_isspace);
FAP_BRIDGE(bridge_isxdigit);
FAP_BRIDGE(bridge_isprint);
#undef FAP_BRIDGE

} // namespace fap
