#include "yrm100.h"

#include <memory>
#include <stdexcept>

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
    case 0:
    case 1:
    case 3:
        return match;
    case 4:
    case 6:
    case 7:
        return !match;
    default:
        return false;
    }
}

/// Reads a command frame's parameters. `valid` only when the checksum is right and the
/// parameters have the form and range the command takes.
Yrm100Request decode(const Frame& frame, host::Nanos at) {
    Yrm100Request r;
    r.command = frame.command;
    r.raw = frame.raw;
    r.at = at;
    const Bytes& p = frame.payload;
    bool well_formed = false;
    switch(frame.command) {
    case kCmdInfo:
    case kCmdSelectMode:
        well_formed = p.size() == 1 && p[0] <= 2;
        if(!p.empty()) r.parameter = p[0];
        break;
    case kCmdSinglePoll:
        well_formed = p.empty();
        break;
    case kCmdSelectParam:
        if(p.size() < 7) break;
        r.parameter = p[0];
        r.bank = static_cast<Bank>(p[0] & 0x03);
        r.address = be32(p, 1);
        r.count = p[5];
        // p[6] is the truncate flag, which only matters to inventory replies.
        r.data.assign(p.begin() + 7, p.end());
        well_formed = r.data.size() == (r.count + 7) / 8;
        break;
    case kCmdRead:
    case kCmdWrite: {
        if(p.size() < 9 || p[4] > 3) break;
        r.password = be32(p, 0);
        r.bank = static_cast<Bank>(p[4]);
        r.address = be16(p, 5);
        r.count = be16(p, 7);
        if(frame.command == kCmdRead) {
            well_formed = p.size() == 9;
            break;
        }
        // At most 32 words per write; the data must be all there (bytes beyond the count are
        // ignored).
        const std::size_t data_size = 2 * std::size_t{r.count};
        well_formed = r.count >= 1 && r.count <= 32 && p.size() >= 9 + data_size;
        if(well_formed)
            r.data.assign(p.begin() + 9, p.begin() + 9 + static_cast<std::ptrdiff_t>(data_size));
        break;
    }
    default:
        break;
    }
    r.valid = frame.checksum_ok && well_formed;
    return r;
}

} // namespace

namespace yrm100_fault {

Yrm100Fault silence() {
    return [](Yrm100Reply& reply) { reply.bytes.clear(); };
}

Yrm100Fault corrupt_byte(std::size_t position, std::uint8_t xor_mask) {
    return [=](Yrm100Reply& reply) {
        if(position < reply.bytes.size()) reply.bytes[position] ^= xor_mask;
    };
}

Yrm100Fault cut_short(std::size_t keep) {
    return [=](Yrm100Reply& reply) {
        if(keep < reply.bytes.size()) reply.bytes.resize(keep);
    };
}

Yrm100Fault trailing(Bytes bytes) {
    return [bytes = std::move(bytes)](Yrm100Reply& reply) {
        reply.bytes.insert(reply.bytes.end(), bytes.begin(), bytes.end());
    };
}

Yrm100Fault noise(std::size_t count, std::uint32_t seed) {
    return [=](Yrm100Reply& reply) {
        reply.bytes.clear();
        std::uint32_t state = seed ? seed : 1; // xorshift32
        while(reply.bytes.size() < count) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            reply.bytes.push_back(static_cast<std::uint8_t>(state));
        }
    };
}

Yrm100Fault delay(host::Nanos extra) {
    return [=](Yrm100Reply& reply) { reply.delay += extra; };
}

} // namespace yrm100_fault

