#include "module_console.h"

#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "scenario/tags.h"
#include "session/controls.h"
#include "session/wording.h"

namespace sim::terminal {
namespace {

std::vector<std::string> split_words_impl(std::string_view line) {
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

std::vector<std::string> split_words(std::string_view line) {
    return split_words_impl(line);
}

bool ModuleConsole::handles(std::string_view command) {
    return command == "tag" || command == "tags" || command == "unplug" || command == "plug" ||
           command == "fault" || command == "refuse-write";
}

std::vector<std::string> ModuleConsole::help(std::string_view prefix) {
    const std::string p(prefix);
    const std::string pad(p.size(), ' ');
    return {
        p + "tag add EPC[:TID[:USER]]   " + p + "tag list   " + p + "tag remove N   " + p +
            "tag toggle N",
        p + "tag set N epc HEX          " + pad + "edit tag N's EPC (hex bytes)",
        p + "unplug  " + p + "plug              the module hears and says nothing / is back",
        p + "fault silence|corrupt|cut|noise|delay    spoils the module's next reply",
        p + "refuse-write [N]           " + pad + "the next N writes fail (default 1)",
    };
}

Outcome ModuleConsole::run(const Words& words) {
    const std::string& command = words.at(0);
    if(command == "tag" || command == "tags") return tag(words);
    if(command == "unplug" || command == "plug") {
        if(words.size() > 1) return {prefix_ + command + " takes nothing after it"};
        return plug(command == "plug");
    }
    if(command == "fault") return fault(words);
    return refuse_write(words);
}

Outcome ModuleConsole::tag(const Words& words) {
    Yrm100* m = &module_;
    const std::string action = words.size() > 1 ? words[1] : "list";
    const auto ids = m->tag_ids();

    if(action == "list") {
        if(ids.empty()) return {"no tags: :tag add EPC puts one in the field"};
        Outcome out{count_of(ids.size(), "tag")};
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
        if(words.size() != 3) return {"usage: " + prefix_ + "tag add EPC[:TID[:USER]] (hex)"};
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
        const std::string usage = action == "set" ? "usage: " + prefix_ + "tag set N epc HEX" :
                                                    "usage: " + prefix_ + "tag " + action + " N";
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
        m->set_presence(id, runtime_.now(), std::nullopt);
        return {name + " is back in the field"};
    }
    return {"usage: " + prefix_ + "tag add|list|remove|toggle|set ..."};
}

Outcome ModuleConsole::plug(bool plugged) {
    Yrm100* m = &module_;
    if(m->unplugged() != plugged)
        return {plugged ? "the module is plugged in already" : "the module is unplugged already"};
    m->set_unplugged(!plugged);
    return {plugged ? "module plugged in" : "module unplugged: it hears and says nothing"};
}

Outcome ModuleConsole::fault(const Words& words) {
    Yrm100* m = &module_;
    if(words.size() != 2) return {"usage: " + prefix_ + "fault " + kFaultKinds};
    Yrm100Fault f = fault_of(words[1]);
    if(!f) return {"no fault '" + words[1] + "': " + kFaultKinds};
    m->arm_fault(std::move(f));
    return {"the module's next reply: " + words[1]};
}

Outcome ModuleConsole::refuse_write(const Words& words) {
    Yrm100* m = &module_;
    unsigned count = 1;
    if(words.size() > 2) return {"usage: " + prefix_ + "refuse-write [N]"};
    if(words.size() == 2) {
        const auto n = tag_number(words[1], 1000);
        if(!n) return {"usage: " + prefix_ + "refuse-write [N], N from 1 to 1000"};
        count = static_cast<unsigned>(*n + 1);
    }
    m->refuse_writes(count);
    return {
        count == 1 ? "the next write fails (insufficient power)" :
                     "the next " + std::to_string(count) + " writes fail (insufficient power)"};
}

} // namespace sim::terminal
