#include "yaml_reader.h"

#include <yaml-cpp/eventhandler.h>

#include "scenario.h"
#include "session/wording.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>
#include <system_error>

namespace sim::scenario::detail {
namespace {

int hex_value(char c) {
    if(c >= '0' && c <= '9') return c - '0';
    if(c >= 'a' && c <= 'f') return c - 'a' + 10;
    if(c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string word(std::string_view text) {
    std::string out = "'";
    for(char c : text.substr(0, 40)) {
        out += std::isprint(static_cast<unsigned char>(c)) ? c : '?';
    }
    if(text.size() > 40) out += "...";
    return out + "'";
}

std::string join(std::span<const std::string_view> names) {
    std::string out;
    for(auto name : names) {
        if(!out.empty()) out += ", ";
        out += name;
    }
    return out;
}

/// Counts a document's events and stops the parse once they outnumber what the text could
/// hold. yaml-cpp 0.7 loops for ever on some malformed input (a ',' where a document's node
/// should be), emitting events and growing the tree it builds without end; counted here first,
/// without building anything, such a text ends in an error instead.
class EventBudget final : public YAML::EventHandler {
public:
    explicit EventBudget(std::size_t budget)
        : left_(budget) {}

    void OnDocumentStart(const YAML::Mark& mark) override { spend(mark); }
    void OnDocumentEnd() override { spend(last_); }
    void OnNull(const YAML::Mark& mark, YAML::anchor_t) override { spend(mark); }
    void OnAlias(const YAML::Mark& mark, YAML::anchor_t) override { spend(mark); }
    void OnScalar(const YAML::Mark& mark, const std::string&, YAML::anchor_t, const std::string&)
        override {
        spend(mark);
    }
    void OnSequenceStart(
        const YAML::Mark& mark,
        const std::string&,
        YAML::anchor_t,
        YAML::EmitterStyle::value) override {
        spend(mark);
    }
    void OnSequenceEnd() override { spend(last_); }
    void OnMapStart(
        const YAML::Mark& mark,
        const std::string&,
        YAML::anchor_t,
        YAML::EmitterStyle::value) override {
        spend(mark);
    }
    void OnMapEnd() override { spend(last_); }

private:
    void spend(const YAML::Mark& mark) {
        last_ = mark;
        if(left_-- == 0)
            throw YAML::ParserException(
                mark, "the parser runs away here (a stray ',' or the like)");
    }

    std::size_t left_;
    YAML::Mark last_ = YAML::Mark::null_mark();
};

} // namespace

std::optional<std::string> parse_hex(std::string_view text, yrm100::Bytes& out) {
    out.clear();
    std::size_t i = 0;
    const auto skip_space = [&] {
        while(i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    };
    skip_space();
    bool separator_ok = false; // a separator may follow a byte, not start or repeat
    while(i < text.size()) {
        const char c = text[i];
        if(c == ' ' || c == '\t' || c == '-') {
            if(!separator_ok) return std::string("a separator where a byte should be");
            ++i;
            skip_space();
            if(c == '-' && i == text.size()) return std::string("a dash at the end");
            separator_ok = c != '-';
            continue;
        }
        const int high = hex_value(c);
        if(high < 0)
            return "'" + std::string(1, std::isprint(static_cast<unsigned char>(c)) ? c : '?') +
                   "' is not a hex digit";
        if(i + 1 >= text.size()) return std::string("an odd number of hex digits");
        const int low = hex_value(text[i + 1]);
        if(low < 0) {
            if(text[i + 1] == ' ' || text[i + 1] == '-')
                return std::string("a byte with one hex digit");
            return "'" +
                   std::string(
                       1,
                       std::isprint(static_cast<unsigned char>(text[i + 1])) ? text[i + 1] : '?') +
                   "' is not a hex digit";
        }
        out.push_back(static_cast<std::uint8_t>(high << 4 | low));
        i += 2;
        separator_ok = true;
    }
    return std::nullopt;
}

std::string read_text_file(const std::filesystem::path& file, std::size_t max_bytes) {
    const std::string name = file.string();
    std::error_code error;
    const auto status = std::filesystem::status(file, error);
    if(error || !std::filesystem::exists(status)) throw ParseError(name + ": no such file");
    if(std::filesystem::is_directory(status)) throw ParseError(name + ": a folder, not a file");
    if(!std::filesystem::is_regular_file(status)) throw ParseError(name + ": not a regular file");
    const auto size = std::filesystem::file_size(file, error);
    if(error) throw ParseError(name + ": cannot read (" + error.message() + ")");
    if(size > max_bytes) {
        throw ParseError(
            name + ": " + std::to_string(size) + " bytes, larger than the " +
            std::to_string(max_bytes >> 10) + " KiB a file may have");
    }
    std::ifstream in(file, std::ios::binary);
    if(!in) throw ParseError(name + ": cannot be opened");
    std::string text(static_cast<std::size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if(static_cast<std::size_t>(in.gcount()) != text.size())
        throw ParseError(name + ": cannot be read");
    return text;
}

const YAML::Node* MapEntries::find(std::string_view key) const {
    for(const auto& [name, value] : entries) {
        if(name == key) return &value;
    }
    return nullptr;
}

std::string Reader::where(const YAML::Mark& mark) const {
    if(mark.is_null() || mark.line < 0) return file_ + ": ";
    return file_ + ":" + std::to_string(mark.line + 1) + ":" + std::to_string(mark.column + 1) +
           ": ";
}

std::string Reader::where(const YAML::Node& node) const {
    return where(node.IsDefined() ? node.Mark() : YAML::Mark::null_mark());
}

void Reader::fail(const YAML::Node& at, const std::string& what) const {
    throw ParseError(where(at) + what);
}

YAML::Node Reader::load(std::string_view text) const {
    if(text.size() > kMaxFileBytes) {
        throw ParseError(
            file_ + ": larger than the " + std::to_string(kMaxFileBytes >> 10) +
            " KiB a file may have");
    }
    if(text.find('\0') != std::string_view::npos)
        throw ParseError(file_ + ": not a text file (it holds NUL bytes)");
    std::vector<YAML::Node> documents;
    try {
        const std::string copy(text);
        {
            // Every event takes at least a character or two of text; a few more for the stream.
            std::istringstream in(copy);
            YAML::Parser parser(in);
            EventBudget budget(4 * text.size() + 64);
            while(parser.HandleNextDocument(budget)) {
            }
        }
        documents = YAML::LoadAll(copy);
    } catch(const YAML::Exception& e) {
        throw ParseError(where(e.mark) + "not valid YAML: " + e.msg);
    }
    if(documents.empty() || documents.front().IsNull()) throw ParseError(file_ + ": empty file");
    if(documents.size() > 1) fail(documents[1], "a second document ('---'): a file holds one");
    return documents.front();
}

MapEntries Reader::any_map(const YAML::Node& node, std::string_view what) const {
    if(!node.IsMap()) fail(node, std::string(what) + " must be a map of keys and values");
    MapEntries out{node, {}};
    for(auto it = node.begin(); it != node.end(); ++it) {
        const YAML::Node key = it->first;
        if(!key.IsScalar()) fail(key, "a key " + std::string(what) + " must be a plain word");
        const std::string name = key.Scalar();
        if(out.has(name)) fail(key, "key '" + name + "' given twice " + std::string(what));
        out.entries.emplace_back(name, it->second);
    }
    return out;
}

MapEntries Reader::map(
    const YAML::Node& node,
    std::string_view what,
    std::span<const std::string_view> keys,
    std::string_view hint) const {
    MapEntries out = any_map(node, what);
    std::size_t index = 0;
    for(auto it = node.begin(); it != node.end(); ++it, ++index) {
        const std::string& name = out.entries[index].first;
        if(std::find(keys.begin(), keys.end(), name) != keys.end()) continue;
        std::string message = "unknown key " + word(name) + " " + std::string(what);
        const auto near = closest(name, keys);
        if(!near.empty()) message += ": did you mean '" + std::string(near) + "'?";
        message += " (" + (hint.empty() ? join(keys) : std::string(hint)) + ")";
        fail(it->first, message);
    }
    return out;
}

std::string Reader::scalar(const YAML::Node& node, std::string_view what) const {
    if(node.IsNull()) fail(node, std::string(what) + " needs a value");
    if(!node.IsScalar())
        fail(node, std::string(what) + " must be a single value, not a list or map");
    return node.Scalar();
}

std::uint64_t Reader::integer(
    const YAML::Node& node,
    std::string_view what,
    std::uint64_t min,
    std::uint64_t max) const {
    const std::string text = scalar(node, what);
    std::string_view digits = text;
    int base = 10;
    if(digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
        base = 16;
    }
    std::uint64_t value = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if(digits.empty() || error != std::errc{} || end != digits.data() + digits.size()) {
        if(error == std::errc::result_out_of_range)
            value = max + (max < UINT64_MAX ? 1 : 0);
        else
            fail(node, std::string(what) + ": " + word(text) + " is not a whole number");
    }
    if(value < min || value > max) {
        fail(
            node,
            std::string(what) + ": " + text + " is outside " + std::to_string(min) + ".." +
                std::to_string(max));
    }
    return value;
}

bool Reader::boolean(const YAML::Node& node, std::string_view what) const {
    const std::string text = scalar(node, what);
    if(text == "true" || text == "yes" || text == "on") return true;
    if(text == "false" || text == "no" || text == "off") return false;
    fail(node, std::string(what) + ": " + word(text) + " is not true or false");
}

std::uint32_t
    Reader::duration_ms(const YAML::Node& node, std::string_view what, std::uint32_t max_ms) const {
    const std::string text = scalar(node, what);
    std::string_view number = text;
    double scale = 1.0;
    if(number.size() > 2 && number.substr(number.size() - 2) == "ms") {
        number.remove_suffix(2);
    } else if(number.size() > 1 && number.back() == 's') {
        number.remove_suffix(1);
        scale = 1000.0;
    }
    while(!number.empty() && number.back() == ' ') number.remove_suffix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    const bool plain = !number.empty() && std::all_of(number.begin(), number.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) || c == '.';
    });
    if(!plain || error != std::errc{} || end != number.data() + number.size()) {
        fail(
            node, std::string(what) + ": " + word(text) + " is not a time (500, 500ms, 2s, 1.5s)");
    }
    const double ms = value * scale;
    if(!std::isfinite(ms) || ms > max_ms) {
        fail(
            node,
            std::string(what) + ": " + text + " is longer than " + std::to_string(max_ms) + " ms");
    }
    return static_cast<std::uint32_t>(std::llround(ms));
}

yrm100::Bytes
    Reader::hex(const YAML::Node& node, std::string_view what, std::size_t max_bytes, bool words)
        const {
    const std::string text = node.IsNull() ? std::string() : scalar(node, what);
    yrm100::Bytes bytes;
    if(auto error = parse_hex(text, bytes)) fail(node, std::string(what) + ": " + *error);
    if(words && bytes.size() % 2 != 0) {
        fail(
            node,
            std::string(what) + ": " + count_of(bytes.size(), "byte") +
                "; the bank holds 16-bit words, so an even count");
    }
    if(bytes.size() > max_bytes) {
        fail(
            node,
            std::string(what) + ": " + count_of(bytes.size(), "byte") + ", more than the " +
                std::to_string(max_bytes) + " it holds");
    }
    return bytes;
}

std::size_t Reader::choice(
    const YAML::Node& node,
    std::string_view what,
    std::initializer_list<std::string_view> names) const {
    const std::string text = scalar(node, what);
    std::size_t index = 0;
    for(auto name : names) {
        if(name == text) return index;
        ++index;
    }
    const std::span<const std::string_view> all(names.begin(), names.size());
    std::string message = std::string(what) + ": " + word(text) + " is not one of " + join(all);
    const auto near = closest(text, all);
    if(!near.empty()) message += " (did you mean '" + std::string(near) + "'?)";
    fail(node, message);
}

yrm100::TagSpec
    Reader::tag(const YAML::Node& node, bool allow_id, std::optional<std::string>* id) const {
    static constexpr std::string_view kWhat = "in a tag";
    const MapEntries m = allow_id ? map(node,
                                        kWhat,
                                        {"id",
                                         "epc",
                                         "tid",
                                         "user",
                                         "pc",
                                         "access-password",
                                         "kill-password",
                                         "locks",
                                         "write-error",
                                         "rssi"}) :
                                    map(node,
                                        kWhat,
                                        {"epc",
                                         "tid",
                                         "user",
                                         "pc",
                                         "access-password",
                                         "kill-password",
                                         "locks",
                                         "write-error",
                                         "rssi"});
    const YAML::Node* epc = m.find("epc");
    if(epc == nullptr) fail(node, "a tag needs an 'epc' (hex; \"\" for none)");
    yrm100::TagSpec spec;
    spec.epc = hex(*epc, "epc", kMaxEpcBytes, true);
    if(const auto* v = m.find("tid")) spec.tid = hex(*v, "tid", kMaxTidBytes, true);
    if(const auto* v = m.find("user")) spec.user = hex(*v, "user", kMaxUserBytes, true);
    if(const auto* v = m.find("pc"))
        spec.pc = static_cast<std::uint16_t>(integer(*v, "pc", 0, 0xFFFF));
    const auto password = [&](const YAML::Node& v, std::string_view what) {
        std::string text = scalar(v, what);
        if(text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
            text.erase(0, 2);
        yrm100::Bytes bytes;
        if(auto error = parse_hex(text, bytes); error || bytes.size() != 4) {
            fail(
                v,
                std::string(what) + ": " +
                    (error ? *error : count_of(bytes.size(), "byte")) +
                    "; a password is 8 hex digits");
        }
        return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
               std::uint32_t{bytes[2]} << 8 | bytes[3];
    };
    if(const auto* v = m.find("access-password"))
        spec.access_password = password(*v, "access-password");
    if(const auto* v = m.find("kill-password")) spec.kill_password = password(*v, "kill-password");
    if(const auto* v = m.find("write-error"))
        spec.write_error = static_cast<std::uint8_t>(integer(*v, "write-error", 0, 0xFF));
    if(const auto* v = m.find("rssi")) {
        // dBm, negative: "-55".
        const std::string text = scalar(*v, "rssi");
        int value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if(error != std::errc{} || end != text.data() + text.size() || value < -128 || value > 0) {
            fail(*v, "rssi: " + word(text) + " is not a level in dBm from -128 to 0");
        }
        spec.rssi_dbm = static_cast<std::int8_t>(value);
    }
    if(const auto* v = m.find("locks")) {
        const MapEntries locks = map(*v, "in the locks", {"reserved", "epc", "tid", "user"});
        for(const auto& [bank, state] : locks.entries) {
            const std::size_t index = bank == "reserved" ? 0 :
                                      bank == "epc"      ? 1 :
                                      bank == "tid"      ? 2 :
                                                           3;
            const std::size_t lock = choice(
                state,
                "lock of " + bank,
                {"open", "secured", "locked", "permanent", "permalocked"});
            spec.locks[index] = lock == 0 ? yrm100::Lock::Open :
                                lock <= 2 ? yrm100::Lock::Secured :
                                            yrm100::Lock::Permanent;
        }
    }
    if(const auto* v = m.find("id"); v != nullptr && id != nullptr) {
        const std::string text = scalar(*v, "id");
        const bool plain = !text.empty() && text.size() <= 32 &&
                           std::all_of(text.begin(), text.end(), [](char c) {
                               return std::isalnum(static_cast<unsigned char>(c)) || c == '_' ||
                                      c == '-';
                           });
        if(!plain)
            fail(
                *v,
                "id: " + word(text) +
                    " must be a word of letters, digits, '_' and '-' (at most 32)");
        *id = text;
    }
    try {
        yrm100::VirtualTag check(spec);
        (void)check;
    } catch(const std::invalid_argument& e) {
        fail(node, std::string("not a tag the module can hold: ") + e.what());
    }
    return spec;
}

} // namespace sim::scenario::detail