Yrm100::Yrm100(host::Runtime& runtime, Yrm100Config config)
    : runtime_(runtime)
    , config_(std::move(config)) {
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

Yrm100::TagId Yrm100::add_tag(
    const TagSpec& spec,
    host::Nanos enter_at,
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

std::vector<Yrm100::TagId> Yrm100::tag_ids() const {
    std::vector<TagId> ids(tags_.size());
    for(TagId id = 0; id < ids.size(); ++id) ids[id] = id;
    return ids;
}

const VirtualTag& Yrm100::tag(TagId id) const {
    return tags_.at(id).tag;
}

VirtualTag& Yrm100::tag(TagId id) {
    return tags_.at(id).tag;
}

Bytes Yrm100::bank(TagId id, Bank bank) const {
    return tags_.at(id).tag.bytes(bank);
}

void Yrm100::set_bank(TagId id, Bank bank, const Bytes& bytes) {
    tags_.at(id).tag.set_bytes(bank, bytes);
}

void Yrm100::set_epc(TagId id, const Bytes& epc) {
    tags_.at(id).tag.set_epc(epc);
}

void Yrm100::refuse_writes(unsigned count, std::uint8_t error) {
    refuse_writes_ = Refusal{count, error};
}

void Yrm100::refuse_reads(unsigned count, std::uint8_t error) {
    refuse_reads_ = Refusal{count, error};
}

void Yrm100::arm_fault(Yrm100Fault fault, unsigned exchange) {
    if(exchange == 0) throw std::invalid_argument("faults are armed for exchange 1 or later");
    if(!fault) throw std::invalid_argument("no fault given");
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
    return passes(
        select_->action,
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
    // Bytes before a header (log text on the line, the rest of a broken frame) are skipped.
    auto frame = assembler_.push(byte, runtime_.now());
    if(!frame) return;
    ++exchanges_;
    requests_.push_back(decode(*frame, runtime_.now()));

    Yrm100Reply reply{.bytes = {}, .delay = config_.reply_latency};
    for(auto& part : answer(requests_.back())) {
        reply.bytes.insert(reply.bytes.end(), part.begin(), part.end());
    }
    auto armed = faults_.extract(exchanges_);
    if(!armed.empty()) {
        for(auto& fault : armed.mapped()) fault(reply);
    }
    if(!reply.bytes.empty()) send(std::move(reply));
}

void Yrm100::send(Yrm100Reply reply) {
    ++replies_sent_;
    auto id = std::make_shared<host::EventId>(0);
    *id = runtime_.schedule_after(reply.delay, [this, bytes = std::move(reply.bytes), id] {
        std::erase(pending_, *id);
        // Power cut while the module was working: the reply never leaves.
        if(config_.require_power && !runtime_.otg_enabled()) return;
        runtime_.uart(config_.uart).send_to_device(bytes);
    });
    pending_.push_back(*id);
}

Bytes Yrm100::error_reply(std::uint8_t error, const FieldTag* target) {
    const bool tag_error = error == kErrAccessFailed || (error >= 0xA0 && error <= 0xDF);
    if(tag_error && target) return make_long_error(error, target->tag.pc(), target->tag.epc());
    return make_error(error);
}

std::optional<Bytes> Yrm100::refusal(Refusal& refusal) {
    if(refusal.left == 0) return std::nullopt;
    --refusal.left;
    return error_reply(refusal.error, access_target());
}

std::vector<Bytes> Yrm100::answer(const Yrm100Request& request) {
    if(!request.valid) return one(make_error(kErrCommand));
    switch(request.command) {
    case kCmdInfo:
        return answer_info(request);
    case kCmdSinglePoll:
        return answer_poll();
    case kCmdSelectParam:
        return answer_select(request);
    case kCmdSelectMode:
        return answer_select_mode(request);
    case kCmdRead:
        return answer_read(request);
    case kCmdWrite:
        return answer_write(request);
    default:
        return one(make_error(kErrCommand));
    }
}

std::vector<Bytes> Yrm100::answer_info(const Yrm100Request& request) const {
    const std::string& text = request.parameter == 0 ? config_.hardware_version :
                              request.parameter == 1 ? config_.software_version :
                                                       config_.manufacturer;
    Bytes payload{request.parameter};
    payload.insert(payload.end(), text.begin(), text.end());
    return one(make_frame(kTypeResponse, kCmdInfo, payload));
}

std::vector<Bytes> Yrm100::answer_poll() {
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

std::vector<Bytes> Yrm100::answer_select(const Yrm100Request& request) {
    Select s;
    s.target = static_cast<std::uint8_t>(request.parameter >> 5);
    s.action = static_cast<std::uint8_t>(request.parameter >> 2 & 0x07);
    s.bank = request.bank;
    s.pointer = request.address;
    s.length = request.count;
    s.mask = request.data;
    select_ = std::move(s);
    select_mode_ = 0x02;
    const std::uint8_t ok[] = {0x00};
    return one(make_frame(kTypeResponse, kCmdSelectParam, ok));
}

std::vector<Bytes> Yrm100::answer_select_mode(const Yrm100Request& request) {
    select_mode_ = request.parameter;
    const std::uint8_t ok[] = {0x00};
    return one(make_frame(kTypeResponse, kCmdSelectMode, ok));
}

std::vector<Bytes> Yrm100::answer_read(const Yrm100Request& request) {
    if(auto refused = refusal(refuse_reads_)) return one(std::move(*refused));
    FieldTag* target = access_target();
    if(!target) return one(make_error(kErrReadFailed));
    VirtualTag& tag = target->tag;
    const Bytes epc = tag.epc();
    // The Access command goes out only for a non-zero password; a tag without a password is
    // secured at once.
    bool secured = tag.access_password() == 0;
    if(request.password != 0) {
        if(request.password != tag.access_password()) {
            return one(make_long_error(kErrAccessFailed, tag.pc(), epc));
        }
        secured = true;
    }
    std::vector<std::uint16_t> words;
    if(auto error = tag.read(request.bank, request.address, request.count, secured, words)) {
        return one(
            make_long_error(static_cast<std::uint8_t>(kErrReadTag | *error), tag.pc(), epc));
    }
    Bytes payload;
    append_tag_identity(payload, tag.pc(), epc);
    for(auto w : words) append_u16(payload, w);
    if(payload.size() > FrameAssembler::kMaxPayload) return one(make_error(kErrCommand));
    return one(make_frame(kTypeResponse, kCmdRead, payload));
}

std::vector<Bytes> Yrm100::answer_write(const Yrm100Request& request) {
    if(auto refused = refusal(refuse_writes_)) return one(std::move(*refused));
    std::vector<std::uint16_t> words(request.count);
    for(std::size_t i = 0; i < words.size(); ++i) words[i] = be16(request.data, 2 * i);

    FieldTag* target = access_target();
    if(!target) return one(make_error(kErrWriteFailed));
    VirtualTag& tag = target->tag;
    // The reply names the tag as it was singulated, before the write.
    const std::uint16_t pc = tag.pc();
    const Bytes epc = tag.epc();
    bool secured = tag.access_password() == 0;
    if(request.password != 0) {
        if(request.password != tag.access_password()) {
            return one(make_long_error(kErrAccessFailed, pc, epc));
        }
        secured = true;
    }
    if(auto error = tag.write(request.bank, request.address, words, secured)) {
        return one(make_long_error(static_cast<std::uint8_t>(kErrWriteTag | *error), pc, epc));
    }
    Bytes payload;
    append_tag_identity(payload, pc, epc);
    payload.push_back(0x00);
    return one(make_frame(kTypeResponse, kCmdWrite, payload));
}

} // namespace sim
