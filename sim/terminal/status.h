#pragma once
// The text lines under the live screen: what the screen says, the outputs (LED, vibro, speaker,
// 5 V, virtual time), and the virtual hardware (the module's field, or the walk). The outputs'
// and the hardware's texts are the front-ends' shared ones (session/controls.h).

#include <string>
#include <vector>

#include "host/screen.h"
#include "session/controls.h"

namespace sim::terminal {

/// What the screen says, for the status line: its strings in drawing order, the selected item
/// of a menu or the file browser marked "> Saved", unprintable bytes escaped; blank strings and
/// the text input's cursor marks are left out.
std::vector<std::string> screen_strings(const host::Screen& screen);

/// The strings on "screen:" lines: "screen: Read Tag | > Saved | Settings". Blank strings are
/// left out; lines break between strings to stay within `columns`, at most `max_lines` of them.
std::vector<std::string>
    screen_text_lines(const std::vector<std::string>& strings, int columns, int max_lines);

} // namespace sim::terminal
