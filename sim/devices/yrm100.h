#pragma once
// Virtual YRM100 UHF RFID reader module on a UART of the host runtime.
//
// It answers, with the real module's frames and error replies: identity (0x03), single
// inventory (0x22, one notice per tag in the field), set select (0x0C, which also sets the
// select mode 02), select mode (0x12), read bank (0x39) and write bank (0x49). Anything else,
// and a command whose checksum or parameters are wrong, gets the short error 0x17. It answers
// only while the 5 V output is on (unless told to ignore power) and only at its baud rate.
//
// Tests drive it out of band: tags enter and leave the field at virtual times, faults are armed
// for the k-th next exchange, and every received frame is kept.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "host/runtime.h"
#include "host/uart.h"
#include "yrm100_frame.h"
#include "yrm100_tag.h"

namespace sim {

struct Yrm100Config {
    std::string hardware_version = "M100 26dBm V1.0";
    std::string software_version = "V2.3.5";
    std::string manufacturer = "MagicRf";
    /// Time from a command's end byte to the first reply byte.
    host::Nanos reply_latency = host::ms(3);
    /// Answer only while the 5 V output is on.
    bool require_power = true;
    FuriHalUartId uart = FuriHalUartIdUSART1;
    std::uint32_t baud_rate = 115200;
};

/// Faults, each applied to one exchange (one received command frame).
namespace yrm100_fault {
struct Silence {};                 ///< no reply at all, as with the module unplugged
struct CorruptByte {               ///< flips bits of one reply byte (checksum left as it was)
    std::size_t position;
    std::uint8_t xor_mask = 0x01;
};
struct CutShort {                  ///< only the first `keep` bytes of the reply are sent
    std::size_t keep;
};
struct Trailing {                  ///< bytes sent right behind the reply (e.g. a second frame)
    yrm100::Bytes bytes;
};
struct EndByteInPayload {          ///< payload byte at `offset` becomes 0x7E, checksum made right
    std::size_t offset = 0;
};
struct Noise {                     ///< `count` bytes without any 0x7E instead of the reply
    std::size_t count;
    std::uint32_t seed = 1;
};
struct Delay {                     ///< the reply starts this much later than usual
    host::Nanos extra;
};
} // namespace yrm100_fault

using Yrm100Fault = std::variant<yrm100_fault::Silence, yrm100_fault::CorruptByte,
                                 yrm100_fault::CutShort, yrm100_fault::Trailing,
                                 yrm100_fault::EndByteInPayload, yrm100_fault::Noise,
                                 yrm100_fault::Delay>;

class Yrm100 final : public host::UartPeer {
public:
    using TagId = std::size_t;

    /// Attaches to the configured UART of `runtime`.
    explicit Yrm100(host::Runtime& runtime, Yrm100Config config = {});
    ~Yrm100() override;
    Yrm100(const Yrm100&) = delete;
    Yrm100& operator=(const Yrm100&) = delete;

    const Yrm100Config& config() const { return config_; }

    // --- the field ---
    /// A tag in the field from now on.
    TagId add_tag(const yrm100::TagSpec& spec);
    /// A tag in the field from `enter_at` until `leave_at` (for ever when absent).
    TagId add_tag(const yrm100::TagSpec& spec, host::Nanos enter_at,
                  std::optional<host::Nanos> leave_at = std::nullopt);
    void set_presence(TagId id, host::Nanos enter_at, std::optional<host::Nanos> leave_at);
    /// The tag leaves the field now.
    void remove_tag(TagId id);
    bool in_field(TagId id) const;
    /// The tag as it is now (after writes). Throws std::out_of_range for an unknown id.
    const yrm100::VirtualTag& tag(TagId id) const;
    yrm100::VirtualTag& tag(TagId id);

    // --- faults ---
    /// Unplugged: the module hears and says nothing until plugged in again.
    void set_unplugged(bool unplugged) { unplugged_ = unplugged; }
    bool unplugged() const { return unplugged_; }
    /// Arms a fault for the `exchange`-th command frame from now (1: the next one). Several
    /// faults on one exchange apply in the order armed.
    void arm_fault(Yrm100Fault fault, unsigned exchange = 1);
    void clear_faults();

    // --- observation ---
    /// Command frames received complete (whether answered or not).
    std::size_t frames_received() const { return received_.size(); }
    const std::vector<yrm100::Frame>& received() const { return received_; }
    /// Replies (or fault replacements) put on the line.
    std::size_t replies_sent() const { return replies_sent_; }
    /// Select state that read and write use: mode 02 after a set select.
    std::uint8_t select_mode() const { return select_mode_; }
    bool select_set() const { return select_.has_value(); }
    std::uint64_t frames_dropped() const { return assembler_.dropped(); }

    // host::UartPeer
    void on_byte_from_device(std::uint8_t byte) override;
    void on_baud_rate(std::uint32_t baud) override;

private:
    struct FieldTag {
        yrm100::VirtualTag tag;
        host::Nanos enter_at;
        std::optional<host::Nanos> leave_at;
    };
    struct Select {
        std::uint8_t target = 0;
        std::uint8_t action = 0;
        yrm100::Bank bank = yrm100::Bank::Epc;
        std::uint32_t pointer = 0;
        std::uint32_t length = 0;
        yrm100::Bytes mask;
    };

    bool listening() const;
    bool present(const FieldTag& t) const;
    bool selected(const FieldTag& t) const;
    /// The tag a read or write singulates: the first present one that the select lets through.
    FieldTag* access_target();

    std::vector<yrm100::Bytes> answer(const yrm100::Frame& frame);
    std::vector<yrm100::Bytes> answer_info(const yrm100::Frame& frame) const;
    std::vector<yrm100::Bytes> answer_poll(const yrm100::Frame& frame);
    std::vector<yrm100::Bytes> answer_select(const yrm100::Frame& frame);
    std::vector<yrm100::Bytes> answer_select_mode(const yrm100::Frame& frame);
    std::vector<yrm100::Bytes> answer_read(const yrm100::Frame& frame);
    std::vector<yrm100::Bytes> answer_write(const yrm100::Frame& frame);
    void send(yrm100::Bytes bytes, host::Nanos delay);

    host::Runtime& runtime_;
    const Yrm100Config config_;
    yrm100::FrameAssembler assembler_;
    std::vector<FieldTag> tags_;
    std::optional<Select> select_;
    bool unplugged_ = false;
    std::uint8_t select_mode_ = 0x01; // no Select before operations until one is set
    std::map<std::uint64_t, std::vector<Yrm100Fault>> faults_; // by exchange number
    std::uint64_t exchanges_ = 0;
    std::vector<yrm100::Frame> received_;
    std::size_t replies_sent_ = 0;
    std::vector<host::EventId> pending_;
};

} // namespace sim
