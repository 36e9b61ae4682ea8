#pragma once
// A UART peer that answers each complete frame it receives with the next scripted byte string,
// sent exactly as given: for replaying captured module traffic and for feeding a command any
// reply at all (malformed, cut short, several frames).

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "host/runtime.h"
#include "host/uart.h"
#include "yrm100_frame.h"

namespace sim {

struct ScriptedStep {
    /// Sent as is after the next received frame; empty means no answer to that frame.
    yrm100::Bytes reply;
    /// When set, the received frame should equal these bytes; a difference is recorded in
    /// mismatches() (the reply still goes out, as a replay would).
    std::optional<yrm100::Bytes> expect;
    /// Time from the frame's end byte to the first reply byte; default: the peer's latency.
    std::optional<host::Nanos> latency;
};

struct ScriptedPeerConfig {
    FuriHalUartId uart = FuriHalUartIdUSART1;
    host::Nanos latency = host::ms(2);
    /// Answer only while the 5 V output is on.
    bool require_power = false;
};

class ScriptedPeer final : public host::UartPeer {
public:
    explicit ScriptedPeer(host::Runtime& runtime, ScriptedPeerConfig config = {});
    ~ScriptedPeer() override;
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    /// Answers the next unanswered frame with `reply`.
    void push_reply(yrm100::Bytes reply);
    /// The same from hex text ("BB 01 0C 00 01 00 0E 7E"); throws std::invalid_argument.
    void push_reply_hex(std::string_view hex);
    void push(ScriptedStep step);
    /// Steps not used yet.
    std::size_t remaining() const { return steps_.size(); }

    /// Every complete frame received, in order.
    const std::vector<yrm100::Bytes>& received() const { return received_; }
    /// Frames that arrived with no step left (they got no answer).
    std::size_t unanswered() const { return unanswered_; }
    /// One line per expectation that a received frame did not meet.
    const std::vector<std::string>& mismatches() const { return mismatches_; }

    void on_byte_from_device(std::uint8_t byte) override;

private:
    host::Runtime& runtime_;
    const ScriptedPeerConfig config_;
    yrm100::FrameAssembler assembler_;
    std::deque<ScriptedStep> steps_;
    std::vector<yrm100::Bytes> received_;
    std::vector<std::string> mismatches_;
    std::size_t unanswered_ = 0;
    std::vector<host::EventId> pending_;
};

} // namespace sim
