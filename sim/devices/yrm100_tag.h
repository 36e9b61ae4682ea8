#pragma once
// An EPC Gen2 tag in the virtual YRM100's field: its four memory banks of 16-bit words, its
// passwords and lock states.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "yrm100_frame.h"

namespace sim::yrm100 {

enum class Bank : std::uint8_t {
    Reserved = 0,
    Epc = 1,
    Tid = 2,
    User = 3
};

/** Lock state of one bank. */
enum class Lock : std::uint8_t {
    Open,      ///< readable and writable
    Secured,   ///< writable only after the right access password (Reserved: readable only then)
    Permanent, ///< never writable (Reserved: never readable either)
};

/** The lock's name in scenario files and on the web page: "open", "secured", "permanent". */
constexpr const char* lock_name(Lock lock) {
    switch(lock) {
    case Lock::Open:
        return "open";
    case Lock::Secured:
        return "secured";
    default:
        return "permanent";
    }
}

/** What a tag is made of. Byte strings must hold whole words. */
struct TagSpec {
    Bytes epc;
    /// PC word; by default the EPC length in words in the top five bits, plus the UMI bit 0x0400
    /// when the tag has User memory.
    std::optional<std::uint16_t> pc;
    /// Words of the EPC bank (StoredCRC, PC, EPC, spare words); 0: exactly 2 + EPC words.
    std::size_t epc_bank_words = 0;
    Bytes tid;
    Bytes user;
    std::uint32_t kill_password = 0;
    std::uint32_t access_password = 0;
    /// Per bank: Reserved, EPC, TID, User. TIDs are permalocked at the factory.
    std::array<Lock, 4> locks{Lock::Open, Lock::Open, Lock::Permanent, Lock::Open};
    std::int8_t rssi_dbm = -55;
    /// A tag that refuses every write with this Gen2 error code (e.g. 0x0B insufficient power).
    std::optional<std::uint8_t> write_error;
};

class VirtualTag {
public:
    /** Throws std::invalid_argument for odd byte strings or a bank too small for the EPC. */
    explicit VirtualTag(const TagSpec& spec);

    std::uint16_t pc() const { return epc_bank_[1]; }
    std::uint16_t stored_crc() const { return epc_bank_[0]; }
    /** The EPC as the PC word's length announces it (clamped to the bank). */
    Bytes epc() const;
    std::int8_t rssi_dbm() const { return rssi_dbm_; }
    std::uint32_t access_password() const;
    std::uint32_t kill_password() const;

    const std::vector<std::uint16_t>& words(Bank bank) const;
    /** A bank's words as big-endian bytes. */
    Bytes bytes(Bank bank) const;
    /** Replaces a bank's words directly, as a programmer would: no lock or password applies and
     *  the bank takes the new size. The EPC bank keeps its StoredCRC word as given (see
     *  power_up) and must hold at least StoredCRC and PC. Throws std::invalid_argument for an odd
     *  byte count, a Reserved bank other than four words, or an EPC bank below two words. */
    void set_bytes(Bank bank, const Bytes& bytes);
    /** Replaces the EPC: the PC word's length follows it (its other bits stay) and the
     *  StoredCRC is recomputed. Throws std::invalid_argument, the tag unchanged, for an odd
     *  byte count or more than 31 words. */
    void set_epc(const Bytes& epc);
    Lock lock(Bank bank) const { return locks_[static_cast<std::size_t>(bank)]; }
    void set_lock(Bank bank, Lock lock) { locks_[static_cast<std::size_t>(bank)] = lock; }
    void set_write_error(std::optional<std::uint8_t> code) { write_error_ = code; }
    std::uint32_t writes() const { return writes_; }

    /** What the tag does at power-up: StoredCRC := CRC-16/GENIBUS over PC and EPC. */
    void power_up();

    /** Gen2 Select match: bits [pointer, pointer + length) of the bank equal the mask. A mask
     *  that runs past the bank's end matches nothing; an empty mask matches every tag. */
    bool matches(
        Bank bank,
        std::uint32_t bit_pointer,
        std::uint32_t bit_length,
        std::span<const std::uint8_t> mask) const;

    /** Reads `count` words from `start`; a Gen2 error code on failure. `secured`: the tag is in
     *  the secured state (right access password given, or none set). */
    std::optional<std::uint8_t> read(
        Bank bank,
        std::size_t start,
        std::size_t count,
        bool secured,
        std::vector<std::uint16_t>& out) const;
    /** Writes words from `start`; a Gen2 error code on failure, the tag unchanged. */
    std::optional<std::uint8_t>
        write(Bank bank, std::size_t start, std::span<const std::uint16_t> data, bool secured);

private:
    std::vector<std::uint16_t>& bank_words(Bank bank);

    std::vector<std::uint16_t> reserved_;
    std::vector<std::uint16_t> epc_bank_;
    std::vector<std::uint16_t> tid_;
    std::vector<std::uint16_t> user_;
    std::array<Lock, 4> locks_;
    std::int8_t rssi_dbm_;
    std::optional<std::uint8_t> write_error_;
    std::uint32_t writes_ = 0;
};

} // namespace sim::yrm100
