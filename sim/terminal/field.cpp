#include "field.h"

namespace sim::terminal {

std::string epc_hex(const yrm100::VirtualTag& tag) {
    const yrm100::Bytes epc = tag.epc();
    return epc.empty() ? "(no EPC)" : yrm100::to_hex(epc, "");
}

} // namespace sim::terminal
