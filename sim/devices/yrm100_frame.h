#pragma once
// Frame codec of the YRM100 serial protocol, for the virtual module and the scripted peer:
// BB | type | command | PL (2, big-endian) | payload | checksum | 7E, the checksum being the low
// byte of the sum of type through the last payload byte.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/time.h"

namespace sim::yrm100 {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kHeader = 0xBB;
inline constexpr std::uint8_t kEnd = 0x7E;
inline constexpr std::uint8_t kTypeCommand = 0x00;
inline constexpr std::uint8_t kTypeResponse = 0x01;
inline constexpr std::uint8_t kTypeNotice = 0x02;
inline constexpr std::uint8_t kErrorCommand = 0xFF;

// Command codes.
inline constexpr std::uint8_t kCmdInfo = 0x03;
inline constexpr std::uint8_t kCmdSelectParam = 0x0C;
inline constexpr std::uint8_t kCmdSelectMode = 0x12;
inline constexpr std::uint8_t kCmdSinglePoll = 0x22;
inline constexpr std::uint8_t kCmdRead = 0x39;
inline constexpr std::uint8_t kCmdWrite = 0x49;

// Error codes of failure replies.
inline constexpr std::uint8_t kErrReadFailed = 0x09;
inline constexpr std::uint8_t kErrWriteFailed = 0x10;
inline constexpr std::uint8_t kErrInventoryFailed = 0x15;
inline constexpr std::uint8_t kErrAccessFailed = 0x16;
inline constexpr std::uint8_t kErrCommand = 0x17;
inline constexpr std::uint8_t kErrReadTag = 0xA0;  // | Gen2 error code
inline constexpr std::uint8_t kErrWriteTag = 0xB0; // | Gen2 error code
// Gen2 tag error codes.
inline constexpr std::uint8_t kGen2Other = 0x00;
inline constexpr std::uint8_t kGen2MemoryOverrun = 0x03;
inline constexpr std::uint8_t kGen2MemoryLocked = 0x04;
inline constexpr std::uint8_t kGen2InsufficientPower = 0x0B;

std::uint8_t checksum(std::span<const std::uint8_t> bytes);
/** CRC-16/GENIBUS, as a Gen2 tag computes its StoredCRC; 0 for no bytes. */
std::uint16_t crc16_genibus(std::span<const std::uint8_t> bytes);

/** A whole frame around a payload. */
Bytes make_frame(std::uint8_t type, std::uint8_t command, std::span<const std::uint8_t> payload);
/** Short failure reply: BB 01 FF 00 01 <err> <cs> 7E. */
Bytes make_error(std::uint8_t error);
/** Long failure reply of a singulated tag: <err> <UL> <PC> <EPC>, UL = 2 + EPC bytes. */
Bytes make_long_error(std::uint8_t error, std::uint16_t pc, std::span<const std::uint8_t> epc);

/** One frame as received. */
struct Frame {
    std::uint8_t type = 0;
    std::uint8_t command = 0;
    Bytes payload;
    bool checksum_ok = false;
    Bytes raw; ///< every byte from the header to the end byte
};

/** Collects frames from a byte stream by their length field. Bytes before a header are skipped;
 *  a frame whose end byte is not 0x7E, whose PL is implausible, or that stalls longer than the
 *  gap limit is dropped and the search for a header starts again. */
class FrameAssembler {
public:
    static constexpr std::size_t kMaxPayload = 512;
    static constexpr host::Nanos kMaxGap = host::ms(20);

    /** Feeds one byte received at `at`; a complete frame comes back. */
    std::optional<Frame> push(std::uint8_t byte, host::Nanos at);
    void reset();
    /** Frames dropped for a wrong end byte, an implausible length or a stall. */
    std::uint64_t dropped() const { return dropped_; }

private:
    Bytes raw_;
    host::Nanos last_at_ = 0;
    std::uint64_t dropped_ = 0;
};

/** Parses hex bytes such as "BB 00 22 00 00 22 7E" or "bb0022"; spaces, commas, colons and a
 *  "0x" prefix are allowed between bytes. Empty optional on anything else. */
std::optional<Bytes> parse_hex(std::string_view text);

/** The bytes as upper-case hex pairs with `separator` between them: "BB 00 22". */
std::string to_hex(const Bytes& bytes, std::string_view separator = " ");

} // namespace sim::yrm100
