#pragma once
// The virtual module's field as the front-end shows and edits it.

#include <string>

#include "devices/yrm100.h"

namespace sim::terminal {

/// The tag's EPC as it is now, in hex without spaces ("(no EPC)" for none).
std::string epc_hex(const yrm100::VirtualTag& tag);

} // namespace sim::terminal
