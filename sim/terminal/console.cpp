#include "console.h"

#include <cctype>
#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "devices/mx2125.h"
#include "devices/yrm100.h"
#include "session/controls.h"
#include "scenario/tags.h"

namespace sim::terminal {
namespace {

std::vector<std::string> split(std::string_view line) {
    std::vector<std::string> words;
    std::istringstream in{std::string(line)};
    for(std::string word; in >> word;) words.push_back(word);
    return words;
}

/// "1".."count" as an index from 0; nothing for anything else.
std::optional<std::size_t> tag_number(const std::string& text, std::size_t count) {
    if(text.empty() || text.size() > 6) return std::nullopt;
    std::size_t n = 0;
    for(char c : text) {
        if(c < '0' || c > '9') return std::nullopt;
        n = n * 10 + static_cast<std::size_t>(c - '0');
    }
    if(n < 1 || n > count) return std::nullopt;
    return n - 1;
}

} // namespace

Console::Console(AppSession& session, std::filesystem::path screenshot_dir)
    : session_(session)
    , screenshot_dir_(std::move(screenshot_dir)) {}

std::vector<std::string> Console::help() {
    return {
        "Keys",
        "  arrows or w a s d   Up Down Left Right       Enter or Space  OK",
        "  Backspace or Esc    Back                     Ctrl-C or :q    quit",
        "  long press: Shift+arrow, W A S D, or L then the key (L Enter: long OK)",
        "  t  first tag in/out of the field    u  unplug/plug the module",
        "  p  screenshot                       :  command prompt (Esc cancels)",
        "Commands",
        "  :tag add EPC[:TID[:USER]]   :tag list   :tag remove N   :tag toggle N",
        "  :tag set N epc HEX          edit tag N's EPC (hex bytes)",
        "  :unplug  :plug              the module hears and says nothing / is back",
        "  :fault silence|corrupt|cut|noise|delay    spoils the module's next reply",
        "  :refuse-write [N]           the next N writes fail (default 1)",
        "  :walk start|stop            pacewick: the wearer walks or stands",
        "  :type TEXT   :name TEXT     type on the on-screen keyboard (:name also saves)",
        "  :shot [FILE]                PNG of the screen (default fsim-NNNN.png)",
        "  :help  :q                   this help; quit",
        "Any key closes this help.",
    };
}

Outcome Console::run(std::string_view line) {
    const Words words = split(line);
    if(words.empty()) return {};
    const std::string& command = words[0];
    if(command == "help" || command == "h" || command == "?") {
        Outcome out;
        out.panel = help();
        return out;
    }
    if(command == "q" || command == "quit" || command == "exit") {
        Outcome out;
        out.quit = true;
        return out;
    }
    if(command == "tag" || command == "tags") return tag(words);
    if(command == "unplug" || command == "plug") {
        if(words.size() > 1) return {":" + command + " takes nothing after it"};
        return plug(command == "plug");
    }
    if(command == "fault") return fault(words);
    if(command == "refuse-write") return refuse_write(words);
    if(command == "walk") return walk(words);
    if(command == "shot" || command == "screenshot") return shot(words);
    if(command == "type") return type(words, false);
    if(command == "name") return type(words, true);
    return {"unknown command :" + command + " (:help lists them)"};
}

Yrm100* Console::module(std::string_view command, std::string& why) {
    if(Yrm100* m = session_.virtual_module()) return m;
    if(session_.app() == "corvane") {
        why = ":" + std::string(command) + " needs the virtual module; this one is real (--uart)";
    } else {
        why = ":" + std::string(command) + " is for corvane's reader module; " +
              std::string(session_.app()) + " has none";
    }
    return nullptr;
}

Outcome Console::tag(const Words& words) {
    std::string why;
    Yrm100* m = module("tag", why);
    if(m == nullptr) return {why};
    const std::string action = words.size() > 1 ? words[1] : "list";
    const auto ids = m->tag_ids();

    if(action == "list") {
        if(ids.empty()) return {"no tags: :tag add EPC puts one in the field"};
        Outcome out{std::to_string(ids.size()) + (ids.size() == 1 ? " tag" : " tags")};
        out.panel.push_back("Tags the module knows (any key closes this):");
        for(std::size_t i = 0; i < ids.size(); ++i) {
            const auto& t = m->tag(ids[i]);
            char line[48];
            std::snprintf(
                line, sizeof line, "  %zu  %-12s", i + 1, m->in_field(ids[i]) ? "in field" : "out");
            out.panel.push_back(line + epc_hex(t));
        }
        return out;
    }
    if(action == "add") {
        if(words.size() != 3) return {"usage: :tag add EPC[:TID[:USER]] (hex)"};
        try {
            const auto spec = sim::scenario::parse_tag_text(words[2]);
            const auto id = m->add_tag(spec);
            return {"tag " + std::to_string(id + 1) + " in the field: " + epc_hex(m->tag(id))};
        } catch(const sim::scenario::ParseError& e) {
            return {std::string("tag add: ") + e.what()};
        } catch(const std::invalid_argument& e) {
            return {std::string("tag add: ") + e.what()};
        }
    }
    if(action == "remove" || action == "toggle" || action == "set") {
        const std::string usage = action == "set" ? "usage: :tag set N epc HEX" :
                                                    "usage: :tag " + action + " N";
        if(words.size() < 3) return {usage};
        const auto index = tag_number(words[2], ids.size());
        if(!index) {
            return {
                ids.empty() ? "no tags yet: :tag add EPC puts one in the field" :
                              "no tag " + words[2] + ": tags are 1 to " +
                                  std::to_string(ids.size()) + " (:tag list)"};
        }
        const auto id = ids[*index];
        const std::string name = "tag " + words[2];
        if(action == "set") {
            if(words.size() != 5 || words[3] != "epc") return {usage};
            try {
                m->set_epc(id, sim::scenario::parse_tag_text(words[4]).epc);
            } catch(const sim::scenario::ParseError& e) {
                return {std::string("tag set: ") + e.what()};
            } catch(const std::invalid_argument& e) {
                return {std::string("tag set: ") + e.what()};
            }
            return {name + "'s EPC is now " + epc_hex(m->tag(id))};
        }
        if(words.size() != 3) return {usage};
        const bool present = m->in_field(id);
        if(action == "remove" || present) {
            if(!present) return {name + " is out of the field already"};
            m->remove_tag(id);
            return {name + " left the field"};
        }
        m->set_presence(id, session_.runtime().now(), std::nullopt);
        return {name + " is back in the field"};
    }
    return {"usage: :tag add|list|remove|toggle|set ..."};
}

Outcome Console::plug(bool plugged) {
    std::string why;
    Yrm100* m = module(plugged ? "plug" : "unplug", why);
    if(m == nullptr) return {why};
    if(m->unplugged() != plugged)
        return {plugged ? "the module is plugged in already" : "the module is unplugged already"};
    m->set_unplugged(!plugged);
    return {plugged ? "module plugged in" : "module unplugged: it hears and says nothing"};
}

Outcome Console::fault(const Words& words) {
    std::string why;
    Yrm100* m = module("fault", why);
    if(m == nullptr) return {why};
    if(words.size() != 2) return {std::string("usage: :fault ") + kFaultKinds};
    Yrm100Fault f = fault_of(words[1]);
    if(!f) return {"no fault '" + words[1] + "': " + kFaultKinds};
    m->arm_fault(std::move(f));
    return {"the module's next reply: " + words[1]};
}

Outcome Console::refuse_write(const Words& words) {
    std::string why;
    Yrm100* m = module("refuse-write", why);
    if(m == nullptr) return {why};
    unsigned count = 1;
    if(words.size() > 2) return {"usage: :refuse-write [N]"};
    if(words.size() == 2) {
        const auto n = tag_number(words[1], 1000);
        if(!n) return {"usage: :refuse-write [N], N from 1 to 1000"};
        count = static_cast<unsigned>(*n + 1);
    }
    m->refuse_writes(count);
    return {
        count == 1 ? "the next write fails (insufficient power)" :
                     "the next " + std::to_string(count) + " writes fail (insufficient power)"};
}

Outcome Console::walk(const Words& words) {
    if(words.size() != 2 || (words[1] != "start" && words[1] != "stop"))
        return {"usage: :walk start|stop"};
    if(session_.virtual_sensor() == nullptr)
        return {":walk is for pacewick's sensor; " + std::string(session_.app()) + " has none"};
    const bool start = words[1] == "start";
    if(!session_.walk(start)) return {"no walk to take: the sensor replays a trace (--trace)"};
    return {start ? "walking" : "stopping at the end of this step"};
}

Outcome Console::shot(const Words& words) {
    if(words.size() > 2) return {"usage: :shot [FILE]"};
    std::error_code error;
    std::filesystem::path path;
    if(words.size() == 2) {
        path = words[1];
        if(path.is_relative()) path = screenshot_dir_ / path;
    } else {
        std::filesystem::create_directories(screenshot_dir_, error);
        if(error)
            return {
                "screenshot: cannot make " + screenshot_dir_.string() + " (" + error.message() +
                ")"};
        path = next_screenshot(screenshot_dir_);
    }
    std::string why;
    if(!session_.screen().write_png(path, &why))
        return {"screenshot not saved: " + (why.empty() ? "cannot write " + path.string() : why)};
    return {"screenshot saved to " + path.string()};
}

Outcome Console::type(const Words& words, bool save) {
    const std::string command = save ? ":name" : ":type";
    if(words.size() != 2) return {"usage: " + command + " TEXT (letters, digits and _)"};
    const std::string& text = words[1];
    for(char c : text) {
        if(std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '_')
            return {
                command + ": the keyboard has letters, digits and _ only, not '" +
                std::string(1, c) + "'"};
    }
    if(!shows_keyboard(session_.screen()))
        return {command + ": no on-screen keyboard on this screen"};
    if(!session_.type(text)) return {command + ": could not reach every key of '" + text + "'"};
    if(!save) return {"typed " + text};
    if(!session_.type("\r")) return {":name: typed " + text + " but could not reach the save key"};
    return {"typed " + text + " and pressed save"};
}

std::filesystem::path next_screenshot(const std::filesystem::path& folder) {
    for(int n = 1;; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "fsim-%04d.png", n);
        const auto path = folder / name;
        std::error_code error;
        if(!std::filesystem::exists(path, error) || n >= 99999) return path;
    }
}

} // namespace sim::terminal
