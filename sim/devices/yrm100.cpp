#include "yrm100.h"

#include <memory>
#include <stdexcept>
#include <type_traits>

namespace sim {

using namespace yrm100;

namespace {

std::uint32_t be32(const Bytes& b, std::size_t at) {
    return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 |
           std::uint32_t{b[at + 2]} << 8 | b[at + 3];
}

std::uint16_t be16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]);
}

void append_u16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

/// UL, PC, EPC: how the module identifies the singulated tag in read and write replies.
void append_tag_identity(Bytes& out, std::uint16_t pc, const Bytes& epc) {
    out.push_back(static_cast<std::uint8_t>(2 + epc.size()));
    append_u16(out, pc);
    out.insert(out.end(), epc.begin(), epc.end());
}

std::vector<Bytes> one(Bytes frame) {
    std::vector<Bytes> v;
    v.push_back(std::move(frame));
    return v;
}

/// Whether the tag passes a Gen2 Select with `action`, given whether it matched the mask. The
/// module's Select starts from deasserted flags before every operation.
bool passes(std::uint8_t action, bool match) {
    switch(action) {
    case 0: case 1: case 3: return match;
    case 4: case 6: case 7: return !match;
    default: return false;
    }
}

} // namespace

Yrm100::Yrm100(host::Runtime& runtime, Yrm100Config config)
    : runtime_(runtime), config_(std::move(config)) {
    runtime_.uart(config_.uart).attach(this);
}

Yrm100::~Yrm100() {
    for(auto id : pending_) runtime_.cancel(id);
    auto& port = runtime_.uart(config_.uart);
    if(port.peer() == this) port.attach(nullptr);
}

Yrm100::TagId Yrm100::add_tag(const TagSpec& spec) {
    return add_tag(spec, runtime_.now());
}

Yrm100::TagId Yrm100::add_tag(const TagSpec& spec, host::Nanos enter_at,
                              std::optional<host::Nanos> leave_at) {
    tags_.push_back(FieldTag{VirtualTag(spec), enter_at, leave_at});
    return tags_.size() - 1;
}

void Yrm100::set_presence(TagId id, host::Nanos enter_at, std::optional<host::Nanos> leave_at) {
    auto& t = tags_.at(id);
    t.enter_at = enter_at;
    t.leave_at = leave_at;
}

void Yrm100::remove_tag(TagId id) {
    auto& t = tags_.at(id);
    const auto now = runtime_.now();
    if(!t.leave_at || *t.leave_at > now) t.leave_at = now;
}

bool Yrm100::in_field(TagId id) const {
    return present(tags_.at(id));
}

const VirtualTag& Yrm100::tag(TagId id) const {
    return tags_.at(id).tag;
}

VirtualTag& Yrm100::tag(TagId id) {
    return tags_.at(id).tag;
}

void Yrm100::arm_fault(Yrm100Fault fault, unsigned exchange) {
    if(exchange == 0) throw std::invalid_argument("faults are armed for exchange 1 or later");
    faults_[exchanges_ + exchange].push_back(std::move(fault));
}

void Yrm100::clear_faults() {
    faults_.clear();
}

bool Yrm100::listening() const {
    if(unplugged_) return false;
    if(config_.require_power && !runtime_.otg_enabled()) return false;
    return runtime_.uart(config_.uart).baud_rate() == config_.baud_rate;
}

bool Yrm100::present(const FieldTag& t) const {
    const auto now = runtime_.now();
    return now >= t.enter_at && (!t.leave_at || now < *t.leave_at);
}

bool Yrm100::selected(const FieldTag& t) const {
    if(!select_) return true;
    return passes(select_->action,
                  t.tag.matches(select_->bank, select_->pointer, select_->length, select_->mask));
}

Yrm100::FieldTag* Yrm100::access_target() {
    for(auto& t : tags_) {
        if(!present(t)) continue;
        if(select_mode_ != 0x01 && !selected(t)) continue;
        return &t;
    }
    return nullptr;
}

void Yrm100::on_baud_rate(std::uint32_t) {
    assembler_.reset();
}

