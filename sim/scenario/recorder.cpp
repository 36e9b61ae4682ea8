#include "recorder.h"

#include <algorithm>
#include <cstdio>
#include <tuple>

#include "host/input.h"

namespace sim::scenario {
namespace {

using host::Nanos;

/// What a step of the replay takes: a short press (the input service's 50 ms hold and the
/// 20 ms a press leaves the app), and the settling after a held key's release.
constexpr std::int64_t kShortPressMs = 70;
constexpr std::int64_t kSettleMs = 20;
/// The longest single wait a scenario takes; longer pauses become several.
constexpr std::int64_t kMaxWaitMs = 3600 * 1000;
/// Card files recorded, in all: a scenario file stays well under its 1 MiB limit.
constexpr std::size_t kMaxCardBytes = 512 * 1024;
constexpr std::size_t kMaxCardFile = 64 * 1024;

std::int64_t to_ms(Nanos t) {
    return (t + host::kMillisecond / 2) / host::kMillisecond;
}

const char* key_name(InputKey key) {
    switch(key) {
    case InputKeyUp:
        return "up";
    case InputKeyDown:
        return "down";
    case InputKeyLeft:
        return "left";
    case InputKeyRight:
        return "right";
    case InputKeyOk:
        return "ok";
    default:
        return "back";
    }
}

/// A bank's bytes as a scenario writes them: hex without spaces, "" for none.
std::string hex(const yrm100::Bytes& bytes) {
    return bytes.empty() ? "\"\"" : yrm100::to_hex(bytes, "");
}

/// Valid UTF-8 without NUL or control characters other than tab, CR and LF: what a scenario's
/// double-quoted string gives back byte for byte.
bool plain_text(std::string_view text) {
    for(std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if(c < 0x80) {
            if((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) return false;
            ++i;
            continue;
        }
        const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        if(length == 0 || c > 0xF4 || i + length > text.size()) return false;
        for(std::size_t k = 1; k < length; ++k) {
            if((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

} // namespace

Recorder::Recorder(std::string app, std::string replay_options)
    : app_(std::move(app))
    , replay_options_(std::move(replay_options)) {}

std::string Recorder::quoted(std::string_view text) {
    std::string out = "\"";
    for(char c : text) {
        switch(c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(c));
                out += escape;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

void Recorder::add(Nanos at, Nanos duration, std::string step) {
    typing_open_ = false;
    for(std::int64_t gap = to_ms(at) - clock_ms_; gap > 0;) {
        const std::int64_t wait = std::min(gap, kMaxWaitMs);
        lines_.push_back("  - wait: " + std::to_string(wait));
        clock_ms_ += wait;
        gap -= wait;
    }
    lines_.push_back("  - " + std::move(step));
    clock_ms_ += to_ms(duration);
    ++steps_;
}

void Recorder::key(Nanos down, Nanos up, InputKey key) {
    const Nanos held = up > down ? up - down : 0;
    if(held < host::InputDevice::kLongPressTime) {
        add(down, host::ms(kShortPressMs), std::string("press: ") + key_name(key));
        return;
    }
    // Long at 300 ms, a Repeat every 150 ms after: the replay holds half way between the
    // Repeats the live key gave, so that it gives as many however its timing falls.
    const Nanos period = host::InputDevice::kRepeatPeriod;
    const Nanos repeats = (held - host::InputDevice::kLongPressTime) / period;
    const Nanos hold = host::InputDevice::kLongPressTime + repeats * period + period / 2;
    add(down,
        hold + host::ms(kSettleMs),
        std::string("press: {key: ") + key_name(key) + ", hold: " + std::to_string(to_ms(hold)) +
            "}");
}

void Recorder::add_type(Nanos at, Nanos done, unsigned backspace, std::string_view text, bool save) {
    const Nanos duration = done > at ? done - at : 0;
    // A step takes backspaces, then text, then the save key: what follows in that order joins
    // the step before; the pauses between go after it.
    const bool joins = typing_open_ && !typing_.save &&
                       (backspace == 0 || (typing_.text.empty() && !save));
    if(!joins) {
        typing_ = Typing{};
        add(at, duration, "type: \"\"");
        typing_.line = lines_.size() - 1;
        typing_.start_ms = clock_ms_ - to_ms(duration);
        typing_open_ = true;
    } else {
        typing_.duration += duration;
        clock_ms_ = typing_.start_ms + to_ms(typing_.duration);
    }
    if(!joins) typing_.duration = duration;
    typing_.backspace += backspace;
    typing_.text += text;
    typing_.save = typing_.save || save;

    std::string step;
    if(typing_.backspace == 0 && !typing_.save) {
        step = "type: " + quoted(typing_.text);
    } else {
        std::string fields;
        const auto field = [&](const std::string& f) {
            fields += (fields.empty() ? "" : ", ") + f;
        };
        if(typing_.backspace > 0) field("backspace: " + std::to_string(typing_.backspace));
        if(!typing_.text.empty()) field("text: " + quoted(typing_.text));
        if(typing_.save) field("save: true");
        step = "type: {" + fields + "}";
    }
    lines_[typing_.line] = "  - " + step;
}

void Recorder::type(Nanos at, Nanos done, std::string_view text) {
    if(!text.empty()) add_type(at, done, 0, text, false);
}

void Recorder::backspace(Nanos at, Nanos done) {
    // At most 64 a step; more start the next one.
    if(typing_open_ && typing_.backspace >= 64) typing_open_ = false;
    add_type(at, done, 1, {}, false);
}

void Recorder::save(Nanos at, Nanos done) {
    add_type(at, done, 0, {}, true);
}

void Recorder::tag_enter(Nanos at, std::size_t number, const yrm100::VirtualTag& tag) {
    const yrm100::Bytes epc = tag.epc();
    const yrm100::Bytes user = tag.bytes(yrm100::Bank::User);
    std::string step = "tag-enter: {id: t" + std::to_string(number) + ", epc: " + hex(epc);
    if(const auto tid = tag.bytes(yrm100::Bank::Tid); !tid.empty()) step += ", tid: " + hex(tid);
    if(!user.empty()) step += ", user: " + hex(user);
    const auto default_pc =
        static_cast<std::uint16_t>((epc.size() / 2) << 11 | (user.empty() ? 0 : 0x0400));
    char number_text[16];
    if(tag.pc() != default_pc) {
        std::snprintf(number_text, sizeof number_text, "0x%04X", tag.pc());
        step += std::string(", pc: ") + number_text;
    }
    if(tag.access_password() != 0) {
        std::snprintf(number_text, sizeof number_text, "%08X", tag.access_password());
        step += std::string(", access-password: ") + number_text;
    }
    if(tag.kill_password() != 0) {
        std::snprintf(number_text, sizeof number_text, "%08X", tag.kill_password());
        step += std::string(", kill-password: ") + number_text;
    }
    // Locks other than a new tag's (TID permanent, the rest open).
    static constexpr std::tuple<yrm100::Bank, const char*, yrm100::Lock> kBanks[] = {
        {yrm100::Bank::Reserved, "reserved", yrm100::Lock::Open},
        {yrm100::Bank::Epc, "epc", yrm100::Lock::Open},
        {yrm100::Bank::Tid, "tid", yrm100::Lock::Permanent},
        {yrm100::Bank::User, "user", yrm100::Lock::Open}};
    std::string locks;
    for(const auto& [bank, name, usual] : kBanks) {
        if(tag.lock(bank) == usual) continue;
        locks += std::string(locks.empty() ? "" : ", ") + name + ": " + yrm100::lock_name(tag.lock(bank));
    }
    if(!locks.empty()) step += ", locks: {" + locks + "}";
    if(tag.rssi_dbm() != -55) step += ", rssi: " + std::to_string(tag.rssi_dbm());
    add(at, 0, step + "}");
}

void Recorder::tag_leave(Nanos at, std::size_t number) {
    add(at, 0, "tag-leave: t" + std::to_string(number));
}

void Recorder::tag_set(Nanos at, std::size_t number, yrm100::Bank bank, const yrm100::Bytes& data) {
    const char* name = bank == yrm100::Bank::Epc ? "epc" :
                       bank == yrm100::Bank::Tid ? "tid" :
                                                   "user";
    add(at,
        0,
        "tag-set: {id: t" + std::to_string(number) + ", bank: " + name + ", data: " + hex(data) +
            "}");
}

void Recorder::module(Nanos at, std::string_view action) {
    add(at, 0, "module: " + std::string(action));
}

void Recorder::walk(Nanos at, bool start) {
    add(at, 0, start ? "walk: start" : "walk: stop");
}

void Recorder::card_file(Nanos at, std::string_view path, std::string_view content) {
    if(!plain_text(content) || content.size() > kMaxCardFile) {
        note("not recorded: " + std::string(path) + " holds bytes that are not plain text");
        return;
    }
    if(card_bytes_ + content.size() > kMaxCardBytes) {
        note(
            "not recorded: " + std::string(path) +
            ", past the 512 KiB of card files a recording keeps");
        return;
    }
    card_bytes_ += content.size();
    add(at, 0, "card-file: {path: " + quoted(path) + ", content: " + quoted(content) + "}");
}

void Recorder::expect_text(Nanos at, std::string_view text) {
    if(!plain_text(text) || text.find_first_of("\r\n") != std::string_view::npos) {
        note("not recorded: a check of a string that is not plain text");
        return;
    }
    add(at, 0, "expect-text: " + quoted(text));
}

void Recorder::note(std::string_view text) {
    std::string line = "  # ";
    for(char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
    lines_.push_back(std::move(line));
}

std::string Recorder::text() const {
    std::string out = "# Recorded live with fsim. Replay it with:\n#   fsim " + app_;
    if(!replay_options_.empty()) out += " " + replay_options_;
    out += " --scenario FILE\n"
           "# The waits keep each step at the virtual time it happened, from the app's start.\n"
           "name: recorded " +
           app_ + " session\nversion: 1\napp: " + app_ + "\nsteps:\n";
    for(const auto& line : lines_) out += line + "\n";
    // A scenario needs a step; a recording of nothing waits a moment.
    if(steps_ == 0) out += "  - wait: 1\n";
    return out;
}

} // namespace sim::scenario
