#pragma once
// Scenario files: a YAML list of steps that drives an app headless, as a user would, and checks
// what it shows. Steps press keys, type into the on-screen keyboard, let virtual time pass, put
// tags into the virtual module's field, unplug the module or break its replies, walk, and check
// the screen text, files on the card, log lines, the LED, the 5 V output and screenshots.
//
//     name: read and save
//     version: 1
//     app: corvane
//     steps:
//       - expect-text: Module Info
//       - press: right
//       - tag-enter: {id: t1, epc: 30751FEB705C5904E3D50D70}
//       - press: ok
//       - expect-text: {text: Read Success, timeout: 3000}
//
// parse_file/parse_text check everything that can be checked without running (keys, values,
// tag ids used before they entered, the total virtual time); run() plays the steps on a started
// session and stops at the first failure, naming the step and what it saw. The steps are one
// table (steps.cpp): each one's key, docs line, parser and runner; docs/scenarios.md lists them.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "devices/yrm100_tag.h"
#include "session/app_session.h"
#include "tags.h"

namespace sim::scenario {

/// A short or long press, `repeat` times; with `hold_ms`, the key is held that long (Long at
/// 300 ms, then a Repeat every 150 ms).
struct Press {
    InputKey key = InputKeyOk;
    bool long_press = false;
    unsigned repeat = 1;
    std::optional<std::uint32_t> hold_ms;
};

/// The keyboard's backspace key pressed `backspace` times, text typed on the on-screen
/// keyboard, then (with `save`) its save key.
struct Type {
    std::string text;
    bool save = false;
    unsigned backspace = 0;
};

struct Wait {
    std::uint32_t ms = 0;
};

/// A tag enters the virtual module's field; `id` names it for later steps.
struct TagEnter {
    std::optional<std::string> id;
    yrm100::TagSpec spec;
};

struct TagLeave {
    std::string id;
};

/// A bank of a tag in the field is rewritten, as a programmer would (past locks). For the EPC
/// bank the data is the EPC: the PC's length follows it and the StoredCRC is computed anew.
struct TagSet {
    std::string id;
    yrm100::Bank bank = yrm100::Bank::Epc;
    yrm100::Bytes data;
};

/// The virtual module: plugged in or out, a fault armed on one exchange, refused reads or
/// writes, faults cleared.
struct Module {
    enum class Kind : std::uint8_t {
        plug,
        unplug,
        fault,
        refuse_writes,
        refuse_reads,
        clear_faults
    };
    enum class Fault : std::uint8_t {
        silence,
        corrupt,
        cut_short,
        trailing,
        noise,
        delay
    };
    Kind kind = Kind::plug;
    Fault fault = Fault::silence;
    unsigned exchange = 1;
    std::size_t position = 0;   ///< corrupt: the byte; cut-short: bytes kept; noise: byte count
    std::uint8_t mask = 0x01;   ///< corrupt
    std::uint32_t seed = 1;     ///< noise
    std::uint32_t delay_ms = 0; ///< delay
    yrm100::Bytes bytes;        ///< trailing
    unsigned count = 0;         ///< refuse-*
    std::optional<std::uint8_t> error; ///< refuse-*: the module's default when absent
};

/// Walking starts or stops (pacewick); with `seconds`, it starts, lasts that long and stops.
struct Walk {
    bool start = true;
    std::optional<std::uint32_t> ms;
};

/// Every expect step polls in steps of 10 ms of virtual time until it holds or `timeout_ms`
/// passed.
struct ExpectText {
    std::string text;    ///< a substring of some drawn string
    std::string pattern; ///< or: a regular expression a drawn string matches as a whole
    bool absent = false;
    std::uint32_t timeout_ms = 1000;
};

/// A card path ("/ext/...") and what the file holds.
struct ExpectFile {
    std::string path;
    bool exists = true;
    std::optional<std::string> content;
    std::optional<std::string> contains;
    std::uint32_t timeout_ms = 0;
};

struct ExpectLog {
    std::string tag;
    std::string text; ///< a substring of a line under the tag
    std::uint32_t timeout_ms = 1000;
};

struct ExpectLed {
    host::Rgb color;
    bool blinking = false;
    std::uint32_t timeout_ms = 0;
};

struct ExpectOtg {
    bool on = true;
    std::uint32_t timeout_ms = 0;
};

/// What a tag in the field holds now (after the app's writes).
struct ExpectTag {
    std::string id;
    std::optional<yrm100::Bytes> epc;
    std::optional<yrm100::Bytes> tid;
    std::optional<yrm100::Bytes> user;
    std::uint32_t timeout_ms = 0;
};

/// The screen saved as a catalog PNG and/or compared pixel for pixel with a golden one.
struct Screenshot {
    std::filesystem::path save_to;      ///< relative: against RunOptions::screenshot_dir
    std::filesystem::path compare_with; ///< relative: against the scenario's folder
};

/// A file put on the card before the app looks for it.
struct CardFile {
    std::string path;
    std::string content;
};

using Action = std::variant<
    Press,
    Type,
    Wait,
    TagEnter,
    TagLeave,
    TagSet,
    Module,
    Walk,
    ExpectText,
    ExpectFile,
    ExpectLog,
    ExpectLed,
    ExpectOtg,
    ExpectTag,
    Screenshot,
    CardFile>;

struct Step {
    std::string key; ///< the action's key, its row in the table of steps: "press"
    Action action;
    std::optional<std::string> name;
    std::size_t line = 0; ///< 1-based line of the step in its file
    std::string summary;  ///< the step as written, compact: `press ok`, `expect-text "Saved!"`
};

struct Scenario {
    std::string name;
    int version = 1;
    std::optional<std::string> app;
    std::filesystem::path file;
    std::vector<Step> steps;
};

/// Files larger than this are refused before they are read.
inline constexpr std::size_t kMaxFileBytes = 1 << 20;

/// Reads and checks a scenario file. ParseError (naming file and line) for a missing,
/// unreadable, binary or huge file, bad YAML, unknown keys and bad values.
Scenario parse_file(const std::filesystem::path& file);
/// The same for text already read; `file_name` appears in messages and anchors relative paths.
/// Never fails in any way other than ParseError.
Scenario parse_text(std::string_view yaml, const std::filesystem::path& file_name);

struct RunOptions {
    std::FILE* out = stdout;
    /// Print the screen as text after each press, type, wait and check.
    bool show_screens = false;
    /// Where relative `save-to` screenshots go; empty: the scenario's folder.
    std::filesystem::path screenshot_dir;
};

struct RunResult {
    bool ok = true;
    std::size_t failed_step = 0; ///< 1-based; 0 when ok
    std::string message;         ///< the failing step and what was seen
    std::size_t steps_run = 0;
    double virtual_seconds = 0;
    double wall_seconds = 0;
};

/// Plays the steps on a started session, printing one line per step, up to the first failure.
RunResult run(const Scenario& scenario, AppSession& session, const RunOptions& options = {});

/// A step's key and its line in docs/scenarios.md, for every step there is, in the order the
/// docs list them.
struct StepDoc {
    std::string_view key;
    std::string_view doc;
};
std::vector<StepDoc> step_docs();

} // namespace sim::scenario