void Yrm100::on_byte_from_device(std::uint8_t byte) {
    // Unpowered, or at another baud rate: the module sees nothing it can decode.
    if(!listening()) {
        assembler_.reset();
        return;
    }
    auto frame = assembler_.push(byte, runtime_.now());
    if(!frame) return;
    ++exchanges_;
    received_.push_back(*frame);

    Bytes out;
    for(auto& reply : answer(*frame)) out.insert(out.end(), reply.begin(), reply.end());
    host::Nanos delay = config_.reply_latency;

    auto armed = faults_.extract(exchanges_);
    if(!armed.empty()) {
        for(auto& fault : armed.mapped()) {
            std::visit(
                [&](auto& f) {
                    using F = std::decay_t<decltype(f)>;
                    if constexpr(std::is_same_v<F, yrm100_fault::Silence>) {
                        out.clear();
                    } else if constexpr(std::is_same_v<F, yrm100_fault::CorruptByte>) {
                        if(f.position < out.size()) out[f.position] ^= f.xor_mask;
                    } else if constexpr(std::is_same_v<F, yrm100_fault::CutShort>) {
                        if(f.keep < out.size()) out.resize(f.keep);
                    } else if constexpr(std::is_same_v<F, yrm100_fault::Trailing>) {
                        out.insert(out.end(), f.bytes.begin(), f.bytes.end());
                    } else if constexpr(std::is_same_v<F, yrm100_fault::EndByteInPayload>) {
                        if(out.size() < 7) return;
                        const std::size_t pl = std::size_t{out[3]} << 8 | out[4];
                        if(f.offset >= pl || out.size() < pl + 7) return;
                        out[5 + f.offset] = kEnd;
                        out[5 + pl] = checksum(std::span(out).subspan(1, pl + 4));
                    } else if constexpr(std::is_same_v<F, yrm100_fault::Noise>) {
                        out.clear();
                        std::uint32_t state = f.seed ? f.seed : 1;
                        while(out.size() < f.count) {
                            state ^= state << 13;
                            state ^= state >> 17;
                            state ^= state << 5;
                            const auto b = static_cast<std::uint8_t>(state);
                            if(b != kEnd) out.push_back(b);
                        }
                    } else if constexpr(std::is_same_v<F, yrm100_fault::Delay>) {
                        delay += f.extra;
                    }
                },
                fault);
        }
    }
    if(!out.empty()) send(std::move(out), delay);
}

void Yrm100::send(Bytes bytes, host::Nanos delay) {
    ++replies_sent_;
    auto id = std::make_shared<host::EventId>(0);
    *id = runtime_.schedule_after(delay, [this, bytes = std::move(bytes), id] {
        std::erase(pending_, *id);
        // Power cut while the module was working: the reply never leaves.
        if(config_.require_power && !runtime_.otg_enabled()) return;
        runtime_.uart(config_.uart).send_to_device(bytes);
    });
    pending_.push_back(*id);
}

std::vector<Bytes> Yrm100::answer(const Frame& frame) {
    if(!frame.checksum_ok) return one(make_error(kErrCommand));
    switch(frame.command) {
    case kCmdInfo: return answer_info(frame);
    case kCmdSinglePoll: return answer_poll(frame);
    case kCmdSelectParam: return answer_select(frame);
    case kCmdSelectMode: return answer_select_mode(frame);
    case kCmdRead: return answer_read(frame);
    case kCmdWrite: return answer_write(frame);
    default: return one(make_error(kErrCommand));
    }
}

std::vector<Bytes> Yrm100::answer_info(const Frame& frame) const {
    if(frame.payload.size() != 1 || frame.payload[0] > 2) return one(make_error(kErrCommand));
    const std::string& text = frame.payload[0] == 0   ? config_.hardware_version
                              : frame.payload[0] == 1 ? config_.software_version
                                                      : config_.manufacturer;
    Bytes payload{frame.payload[0]};
    payload.insert(payload.end(), text.begin(), text.end());
    return one(make_frame(kTypeResponse, kCmdInfo, payload));
}

std::vector<Bytes> Yrm100::answer_poll(const Frame& frame) {
    if(!frame.payload.empty()) return one(make_error(kErrCommand));
    std::vector<Bytes> notices;
    for(auto& t : tags_) {
        if(!present(t)) continue;
        // Select mode 00 sends the Select before inventory as well.
        if(select_mode_ == 0x00 && !selected(t)) continue;
        Bytes payload{static_cast<std::uint8_t>(t.tag.rssi_dbm())};
        append_u16(payload, t.tag.pc());
        const Bytes epc = t.tag.epc();
        payload.insert(payload.end(), epc.begin(), epc.end());
        append_u16(payload, t.tag.stored_crc());
        notices.push_back(make_frame(kTypeNotice, kCmdSinglePoll, payload));
    }
    if(notices.empty()) return one(make_error(kErrInventoryFailed));
    return notices;
}

