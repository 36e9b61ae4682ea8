#include "field.h"

#include <cstdio>

namespace sim::terminal {

std::string epc_hex(const yrm100::VirtualTag& tag) {
    std::string out;
    char hex[3];
    for(auto b : tag.epc()) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        out += hex;
    }
    return out.empty() ? "(no EPC)" : out;
}

} // namespace sim::terminal
