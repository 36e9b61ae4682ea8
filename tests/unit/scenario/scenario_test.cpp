// Scenario files: what the parser refuses (each message naming the line), the tag texts and
// files, and the runner's failure reports for a check that does not hold and a screenshot that
// differs from its golden.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <filesystem>
#include <fstream>
#include <string>

#include "corvane_driver.h"
#include "scenario/recorder.h"
#include "scenario/scenario.h"
#include "scenario/tags.h"

namespace {

namespace fs = std::filesystem;
using sim::scenario::ParseError;

std::string parse_error(const std::string& yaml) {
    try {
        sim::scenario::parse_text(yaml, "t.yaml");
    } catch(const ParseError& e) {
        return e.what();
    }
    return "(parsed)";
}

const std::string kHead = "name: n\nversion: 1\nsteps:\n";

struct BadFile {
    const char* what;
    std::string yaml;
    const char* message; // the start of the error
};

TEST(ScenarioParse, EachBadFileIsRefusedNamingItsLine) {
    const BadFile cases[] = {
        {"typo of an action",
         kHead + "  - press: ok\n  - pres: ok\n",
         "t.yaml:5:5: unknown key 'pres' in a step: did you mean 'press'?"},
        {"no name", "version: 1\nsteps:\n  - wait: 1\n", "t.yaml:1:1: a scenario needs a 'name'"},
        {"unknown top key",
         kHead + "  - wait: 1\nauthor: me\n",
         "t.yaml:5:1: unknown key 'author' at the top"},
        {"version 2",
         "name: n\nversion: 2\nsteps:\n  - wait: 1\n",
         "t.yaml:2:10: version: 2 is outside 1..1"},
        {"other app",
         "name: n\nversion: 1\napp: flipper\nsteps:\n  - wait: 1\n",
         "t.yaml:3:6: app: 'flipper' is not one of corvane, pacewick"},
        {"no steps", "name: n\nversion: 1\nsteps: []\n", "t.yaml:3:8: steps: the list is empty"},
        {"unknown key",
         kHead + "  - press: sideways\n",
         "t.yaml:4:12: key: 'sideways' is not one of up, down"},
        {"two actions",
         kHead + "  - press: ok\n    wait: 100\n",
         "t.yaml:5:11: two actions in one step ('press' and 'wait')"},
        {"bad option",
         kHead + "  - press: {key: ok, lnog: true}\n",
         "t.yaml:4:22: unknown key 'lnog' in press: did you mean 'long'?"},
        {"tag never entered",
         kHead + "  - tag-enter: {id: a, epc: 3000}\n  - tag-leave: b\n",
         "t.yaml:5:16: tag-leave: no tag 'b' entered before this step"},
        {"odd EPC",
         kHead + "  - tag-enter: {epc: 300}\n",
         "t.yaml:4:22: epc: an odd number of hex digits"},
        {"EPC of odd bytes",
         kHead + "  - tag-enter: {epc: 30 00 11}\n",
         "t.yaml:4:22: epc: 3 bytes; the bank holds 16-bit words"},
        {"EPC too long",
         kHead + "  - tag-enter: {epc: " + std::string(128, 'A') + "}\n",
         "t.yaml:4:22: epc: 64 bytes, more than the 62 it holds"},
        {"set of a tag never entered",
         kHead + "  - tag-set: {id: x, bank: tid, data: 00}\n",
         "t.yaml:4:19: id: no tag 'x'"},
        {"bad time", kHead + "  - wait: 2h\n", "t.yaml:4:11: wait: '2h' is not a time"},
        {"wait too long",
         kHead + "  - wait: 3601s\n",
         "t.yaml:4:11: wait: 3601s is longer than 3600000 ms"},
        {"card path escapes",
         kHead + "  - expect-file: {path: /ext/../etc/passwd}\n",
         "t.yaml:4:25: path: '/ext/../etc/passwd': empty, '.' and '..' parts are not allowed"},
        {"host path",
         kHead + "  - card-file: {path: /tmp/x, content: y}\n",
         "t.yaml:4:23: path: '/tmp/x' is not a file on the card"},
        {"untypeable",
         kHead + "  - type: \"a b\"\n",
         "t.yaml:4:11: type: the keyboard has letters, digits and '_' only"},
        {"bad colour",
         kHead + "  - expect-led: purple-blinking\n",
         "t.yaml:4:17: expect-led: 'purple' is not a colour"},
        {"bad pattern",
         kHead + "  - expect-text: {matches: \"Steps: (\"}\n",
         "t.yaml:4:28: matches: not a regular expression"},
        {"repeat count that overflows the regex compiler",
         kHead + "  - expect-text: {matches: \"S{0,33333333333333333333}\"}\n",
         "t.yaml:4:28: matches: too large a regular expression (a repeat count above 999)"},
        {"nested repeats that compile to a million states",
         kHead + "  - expect-text: {matches: \"(([ab]{99}x){99}){99}\"}\n",
         "t.yaml:4:28: matches: too large a regular expression (repeats that compile to more"},
        {"a hold with long",
         kHead + "  - press: {key: ok, long: true, hold: 400}\n",
         "t.yaml:4:40: hold: the hold makes the press long or short; leave out 'long'"},
        {"backspace and nothing",
         kHead + "  - type: {backspace: 0}\n",
         "t.yaml:4:23: backspace: 0 is outside 1..64"},
        {"fault option that does not apply",
         kHead + "  - module: {fault: silence, keep: 3}\n",
         "t.yaml:4:36: module: 'keep' does not apply to silence"},
        {"more than twelve hours",
         [] {
             std::string yaml = kHead;
             for(int i = 0; i < 13; ++i) yaml += "  - wait: 3600s\n";
             return yaml;
         }(),
         "t.yaml:4:3: the steps may take up to 13 h of virtual time"},
        {"bad YAML", kHead + "  - press: [ok\n", "t.yaml:5:1: not valid YAML"},
        {"a stray comma (yaml-cpp alone would loop for ever)",
         "\"a\",\n",
         "t.yaml:1:4: not valid YAML: the parser runs away here"},
        {"two documents", kHead + "  - wait: 1\n---\nname: m\n", "t.yaml:6:1: a second document"},
        {"duplicate key",
         kHead + "  - expect-text: {text: a, text: b}\n",
         "t.yaml:4:28: key 'text' given twice in expect-text"},
        {"NUL byte", kHead + std::string("  - wait: 1\0\n", 13), "t.yaml: not a text file"},
    };
    for(const BadFile& c : cases) {
        const std::string error = parse_error(c.yaml);
        EXPECT_EQ(error.substr(0, std::string(c.message).size()), c.message)
            << c.what << ": " << error;
    }
    // Repeats of a sensible size, escaped braces and braces in a class still pass.
    for(const char* pattern : {"Steps: [0-9]{1,3}", "(ab{2,}c){10}[{]\\\\{9999\\\\}", "x{999}"}) {
        EXPECT_EQ(
            parse_error(kHead + "  - expect-text: {matches: \"" + pattern + "\"}\n"), "(parsed)")
            << pattern;
    }
}

// docs/scenarios.md lists the table of steps line for line, and describes each step in detail.
// With UPDATE_DOCS=1 the test writes the list instead.
TEST(ScenarioSteps, TheDocsListEveryStepOfTheTable) {
    const fs::path file = fs::path(SOURCE_ROOT) / "docs" / "scenarios.md";
    std::ifstream in(file);
    ASSERT_TRUE(in) << file;
    std::string docs((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string begin = "UPDATE_DOCS=1 rewrites this list) -->\n";
    const std::string end = "<!-- end of steps -->";
    const auto from = docs.find(begin);
    const auto to = docs.find(end);
    ASSERT_TRUE(from != std::string::npos && to != std::string::npos && from < to)
        << "no list of steps in " << file;
    std::string list;
    for(const auto& step : sim::scenario::step_docs()) {
        list += "- " + std::string(step.doc) + "\n";
        EXPECT_TRUE(std::string_view(step.doc).starts_with("`" + std::string(step.key)))
            << step.key;
        EXPECT_NE(docs.find("| `" + std::string(step.key) + ":"), std::string::npos)
            << step.key << " has no row in the detailed tables";
    }
    const char* update = std::getenv("UPDATE_DOCS");
    if(update != nullptr && std::string_view(update) == "1") {
        docs.replace(from + begin.size(), to - from - begin.size(), list);
        std::ofstream(file) << docs;
        return;
    }
    EXPECT_EQ(docs.substr(from + begin.size(), to - from - begin.size()), list)
        << "docs/scenarios.md's list of steps differs from the table (UPDATE_DOCS=1 rewrites it)";
}

TEST(ScenarioParse, FilesThatAreNoScenarioAreRefusedByName) {
    const fs::path dir =
        fs::temp_directory_path() / ("scenario_files_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "huge.yaml") << std::string(sim::scenario::kMaxFileBytes + 1, '#');
    std::ofstream(dir / "binary.yaml", std::ios::binary) << std::string(
        "\x7f"
        "ELF\0\0\1",
        7);
    const struct {
        fs::path file;
        const char* ends_with;
    } cases[] = {
        {dir / "missing.yaml", "missing.yaml: no such file"},
        {dir, ": a folder, not a file"},
        {dir / "huge.yaml", "huge.yaml: 1048577 bytes, larger than the 1024 KiB a file may have"},
        {dir / "binary.yaml", "binary.yaml: not a text file (it holds NUL bytes)"},
    };
    for(const auto& c : cases) {
        try {
            sim::scenario::parse_file(c.file);
            ADD_FAILURE() << c.file << " parsed";
        } catch(const ParseError& e) {
            EXPECT_TRUE(std::string_view(e.what()).ends_with(c.ends_with)) << e.what();
        }
    }
    fs::remove_all(dir);
}

TEST(Tags, TextGivesTheBanksAndRefusesWhatNoTagHolds) {
    const auto tag = sim::scenario::parse_tag_text("30 75-1F EB:E200:0011 2233");
    EXPECT_EQ(tag.epc, (sim::yrm100::Bytes{0x30, 0x75, 0x1F, 0xEB}));
    EXPECT_EQ(tag.tid, (sim::yrm100::Bytes{0xE2, 0x00}));
    EXPECT_EQ(tag.user, (sim::yrm100::Bytes{0x00, 0x11, 0x22, 0x33}));

    const struct {
        const char* text;
        const char* message;
    } bad[] = {
        {"", "tag '': no EPC"},
        {"3075:E2", "tag '3075:E2': TID: 1 byte; the bank holds 16-bit words"},
        {"30G5", "tag '30G5': EPC: 'G' is not a hex digit"},
        {"3 075", "tag '3 075': EPC: a byte with one hex digit"},
        {"3075--1F", "tag '3075--1F': EPC: a separator where a byte should be"},
        {"3075:E200:0011:22", "tag '3075:E200:0011:22': more than EPC:TID:USER"},
    };
    for(const auto& c : bad) {
        try {
            sim::scenario::parse_tag_text(c.text);
            ADD_FAILURE() << c.text << " parsed";
        } catch(const ParseError& e) {
            EXPECT_EQ(std::string(e.what()).substr(0, std::string(c.message).size()), c.message);
        }
    }
}

TEST(Tags, FileReadsTheTagMapsAndNamesTheLineOfABadOne) {
    const fs::path file =
        fs::temp_directory_path() / ("tags_" + std::to_string(::getpid()) + ".yaml");
    std::ofstream(file) << "- epc: E2003412B802011234567890\n"
                           "  access-password: 0x12345678\n"
                           "  locks: {epc: secured, user: permanent}\n"
                           "  write-error: 0x0B\n"
                           "- epc: 3000\n";
    const auto tags = sim::scenario::load_tags_file(file);
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[0].access_password, 0x12345678u);
    EXPECT_EQ(tags[0].locks[1], sim::yrm100::Lock::Secured);
    EXPECT_EQ(tags[0].locks[3], sim::yrm100::Lock::Permanent);
    EXPECT_EQ(tags[0].write_error, 0x0B);

    std::ofstream(file) << "- epc: 3000\n- epc: 3000\n  id: t1\n";
    try {
        sim::scenario::load_tags_file(file);
        ADD_FAILURE() << "an id in a tags file parsed";
    } catch(const ParseError& e) {
        EXPECT_EQ(
            std::string(e.what()),
            file.string() +
                ":3:3: unknown key 'id' in a tag: did you mean 'tid'? (epc, tid, user, pc, access-password, kill-password, locks, write-error, rssi)");
    }
    fs::remove(file);
}

class ScenarioRun : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("scenario_run_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        out_ = std::tmpfile();
        app_.start();
    }
    void TearDown() override {
        app_.quit();
        std::fclose(out_);
        fs::remove_all(dir_);
    }
    sim::scenario::RunResult run(const std::string& steps) {
        const auto scenario =
            sim::scenario::parse_text("name: t\nversion: 1\nsteps:\n" + steps, dir_ / "t.yaml");
        sim::scenario::RunOptions options;
        options.out = out_;
        return sim::scenario::run(scenario, app_, options);
    }
    std::string printed() const {
        std::rewind(out_);
        std::string text;
        char buffer[512];
        while(std::fgets(buffer, sizeof buffer, out_) != nullptr) text += buffer;
        return text;
    }

    fs::path dir_;
    std::FILE* out_ = nullptr;
    corvane_test::Driver app_;
};

TEST_F(ScenarioRun, ACheckThatTimesOutNamesTheStepItsLineAndTheScreenAndStopsThere) {
    const auto result = run("  - expect-text: Module Info\n"
                            "  - press: right\n"
                            "  - name: saved already\n"
                            "    expect-text: {text: Saved!, timeout: 200}\n"
                            "  - press: ok\n");
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.failed_step, 3u);
    EXPECT_EQ(result.steps_run, 3u);
    EXPECT_EQ(
        result.message,
        "step 3 expect-text {text: Saved!, timeout: 200} [saved already] (line 6): not shown after "
        "200 ms: screen shows \"Read Tag\", \"Saved\", \"Settings\"");
    EXPECT_EQ(
        printed(),
        "  ok   1 expect-text \"Module Info\"\n  ok   2 press right\n  FAIL 3 expect-text {text: "
        "Saved!, timeout: 200} [saved already] (line 6): not shown after 200 ms: screen shows "
        "\"Read Tag\", \"Saved\", \"Settings\"\n");
    EXPECT_TRUE(app_.shows("Read Tag")) << "the step after the failure ran";
}

// A byte a terminal would not show (here in the module's identity) is escaped in the FAIL line.
TEST(ScenarioRunMessages, UnprintableBytesOnTheScreenAreEscaped) {
    corvane_test::DriverOptions options;
    options.module.hardware_version = "M100 \x92";
    corvane_test::Driver app(options);
    app.start();
    ASSERT_TRUE(app.wait_for("Module Info"));
    const auto scenario = sim::scenario::parse_text(
        "name: t\nversion: 1\nsteps:\n  - expect-text: {text: Nothing, timeout: 0}\n", "t.yaml");
    sim::scenario::RunOptions run_options;
    run_options.out = std::tmpfile();
    const auto result = sim::scenario::run(scenario, app, run_options);
    std::fclose(run_options.out);
    EXPECT_NE(result.message.find("\"HW Version: M100 \\x92\""), std::string::npos)
        << result.message;
    app.quit();
}

TEST_F(ScenarioRun, TypingMoreThanTheTextInputTakesNamesWhatWasDropped) {
    const auto result = run("  - tag-enter: {epc: 3000}\n"
                            "  - expect-text: Module Info\n"
                            "  - press: right\n"
                            "  - press: ok\n"
                            "  - expect-text: Read Success\n"
                            "  - press: right\n"
                            "  - press: ok\n"
                            "  - type: abcdefghijklmnopqrstuvwxyz0123\n");
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.failed_step, 8u);
    EXPECT_NE(
        result.message.find("the text input is full: 'vwxyz0123' was not typed; the field holds "
                            "\"Abcdefghijklmnopqrstu\""),
        std::string::npos)
        << result.message;
}

