#include "yrm100_frame.h"

#include <cctype>

namespace sim::yrm100 {

std::uint8_t checksum(std::span<const std::uint8_t> bytes) {
    std::uint8_t sum = 0;
    for(auto b : bytes) sum = static_cast<std::uint8_t>(sum + b);
    return sum;
}

std::uint16_t crc16_genibus(std::span<const std::uint8_t> bytes) {
    if(bytes.empty()) return 0;
    std::uint16_t crc = 0xFFFF;
    for(auto b : bytes) {
        crc ^= static_cast<std::uint16_t>(b << 8);
        for(int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021) :
                                   static_cast<std::uint16_t>(crc << 1);
        }
    }
    return static_cast<std::uint16_t>(crc ^ 0xFFFF);
}

Bytes make_frame(std::uint8_t type, std::uint8_t command, std::span<const std::uint8_t> payload) {
    Bytes frame;
    frame.reserve(payload.size() + 7);
    frame.push_back(kHeader);
    frame.push_back(type);
    frame.push_back(command);
    frame.push_back(static_cast<std::uint8_t>(payload.size() >> 8));
    frame.push_back(static_cast<std::uint8_t>(payload.size()));
    frame.insert(frame.end(), payload.begin(), payload.end());
    frame.push_back(checksum(std::span(frame).subspan(1)));
    frame.push_back(kEnd);
    return frame;
}

Bytes make_error(std::uint8_t error) {
    const std::uint8_t payload[] = {error};
    return make_frame(kTypeResponse, kErrorCommand, payload);
}

Bytes make_long_error(std::uint8_t error, std::uint16_t pc, std::span<const std::uint8_t> epc) {
    Bytes payload{
        error,
        static_cast<std::uint8_t>(2 + epc.size()),
        static_cast<std::uint8_t>(pc >> 8),
        static_cast<std::uint8_t>(pc)};
    payload.insert(payload.end(), epc.begin(), epc.end());
    return make_frame(kTypeResponse, kErrorCommand, payload);
}

std::optional<Frame> FrameAssembler::push(std::uint8_t byte, host::Nanos at) {
    if(!raw_.empty() && at - last_at_ > kMaxGap) {
        ++dropped_;
        raw_.clear();
    }
    last_at_ = at;
    if(raw_.empty()) {
        if(byte == kHeader) raw_.push_back(byte);
        return std::nullopt;
    }
    raw_.push_back(byte);
    if(raw_.size() < 5) return std::nullopt;
    const std::size_t payload_length = (std::size_t{raw_[3]} << 8) | raw_[4];
    if(payload_length > kMaxPayload) {
        ++dropped_;
        raw_.clear();
        return std::nullopt;
    }
    if(raw_.size() < payload_length + 7) return std::nullopt;

    Bytes raw = std::move(raw_);
    raw_.clear();
    if(raw.back() != kEnd) {
        ++dropped_;
        return std::nullopt;
    }
    Frame frame;
    frame.type = raw[1];
    frame.command = raw[2];
    frame.payload.assign(
        raw.begin() + 5, raw.begin() + 5 + static_cast<std::ptrdiff_t>(payload_length));
    frame.checksum_ok = checksum(std::span(raw).subspan(1, payload_length + 4)) ==
                        raw[payload_length + 5];
    frame.raw = std::move(raw);
    return frame;
}

void FrameAssembler::reset() {
    raw_.clear();
}

std::string to_hex(const Bytes& bytes, std::string_view separator) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for(const std::uint8_t b : bytes) {
        if(!out.empty()) out += separator;
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
    return out;
}

std::optional<Bytes> parse_hex(std::string_view text) {
    Bytes out;
    std::size_t i = 0;
    auto hex_value = [](char c) -> int {
        if(c >= '0' && c <= '9') return c - '0';
        if(c >= 'a' && c <= 'f') return c - 'a' + 10;
        if(c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    while(i < text.size()) {
        const char c = text[i];
        if(c == ' ' || c == ',' || c == ':' || c == '\t' || c == '\n' || c == '\r') {
            ++i;
            continue;
        }
        if(c == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
            i += 2;
        }
        if(i + 1 >= text.size()) return std::nullopt;
        const int hi = hex_value(text[i]);
        const int lo = hex_value(text[i + 1]);
        if(hi < 0 || lo < 0) return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
        i += 2;
    }
    return out;
}

} // namespace sim::yrm100
