#pragma once
// Text from outside the simulator's own messages (a screen's strings, a file's content, a log
// line, a module's identity) made safe to print: what a terminal would not show as it is, or
// would act on, is written as an escape.

#include <string>
#include <string_view>

namespace host {

/// `text` with '\n' as "\n", '\t' as "\t", and every other control character, DEL, and byte that
/// is not part of a valid UTF-8 character as "\xNN" (C1 controls included); cut after `max`
/// bytes of `text`, with "..." when it was longer.
std::string printable(std::string_view text, std::size_t max = std::string_view::npos);

} // namespace host
