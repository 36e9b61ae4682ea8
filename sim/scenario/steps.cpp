// Every scenario step: how it is parsed and how it is played, side by side, and the table that
// names them (at the end of the file).
#include "steps.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "host/keyboard.h"
#include "session/colours.h"
#include "session/corvane_session.h"
#include "host/printable.h"
#include "text_pattern.h"

namespace sim::scenario::detail {
namespace {

constexpr std::uint32_t kMaxWaitMs = 3600 * 1000;
/// What a press costs at most in virtual time (press, release, settle), for the budget.
constexpr double kPressMs = 1000;
/// Presses the keyboard may need per character typed.
constexpr double kPressesPerCharacter = 60;
constexpr std::size_t kMaxText = 256;
constexpr std::size_t kMaxTyped = 64;
/// The longest a key may be held in one press.
constexpr std::uint32_t kMaxHoldMs = 60 * 1000;
/// What a held key's release leaves for the app to react, as a press leaves it.
constexpr std::uint32_t kSettleMs = 20;

template <typename T>
const T& as(const Action& action) {
    return std::get<T>(action);
}

std::string hex(const yrm100::Bytes& bytes) {
    return bytes.empty() ? "(empty)" : yrm100::to_hex(bytes);
}

// ---- press, long-press --------------------------------------------------------------------

Action parse_press(StepParser& p, const YAML::Node& v, std::string_view key) {
    Press out;
    out.long_press = key == "long-press";
    const YAML::Node* named = &v;
    MapEntries m;
    if(v.IsMap()) {
        m = out.long_press ? p.r.map(v, "in long-press", {"key", "repeat"}) :
                             p.r.map(v, "in press", {"key", "long", "repeat", "hold"});
        named = m.find("key");
        if(named == nullptr)
            p.r.fail(v, "a press needs a 'key' (up, down, left, right, ok, back)");
        if(const auto* l = m.find("long")) out.long_press = p.r.boolean(*l, "long");
        if(const auto* n = m.find("repeat"))
            out.repeat = static_cast<unsigned>(p.r.integer(*n, "repeat", 1, 100));
        if(const auto* h = m.find("hold")) {
            if(m.find("long") != nullptr)
                p.r.fail(*h, "hold: the hold makes the press long or short; leave out 'long'");
            out.hold_ms = p.r.duration_ms(*h, "hold", kMaxHoldMs);
            if(*out.hold_ms == 0) p.r.fail(*h, "hold: a key is held for 1 ms at least");
        }
    }
    static constexpr InputKey kKeys[] = {
        InputKeyUp, InputKeyDown, InputKeyLeft, InputKeyRight, InputKeyOk, InputKeyBack};
    out.key = kKeys[p.r.choice(*named, "key", {"up", "down", "left", "right", "ok", "back"})];
    p.spend((kPressMs + out.hold_ms.value_or(0)) * out.repeat);
    return out;
}

Failure run_press(StepRunner& r, const Action& action) {
    const Press& p = as<Press>(action);
    for(unsigned i = 0; i < p.repeat; ++i) {
        if(!r.session.running()) return std::string("the app has ended");
        if(p.hold_ms) {
            r.session.key_down(p.key);
            r.session.wait(*p.hold_ms);
            r.session.key_up(p.key);
            r.session.wait(kSettleMs);
        } else if(p.long_press) {
            r.session.long_press(p.key);
        } else {
            r.session.press(p.key);
        }
    }
    return std::nullopt;
}

// ---- type ---------------------------------------------------------------------------------

Action parse_type(StepParser& p, const YAML::Node& v, std::string_view) {
    Type t;
    const YAML::Node* typed = &v;
    MapEntries m;
    if(v.IsMap()) {
        m = p.r.map(v, "in type", {"text", "save", "backspace"});
        typed = m.find("text");
        if(const auto* s = m.find("save")) t.save = p.r.boolean(*s, "save");
        if(const auto* b = m.find("backspace"))
            t.backspace = static_cast<unsigned>(p.r.integer(*b, "backspace", 1, kMaxTyped));
        if(typed == nullptr && !t.save && t.backspace == 0)
            p.r.fail(v, "type needs a 'text', 'backspace: N', 'save: true' or some of them");
    }
    if(typed != nullptr) {
        t.text = p.text(*typed, "text", kMaxTyped);
        if(!std::all_of(t.text.begin(), t.text.end(), host::keyboard::types))
            p.r.fail(*typed, "type: the keyboard has letters, digits and '_' only");
        if(t.text.empty() && !t.save && t.backspace == 0)
            p.r.fail(*typed, "type: nothing to type");
    }
    p.spend(
        kPressMs * kPressesPerCharacter * static_cast<double>(t.text.size() + t.backspace + 1));
    return t;
}

Failure run_type(StepRunner& r, const Action& action) {
    const Type& t = as<Type>(action);
    if(t.backspace > 0 && !r.session.type(std::string(t.backspace, '\b'))) {
        return "could not reach the keyboard's backspace key: screen shows " +
               shown(r.session.screen());
    }
    if(!t.text.empty()) {
        const Typed typed = r.session.type(t.text);
        if(!typed.reached) {
            return "could not type it (no keyboard on the screen?): screen shows " +
                   shown(r.session.screen());
        }
        if(!typed.dropped.empty()) {
            std::string failure =
                "the text input is full: '" + host::printable(typed.dropped) + "' was not typed";
            if(const auto* corvane = dynamic_cast<const CorvaneSession*>(&r.session))
                failure += "; the field holds \"" + host::printable(corvane->field_text()) + "\"";
            return failure;
        }
    }
    if(t.save) {
        auto* corvane = dynamic_cast<CorvaneSession*>(&r.session);
        if(corvane == nullptr) return std::string("this app has no keyboard to save");
        if(!corvane->save_text())
            return "could not reach the save key: screen shows " + shown(r.session.screen());
    }
    return std::nullopt;
}

// ---- wait, walk ---------------------------------------------------------------------------

Action parse_wait(StepParser& p, const YAML::Node& v, std::string_view) {
    const Wait w{p.r.duration_ms(v, "wait", kMaxWaitMs)};
    p.spend(w.ms);
    return w;
}

Failure run_wait(StepRunner& r, const Action& action) {
    r.session.wait(as<Wait>(action).ms);
    return std::nullopt;
}

Action parse_walk(StepParser& p, const YAML::Node& v, std::string_view) {
    Walk w;
    if(v.IsMap()) {
        const MapEntries m = p.r.map(v, "in walk", {"seconds"});
        const auto* s = m.find("seconds");
        if(s == nullptr) p.r.fail(v, "walk: {seconds: N} walks N seconds; or walk: start / stop");
        w.ms = static_cast<std::uint32_t>(p.r.integer(*s, "seconds", 1, kMaxWaitMs / 1000) * 1000);
        p.spend(*w.ms);
        return w;
    }
    w.start = p.r.choice(v, "walk", {"start", "stop"}) == 0;
    return w;
}

Failure run_walk(StepRunner& r, const Action& action) {
    const Walk& w = as<Walk>(action);
    if(!r.session.walk(w.ms ? true : w.start))
        return std::string("this app has no walk to take (or the sensor replays a trace)");
    if(w.ms) {
        r.session.wait(*w.ms);
        r.session.walk(false);
    }
    return std::nullopt;
}

// ---- tag-enter, tag-leave, tag-set --------------------------------------------------------

Action parse_tag_enter(StepParser& p, const YAML::Node& v, std::string_view) {
    TagEnter t;
    t.spec = p.r.tag(v, true, &t.id);
    if(t.id) p.add_id(*t.id);
    return t;
}

Failure run_tag_enter(StepRunner& r, const Action& action) {
    const TagEnter& t = as<TagEnter>(action);
    Yrm100* module = r.session.virtual_module();
    if(module == nullptr) return no_module();
    const auto id = module->add_tag(t.spec);
    if(t.id) r.tags[*t.id] = id;
    return std::nullopt;
}

Action parse_tag_leave(StepParser& p, const YAML::Node& v, std::string_view) {
    return TagLeave{p.id_ref(v, "tag-leave")};
}

Failure run_tag_leave(StepRunner& r, const Action& action) {
    const TagLeave& t = as<TagLeave>(action);
    Yrm100* module = nullptr;
    Yrm100::TagId id = 0;
    if(auto failure = r.tag(t.id, module, id)) return failure;
    if(!module->in_field(id)) return "tag '" + t.id + "' has left the field already";
    module->remove_tag(id);
    return std::nullopt;
}

Action parse_tag_set(StepParser& p, const YAML::Node& v, std::string_view) {
    const MapEntries m = p.r.map(v, "in tag-set", {"id", "bank", "data"});
    const auto* id = m.find("id");
    const auto* bank = m.find("bank");
    const auto* data = m.find("data");
    if(id == nullptr || bank == nullptr || data == nullptr)
        p.r.fail(v, "tag-set needs 'id', 'bank' (epc, tid, user) and 'data' (hex)");
    TagSet t;
    t.id = p.id_ref(*id, "id");
    const std::size_t index = p.r.choice(*bank, "bank", {"epc", "tid", "user"});
    static constexpr yrm100::Bank kBanks[] = {
        yrm100::Bank::Epc, yrm100::Bank::Tid, yrm100::Bank::User};
    static constexpr std::size_t kMax[] = {kMaxEpcBytes, kMaxTidBytes, kMaxUserBytes};
    t.bank = kBanks[index];
    t.data = p.r.hex(*data, "data", kMax[index], true);
    return t;
}

Failure run_tag_set(StepRunner& r, const Action& action) {
    const TagSet& t = as<TagSet>(action);
    Yrm100* module = nullptr;
    Yrm100::TagId id = 0;
    if(auto failure = r.tag(t.id, module, id)) return failure;
    try {
        if(t.bank == yrm100::Bank::Epc) {
            // The EPC as a programmer leaves it: the PC follows its length, a fresh CRC.
            module->set_epc(id, t.data);
        } else {
            module->set_bank(id, t.bank, t.data);
        }
    } catch(const std::exception& e) {
        return std::string("the tag refused it: ") + e.what();
    }
    return std::nullopt;
}

// ---- module -------------------------------------------------------------------------------

Action parse_module(StepParser& p, const YAML::Node& v, std::string_view) {
    Module out;
    if(!v.IsMap()) {
        const std::size_t kind = p.r.choice(v, "module", {"plug", "unplug", "clear-faults"});
        out.kind = kind == 0 ? Module::Kind::plug :
                   kind == 1 ? Module::Kind::unplug :
                               Module::Kind::clear_faults;
        return out;
    }
    const MapEntries m = p.r.map(
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
        p.r.fail(
            v,
            "module: give one of 'fault', 'refuse-writes' or 'refuse-reads' (or plug, unplug, clear-faults)");
    }
    const auto only = [&](std::initializer_list<std::string_view> allowed,
                          std::string_view for_what) {
        for(const auto& [name, node] : m.entries) {
            if(std::find(allowed.begin(), allowed.end(), name) == allowed.end())
                p.r.fail(node, "module: '" + name + "' does not apply to " + std::string(for_what));
        }
    };
    const auto required = [&](std::string_view key) -> const YAML::Node& {
        const auto* node = m.find(key);
        if(node == nullptr) p.r.fail(v, "module: this fault needs '" + std::string(key) + "'");
        return *node;
    };
    if(fault == nullptr) {
        out.kind = writes ? Module::Kind::refuse_writes : Module::Kind::refuse_reads;
        const char* name = writes ? "refuse-writes" : "refuse-reads";
        only({name, "error"}, name);
        out.count = static_cast<unsigned>(p.r.integer(writes ? *writes : *reads, name, 0, 1000));
        if(const auto* e = m.find("error"))
            out.error = static_cast<std::uint8_t>(p.r.integer(*e, "error", 0, 0xFF));
        return out;
    }
    out.kind = Module::Kind::fault;
    out.fault = static_cast<Module::Fault>(p.r.choice(
        *fault, "fault", {"silence", "corrupt", "cut-short", "trailing", "noise", "delay"}));
    if(const auto* e = m.find("exchange"))
        out.exchange = static_cast<unsigned>(p.r.integer(*e, "exchange", 1, 1000));
    switch(out.fault) {
    case Module::Fault::silence:
        only({"fault", "exchange"}, "silence");
        break;
    case Module::Fault::corrupt:
        only({"fault", "exchange", "position", "mask"}, "corrupt");
        out.position = p.r.integer(required("position"), "position", 0, 1024);
        if(const auto* mask = m.find("mask"))
            out.mask = static_cast<std::uint8_t>(p.r.integer(*mask, "mask", 1, 0xFF));
        break;
    case Module::Fault::cut_short:
        only({"fault", "exchange", "keep"}, "cut-short");
        out.position = p.r.integer(required("keep"), "keep", 0, 1024);
        break;
    case Module::Fault::trailing:
        only({"fault", "exchange", "bytes"}, "trailing");
        out.bytes = p.r.hex(required("bytes"), "bytes", 1024, false);
        if(out.bytes.empty()) p.r.fail(required("bytes"), "bytes: none given");
        break;
    case Module::Fault::noise:
        only({"fault", "exchange", "count", "seed"}, "noise");
        out.position = p.r.integer(required("count"), "count", 1, 1024);
        if(const auto* seed = m.find("seed"))
            out.seed = static_cast<std::uint32_t>(p.r.integer(*seed, "seed", 0, UINT32_MAX));
        break;
    case Module::Fault::delay:
        only({"fault", "exchange", "delay"}, "delay");
        out.delay_ms = p.r.duration_ms(required("delay"), "delay", 60 * 1000);
        break;
    }
    return out;
}

Yrm100Fault fault_of(const Module& m) {
    switch(m.fault) {
    case Module::Fault::silence:
        return yrm100_fault::silence();
    case Module::Fault::corrupt:
        return yrm100_fault::corrupt_byte(m.position, m.mask);
    case Module::Fault::cut_short:
        return yrm100_fault::cut_short(m.position);
    case Module::Fault::trailing:
        return yrm100_fault::trailing(m.bytes);
    case Module::Fault::noise:
        return yrm100_fault::noise(m.position, m.seed);
    case Module::Fault::delay:
        return yrm100_fault::delay(host::ms(m.delay_ms));
    }
    return yrm100_fault::silence();
}

Failure run_module(StepRunner& r, const Action& action) {
    const Module& m = as<Module>(action);
    Yrm100* module = r.session.virtual_module();
    if(module == nullptr) return no_module();
    switch(m.kind) {
    case Module::Kind::plug:
        module->set_unplugged(false);
        break;
    case Module::Kind::unplug:
        module->set_unplugged(true);
        break;
    case Module::Kind::clear_faults:
        module->clear_faults();
        module->refuse_reads(0);
        module->refuse_writes(0);
        break;
    case Module::Kind::refuse_writes:
        if(m.error) {
            module->refuse_writes(m.count, *m.error);
        } else {
            module->refuse_writes(m.count);
        }
        break;
    case Module::Kind::refuse_reads:
        if(m.error) {
            module->refuse_reads(m.count, *m.error);
        } else {
            module->refuse_reads(m.count);
        }
        break;
    case Module::Kind::fault:
        module->arm_fault(fault_of(m), m.exchange);
        break;
    }
    return std::nullopt;
}

// ---- expect-text --------------------------------------------------------------------------

Action parse_expect_text(StepParser& p, const YAML::Node& v, std::string_view) {
    ExpectText e;
    if(!v.IsMap()) {
        e.text = p.text(v, "expect-text", kMaxText);
        if(e.text.empty()) p.r.fail(v, "expect-text: empty text");
        p.spend(e.timeout_ms);
        return e;
    }
    const MapEntries m = p.r.map(v, "in expect-text", {"text", "matches", "absent", "timeout"});
    const auto* t = m.find("text");
    const auto* pattern = m.find("matches");
    if((t != nullptr) == (pattern != nullptr))
        p.r.fail(
            v,
            "expect-text needs 'text' (a piece of a drawn string) or 'matches' (a regular expression)");
    if(t != nullptr) {
        e.text = p.text(*t, "text", kMaxText);
        if(e.text.empty()) p.r.fail(*t, "text: empty");
    } else {
        e.pattern = p.text(*pattern, "matches", 100);
        if(const auto why = TextPattern::refusal(e.pattern)) p.r.fail(*pattern, "matches: " + *why);
    }
    if(const auto* a = m.find("absent")) e.absent = p.r.boolean(*a, "absent");
    e.timeout_ms = p.timeout(m, 1000);
    return e;
}

Failure run_expect_text(StepRunner& r, const Action& action) {
    const ExpectText& e = as<ExpectText>(action);
    std::optional<TextPattern> pattern;
    if(!e.pattern.empty()) pattern.emplace(e.pattern);
    const auto holds = [&] {
        const host::Screen screen = r.session.screen();
        bool found = false;
        if(pattern) {
            for(const auto& text : screen.strings())
                found = found || pattern->matches(text);
        } else {
            found = screen.contains(e.text);
        }
        return found != e.absent;
    };
    if(r.poll(holds, e.timeout_ms)) return std::nullopt;
    return std::string(e.absent ? "still shown" : "not shown") + " after " +
           std::to_string(e.timeout_ms) + " ms: screen shows " + shown(r.session.screen());
}

// ---- expect-file --------------------------------------------------------------------------

Action parse_expect_file(StepParser& p, const YAML::Node& v, std::string_view) {
    const MapEntries m = p.r.map(
        v, "in expect-file", {"path", "exists", "absent", "content", "contains", "timeout"});
    ExpectFile e;
    const auto* path = m.find("path");
    if(path == nullptr) p.r.fail(v, "expect-file needs a 'path' (/ext/...)");
    e.path = p.card_path(*path);
    const auto* exists = m.find("exists");
    const auto* absent = m.find("absent");
    if(exists && absent) p.r.fail(*absent, "give 'exists' or 'absent', not both");
    if(exists) e.exists = p.r.boolean(*exists, "exists");
    if(absent) e.exists = !p.r.boolean(*absent, "absent");
    if(const auto* c = m.find("content"))
        e.content = c->IsNull() ? std::string() : p.text(*c, "content", 64 * 1024);
    if(const auto* c = m.find("contains")) e.contains = p.text(*c, "contains", 64 * 1024);
    if(!e.exists && (e.content || e.contains))
        p.r.fail(v, "a file that must be absent has no content to check");
    e.timeout_ms = p.timeout(m, 0);
    return e;
}

Failure run_expect_file(StepRunner& r, const Action& action) {
    const ExpectFile& e = as<ExpectFile>(action);
    const auto file = r.card_file(e.path);
    if(!file) return std::string("this app has no SD card");
    std::string seen;
    const auto holds = [&] {
        std::error_code error;
        const bool exists = std::filesystem::is_regular_file(*file, error);
        if(!exists) {
            seen = "no such file";
            return !e.exists;
        }
        if(!e.exists) {
            seen = "the file exists";
            return false;
        }
        if(!e.content && !e.contains) return true;
        const auto size = std::filesystem::file_size(*file, error);
        if(error || size > kMaxFileBytes) {
            seen = "it cannot be read, or is larger than 1 MiB";
            return false;
        }
        std::ifstream in(*file, std::ios::binary);
        std::string content(static_cast<std::size_t>(size), '\0');
        in.read(content.data(), static_cast<std::streamsize>(content.size()));
        content.resize(static_cast<std::size_t>(in.gcount()));
        seen = "it holds \"" + host::printable(content, 120) + "\"";
        if(e.content && content != *e.content) return false;
        if(e.contains && content.find(*e.contains) == std::string::npos) return false;
        return true;
    };
    if(r.poll(holds, e.timeout_ms)) return std::nullopt;
    return e.path + ": " + seen;
}

// ---- expect-log ---------------------------------------------------------------------------

Action parse_expect_log(StepParser& p, const YAML::Node& v, std::string_view) {
    const MapEntries m = p.r.map(v, "in expect-log", {"tag", "text", "timeout"});
    ExpectLog e;
    const auto* tag = m.find("tag");
    const auto* line = m.find("text");
    if(tag == nullptr || line == nullptr) p.r.fail(v, "expect-log needs 'tag' and 'text'");
    e.tag = p.text(*tag, "tag", kMaxText);
    e.text = p.text(*line, "text", kMaxText);
    e.timeout_ms = p.timeout(m, 1000);
    return e;
}

Failure run_expect_log(StepRunner& r, const Action& action) {
    const ExpectLog& e = as<ExpectLog>(action);
    const auto holds = [&] {
        for(const auto& line : r.session.log().texts(e.tag)) {
            if(line.find(e.text) != std::string::npos) return true;
        }
        return false;
    };
    if(r.poll(holds, e.timeout_ms)) return std::nullopt;
    const auto lines = r.session.log().texts(e.tag);
    if(lines.empty()) return "no log line under '" + host::printable(e.tag) + "'";
    std::string last;
    for(std::size_t i = lines.size() > 3 ? lines.size() - 3 : 0; i < lines.size(); ++i) {
        last += (last.empty() ? "\"" : ", \"") + host::printable(lines[i], 80) + "\"";
    }
    return "no line under '" + host::printable(e.tag) + "' holds it; the last: " + last;
}

// ---- expect-led, expect-otg ---------------------------------------------------------------

Action parse_expect_led(StepParser& p, const YAML::Node& v, std::string_view) {
    ExpectLed e;
    const YAML::Node* color = &v;
    MapEntries m;
    std::string name;
    if(v.IsMap()) {
        m = p.r.map(v, "in expect-led", {"color", "blinking", "timeout"});
        color = m.find("color");
        if(color == nullptr)
            p.r.fail(v, "expect-led needs a 'color' (" + colour_names() + ", #RRGGBB)");
        if(const auto* b = m.find("blinking")) e.blinking = p.r.boolean(*b, "blinking");
        e.timeout_ms = p.timeout(m, 0);
        name = p.r.scalar(*color, "color");
    } else {
        name = p.r.scalar(v, "expect-led");
        constexpr std::string_view kBlinking = "-blinking";
        if(name.size() > kBlinking.size() && name.ends_with(kBlinking)) {
            e.blinking = true;
            name.resize(name.size() - kBlinking.size());
        }
    }
    const auto rgb = colour_from_name(name);
    if(!rgb)
        p.r.fail(
            *color,
            "expect-led: '" + name.substr(0, 32) + "' is not a colour (" + colour_names() +
                ", #RRGGBB; '<colour>-blinking')");
    e.color = *rgb;
    if(e.blinking && e.color.off()) p.r.fail(*color, "expect-led: 'off' cannot blink");
    return e;
}

Failure run_expect_led(StepRunner& r, const Action& action) {
    const ExpectLed& e = as<ExpectLed>(action);
    const auto holds = [&] {
        const auto led = r.session.led();
        if(e.blinking) return led.blinking && led.blink_color == e.color;
        return !led.blinking && led.led == e.color;
    };
    if(r.poll(holds, e.timeout_ms)) return std::nullopt;
    return "the LED is " + led_state(r.session.led());
}

Action parse_expect_otg(StepParser& p, const YAML::Node& v, std::string_view) {
    ExpectOtg e;
    if(v.IsMap()) {
        const MapEntries m = p.r.map(v, "in expect-otg", {"on", "timeout"});
        const auto* on = m.find("on");
        if(on == nullptr) p.r.fail(v, "expect-otg needs 'on: true' or 'on: false'");
        e.on = p.r.boolean(*on, "on");
        e.timeout_ms = p.timeout(m, 0);
    } else {
        e.on = p.r.boolean(v, "expect-otg");
    }
    return e;
}

Failure run_expect_otg(StepRunner& r, const Action& action) {
    const ExpectOtg& e = as<ExpectOtg>(action);
    if(r.poll([&] { return r.session.otg_on() == e.on; }, e.timeout_ms)) return std::nullopt;
    return std::string("the 5 V output is ") + (e.on ? "off" : "on");
}

// ---- expect-tag ---------------------------------------------------------------------------

Action parse_expect_tag(StepParser& p, const YAML::Node& v, std::string_view) {
    const MapEntries m = p.r.map(v, "in expect-tag", {"id", "epc", "tid", "user", "timeout"});
    ExpectTag e;
    const auto* id = m.find("id");
    if(id == nullptr) p.r.fail(v, "expect-tag needs the 'id' of a tag that entered");
    e.id = p.id_ref(*id, "id");
    if(const auto* b = m.find("epc")) e.epc = p.r.hex(*b, "epc", kMaxEpcBytes, true);
    if(const auto* b = m.find("tid")) e.tid = p.r.hex(*b, "tid", kMaxTidBytes, true);
    if(const auto* b = m.find("user")) e.user = p.r.hex(*b, "user", kMaxUserBytes, true);
    if(!e.epc && !e.tid && !e.user) p.r.fail(v, "expect-tag needs a bank to check (epc, tid, user)");
    e.timeout_ms = p.timeout(m, 0);
    return e;
}

Failure run_expect_tag(StepRunner& r, const Action& action) {
    const ExpectTag& e = as<ExpectTag>(action);
    Yrm100* module = nullptr;
    Yrm100::TagId id = 0;
    if(auto failure = r.tag(e.id, module, id)) return failure;
    std::string seen;
    const auto holds = [&] {
        const yrm100::VirtualTag& tag = module->tag(id);
        const struct {
            const char* name;
            const std::optional<yrm100::Bytes>& want;
            yrm100::Bytes have;
        } banks[] = {
            {"EPC", e.epc, tag.epc()},
            {"TID", e.tid, tag.bytes(yrm100::Bank::Tid)},
            {"USER", e.user, tag.bytes(yrm100::Bank::User)},
        };
        for(const auto& bank : banks) {
            if(bank.want && *bank.want != bank.have) {
                seen = std::string("its ") + bank.name + " is " + hex(bank.have);
                return false;
            }
        }
        return true;
    };
    if(r.poll(holds, e.timeout_ms)) return std::nullopt;
    return "tag '" + e.id + "': " + seen;
}

// ---- card-file, take-screenshot -----------------------------------------------------------

Action parse_card_file(StepParser& p, const YAML::Node& v, std::string_view) {
    const MapEntries m = p.r.map(v, "in card-file", {"path", "content"});
    CardFile c;
    const auto* path = m.find("path");
    const auto* content = m.find("content");
    if(path == nullptr || content == nullptr) p.r.fail(v, "card-file needs 'path' and 'content'");
    c.path = p.card_path(*path);
    c.content = content->IsNull() ? std::string() : p.text(*content, "content", 64 * 1024);
    return c;
}

Failure run_card_file(StepRunner& r, const Action& action) {
    const CardFile& c = as<CardFile>(action);
    const auto file = r.card_file(c.path);
    if(!file) return std::string("this app has no SD card");
    std::error_code error;
    std::filesystem::create_directories(file->parent_path(), error);
    if(error)
        return "cannot make the folder " + file->parent_path().string() + ": " + error.message();
    std::ofstream out(*file, std::ios::binary | std::ios::trunc);
    out << c.content;
    out.close();
    if(!out) return "cannot write " + file->string();
    return std::nullopt;
}

Action parse_screenshot(StepParser& p, const YAML::Node& v, std::string_view) {
    const MapEntries m = p.r.map(v, "in take-screenshot", {"save-to", "compare-with"});
    Screenshot s;
    if(const auto* path = m.find("save-to")) s.save_to = p.path(*path, "save-to");
    if(const auto* path = m.find("compare-with")) s.compare_with = p.path(*path, "compare-with");
    if(s.save_to.empty() && s.compare_with.empty())
        p.r.fail(v, "take-screenshot needs 'save-to', 'compare-with' or both");
    return s;
}

Failure run_screenshot(StepRunner& r, const Action& action) {
    const Screenshot& s = as<Screenshot>(action);
    const host::Screen screen = r.session.screen();
    std::filesystem::path saved;
    if(!s.save_to.empty()) {
        saved = s.save_to.is_absolute() ? s.save_to : r.screenshot_dir() / s.save_to;
        if(auto error = write_png(screen, saved)) return error;
    }
    if(s.compare_with.empty()) return std::nullopt;
    const auto golden =
        s.compare_with.is_absolute() ? s.compare_with : r.folder() / s.compare_with;
    const char* update = std::getenv("UPDATE_GOLDEN");
    if(update != nullptr && std::string_view(update) == "1") return write_png(screen, golden);
    std::filesystem::path actual = saved;
    if(actual.empty()) actual = golden.parent_path() / (golden.stem().string() + ".actual.png");
    std::string error;
    const auto expected = host::Screen::read_png(golden, &error);
    if(!expected) {
        write_png(screen, actual);
        return "cannot read the golden " + golden.string() + " (" + error +
               "); the screen is in " + actual.string();
    }
    const auto pixel = screen.first_difference(*expected);
    if(!pixel) return std::nullopt;
    if(actual != saved) write_png(screen, actual);
    return "differs from " + golden.string() + " first at pixel (" + std::to_string(pixel->x) +
           ", " + std::to_string(pixel->y) + "): the screen has it " +
           (screen.pixel(pixel->x, pixel->y) ? "dark" : "light") + "; the screen is in " +
           actual.string() + "; screen shows " + shown(screen);
}

// ---- the table ----------------------------------------------------------------------------

constexpr StepKind kSteps[] = {
    {"press",
     "`press: KEY` (`up`, `down`, `left`, `right`, `ok`, `back`) or `{key, long, repeat, hold}`: a press",
     parse_press,
     run_press,
     true},
    {"long-press",
     "`long-press: KEY` or `{key, repeat}`: a long press",
     parse_press,
     run_press,
     true},
    {"type",
     "`type: TEXT` or `{backspace, text, save}`: the on-screen keyboard's backspace, typing on it, then its save key",
     parse_type,
     run_type,
     true},
    {"wait", "`wait: TIME`: virtual time passes", parse_wait, run_wait, true},
    {"walk",
     "`walk: start`, `walk: stop` or `{seconds}`: pacewick's walker",
     parse_walk,
     run_walk,
     true},
    {"tag-enter",
     "`tag-enter: {id, epc, tid, user, ...}`: a tag enters the module's field",
     parse_tag_enter,
     run_tag_enter},
    {"tag-leave", "`tag-leave: ID`: it leaves", parse_tag_leave, run_tag_leave},
    {"tag-set",
     "`tag-set: {id, bank, data}`: one of its banks rewritten",
     parse_tag_set,
     run_tag_set},
    {"module",
     "`module: plug`, `unplug`, `clear-faults`, `{fault, ...}` or `{refuse-writes|refuse-reads, error}`: the module",
     parse_module,
     run_module},
    {"expect-text",
     "`expect-text: TEXT` or `{text|matches, absent, timeout}`: what the screen says",
     parse_expect_text,
     run_expect_text,
     true},
    {"expect-file",
     "`expect-file: {path, exists|absent, content|contains, timeout}`: a file on the card",
     parse_expect_file,
     run_expect_file},
    {"expect-log",
     "`expect-log: {tag, text, timeout}`: a log line",
     parse_expect_log,
     run_expect_log},
    {"expect-led",
     "`expect-led: COLOUR[-blinking]` or `{color, blinking, timeout}`: the LED",
     parse_expect_led,
     run_expect_led},
    {"expect-otg",
     "`expect-otg: on|off` or `{on, timeout}`: the 5 V output",
     parse_expect_otg,
     run_expect_otg},
    {"expect-tag",
     "`expect-tag: {id, epc, tid, user, timeout}`: what a tag in the field holds",
     parse_expect_tag,
     run_expect_tag},
    {"card-file",
     "`card-file: {path, content}`: a file put on the card",
     parse_card_file,
     run_card_file},
    {"take-screenshot",
     "`take-screenshot: {save-to, compare-with}`: the screen as a PNG, or compared with one",
     parse_screenshot,
     run_screenshot},
};

} // namespace

std::span<const StepKind> step_kinds() {
    return kSteps;
}

const StepKind* find_step(std::string_view key) {
    for(const StepKind& kind : kSteps) {
        if(kind.key == key) return &kind;
    }
    return nullptr;
}

} // namespace sim::scenario::detail
