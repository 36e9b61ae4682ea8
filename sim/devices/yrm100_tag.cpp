#include "yrm100_tag.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

namespace sim::yrm100 {
namespace {

std::vector<std::uint16_t> to_words(const Bytes& bytes, const char* what) {
    if(bytes.size() % 2) throw std::invalid_argument(std::string(what) + " must hold whole words");
    std::vector<std::uint16_t> words(bytes.size() / 2);
    for(std::size_t i = 0; i < words.size(); ++i) {
        words[i] = static_cast<std::uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]);
    }
    return words;
}

Bytes to_bytes(std::span<const std::uint16_t> words) {
    Bytes bytes;
    bytes.reserve(words.size() * 2);
    for(auto w : words) {
        bytes.push_back(static_cast<std::uint8_t>(w >> 8));
        bytes.push_back(static_cast<std::uint8_t>(w));
    }
    return bytes;
}

} // namespace

VirtualTag::VirtualTag(const TagSpec& spec)
    : locks_(spec.locks)
    , rssi_dbm_(spec.rssi_dbm)
    , write_error_(spec.write_error) {
    const auto epc_words = to_words(spec.epc, "EPC");
    const std::size_t bank_words = spec.epc_bank_words ? spec.epc_bank_words :
                                                         epc_words.size() + 2;
    if(bank_words < epc_words.size() + 2) {
        throw std::invalid_argument("EPC bank too small for the EPC");
    }
    const auto default_pc =
        static_cast<std::uint16_t>((epc_words.size() << 11) | (spec.user.empty() ? 0 : 0x0400));
    epc_bank_.assign(bank_words, 0);
    epc_bank_[1] = spec.pc.value_or(default_pc);
    std::copy(epc_words.begin(), epc_words.end(), epc_bank_.begin() + 2);
    tid_ = to_words(spec.tid, "TID");
    user_ = to_words(spec.user, "User memory");
    reserved_ = {
        static_cast<std::uint16_t>(spec.kill_password >> 16),
        static_cast<std::uint16_t>(spec.kill_password),
        static_cast<std::uint16_t>(spec.access_password >> 16),
        static_cast<std::uint16_t>(spec.access_password)};
    power_up();
}

Bytes VirtualTag::epc() const {
    const std::size_t announced = pc() >> 11;
    const std::size_t available = epc_bank_.size() - 2;
    const std::size_t words = announced < available ? announced : available;
    return to_bytes(std::span(epc_bank_).subspan(2, words));
}

std::uint32_t VirtualTag::access_password() const {
    return std::uint32_t{reserved_[2]} << 16 | reserved_[3];
}

std::uint32_t VirtualTag::kill_password() const {
    return std::uint32_t{reserved_[0]} << 16 | reserved_[1];
}

const std::vector<std::uint16_t>& VirtualTag::words(Bank bank) const {
    switch(bank) {
    case Bank::Reserved:
        return reserved_;
    case Bank::Epc:
        return epc_bank_;
    case Bank::Tid:
        return tid_;
    case Bank::User:
        break;
    }
    return user_;
}

std::vector<std::uint16_t>& VirtualTag::bank_words(Bank bank) {
    return const_cast<std::vector<std::uint16_t>&>(std::as_const(*this).words(bank));
}

Bytes VirtualTag::bytes(Bank bank) const {
    return to_bytes(words(bank));
}

void VirtualTag::set_bytes(Bank bank, const Bytes& bytes) {
    auto words = to_words(bytes, "a bank");
    if(bank == Bank::Reserved && words.size() != 4) {
        throw std::invalid_argument("the Reserved bank holds four words");
    }
    if(bank == Bank::Epc && words.size() < 2) {
        throw std::invalid_argument("the EPC bank holds at least StoredCRC and PC");
    }
    bank_words(bank) = std::move(words);
}

void VirtualTag::power_up() {
    Bytes covered = to_bytes(std::span(epc_bank_).subspan(1, 1));
    const Bytes id = epc();
    covered.insert(covered.end(), id.begin(), id.end());
    epc_bank_[0] = crc16_genibus(covered);
}

void VirtualTag::set_epc(const Bytes& epc) {
    if(epc.size() % 2 != 0)
        throw std::invalid_argument("an EPC is whole 16-bit words: an even number of bytes");
    const std::size_t words = epc.size() / 2;
    if(words > 31) throw std::invalid_argument("an EPC holds at most 31 words (62 bytes)");
    std::vector<std::uint16_t> bank{
        stored_crc(), static_cast<std::uint16_t>((pc() & 0x07FF) | (words << 11))};
    for(std::size_t i = 0; i < words; ++i)
        bank.push_back(static_cast<std::uint16_t>(epc[2 * i] << 8 | epc[2 * i + 1]));
    epc_bank_ = std::move(bank);
    power_up();
}

bool VirtualTag::matches(
    Bank bank,
    std::uint32_t bit_pointer,
    std::uint32_t bit_length,
    std::span<const std::uint8_t> mask) const {
    if(bit_length == 0) return true;
    if(mask.size() * 8 < bit_length) return false;
    const Bytes memory = bytes(bank);
    if(std::uint64_t{bit_pointer} + bit_length > memory.size() * 8) return false;
    for(std::uint32_t i = 0; i < bit_length; ++i) {
        const std::uint32_t at = bit_pointer + i;
        const bool tag_bit = memory[at / 8] >> (7 - at % 8) & 1;
        const bool mask_bit = mask[i / 8] >> (7 - i % 8) & 1;
        if(tag_bit != mask_bit) return false;
    }
    return true;
}

std::optional<std::uint8_t> VirtualTag::read(
    Bank bank,
    std::size_t start,
    std::size_t count,
    bool secured,
    std::vector<std::uint16_t>& out) const {
    if(bank == Bank::Reserved &&
       (lock(bank) == Lock::Permanent || (lock(bank) == Lock::Secured && !secured))) {
        return kGen2MemoryLocked;
    }
    const auto& memory = words(bank);
    if(start >= memory.size()) return kGen2MemoryOverrun;
    // Gen2: a word count of zero reads to the end of the bank.
    if(count == 0) count = memory.size() - start;
    if(count > memory.size() - start) return kGen2MemoryOverrun;
    out.assign(
        memory.begin() + static_cast<std::ptrdiff_t>(start),
        memory.begin() + static_cast<std::ptrdiff_t>(start + count));
    return std::nullopt;
}

std::optional<std::uint8_t> VirtualTag::write(
    Bank bank,
    std::size_t start,
    std::span<const std::uint16_t> data,
    bool secured) {
    if(lock(bank) == Lock::Permanent || (lock(bank) == Lock::Secured && !secured)) {
        return kGen2MemoryLocked;
    }
    if(write_error_) return *write_error_;
    auto& memory = bank_words(bank);
    if(start > memory.size() || data.size() > memory.size() - start) return kGen2MemoryOverrun;
    std::copy(data.begin(), data.end(), memory.begin() + static_cast<std::ptrdiff_t>(start));
    ++writes_;
    // The module's carrier drops between commands, so the tag powers up again before anyone
    // sees it next: a changed PC or EPC gets its StoredCRC recomputed.
    if(bank == Bank::Epc) power_up();
    return std::nullopt;
}

} // namespace sim::yrm100
