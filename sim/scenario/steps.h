#pragma once
// The steps a scenario is made of, in one table (steps.cpp): each step's key, its line in
// docs/scenarios.md, the function that parses it and the one that plays it. Adding a step is a
// struct in scenario.h's Action, a row here and its two functions beside the row; the parser
// accepts exactly the keys of the table and the runner plays exactly its rows.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>

#include "devices/yrm100.h"
#include "scenario.h"
#include "yaml_reader.h"

namespace sim::scenario::detail {

using Failure = std::optional<std::string>;

/// What a step's parser works with: the file's reader, the tag ids entered so far, and the
/// virtual time the steps may take (a scenario is kept within 12 h of it).
class StepParser {
public:
    explicit StepParser(const Reader& reader)
        : r(reader) {}

    const Reader& r;

    /// A scalar of at most `max` characters.
    std::string text(const YAML::Node& node, std::string_view what, std::size_t max) const;
    /// A tag id that a tag-enter before this step gave.
    std::string id_ref(const YAML::Node& node, std::string_view what) const;
    void add_id(const std::string& id) { ids_.insert(id); }
    /// The map's 'timeout' or `fallback`, counted into the budget.
    std::uint32_t timeout(const MapEntries& m, std::uint32_t fallback);
    void spend(double ms) { budget_ms_ += ms; }
    double budget_ms() const { return budget_ms_; }
    /// A non-empty path of at most 1024 characters.
    std::filesystem::path path(const YAML::Node& node, std::string_view what) const;
    /// "/ext/..." without "." or ".." parts: the card's files only.
    std::string card_path(const YAML::Node& node) const;

private:
    std::set<std::string> ids_;
    double budget_ms_ = 0;
};

/// What a step's runner works with: the scenario, the session and the tags entered, by id.
class StepRunner {
public:
    StepRunner(const Scenario& scenario, AppSession& session, const RunOptions& options)
        : scenario(scenario)
        , session(session)
        , options(options) {}

    const Scenario& scenario;
    AppSession& session;
    const RunOptions& options;
    std::map<std::string, Yrm100::TagId> tags;

    /// Checks now and every 10 ms of virtual time until it holds or `timeout_ms` passed.
    bool poll(const std::function<bool()>& holds, std::uint32_t timeout_ms);
    /// Where relative screenshots go: --screenshots, else the scenario's folder.
    std::filesystem::path screenshot_dir() const;
    /// The scenario's folder.
    std::filesystem::path folder() const;
    /// The host path of a card path ("/ext/..."); nothing for an app without a card.
    std::optional<std::filesystem::path> card_file(const std::string& path) const;
    /// The tag entered under `id`, or the failure that says why there is none.
    Failure tag(const std::string& id, Yrm100*& module, Yrm100::TagId& tag_id);
};

/// The drawn strings on one line, quoted and escaped, for a failure message.
std::string shown(const host::Screen& screen);
/// The failure of a step that needs the virtual module when the session has none.
Failure no_module();
/// Writes the screen as a PNG; the failure when it cannot.
Failure write_png(const host::Screen& screen, const std::filesystem::path& file);

struct StepKind {
    std::string_view key;
    /// The step's line in docs/scenarios.md's list of steps (a test keeps the two alike).
    std::string_view doc;
    Action (*parse)(StepParser& parser, const YAML::Node& value, std::string_view key);
    Failure (*run)(StepRunner& runner, const Action& action);
    /// With --show, the screen is printed after the step.
    bool shows_screen = false;
};

/// Every step, in the order docs/scenarios.md lists them.
std::span<const StepKind> step_kinds();
/// The row for `key`, or null.
const StepKind* find_step(std::string_view key);

} // namespace sim::scenario::detail
