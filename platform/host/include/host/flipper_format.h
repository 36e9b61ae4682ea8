#pragma once
#include <flipper_format/flipper_format.h>

#include <string>
#include <string_view>

namespace host {

/// The text behind a FlipperFormat made with flipper_format_string_alloc (tests and fuzzers read
/// and write key-value text without the card): replaces it and rewinds.
void flipper_format_set_text(FlipperFormat* flipper_format, std::string_view text);
/// The whole text, NULs included.
std::string flipper_format_text(FlipperFormat* flipper_format);

} // namespace host
