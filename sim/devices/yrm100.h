#pragma once
// Virtual YRM100 UHF RFID reader module on a UART of the host runtime.
//
// It answers, with the real module's frames and error replies: identity (0x03), single
// inventory (0x22, one notice per tag in the field), set select (0x0C, which also sets the
// select mode 02), select mode (0x12), read bank (0x39) and write bank (0x49). Anything else,
// and a command whose checksum or parameters are wrong, gets the short error 0x17. It answers
// only while the 5 V output is on (unless told to ignore power) and only at its baud rate.
//
// Tests drive it out of band through its backend: tags enter and leave the field at virtual
// times, their banks are read and written directly, the next reads or writes can be refused,
// faults are armed for the k-th next exchange, and every request is kept decoded.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
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

/// One command frame as the module understood it. Fields a command does not have stay 0/empty.
struct Yrm100Request {
    std::uint8_t command = 0;
    /// Checksum right and parameters well formed; otherwise the module answered error 17.
    bool valid = false;
    yrm100::Bank bank = yrm100::Bank::Reserved; ///< read, write, select
    std::uint32_t password = 0;                 ///< read, write
    std::uint32_t address = 0;                  ///< read, write: first word; select: first bit
    std::uint32_t count = 0;                    ///< read, write: words; select: mask bits
    /// Identity: the info type; select: SelParam (target, action, bank); select mode: the mode.
    std::uint8_t parameter = 0;
    yrm100::Bytes data; ///< write: the data words; select: the mask
    yrm100::Bytes raw;  ///< the frame as received
    host::Nanos at = 0; ///< when its end byte arrived
};

/// A reply on its way to the device; faults change it before it leaves.
struct Yrm100Reply {
    yrm100::Bytes bytes;  ///< every frame of the reply, back to back (empty: no reply)
    host::Nanos delay{0}; ///< from the command's end byte to the first reply byte
};

/// A fault changes one reply. Each injectable fault is one function below returning one.
using Yrm100Fault = std::function<void(Yrm100Reply&)>;

namespace yrm100_fault {
/// No reply at all, as with the module unplugged.
Yrm100Fault silence();
/// Flips bits of the reply byte at `position` (checksum left as it was).
Yrm100Fault corrupt_byte(std::size_t position, std::uint8_t xor_mask = 0x01);
/// Only the first `keep` bytes of the reply go out.
Yrm100Fault cut_short(std::size_t keep);
/// `bytes` go out right behind the reply (e.g. a second frame).
Yrm100Fault trailing(yrm100::Bytes bytes);
/// `count` pseudo-random bytes (from `seed`) instead of the reply.
Yrm100Fault noise(std::size_t count, std::uint32_t seed = 1);
/// The reply starts `extra` later than usual.
Yrm100Fault delay(host::Nanos extra);
} // namespace yrm100_fault

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
    TagId add_tag(
        const yrm100::TagSpec& spec,
        host::Nanos enter_at,
        std::optional<host::Nanos> leave_at = std::nullopt);
    void set_presence(TagId id, host::Nanos enter_at, std::optional<host::Nanos> leave_at);
    /// The tag leaves the field now.
    void remove_tag(TagId id);
    bool in_field(TagId id) const;
    /// Every tag the module knows (in the field or not), in the order they were added.
    std::vector<TagId> tag_ids() const;
    /// The tag as it is now (after writes). Throws std::out_of_range for an unknown id.
    const yrm100::VirtualTag& tag(TagId id) const;
    yrm100::VirtualTag& tag(TagId id);

    /// A bank's bytes as they are now (after writes). Throws std::out_of_range.
    yrm100::Bytes bank(TagId id, yrm100::Bank bank) const;
    /// Replaces a bank's words directly, past locks and passwords; the bank takes the new size.
    /// An EPC-bank write keeps word 0 as given: call `tag(id).power_up()` for a fresh StoredCRC.
    void set_bank(TagId id, yrm100::Bank bank, const yrm100::Bytes& bytes);
    /// Replaces the tag's EPC as a programmer writing a new EPC would leave it: the PC word's
    /// length follows it and the StoredCRC is recomputed. Throws std::invalid_argument for an
    /// odd byte count or an EPC longer than the PC word can announce (31 words), the tag
    /// unchanged; std::out_of_range for an unknown id.
    void set_epc(TagId id, const yrm100::Bytes& epc);

    // --- refusals and faults ---
    /// The next `count` well-formed write (read) commands are refused with `error`, whatever
    /// the field: tag errors (16, A0-DF) in the long form naming the singulated tag when there
    /// is one, any other code in the short form. The tags stay unchanged. 0 ends a refusal.
    void refuse_writes(
        unsigned count,
        std::uint8_t error = yrm100::kErrWriteTag | yrm100::kGen2InsufficientPower);
    void
        refuse_reads(unsigned count, std::uint8_t error = yrm100::kErrReadTag | yrm100::kGen2Other);
    /// Unplugged: the module hears and says nothing until plugged in again.
    void set_unplugged(bool unplugged) { unplugged_ = unplugged; }
    bool unplugged() const { return unplugged_; }
    /// Arms a fault for the `exchange`-th command frame from now (1: the next one). Several
    /// faults on one exchange apply in the order armed.
    void arm_fault(Yrm100Fault fault, unsigned exchange = 1);
    void clear_faults();

    // --- observation ---
    /// Every command frame received complete (answered or not), decoded, in order.
    const std::vector<Yrm100Request>& requests() const { return requests_; }
    std::size_t frames_received() const { return requests_.size(); }
    /// Replies (or what faults left of them) put on the line.
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

    struct Refusal {
        unsigned left = 0;
        std::uint8_t error = 0;
    };

    bool listening() const;
    bool present(const FieldTag& t) const;
    bool selected(const FieldTag& t) const;
    /// The tag a read or write singulates: the first present one that the select lets through.
    FieldTag* access_target();
    /// The failure reply for `error`: long form for tag errors when `target` is a tag.
    static yrm100::Bytes error_reply(std::uint8_t error, const FieldTag* target);
    /// The reply of a refusal in force, counting it down; nullopt when none is.
    std::optional<yrm100::Bytes> refusal(Refusal& refusal);

    std::vector<yrm100::Bytes> answer(const Yrm100Request& request);
    std::vector<yrm100::Bytes> answer_info(const Yrm100Request& request) const;
    std::vector<yrm100::Bytes> answer_poll();
    std::vector<yrm100::Bytes> answer_select(const Yrm100Request& request);
    std::vector<yrm100::Bytes> answer_select_mode(const Yrm100Request& request);
    std::vector<yrm100::Bytes> answer_read(const Yrm100Request& request);
    std::vector<yrm100::Bytes> answer_write(const Yrm100Request& request);
    void send(Yrm100Reply reply);

    host::Runtime& runtime_;
    const Yrm100Config config_;
    yrm100::FrameAssembler assembler_;
    std::vector<FieldTag> tags_;
    std::optional<Select> select_;
    bool unplugged_ = false;
    std::uint8_t select_mode_ = 0x01; // no Select before operations until one is set
    Refusal refuse_writes_;
    Refusal refuse_reads_;
    std::map<std::uint64_t, std::vector<Yrm100Fault>> faults_; // by exchange number
    std::uint64_t exchanges_ = 0;
    std::vector<Yrm100Request> requests_;
    std::size_t replies_sent_ = 0;
    std::vector<host::EventId> pending_;
};

} // namespace sim