std::vector<Bytes> Yrm100::answer_select(const Frame& frame) {
    const Bytes& p = frame.payload;
    if(p.size() < 7) return one(make_error(kErrCommand));
    Select s;
    s.target = static_cast<std::uint8_t>(p[0] >> 5);
    s.action = static_cast<std::uint8_t>(p[0] >> 2 & 0x07);
    s.bank = static_cast<Bank>(p[0] & 0x03);
    s.pointer = be32(p, 1);
    s.length = p[5];
    // p[6] is the truncate flag, which only matters to inventory replies.
    if(p.size() != 7 + (s.length + 7) / 8) return one(make_error(kErrCommand));
    s.mask.assign(p.begin() + 7, p.end());
    select_ = std::move(s);
    select_mode_ = 0x02;
    const std::uint8_t ok[] = {0x00};
    return one(make_frame(kTypeResponse, kCmdSelectParam, ok));
}

std::vector<Bytes> Yrm100::answer_select_mode(const Frame& frame) {
    if(frame.payload.size() != 1 || frame.payload[0] > 2) return one(make_error(kErrCommand));
    select_mode_ = frame.payload[0];
    const std::uint8_t ok[] = {0x00};
    return one(make_frame(kTypeResponse, kCmdSelectMode, ok));
}

std::vector<Bytes> Yrm100::answer_read(const Frame& frame) {
    const Bytes& p = frame.payload;
    if(p.size() != 9 || p[4] > 3) return one(make_error(kErrCommand));
    const std::uint32_t password = be32(p, 0);
    const auto bank = static_cast<Bank>(p[4]);
    const std::uint16_t start = be16(p, 5);
    const std::uint16_t count = be16(p, 7);

    FieldTag* target = access_target();
    if(!target) return one(make_error(kErrReadFailed));
    VirtualTag& tag = target->tag;
    const Bytes epc = tag.epc();
    // The Access command goes out only for a non-zero password; a tag without a password is
    // secured at once.
    bool secured = tag.access_password() == 0;
    if(password != 0) {
        if(password != tag.access_password()) {
            return one(make_long_error(kErrAccessFailed, tag.pc(), epc));
        }
        secured = true;
    }
    std::vector<std::uint16_t> words;
    if(auto error = tag.read(bank, start, count, secured, words)) {
        return one(make_long_error(static_cast<std::uint8_t>(kErrReadTag | *error), tag.pc(), epc));
    }
    Bytes payload;
    append_tag_identity(payload, tag.pc(), epc);
    for(auto w : words) append_u16(payload, w);
    if(payload.size() > FrameAssembler::kMaxPayload) return one(make_error(kErrCommand));
    return one(make_frame(kTypeResponse, kCmdRead, payload));
}

std::vector<Bytes> Yrm100::answer_write(const Frame& frame) {
    const Bytes& p = frame.payload;
    if(p.size() < 9 || p[4] > 3) return one(make_error(kErrCommand));
    const std::uint32_t password = be32(p, 0);
    const auto bank = static_cast<Bank>(p[4]);
    const std::uint16_t start = be16(p, 5);
    const std::uint16_t count = be16(p, 7);
    // At most 32 words per write; the data must be all there (bytes beyond the count are
    // ignored).
    if(count == 0 || count > 32 || p.size() < 9 + 2 * std::size_t{count}) {
        return one(make_error(kErrCommand));
    }
    std::vector<std::uint16_t> words(count);
    for(std::size_t i = 0; i < count; ++i) words[i] = be16(p, 9 + 2 * i);

    FieldTag* target = access_target();
    if(!target) return one(make_error(kErrWriteFailed));
    VirtualTag& tag = target->tag;
    // The reply names the tag as it was singulated, before the write.
    const std::uint16_t pc = tag.pc();
    const Bytes epc = tag.epc();
    bool secured = tag.access_password() == 0;
    if(password != 0) {
        if(password != tag.access_password()) {
            return one(make_long_error(kErrAccessFailed, pc, epc));
        }
        secured = true;
    }
    if(auto error = tag.write(bank, start, words, secured)) {
        return one(make_long_error(static_cast<std::uint8_t>(kErrWriteTag | *error), pc, epc));
    }
    Bytes payload;
    append_tag_identity(payload, pc, epc);
    payload.push_back(0x00);
    return one(make_frame(kTypeResponse, kCmdWrite, payload));
}

} // namespace sim
