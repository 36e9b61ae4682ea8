#include "field.h"

#include <cstdio>
#include <stdexcept>

namespace sim::terminal {

std::vector<Yrm100::TagId> tag_ids(const Yrm100& module) {
    // The module hands out ids 0, 1, 2, ... and keeps every tag, so the known ones are those
    // up to the first it does not know.
    std::vector<Yrm100::TagId> ids;
    for(Yrm100::TagId id = 0;; ++id) {
        try {
            (void)module.tag(id);
        } catch(const std::out_of_range&) {
            break;
        }
        ids.push_back(id);
    }
    return ids;
}

std::string epc_hex(const yrm100::VirtualTag& tag) {
    std::string out;
    char hex[3];
    for(auto b : tag.epc()) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        out += hex;
    }
    return out.empty() ? "(no EPC)" : out;
}

void set_epc(yrm100::VirtualTag& tag, const yrm100::Bytes& epc) {
    if(epc.size() % 2 != 0)
        throw std::invalid_argument("an EPC is whole 16-bit words: an even number of bytes");
    const std::size_t words = epc.size() / 2;
    if(words > 31) throw std::invalid_argument("an EPC holds at most 31 words (62 bytes)");
    const std::uint16_t pc = static_cast<std::uint16_t>((tag.pc() & 0x07FF) | (words << 11));
    yrm100::Bytes bank;
    bank.reserve(4 + epc.size());
    for(std::uint16_t word : {tag.stored_crc(), pc}) {
        bank.push_back(static_cast<std::uint8_t>(word >> 8));
        bank.push_back(static_cast<std::uint8_t>(word & 0xFF));
    }
    for(auto b : epc) bank.push_back(b);
    tag.set_bytes(yrm100::Bank::Epc, bank);
    tag.power_up();
}

} // namespace sim::terminal
