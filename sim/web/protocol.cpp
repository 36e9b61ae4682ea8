#include "protocol.h"

#include <json/json.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <set>
#include <sstream>

namespace sim::web {
namespace {

constexpr std::size_t kMaxHexText = 1024;
constexpr std::size_t kMaxName = 255;
constexpr std::size_t kMaxTyped = 64;
constexpr std::size_t kMaxExpect = 256;
constexpr unsigned kMaxTagNumber = 1'000'000;

Json::Value parse_json(std::string_view text) {
    Json::CharReaderBuilder builder;
    Json::CharReaderBuilder::strictMode(&builder.settings_);
    builder["stackLimit"] = 16;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    try {
        if(!reader->parse(text.data(), text.data() + text.size(), &root, &errors))
            throw ProtocolError("not JSON");
    } catch(const Json::Exception&) {
        throw ProtocolError("not JSON"); // nested past the stack limit
    }
    if(!root.isObject()) throw ProtocolError("a message is a JSON object");
    return root;
}

/// The fields of one command, each read once and checked; fields it does not know are refused.
class Fields {
public:
    Fields(const Json::Value& object, std::string command)
        : object_(object)
        , command_(std::move(command)) {}

    bool has(const char* name) const { return object_.isMember(name); }

    std::string text(const char* name, std::size_t max, bool required = true) {
        const Json::Value* v = find(name, required);
        if(v == nullptr) return {};
        if(!v->isString()) fail(name, "a string");
        std::string value = v->asString();
        if(value.size() > max) fail(name, "at most " + std::to_string(max) + " bytes");
        return value;
    }
    bool flag(const char* name, std::optional<bool> fallback = std::nullopt) {
        const Json::Value* v = find(name, !fallback.has_value());
        if(v == nullptr) return *fallback;
        if(!v->isBool()) fail(name, "true or false");
        return v->asBool();
    }
    unsigned number(const char* name, unsigned min, unsigned max) {
        const Json::Value* v = find(name, true);
        if(!v->isUInt() || v->asUInt() < min || v->asUInt() > max)
            fail(
                name, "a whole number from " + std::to_string(min) + " to " + std::to_string(max));
        return v->asUInt();
    }
    double real(const char* name, double min, double max) {
        const Json::Value* v = find(name, true);
        if(!v->isNumeric() || !std::isfinite(v->asDouble()) || v->asDouble() < min ||
           v->asDouble() > max) {
            std::ostringstream range;
            range << "a number from " << min << " to " << max;
            fail(name, range.str());
        }
        return v->asDouble();
    }
    /// One of `names`, its index.
    std::size_t choice(const char* name, std::initializer_list<const char*> names) {
        const std::string value = text(name, 32);
        std::size_t index = 0;
        std::string list;
        for(const char* n : names) {
            if(value == n) return index;
            list += (list.empty() ? "" : ", ") + std::string(n);
            ++index;
        }
        fail(name, "one of " + list);
    }
    const Json::Value& object(const char* name) {
        const Json::Value* v = find(name, true);
        if(!v->isObject()) fail(name, "an object");
        return *v;
    }
    /// Every field the message has was read.
    void done() const {
        for(const auto& name : object_.getMemberNames()) {
            if(!used_.contains(name))
                throw ProtocolError(command_ + ": unknown field '" + name.substr(0, 32) + "'");
        }
    }

private:
    const Json::Value* find(const char* name, bool required) {
        used_.insert(name);
        if(!object_.isMember(name)) {
            if(required) throw ProtocolError(command_ + ": '" + name + "' is missing");
            return nullptr;
        }
        return &object_[name];
    }
    [[noreturn]] void fail(const char* name, const std::string& what) const {
        throw ProtocolError(command_ + ": '" + name + "' must be " + what);
    }

