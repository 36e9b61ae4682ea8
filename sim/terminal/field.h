#pragma once
// The virtual module's field as the front-end shows and edits it.

#include <string>
#include <vector>

#include "devices/yrm100.h"

namespace sim::terminal {

/// Every tag the module knows (in the field or not), in the order they were added.
std::vector<Yrm100::TagId> tag_ids(const Yrm100& module);

/// The tag's EPC as it is now, in hex without spaces ("(no EPC)" for none).
std::string epc_hex(const yrm100::VirtualTag& tag);

/// Replaces the tag's EPC: the PC word's length follows it and the StoredCRC is recomputed, as
/// a programmer writing a new EPC would leave it. std::invalid_argument for an odd byte count
/// or an EPC longer than the PC word can announce (31 words).
void set_epc(yrm100::VirtualTag& tag, const yrm100::Bytes& epc);

} // namespace sim::terminal