TEST_F(ScenarioRun, AScreenshotThatDiffersNamesThePixelAndLeavesTheActualBesideTheGolden) {
    ASSERT_TRUE(app_.wait_for("Module Info"));
    ASSERT_TRUE(host::Screen().write_png(dir_ / "blank.png"));
    // The same screen saved and compared holds; a blank golden does not.
    auto result =
        run("  - take-screenshot: {save-to: shots/now.png, compare-with: shots/now.png}\n");
    ASSERT_TRUE(result.ok) << result.message;
    result = run("  - take-screenshot: {compare-with: blank.png}\n");
    ASSERT_FALSE(result.ok);
    const auto first = app_.screen().first_difference(host::Screen());
    ASSERT_TRUE(first);
    const std::string pixel =
        "(" + std::to_string(first->x) + ", " + std::to_string(first->y) + ")";
    EXPECT_NE(
        result.message.find(
            "differs from " + (dir_ / "blank.png").string() + " first at pixel " + pixel),
        std::string::npos)
        << result.message;
    const auto actual = host::Screen::read_png(dir_ / "blank.actual.png");
    ASSERT_TRUE(actual) << "no actual picture beside the golden";
    EXPECT_TRUE(actual->same_pixels(app_.screen()));
}

} // namespace

namespace recorded {

std::size_t count_events(const std::vector<host::TimedInputEvent>& history, InputType type) {
    return static_cast<std::size_t>(std::count_if(
        history.begin(), history.end(), [&](const auto& e) { return e.event.type == type; }));
}

// A person's session, recorded as the web page records it: keys held and let go, typing with a
// backspace, a check clicked, a key held through two Repeats. The file replays on a fresh
// session to the same end, with the same Long and Repeats.
TEST(Recorder, ALiveSessionReplaysFromItsFileToTheSameEnd) {
    auto spec = sim::scenario::parse_tag_text("30751FEB705C5904E3D50D70:E2003412B8020112");
    spec.locks[1] = sim::yrm100::Lock::Secured;
    sim::scenario::Recorder rec("corvane", "--no-tags");
    std::string saved;
    std::size_t live_repeats = 0;
    {
        corvane_test::Driver live;
        const auto id = live.add_tag(spec);
        live.start();
        const host::Nanos t0 = live.runtime().now();
        const auto at = [&] { return live.runtime().now() - t0; };
        rec.tag_enter(0, id + 1, live.module().tag(id));
        const auto hold = [&](InputKey key, std::uint32_t ms) {
            const host::Nanos down = at();
            live.key_down(key);
            live.wait(ms);
            rec.key(down, at(), key);
            live.key_up(key);
            live.wait(20);
        };
        live.wait(400);
        hold(InputKeyRight, 90);
        ASSERT_TRUE(live.wait_for("Read Tag"));
        rec.expect_text(at(), "Read Tag");
        hold(InputKeyOk, 120);
        ASSERT_TRUE(live.wait_for("Read Success"));
        hold(InputKeyRight, 60);
        hold(InputKeyOk, 60);
        ASSERT_TRUE(live.wait_for("Name the tag"));
        live.wait(300);
        for(const char* piece : {"tag_x", "\b", "1", "\r"}) {
            const host::Nanos start = at();
            ASSERT_TRUE(live.type(piece));
            if(piece[0] == '\b') {
                rec.backspace(start, at());
            } else if(piece[0] == '\r') {
                rec.save(start, at());
            } else {
                rec.type(start, at(), piece);
            }
            live.wait(150);
        }
        ASSERT_TRUE(live.wait_for("Saved!"));
        rec.expect_text(at(), "Saved!");
        ASSERT_TRUE(live.wait_for("Change Key", 3000));
        live.gui().input().clear_history();
        hold(InputKeyDown, 800);
        live_repeats = count_events(live.gui().input().history(), InputTypeRepeat);
        saved = live.read_data_file("Tag_1.uhf").value_or("");
    }
    ASSERT_FALSE(saved.empty()) << "the live session saved nothing";
    EXPECT_EQ(live_repeats, 3u) << "800 ms held: Long at 300, Repeats at 450, 600, 750";

    const std::string text = rec.text();
    EXPECT_NE(text.find("type: {backspace: 1, text: \"1\", save: true}"), std::string::npos)
        << text;
    EXPECT_NE(text.find("press: {key: down, hold: 825}"), std::string::npos) << text;
    EXPECT_NE(text.find("tid: E2003412B8020112, locks: {epc: secured}}"), std::string::npos)
        << text;

    corvane_test::Driver replay;
    replay.start();
    std::FILE* out = std::tmpfile();
    sim::scenario::RunOptions options;
    options.out = out;
    const auto scenario = sim::scenario::parse_text(text, "recorded.yaml");
    replay.gui().input().clear_history();
    const auto result = sim::scenario::run(scenario, replay, options);
    std::fclose(out);
    ASSERT_TRUE(result.ok) << result.message << "\n" << text;
    EXPECT_EQ(replay.read_data_file("Tag_1.uhf"), saved);
    EXPECT_EQ(count_events(replay.gui().input().history(), InputTypeRepeat), live_repeats);
}

} // namespace recorded
