// The live front-end without a terminal: keys drive a headless session, commands act on its
// virtual hardware, and the lines show what happened.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "corvane_driver.h"
#include "scenario/tags.h"
#include "session/pacewick_session.h"
#include "session/controls.h"
#include "terminal/live.h"

namespace sim::terminal {
namespace {

class FrontendTest : public ::testing::Test {
protected:
    FrontendTest() {
        std::filesystem::remove_all(shots_);
        yrm100::TagSpec tag;
        tag.epc = {0x30, 0x75, 0x1F, 0xEB};
        app_.add_tag(tag);
        app_.start();
        EXPECT_TRUE(app_.wait_for("Module Info")) << app_.describe();
    }
    ~FrontendTest() override { std::filesystem::remove_all(shots_); }

    /// Feeds the bytes as typed, and runs a command line Enter ended, as the loop does.
    void keys(std::string_view bytes) {
        for(const auto& event : decoder_.feed(bytes)) {
            ui_.handle(event);
            ui_.run_pending();
        }
        for(const auto& event : decoder_.flush()) ui_.handle(event);
    }
    std::string all_lines() {
        std::string out;
        for(const auto& line : ui_.lines()) out += line + "\n";
        return out;
    }

    std::filesystem::path shots_ =
        std::filesystem::temp_directory_path() /
        ("fsim_shots_" + std::to_string(::getpid()) + "_" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    corvane_test::Driver app_;
    Frontend ui_{app_, LiveOptions{"auto", shots_, false}, Size{80, 24}};
    KeyDecoder decoder_;
};

TEST_F(FrontendTest, KeysPressTheAppsButtonsShortOrLong) {
    keys("\x1b[C"); // Right: Continue
    EXPECT_TRUE(app_.wait_for("Read Tag"));
    EXPECT_NE(all_lines().find("\nscreen: > Read Tag | Saved | Settings\n"), std::string::npos)
        << all_lines();
    keys("\x1b[B");
    EXPECT_NE(all_lines().find("\nscreen: Read Tag | > Saved | Settings\n"), std::string::npos)
        << all_lines();
    keys("\x1b[A");
    keys("\r");
    ASSERT_TRUE(app_.wait_for("Read Success")) << app_.describe();
    // Only a short press of Right leads on from the result ("More").
    keys("\x1b[1;2C");
    keys("L\x1b[C");
    keys("D");
    EXPECT_TRUE(app_.shows("Read Success")) << app_.describe();
    keys("d");
    EXPECT_TRUE(app_.shows("Change Key")) << app_.describe();
    // Esc and Backspace are Back; on an open prompt they cancel it and press nothing.
    keys(":\x7f");
    keys(":tag\x1b");
    EXPECT_TRUE(app_.shows("Change Key"));
    keys("\x1b");
    EXPECT_TRUE(app_.wait_for("Read Tag")) << app_.describe();
    EXPECT_FALSE(ui_.quit());
    keys("\x03");
    EXPECT_TRUE(ui_.quit());
}

TEST_F(FrontendTest, CommandsActOnTheFieldAndTheModuleAndSayWhatTheyDid) {
    Yrm100& module = app_.module();
    keys("t");
    EXPECT_FALSE(module.in_field(0));
    EXPECT_EQ(ui_.message(), "tag 1 left the field");
    keys("t");
    EXPECT_TRUE(module.in_field(0));
    keys("u");
    EXPECT_TRUE(module.unplugged());
    EXPECT_NE(all_lines().find("module: UNPLUGGED"), std::string::npos) << all_lines();
    keys(":unplug\r");
    EXPECT_EQ(ui_.message(), "the module is unplugged already");
    keys(":plug\r");
    EXPECT_FALSE(module.unplugged());

    const struct {
        const char* line;
        const char* message;
    } refusals[] = {
        {":tag remove 2\r", "no tag 2: tags are 1 to 1 (:tag list)"},
        {":tag remove x\r", "no tag x: tags are 1 to 1 (:tag list)"},
        {":tag set 1 epc\r", "usage: :tag set N epc HEX"},
        {":tag add\r", "usage: :tag add EPC[:TID[:USER]] (hex)"},
        {":fault bogus\r", "no fault 'bogus': silence, corrupt, cut, noise or delay"},
        {":walk start\r", ":walk is for pacewick's sensor; corvane has none"},
        {":refuse-write 0\r", "usage: :refuse-write [N], N from 1 to 1000"},
        {":frobnicate\r", "unknown command :frobnicate (:help lists them)"},
        {":type a-b\r", ":type: the keyboard has letters, digits and _ only, not '-'"},
        {":name abc\r", ":name: no on-screen keyboard on this screen"},
        {"z", "'z' is no key of the device's (:help lists the keys)"},
    };
    for(const auto& r : refusals) {
        keys(r.line);
        EXPECT_EQ(ui_.message(), r.message) << r.line;
    }
    EXPECT_TRUE(app_.shows("Module Info")) << "no refused command pressed a key";

    keys(":fault silence\r");
    EXPECT_EQ(ui_.message(), "the module's next reply: silence");
    keys(":tag list\r");
    EXPECT_NE(all_lines().find("  1  in field    30751FEB"), std::string::npos) << all_lines();
    keys(" "); // any key closes the panel, and does nothing else
    EXPECT_EQ(all_lines().find("in field    "), std::string::npos);
    EXPECT_TRUE(app_.shows("Module Info"));

    try {
        (void)scenario::parse_tag_text("3000");
    } catch(const scenario::ParseError&) {
        GTEST_SKIP() << "no tag parser in this build";
    }
    keys(":tag add E2801160:0011\r");
    EXPECT_EQ(ui_.message(), "tag 2 in the field: E2801160");
    keys(":tag set 2 epc 1234\r");
    EXPECT_EQ(epc_hex(module.tag(1)), "1234");
    keys(":tag add E28\r");
    EXPECT_EQ(ui_.message().rfind("tag add: ", 0), 0u) << ui_.message();
}

TEST_F(FrontendTest, ScreenshotsAndTheNameScreenThroughTheKeyboard) {
    keys("p");
    EXPECT_EQ(ui_.message(), "screenshot saved to " + (shots_ / "fsim-0001.png").string());
    keys("p");
    EXPECT_TRUE(std::filesystem::exists(shots_ / "fsim-0002.png"));
    const auto shot = host::Screen::read_png(shots_ / "fsim-0001.png");
    ASSERT_TRUE(shot);
    EXPECT_TRUE(shot->same_pixels(app_.screen()));

    keys("\x1b[C\r");
    ASSERT_TRUE(app_.wait_for("Read Success")) << app_.describe();
    keys("\x1b[C\r"); // More, Save
    ASSERT_TRUE(app_.shows("Name the tag")) << app_.describe();
    // The text input's cursor marks are not part of what the screen says.
    keys("L\x7f"); // a long Back deletes the offered name
    EXPECT_NE(all_lines().find("\nscreen: Name the tag\n"), std::string::npos) << all_lines();
    EXPECT_NE(all_lines().find("Enter=Save"), std::string::npos) << all_lines();
    // Letters type, even those that are commands elsewhere (t, u, p); Backspace deletes.
    keys("tup_2\x7f" "3");
    EXPECT_EQ(app_.field_text(), "Tup_3");
    EXPECT_TRUE(app_.module().in_field(0));
    EXPECT_FALSE(app_.module().unplugged());
    EXPECT_FALSE(std::filesystem::exists(shots_ / "fsim-0003.png"));
    keys(":type abcdefghijklmnopqrs\r"); // 16 more fit, the rest does not
    EXPECT_EQ(ui_.message(), ":type: the name is full: 'qrs' was not typed");
    keys(std::string(21, '\x7f'));
    EXPECT_EQ(app_.field_text(), "");
    keys("shelf_2\r");
    EXPECT_TRUE(app_.shows("Saved!")) << app_.describe();
    EXPECT_TRUE(app_.read_data_file("Shelf_2.uhf"))
        << "files: " << ::testing::PrintToString(app_.data_files());
}

TEST(FieldEdit, ANewEpcSetsThePcLengthAndAFreshCrc) {
    yrm100::TagSpec spec;
    spec.epc = {0x30, 0x75, 0x1F, 0xEB, 0x70, 0x5C};
    spec.user = {0x00, 0x01};
    yrm100::VirtualTag tag(spec);
    const auto crc = tag.stored_crc();
    tag.set_epc({0xAA, 0xBB});
    EXPECT_EQ(epc_hex(tag), "AABB");
    EXPECT_EQ(tag.pc() >> 11, 1) << "one word";
    EXPECT_EQ(tag.pc() & 0x07FF, 0x0400) << "the other PC bits (User memory) stay";
    EXPECT_NE(tag.stored_crc(), crc);
    EXPECT_THROW(tag.set_epc({0xAA}), std::invalid_argument);
    EXPECT_THROW(tag.set_epc(yrm100::Bytes(64, 0)), std::invalid_argument);
    EXPECT_EQ(epc_hex(tag), "AABB") << "a refused EPC leaves the tag as it was";
}

TEST(PacewickFrontend, WalkCommandsAndNoModuleCommands) {
    PacewickSession app;
    app.sensor().set_gait(GaitParams{});
    app.start();
    Frontend ui(app, LiveOptions{"braille", ".", false}, Size{80, 24});
    const auto run = [&](std::string_view line) {
        KeyDecoder decoder;
        for(const auto& event : decoder.feed(line)) {
            ui.handle(event);
            ui.run_pending();
        }
    };
    run(":tag list\r");
    EXPECT_EQ(ui.message(), ":tag is for corvane's reader module; pacewick has none");
    run("u");
    EXPECT_EQ(ui.message(), ":unplug is for corvane's reader module; pacewick has none");
    run(":walk start\r");
    EXPECT_EQ(ui.message(), "walking");
    app.wait(3000);
    std::string lines;
    for(const auto& line : ui.lines()) lines += line + "\n";
    EXPECT_NE(lines.find("sensor: WALKING \u00b7 "), std::string::npos) << lines;
    run(":q\r");
    EXPECT_TRUE(ui.quit());
}

} // namespace
} // namespace sim::terminal
