// Scenario files to checked steps: the file's frame (name, version, app, steps) here, each
// step's own parsing in steps.cpp.
#include <algorithm>
#include <cctype>
#include <optional>
#include <vector>

#include "scenario.h"
#include "steps.h"
#include "yaml_reader.h"

namespace sim::scenario {
namespace detail {

std::string StepParser::text(const YAML::Node& node, std::string_view what, std::size_t max)
    const {
    std::string value = r.scalar(node, what);
    if(value.size() > max)
        r.fail(node, std::string(what) + ": longer than " + std::to_string(max) + " characters");
    return value;
}

std::string StepParser::id_ref(const YAML::Node& node, std::string_view what) const {
    const std::string id = r.scalar(node, what);
    if(!ids_.contains(id))
        r.fail(
            node,
            std::string(what) + ": no tag '" + id.substr(0, 32) +
                "' entered before this step (tag-enter: {id: " + id.substr(0, 32) + ", ...})");
    return id;
}

std::uint32_t StepParser::timeout(const MapEntries& m, std::uint32_t fallback) {
    constexpr std::uint32_t kMaxWaitMs = 3600 * 1000;
    const auto* node = m.find("timeout");
    const std::uint32_t ms = node ? r.duration_ms(*node, "timeout", kMaxWaitMs) : fallback;
    spend(ms);
    return ms;
}

std::filesystem::path StepParser::path(const YAML::Node& node, std::string_view what) const {
    const std::string p = text(node, what, 1024);
    if(p.empty()) r.fail(node, std::string(what) + ": empty path");
    return p;
}

std::string StepParser::card_path(const YAML::Node& node) const {
    const std::string p = text(node, "path", 1024);
    constexpr std::string_view kCard = "/ext/";
    if(!p.starts_with(kCard) || p.size() == kCard.size())
        r.fail(node, "path: '" + p.substr(0, 64) + "' is not a file on the card (/ext/...)");
    std::size_t start = kCard.size();
    while(start <= p.size()) {
        const std::size_t slash = std::min(p.find('/', start), p.size());
        const std::string_view part = std::string_view(p).substr(start, slash - start);
        if(part.empty() || part == "." || part == "..")
            r.fail(
                node, "path: '" + p.substr(0, 64) + "': empty, '.' and '..' parts are not allowed");
        if(part.find('\\') != std::string_view::npos) r.fail(node, "path: no backslashes");
        start = slash + 1;
    }
    return p;
}

} // namespace detail

namespace {

using detail::MapEntries;
using detail::Reader;
using detail::StepParser;

/// The runtime stops a run at 24 h of virtual time; a scenario stays well within it.
constexpr double kMaxScenarioMs = 12.0 * 3600 * 1000;
constexpr std::size_t kMaxText = 256;

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

/// "name" and every step's key: what a step's map may hold.
const std::vector<std::string_view>& step_map_keys() {
    static const std::vector<std::string_view> keys = [] {
        std::vector<std::string_view> all{"name"};
        for(const auto& kind : detail::step_kinds()) all.push_back(kind.key);
        return all;
    }();
    return keys;
}

class Parser {
public:
    explicit Parser(const Reader& reader)
        : r_(reader)
        , steps_(reader) {}

    Scenario scenario(const YAML::Node& root, const std::filesystem::path& file) {
        const MapEntries top = r_.map(root, "at the top", {"name", "version", "app", "steps"});
        Scenario out;
        out.file = file;
        const auto* name = top.find("name");
        if(name == nullptr) r_.fail(root, "a scenario needs a 'name'");
        out.name = steps_.text(*name, "name", kMaxText);
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
        if(steps_.budget_ms() > kMaxScenarioMs) {
            r_.fail(
                *steps,
                "the steps may take up to " +
                    std::to_string(static_cast<long long>(steps_.budget_ms() / 3.6e6)) +
                    " h of virtual time; keep a scenario within 12 h");
        }
        return out;
    }

private:
    Step step(const YAML::Node& node) {
        if(!node.IsMap()) r_.fail(node, "a step is a map with one action (- press: ok)");
        const MapEntries m = r_.map(node, "in a step", step_map_keys());
        Step out;
        out.line = static_cast<std::size_t>(node.Mark().line + 1);
        const std::pair<std::string, YAML::Node>* action = nullptr;
        for(const auto& entry : m.entries) {
            if(entry.first == "name") {
                out.name = steps_.text(entry.second, "name", kMaxText);
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
        const detail::StepKind* kind = detail::find_step(key);
        // The map takes only the table's keys; a key without a row is refused, never guessed.
        if(kind == nullptr) r_.fail(node, "no step '" + key + "' (docs/scenarios.md lists them)");
        const bool quote = value.IsScalar() && (key == "expect-text" || key == "type");
        out.summary =
            key + " " + (quote ? "\"" + value.Scalar().substr(0, 70) + "\"" : compact(value));
        out.key = key;
        out.action = kind->parse(steps_, value, key);
        return out;
    }

    const Reader& r_;
    StepParser steps_;
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

std::vector<StepDoc> step_docs() {
    std::vector<StepDoc> out;
    for(const auto& kind : detail::step_kinds()) out.push_back({kind.key, kind.doc});
    return out;
}

} // namespace sim::scenario
