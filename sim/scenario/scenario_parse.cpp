// Scenario files to checked steps.
#include <algorithm>
#include <cctype>
#include <optional>
#include <regex>
#include <set>
#include <vector>

#include "scenario.h"
#include "yaml_reader.h"

namespace sim::scenario {
namespace {

using detail::MapEntries;
using detail::Reader;

constexpr std::uint32_t kMaxWaitMs = 3600 * 1000;
/// The runtime stops a run at 24 h of virtual time; a scenario stays well within it.
constexpr double kMaxScenarioMs = 12.0 * 3600 * 1000;
/// What a press costs at most in virtual time (press, release, settle), for the budget above.
constexpr double kPressMs = 1000;
/// Presses the keyboard may need per character typed.
constexpr double kPressesPerCharacter = 60;
constexpr std::size_t kMaxText = 256;
constexpr std::size_t kMaxTyped = 64;
/// The longest a key may be held in one press.
constexpr std::uint32_t kMaxHoldMs = 60 * 1000;

const std::initializer_list<std::string_view> kStepKeys = {
    "name",
    "press",
    "long-press",
    "type",
    "wait",
    "tag-enter",
    "tag-leave",
    "tag-set",
    "module",
    "walk",
    "expect-text",
    "expect-file",
    "expect-log",
    "expect-led",
    "expect-otg",
    "expect-tag",
    "take-screenshot",
    "card-file"};

/// The most copies of one atom a pattern may compile to, and the largest repeat count.
constexpr std::size_t kMaxPatternStates = 10000;
constexpr std::size_t kMaxRepeat = 999;

/// Why std::regex must not compile `pattern`, or nothing. libstdc++ compiles `x{m,n}` into n
/// copies of x, so nested repeats multiply (`((a{99}){99}){99}` is a million states), and it
/// reads a repeat count into a long without checking for overflow (undefined behaviour). This
/// walks the pattern as ECMAScript does, sizing each group and multiplying it by its repeat, so
/// such patterns are refused with a reason before they are compiled.
std::optional<std::string> pattern_too_big(std::string_view pattern) {
    std::vector<std::size_t> groups{0}; // the size so far of each open group, outermost first
    std::size_t last = 0;               // the size of the atom or group a repeat would apply to
    const auto add = [&](std::size_t size) {
        groups.back() = std::min(groups.back() + size, kMaxPatternStates + 1);
        last = size;
    };
    for(std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if(c == '\\') {
            ++i;
            add(1);
        } else if(c == '[') {
            i += i + 1 < pattern.size() && pattern[i + 1] == '^' ? 2 : 1;
            while(i < pattern.size() && pattern[i] != ']') i += pattern[i] == '\\' ? 2 : 1;
            add(1);
        } else if(c == '(') {
            groups.push_back(0);
            last = 0;
        } else if(c == ')' && groups.size() > 1) {
            const std::size_t size = groups.back();
            groups.pop_back();
            add(size);
        } else if(c == '{') {
            std::size_t j = i + 1;
            std::size_t most = 0;
            bool digits = false;
            while(j < pattern.size() &&
                  (std::isdigit(static_cast<unsigned char>(pattern[j])) || pattern[j] == ',')) {
                if(pattern[j] == ',') {
                    most += 1; // {m,} compiles to m + 1 copies
                } else {
                    digits = true;
                    std::size_t count = 0;
                    std::size_t length = 0;
                    while(j < pattern.size() &&
                          std::isdigit(static_cast<unsigned char>(pattern[j]))) {
                        if(++length > 3) {
                            return "a repeat count above " + std::to_string(kMaxRepeat);
                        }
                        count = count * 10 + static_cast<std::size_t>(pattern[j] - '0');
                        ++j;
                    }
                    most = std::max(most, count);
                    continue;
                }
                ++j;
            }
            if(!digits || j >= pattern.size() || pattern[j] != '}') {
                add(1); // not a repeat; std::regex says what it is
            } else {
                const std::size_t grown = last * most;
                groups.back() = std::min(groups.back() - last + grown, kMaxPatternStates + 1);
                last = grown;
                i = j;
            }
        } else {
            add(1);
        }
        if(groups.back() > kMaxPatternStates) {
            return "repeats that compile to more than " + std::to_string(kMaxPatternStates) +
                   " states";
        }
    }
    return std::nullopt;
}

/// A node as written, on one short line, for the step's report line.
std::string compact(const YAML::Node& node, std::size_t budget = 70) {
    std::string out;
    if(node.IsScalar()) {
        const std::string& text = node.Scalar();
        const bool quote = node.Tag() == "!" || text.empty() ||
                           text.find(' ') != std::string::npos;
        out = quote ? "\"" + text + "\"" : text;
    } else if(node.IsMap()) {
        out = "{";
        for(auto it = node.begin(); it != node.end() && out.size() < budget; ++it) {
            if(out.size() > 1) out += ", ";
            out += compact(it->first, budget) + ": " + compact(it->second, budget);
        }
        out += "}";
    } else if(node.IsSequence()) {
        out = "[";
        for(auto it = node.begin(); it != node.end() && out.size() < budget; ++it) {
            if(out.size() > 1) out += ", ";
            out += compact(*it, budget);
        }
        out += "]";
    }
    for(char& c : out) {
        if(!std::isprint(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 0x80)
            c = ' ';
    }
    if(out.size() > budget) out = out.substr(0, budget) + "...";
    return out;
}

std::optional<InputKey> key_from_name(std::string_view name) {
    if(name == "up") return InputKeyUp;
    if(name == "down") return InputKeyDown;
    if(name == "left") return InputKeyLeft;
    if(name == "right") return InputKeyRight;
    if(name == "ok") return InputKeyOk;
    if(name == "back") return InputKeyBack;
    return std::nullopt;
}

struct NamedColor {
    std::string_view name;
    host::Rgb rgb;
};
constexpr NamedColor kColors[] = {
    {"off", {0, 0, 0}},
    {"red", {255, 0, 0}},
    {"green", {0, 255, 0}},
    {"blue", {0, 0, 255}},
    {"cyan", {0, 255, 255}},
    {"magenta", {255, 0, 255}},
    {"yellow", {255, 255, 0}},
    {"white", {255, 255, 255}},
};

class Parser {
public:
    Parser(const Reader& reader)
        : r_(reader) {}

    Scenario scenario(const YAML::Node& root, const std::filesystem::path& file) {
        const MapEntries top = r_.map(root, "at the top", {"name", "version", "app", "steps"});
        Scenario out;
        out.file = file;
        const auto* name = top.find("name");
        if(name == nullptr) r_.fail(root, "a scenario needs a 'name'");
        out.name = text(*name, "name", kMaxText);
        if(out.name.empty()) r_.fail(*name, "name: empty");
        const auto* version = top.find("version");
        if(version == nullptr) r_.fail(root, "a scenario needs 'version: 1'");
        out.version = static_cast<int>(r_.integer(*version, "version", 1, 1));
        if(const auto* app = top.find("app")) {
            out.app = std::string(
                r_.choice(*app, "app", {"corvane", "pacewick"}) == 0 ? "corvane" : "pacewick");
        }
        const auto* steps = top.find("steps");
        if(steps == nullptr) r_.fail(root, "a scenario needs 'steps', a list");
        if(!steps->IsSequence()) r_.fail(*steps, "steps: a list of steps (- press: ok)");
        for(const auto& node : *steps) out.steps.push_back(step(node));
        if(out.steps.empty()) r_.fail(*steps, "steps: the list is empty");
        if(budget_ms_ > kMaxScenarioMs) {
            r_.fail(
                *steps,
                "the steps may take up to " +
                    std::to_string(static_cast<long long>(budget_ms_ / 3.6e6)) +
                    " h of virtual time; keep a scenario within 12 h");
        }
        return out;
    }

private:
    Step step(const YAML::Node& node) {
        if(!node.IsMap()) r_.fail(node, "a step is a map with one action (- press: ok)");
        const MapEntries m = r_.map(node, "in a step", kStepKeys);
        Step out;
        out.line = static_cast<std::size_t>(node.Mark().line + 1);
        const std::pair<std::string, YAML::Node>* action = nullptr;
        for(const auto& entry : m.entries) {
            if(entry.first == "name") {
                out.name = text(entry.second, "name", kMaxText);
                continue;
            }
            if(action != nullptr) {
                r_.fail(
                    entry.second,
                    "two actions in one step ('" + action->first + "' and '" + entry.first +
                        "'): give each its own step");
            }
            action = &entry;
        }
        if(action == nullptr)
            r_.fail(node, "a step needs an action (press, type, wait, expect-text, ...)");
        const auto& [key, value] = *action;
        const bool quote = value.IsScalar() && (key == "expect-text" || key == "type");
        out.summary =
            key + " " + (quote ? "\"" + value.Scalar().substr(0, 70) + "\"" : compact(value));
        out.action = parse_action(key, value);
        return out;
    }

    std::string text(const YAML::Node& node, std::string_view what, std::size_t max) const {
        std::string value = r_.scalar(node, what);
        if(value.size() > max)
            r_.fail(
                node, std::string(what) + ": longer than " + std::to_string(max) + " characters");
        return value;
    }

    std::string id_ref(const YAML::Node& node, std::string_view what) const {
        const std::string id = r_.scalar(node, what);
        if(!ids_.contains(id))
            r_.fail(
                node,
                std::string(what) + ": no tag '" + id.substr(0, 32) +
                    "' entered before this step (tag-enter: {id: " + id.substr(0, 32) + ", ...})");
        return id;
    }

    std::uint32_t timeout(const MapEntries& m, std::uint32_t fallback) {
        const auto* node = m.find("timeout");
        const std::uint32_t ms = node ? r_.duration_ms(*node, "timeout", kMaxWaitMs) : fallback;
        budget_ms_ += ms;
        return ms;
    }

    Action parse_action(const std::string& key, const YAML::Node& v) {
        if(key == "press" || key == "long-press") return press(v, key == "long-press");
        if(key == "type") return type(v);
        if(key == "wait") {
            const Wait w{r_.duration_ms(v, "wait", kMaxWaitMs)};
            budget_ms_ += w.ms;
            return w;
        }
        if(key == "tag-enter") {
            TagEnter t;
            t.spec = r_.tag(v, true, &t.id);
            if(t.id) ids_.insert(*t.id);
            return t;
        }
        if(key == "tag-leave") return TagLeave{id_ref(v, "tag-leave")};
        if(key == "tag-set") return tag_set(v);
        if(key == "module") return module(v);
        if(key == "walk") return walk(v);
        if(key == "expect-text") return expect_text(v);
        if(key == "expect-file") return expect_file(v);
        if(key == "expect-log") {
            const MapEntries m = r_.map(v, "in expect-log", {"tag", "text", "timeout"});
            ExpectLog e;
            const auto* tag = m.find("tag");
            const auto* line = m.find("text");
            if(tag == nullptr || line == nullptr) r_.fail(v, "expect-log needs 'tag' and 'text'");
            e.tag = text(*tag, "tag", kMaxText);
            e.text = text(*line, "text", kMaxText);
            e.timeout_ms = timeout(m, 1000);
            return e;
        }
        if(key == "expect-led") return expect_led(v);
        if(key == "expect-otg") {
            ExpectOtg e;
            if(v.IsMap()) {
                const MapEntries m = r_.map(v, "in expect-otg", {"on", "timeout"});
                const auto* on = m.find("on");
                if(on == nullptr) r_.fail(v, "expect-otg needs 'on: true' or 'on: false'");
                e.on = r_.boolean(*on, "on");
                e.timeout_ms = timeout(m, 0);
            } else {
                e.on = r_.boolean(v, "expect-otg");
            }
            return e;
        }
        if(key == "expect-tag") return expect_tag(v);
        if(key == "take-screenshot") {
            const MapEntries m = r_.map(v, "in take-screenshot", {"save-to", "compare-with"});
            Screenshot s;
            if(const auto* p = m.find("save-to")) s.save_to = path(*p, "save-to");
            if(const auto* p = m.find("compare-with")) s.compare_with = path(*p, "compare-with");
            if(s.save_to.empty() && s.compare_with.empty())
                r_.fail(v, "take-screenshot needs 'save-to', 'compare-with' or both");
            return s;
        }
        // card-file
        const MapEntries m = r_.map(v, "in card-file", {"path", "content"});
        CardFile c;
        const auto* p = m.find("path");
        const auto* content = m.find("content");
        if(p == nullptr || content == nullptr) r_.fail(v, "card-file needs 'path' and 'content'");
        c.path = card_path(*p);
        c.content = content->IsNull() ? std::string() : text(*content, "content", 64 * 1024);
        return c;
    }

    Press press(const YAML::Node& v, bool long_press) {
        Press p;
        p.long_press = long_press;
        const YAML::Node* key = &v;
        MapEntries m;
        if(v.IsMap()) {
            m = long_press ? r_.map(v, "in long-press", {"key", "repeat"}) :
                             r_.map(v, "in press", {"key", "long", "repeat", "hold"});
            key = m.find("key");
            if(key == nullptr)
                r_.fail(v, "a press needs a 'key' (up, down, left, right, ok, back)");
            if(const auto* l = m.find("long")) p.long_press = r_.boolean(*l, "long");
            if(const auto* n = m.find("repeat"))
                p.repeat = static_cast<unsigned>(r_.integer(*n, "repeat", 1, 100));
            if(const auto* h = m.find("hold")) {
                if(m.find("long") != nullptr)
                    r_.fail(*h, "hold: the hold makes the press long or short; leave out 'long'");
                p.hold_ms = r_.duration_ms(*h, "hold", kMaxHoldMs);
                if(*p.hold_ms == 0) r_.fail(*h, "hold: a key is held for 1 ms at least");
            }
        }
        const std::size_t index =
            r_.choice(*key, "key", {"up", "down", "left", "right", "ok", "back"});
        static constexpr std::string_view kNames[] = {"up", "down", "left", "right", "ok", "back"};
        p.key = *key_from_name(kNames[index]);
        budget_ms_ += (kPressMs + p.hold_ms.value_or(0)) * p.repeat;
        return p;
    }

    Type type(const YAML::Node& v) {
        Type t;
        const YAML::Node* typed = &v;
        MapEntries m;
        if(v.IsMap()) {
            m = r_.map(v, "in type", {"text", "save", "backspace"});
            typed = m.find("text");
            if(const auto* s = m.find("save")) t.save = r_.boolean(*s, "save");
            if(const auto* b = m.find("backspace"))
                t.backspace = static_cast<unsigned>(r_.integer(*b, "backspace", 1, kMaxTyped));
            if(typed == nullptr && !t.save && t.backspace == 0)
                r_.fail(v, "type needs a 'text', 'backspace: N', 'save: true' or some of them");
        }
        if(typed != nullptr) {
            t.text = text(*typed, "text", kMaxTyped);
            const bool typeable = std::all_of(t.text.begin(), t.text.end(), [](char c) {
                return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
            });
            if(!typeable) r_.fail(*typed, "type: the keyboard has letters, digits and '_' only");
            if(t.text.empty() && !t.save && t.backspace == 0)
                r_.fail(*typed, "type: nothing to type");
        }
        budget_ms_ +=
            kPressMs * kPressesPerCharacter * static_cast<double>(t.text.size() + t.backspace + 1);
        return t;
    }

    TagSet tag_set(const YAML::Node& v) {
        const MapEntries m = r_.map(v, "in tag-set", {"id", "bank", "data"});
        const auto* id = m.find("id");
        const auto* bank = m.find("bank");
        const auto* data = m.find("data");
        if(id == nullptr || bank == nullptr || data == nullptr)
            r_.fail(v, "tag-set needs 'id', 'bank' (epc, tid, user) and 'data' (hex)");
        TagSet t;
        t.id = id_ref(*id, "id");
        const std::size_t index = r_.choice(*bank, "bank", {"epc", "tid", "user"});
        static constexpr yrm100::Bank kBanks[] = {
            yrm100::Bank::Epc, yrm100::Bank::Tid, yrm100::Bank::User};
        static constexpr std::size_t kMax[] = {
            detail::kMaxEpcBytes, detail::kMaxTidBytes, detail::kMaxUserBytes};
        t.bank = kBanks[index];
        t.data = r_.hex(*data, "data", kMax[index], true);
        return t;
    }

    Module module(const YAML::Node& v) {
        Module out;
        if(!v.IsMap()) {
            const std::size_t kind = r_.choice(v, "module", {"plug", "unplug", "clear-faults"});
            out.kind = kind == 0 ? Module::Kind::plug :
                       kind == 1 ? Module::Kind::unplug :
                                   Module::Kind::clear_faults;
            return out;
        }
        const MapEntries m = r_.map(
            v,
            "in module",
            {"fault",
             "exchange",
             "position",
             "mask",
             "keep",
             "bytes",
             "count",
             "seed",
             "delay",
             "refuse-writes",
             "refuse-reads",
             "error"});
        const auto* fault = m.find("fault");
        const auto* writes = m.find("refuse-writes");
        const auto* reads = m.find("refuse-reads");
        if((fault != nullptr) + (writes != nullptr) + (reads != nullptr) != 1) {
            r_.fail(
                v,
                "module: give one of 'fault', 'refuse-writes' or 'refuse-reads' (or plug, unplug, clear-faults)");
        }
        const auto only = [&](std::initializer_list<std::string_view> allowed,
                              std::string_view for_what) {
            for(const auto& [name, node] : m.entries) {
                if(std::find(allowed.begin(), allowed.end(), name) == allowed.end()) {
                    r_.fail(
                        node, "module: '" + name + "' does not apply to " + std::string(for_what));
                }
            }
        };
        const auto required = [&](std::string_view key) -> const YAML::Node& {
            const auto* node = m.find(key);
            if(node == nullptr) r_.fail(v, "module: this fault needs '" + std::string(key) + "'");
            return *node;
        };
        if(fault == nullptr) {
            out.kind = writes ? Module::Kind::refuse_writes : Module::Kind::refuse_reads;
            const YAML::Node& count = writes ? *writes : *reads;
            only(
                {writes ? "refuse-writes" : "refuse-reads", "error"},
                writes ? "refuse-writes" : "refuse-reads");
            out.count = static_cast<unsigned>(
                r_.integer(count, writes ? "refuse-writes" : "refuse-reads", 0, 1000));
            if(const auto* e = m.find("error"))
                out.error = static_cast<std::uint8_t>(r_.integer(*e, "error", 0, 0xFF));
            return out;
        }
        out.kind = Module::Kind::fault;
        const std::size_t kind = r_.choice(
            *fault, "fault", {"silence", "corrupt", "cut-short", "trailing", "noise", "delay"});
        out.fault = static_cast<Module::Fault>(kind);
        if(const auto* e = m.find("exchange"))
            out.exchange = static_cast<unsigned>(r_.integer(*e, "exchange", 1, 1000));
        switch(out.fault) {
        case Module::Fault::silence:
            only({"fault", "exchange"}, "silence");
            break;
        case Module::Fault::corrupt:
            only({"fault", "exchange", "position", "mask"}, "corrupt");
            out.position = r_.integer(required("position"), "position", 0, 1024);
            if(const auto* mask = m.find("mask"))
                out.mask = static_cast<std::uint8_t>(r_.integer(*mask, "mask", 1, 0xFF));
            break;
        case Module::Fault::cut_short:
            only({"fault", "exchange", "keep"}, "cut-short");
            out.position = r_.integer(required("keep"), "keep", 0, 1024);
            break;
        case Module::Fault::trailing:
            only({"fault", "exchange", "bytes"}, "trailing");
            out.bytes = r_.hex(required("bytes"), "bytes", 1024, false);
            if(out.bytes.empty()) r_.fail(required("bytes"), "bytes: none given");
            break;
        case Module::Fault::noise:
            only({"fault", "exchange", "count", "seed"}, "noise");
            out.position = r_.integer(required("count"), "count", 1, 1024);
            if(const auto* seed = m.find("seed"))
                out.seed = static_cast<std::uint32_t>(r_.integer(*seed, "seed", 0, UINT32_MAX));
            break;
        case Module::Fault::delay:
            only({"fault", "exchange", "delay"}, "delay");
            out.delay_ms = r_.duration_ms(required("delay"), "delay", 60 * 1000);
            break;
        }
        return out;
    }

    Walk walk(const YAML::Node& v) {
        Walk w;
        if(v.IsMap()) {
            const MapEntries m = r_.map(v, "in walk", {"seconds"});
            const auto* s = m.find("seconds");
            if(s == nullptr)
                r_.fail(v, "walk: {seconds: N} walks N seconds; or walk: start / stop");
            w.ms =
                static_cast<std::uint32_t>(r_.integer(*s, "seconds", 1, kMaxWaitMs / 1000) * 1000);
            budget_ms_ += *w.ms;
            return w;
        }
        w.start = r_.choice(v, "walk", {"start", "stop"}) == 0;
        return w;
    }

    ExpectText expect_text(const YAML::Node& v) {
        ExpectText e;
        if(!v.IsMap()) {
            e.text = text(v, "expect-text", kMaxText);
            if(e.text.empty()) r_.fail(v, "expect-text: empty text");
            budget_ms_ += e.timeout_ms;
            return e;
        }
        const MapEntries m = r_.map(v, "in expect-text", {"text", "matches", "absent", "timeout"});
        const auto* t = m.find("text");
        const auto* pattern = m.find("matches");
        if((t != nullptr) == (pattern != nullptr))
            r_.fail(
                v,
                "expect-text needs 'text' (a piece of a drawn string) or 'matches' (a regular expression)");
        if(t != nullptr) {
            e.text = text(*t, "text", kMaxText);
            if(e.text.empty()) r_.fail(*t, "text: empty");
        } else {
            e.pattern = text(*pattern, "matches", 100);
            if(const auto why = pattern_too_big(e.pattern))
                r_.fail(*pattern, "matches: too large a regular expression (" + *why + ")");
            try {
                std::regex check(e.pattern);
                (void)check;
            } catch(const std::regex_error& error) {
                r_.fail(
                    *pattern,
                    "matches: not a regular expression (" + std::string(error.what()) + ")");
            }
        }
        if(const auto* a = m.find("absent")) e.absent = r_.boolean(*a, "absent");
        e.timeout_ms = timeout(m, 1000);
        return e;
    }

    ExpectFile expect_file(const YAML::Node& v) {
        const MapEntries m = r_.map(
            v, "in expect-file", {"path", "exists", "absent", "content", "contains", "timeout"});
        ExpectFile e;
        const auto* p = m.find("path");
        if(p == nullptr) r_.fail(v, "expect-file needs a 'path' (/ext/...)");
        e.path = card_path(*p);
        const auto* exists = m.find("exists");
        const auto* absent = m.find("absent");
        if(exists && absent) r_.fail(*absent, "give 'exists' or 'absent', not both");
        if(exists) e.exists = r_.boolean(*exists, "exists");
        if(absent) e.exists = !r_.boolean(*absent, "absent");
        if(const auto* c = m.find("content"))
            e.content = c->IsNull() ? std::string() : text(*c, "content", 64 * 1024);
        if(const auto* c = m.find("contains")) e.contains = text(*c, "contains", 64 * 1024);
        if(!e.exists && (e.content || e.contains))
            r_.fail(v, "a file that must be absent has no content to check");
        e.timeout_ms = timeout(m, 0);
        return e;
    }

    ExpectLed expect_led(const YAML::Node& v) {
        ExpectLed e;
        const YAML::Node* color = &v;
        MapEntries m;
        std::string name;
        if(v.IsMap()) {
            m = r_.map(v, "in expect-led", {"color", "blinking", "timeout"});
            color = m.find("color");
            if(color == nullptr)
                r_.fail(
                    v,
                    "expect-led needs a 'color' (off, red, green, blue, cyan, magenta, yellow, white, #RRGGBB)");
            if(const auto* b = m.find("blinking")) e.blinking = r_.boolean(*b, "blinking");
            e.timeout_ms = timeout(m, 0);
            name = r_.scalar(*color, "color");
        } else {
            name = r_.scalar(v, "expect-led");
            constexpr std::string_view kBlinking = "-blinking";
            if(name.size() > kBlinking.size() && name.ends_with(kBlinking)) {
                e.blinking = true;
                name.resize(name.size() - kBlinking.size());
            }
        }
        bool known = false;
        for(const auto& c : kColors) {
            if(c.name == name) {
                e.color = c.rgb;
                known = true;
            }
        }
        if(!known && name.size() == 7 && name[0] == '#') {
            yrm100::Bytes rgb;
            if(!detail::parse_hex(std::string_view(name).substr(1), rgb) && rgb.size() == 3) {
                e.color = {rgb[0], rgb[1], rgb[2]};
                known = true;
            }
        }
        if(!known)
            r_.fail(
                *color,
                "expect-led: '" + name.substr(0, 32) +
                    "' is not a colour (off, red, green, blue, cyan, magenta, yellow, white, #RRGGBB; '<colour>-blinking')");
        if(e.blinking && e.color.off()) r_.fail(*color, "expect-led: 'off' cannot blink");
        return e;
    }

    ExpectTag expect_tag(const YAML::Node& v) {
        const MapEntries m = r_.map(v, "in expect-tag", {"id", "epc", "tid", "user", "timeout"});
        ExpectTag e;
        const auto* id = m.find("id");
        if(id == nullptr) r_.fail(v, "expect-tag needs the 'id' of a tag that entered");
        e.id = id_ref(*id, "id");
        if(const auto* b = m.find("epc")) e.epc = r_.hex(*b, "epc", detail::kMaxEpcBytes, true);
        if(const auto* b = m.find("tid")) e.tid = r_.hex(*b, "tid", detail::kMaxTidBytes, true);
        if(const auto* b = m.find("user"))
            e.user = r_.hex(*b, "user", detail::kMaxUserBytes, true);
        if(!e.epc && !e.tid && !e.user)
            r_.fail(v, "expect-tag needs a bank to check (epc, tid, user)");
        e.timeout_ms = timeout(m, 0);
        return e;
    }

    std::filesystem::path path(const YAML::Node& node, std::string_view what) const {
        const std::string p = text(node, what, 1024);
        if(p.empty()) r_.fail(node, std::string(what) + ": empty path");
        return p;
    }

    /// "/ext/..." without "." or ".." parts: the card's files only.
    std::string card_path(const YAML::Node& node) const {
        const std::string p = text(node, "path", 1024);
        constexpr std::string_view kCard = "/ext/";
        if(!p.starts_with(kCard) || p.size() == kCard.size())
            r_.fail(node, "path: '" + p.substr(0, 64) + "' is not a file on the card (/ext/...)");
        std::size_t start = kCard.size();
        while(start <= p.size()) {
            const std::size_t slash = std::min(p.find('/', start), p.size());
            const std::string_view part = std::string_view(p).substr(start, slash - start);
            if(part.empty() || part == "." || part == "..")
                r_.fail(
                    node,
                    "path: '" + p.substr(0, 64) + "': empty, '.' and '..' parts are not allowed");
            if(part.find('\\') != std::string_view::npos) r_.fail(node, "path: no backslashes");
            start = slash + 1;
        }
        return p;
    }

    const Reader& r_;
    std::set<std::string> ids_;
    double budget_ms_ = 0;
};

} // namespace

Scenario parse_text(std::string_view yaml, const std::filesystem::path& file_name) {
    const Reader reader(file_name.string());
    const YAML::Node root = reader.load(yaml);
    try {
        return Parser(reader).scenario(root, file_name);
    } catch(const ParseError&) {
        throw;
    } catch(const YAML::Exception& e) {
        throw ParseError(reader.where(e.mark) + e.msg);
    }
}

Scenario parse_file(const std::filesystem::path& file) {
    return parse_text(detail::read_text_file(file, kMaxFileBytes), file);
}

} // namespace sim::scenario