    const Json::Value& object_;
    std::string command_;
    std::set<std::string> used_{"t"};
};

constexpr std::initializer_list<const char*> kKeys = {"up", "down", "left", "right", "ok", "back"};
constexpr InputKey kInputKeys[] =
    {InputKeyUp, InputKeyDown, InputKeyLeft, InputKeyRight, InputKeyOk, InputKeyBack};

yrm100::Lock lock_of(const Json::Value& locks, const char* bank, yrm100::Lock fallback) {
    if(!locks.isMember(bank)) return fallback;
    const Json::Value& v = locks[bank];
    const std::string name = v.isString() ? v.asString() : std::string();
    for(const auto lock : {yrm100::Lock::Open, yrm100::Lock::Secured, yrm100::Lock::Permanent})
        if(name == yrm100::lock_name(lock)) return lock;
    throw ProtocolError(
        std::string("tag-add: locks.") + bank + " must be open, secured or permanent");
}

Command text_command(const Json::Value& root) {
    if(!root.isMember("t") || !root["t"].isString())
        throw ProtocolError("a message needs \"t\", the command's name");
    const std::string t = root["t"].asString();
    Fields f(root, t.substr(0, 32));
    Command out;
    if(t == "key") {
        command::Key k;
        k.key = kInputKeys[f.choice("key", kKeys)];
        k.down = f.flag("down");
        out = k;
    } else if(t == "type") {
        command::Type c{f.text("text", kMaxTyped)};
        if(c.text.empty()) throw ProtocolError("type: 'text' is empty");
        out = c;
    } else if(t == "erase") {
        out = command::Erase{};
    } else if(t == "save") {
        out = command::Save{};
    } else if(t == "control") {
        out = command::Control{};
    } else if(t == "tag-add") {
        command::TagAdd c;
        c.epc = f.text("epc", kMaxHexText);
        c.tid = f.text("tid", kMaxHexText, false);
        c.user = f.text("user", kMaxHexText, false);
        if(f.has("locks")) {
            const Json::Value& locks = f.object("locks");
            static constexpr const char* kBanks[] = {"reserved", "epc", "tid", "user"};
            for(const auto& name : locks.getMemberNames()) {
                if(std::find_if(std::begin(kBanks), std::end(kBanks), [&](const char* b) {
                       return name == b;
                   }) == std::end(kBanks))
                    throw ProtocolError("tag-add: locks has no bank '" + name.substr(0, 32) + "'");
            }
            for(std::size_t i = 0; i < 4; ++i) c.locks[i] = lock_of(locks, kBanks[i], c.locks[i]);
        }
        out = c;
    } else if(t == "tag-edit") {
        command::TagEdit c;
        c.tag = f.number("tag", 1, kMaxTagNumber);
        static constexpr yrm100::Bank kBanks[] = {
            yrm100::Bank::Epc, yrm100::Bank::Tid, yrm100::Bank::User};
        c.bank = kBanks[f.choice("bank", {"epc", "tid", "user"})];
        c.data = f.text("data", kMaxHexText);
        out = c;
    } else if(t == "tag-field") {
        command::TagField c;
        c.tag = f.number("tag", 1, kMaxTagNumber);
        c.in = f.flag("in");
        out = c;
    } else if(t == "tag-remove") {
        out = command::TagRemove{f.number("tag", 1, kMaxTagNumber)};
    } else if(t == "plug") {
        out = command::Plug{f.flag("plugged")};
    } else if(t == "fault") {
        static constexpr const char* kKinds[] = {"silence", "corrupt", "cut", "noise", "delay"};
        out = command::Fault{
            kKinds[f.choice("kind", {"silence", "corrupt", "cut", "noise", "delay"})]};
    } else if(t == "refuse-write") {
        out = command::RefuseWrite{};
    } else if(t == "file-read") {
        command::FileRead c;
        c.name = f.text("name", kMaxName);
        c.download = f.flag("download", false);
        out = c;
    } else if(t == "file-delete") {
        out = command::FileDelete{f.text("name", kMaxName)};
    } else if(t == "walk") {
        out = command::Walk{f.flag("walking")};
    } else if(t == "gait") {
        command::Gait c;
        if(f.has("cadence")) c.cadence = f.real("cadence", 0.1, 10.0);
        if(f.has("mount")) {
            static constexpr const char* kMounts[] = {"lateral", "forward", "vertical"};
            c.mount = kMounts[f.choice("mount", {"lateral", "forward", "vertical"})];
        }
        if(!c.cadence && !c.mount) throw ProtocolError("gait: give 'cadence', 'mount' or both");
        out = c;
    } else if(t == "shot") {
        out = command::Shot{};
    } else if(t == "record") {
        out = command::Record{f.flag("on")};
    } else if(t == "expect") {
        command::Expect c{f.text("text", kMaxExpect)};
        if(c.text.empty()) throw ProtocolError("expect: 'text' is empty");
        out = c;
    } else if(t == "start") {
        out = command::Start{};
    } else if(t == "file-upload") {
        throw ProtocolError("file-upload comes as a binary message with the file's bytes");
    } else {
        throw ProtocolError("unknown command '" + t.substr(0, 32) + "'");
    }
    f.done();
    return out;
}

Command upload_command(std::string_view message) {
    if(message.size() < 4) throw ProtocolError("a binary message begins with its header's length");
    const auto* bytes = reinterpret_cast<const unsigned char*>(message.data());
    const std::size_t length = bytes[0] | bytes[1] << 8 | std::size_t{bytes[2]} << 16 |
                               std::size_t{bytes[3]} << 24;
    if(length > message.size() - 4 || length > 4096)
        throw ProtocolError("a binary message's header is longer than the message");
    const Json::Value root = parse_json(message.substr(4, length));
    if(!root.isMember("t") || root["t"] != "file-upload")
        throw ProtocolError("a binary message is a file-upload");
    Fields f(root, "file-upload");
    command::FileUpload c;
    c.name = f.text("name", kMaxName);
    c.replace = f.flag("replace", false);
    f.done();
    c.bytes = std::string(message.substr(4 + length));
    return c;
}

} // namespace

Command parse_command(bool binary, std::string_view message) {
    if(binary) return upload_command(message);
    return text_command(parse_json(message));
}

std::string to_json(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, value);
}

std::string envelope(const Json::Value& header, std::string_view bytes) {
    const std::string json = to_json(header);
    std::string out;
    out.reserve(4 + json.size() + bytes.size());
    for(int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>((json.size() >> shift) & 0xFF);
    out += json;
    out += bytes;
    return out;
}

} // namespace sim::web
