// Reading a tag and saving it: the popup and its LED, the result texts, the tag menu, the name
// screen with its random name and validator, and "Saved!".
#include <notification/notification_messages.h>

#include <cctype>

#include "app_fixture.h"

namespace corvane_app_test {
namespace {

std::string hex_digits(std::string_view text) {
    std::string digits;
    for(char c : text) {
        if(std::isxdigit(static_cast<unsigned char>(c))) digits += c;
    }
    return digits;
}

/// The digits of the keyboard-font texts from x 34 whose baseline is below `y`.
std::string hex_digits_below(const host::Screen& s, int y) {
    std::string digits;
    for(const auto& t : s.texts()) {
        if(t.font == FontKeyboard && t.origin_x >= 34 && t.baseline > y)
            digits += hex_digits(t.text);
    }
    return digits;
}

TEST_F(AppTest, ReadShowsPcCrcAndEpcWhileTheLedBlinksOnlyDuringThePopup) {
    start_to_menu();
    EXPECT_FALSE(app_.led().blinking);
    app_.press(InputKeyOk);
    EXPECT_TRUE(app_.shows("Detecting")) << app_.describe();
    EXPECT_TRUE(app_.blinking_cyan());
    app_.wait(1000);
    EXPECT_TRUE(app_.shows("Detecting")) << "no tag yet: the popup stays";

    app_.add_tag(standard_tag());
    ASSERT_TRUE(app_.wait_for("Read Success")) << app_.describe();
    EXPECT_FALSE(app_.led().blinking);
    const host::Screen s = app_.screen();
    EXPECT_TRUE(s.contains("3400")) << s.describe_texts();
    EXPECT_TRUE(s.contains("3A76"));
    for(const char* text : {"PC :", "CRC :", "EPC :", "More", "Exit"})
        EXPECT_TRUE(s.contains(text)) << text;
    // The EPC text is one line that the element breaks to fit: its pieces hold the 24 digits.
    EXPECT_EQ(hex_digits_below(s, 30), hex_digits(kEpcText)) << s.describe_texts();
    EXPECT_EQ(app_.notifications().count(&sequence_success), 1u);
    EXPECT_EQ(
        app_.dolphin().deeds(),
        (std::vector<DolphinDeed>{DolphinDeedNfcRead, DolphinDeedNfcReadSuccess}));

    // Long presses do nothing; Back reads again with the LED blinking again.
    app_.long_press(InputKeyRight);
    app_.long_press(InputKeyLeft);
    EXPECT_TRUE(app_.shows("Read Success"));
    app_.press(InputKeyBack);
    EXPECT_TRUE(app_.shows("Detecting"));
    EXPECT_TRUE(app_.blinking_cyan());
    ASSERT_TRUE(app_.wait_for("Read Success"));

    app_.press(InputKeyLeft); // "Exit"
    EXPECT_TRUE(app_.shows("Read Tag")) << app_.describe();
    EXPECT_FALSE(app_.led().blinking);
}

TEST_F(AppTest, ResultShowsFourDigitsWithLeadingZerosAndOneSpaceForAnEmptyEpc) {
    sim::yrm100::TagSpec spec;
    spec.pc = 0x0000; // no EPC words
    app_.add_tag(spec);
    start_to_menu();
    read_to_result();
    const host::Screen s = app_.screen();
    const auto* pc = s.find("PC :");
    ASSERT_NE(pc, nullptr);
    std::vector<std::string> numbers;
    for(const auto& t : s.texts()) {
        if(t.font == FontKeyboard && t.baseline < 26) numbers.push_back(t.text);
    }
    ASSERT_EQ(numbers.size(), 2u) << s.describe_texts();
    EXPECT_EQ(numbers[0], "0000");
    const bool four_hex = numbers[1].size() == 4 && numbers[1].find_first_not_of("0123456789ABCDEF") == std::string::npos;
    EXPECT_TRUE(four_hex) << numbers[1];
    for(const auto& t : s.texts()) {
        if(t.font == FontKeyboard && t.baseline > 30 && t.origin_x >= 34) {
            EXPECT_EQ(t.text, " ");
        }
    }
}

TEST_F(AppTest, BackOnTheReadPopupReturnsToTheStartMenuAndStopsTheLed) {
    start_to_menu();
    app_.press(InputKeyOk);
    app_.wait(500);
    app_.press(InputKeyBack); // waits for the poll in flight
    EXPECT_TRUE(app_.wait_for("Read Tag", 300));
    EXPECT_FALSE(app_.led().blinking);
}

TEST_F(AppTest, TagMenuSaveAndChangeKeyAndBackToTheStartMenu) {
    app_.add_tag(standard_tag());
    start_to_menu();
    read_to_result();
    app_.press(InputKeyRight); // "More"
    EXPECT_EQ(app_.texts(), (std::vector<std::string>{"Save", "Change Key"}));
    app_.press(InputKeyDown);
    app_.press(InputKeyOk); // "Change Key": nothing
    EXPECT_TRUE(app_.shows("Change Key"));
    app_.press(InputKeyBack); // straight to the start menu, not the result
    EXPECT_TRUE(app_.shows("Read Tag")) << app_.describe();
}

TEST_F(AppTest, SaveWithTheRandomNameWritesTheFileAndSavedLeavesToTheTagMenu) {
    app_.add_tag(standard_tag());
    start_to_menu();
    read_to_result();
    app_.press(InputKeyRight);
    app_.press(InputKeyOk); // "Save"
    ASSERT_TRUE(app_.shows("Name the tag")) << app_.describe();
    const std::string name = app_.field_text();
    ASSERT_FALSE(name.empty()) << app_.describe();
    EXPECT_LE(name.size(), 21u);

    ASSERT_TRUE(app_.save_text());
    EXPECT_TRUE(app_.shows("Saved!")) << app_.describe();
    const auto content = app_.read_data_file(name + ".uhf");
    ASSERT_TRUE(content) << "no " << name << ".uhf";
    EXPECT_NE(
        content->find(
            "Filetype: Flipper UHF RFID device\nVersion: 1\nPC: 34 00\nCRC: 3A 76\nEPC_LENGTH: 12\n"),
        std::string::npos)
        << *content;
    EXPECT_NE(content->find("EPC: 30 75 1F EB 70 5C 59 04 E3 D5 0D 70\n"), std::string::npos);

    app_.wait(1400);
    EXPECT_TRUE(app_.shows("Saved!"));
    app_.wait(200);
    EXPECT_EQ(app_.texts(), (std::vector<std::string>{"Save", "Change Key"})) << app_.describe();
    EXPECT_EQ(app_.selected_menu_item(), "Save");
}

TEST_F(AppTest, BackOnSavedLeavesToTheTagMenuAsTheTimeoutWould) {
    // On the device a popup with a callback takes Back as its callback, so Back never reaches
    // the scene: the user lands on the tag menu, not on a new name screen.
    app_.add_tag(standard_tag());
    start_to_menu();
    read_to_result();
    app_.press(InputKeyRight);
    app_.press(InputKeyOk);
    ASSERT_TRUE(app_.save_text());
    ASSERT_TRUE(app_.shows("Saved!")) << app_.describe();
    app_.press(InputKeyBack);
    EXPECT_TRUE(app_.shows("Change Key")) << app_.describe();
    EXPECT_EQ(app_.data_files().size(), 1u);
}

TEST_F(AppTest, TheValidatorRefusesANameThatIsTaken) {
    app_.write_data_file("42.uhf", tag_file());
    app_.add_tag(standard_tag());
    start_to_menu();
    read_to_result();
    app_.press(InputKeyRight);
    app_.press(InputKeyOk);
    ASSERT_TRUE(app_.type("42")) << app_.describe() << app_.screen().to_text();
    EXPECT_EQ(app_.field_text(), "42");
    ASSERT_TRUE(app_.save_text());
    EXPECT_TRUE(app_.shows("exists")) << app_.describe();
    EXPECT_EQ(*app_.read_data_file("42.uhf"), tag_file()) << "the taken file is kept";
    app_.press(InputKeyOk); // dismisses the message
    EXPECT_TRUE(app_.shows("Name the tag"));

    // Back on the name screen saves nothing and returns to the tag menu.
    app_.press(InputKeyBack);
    EXPECT_TRUE(app_.shows("Change Key")) << app_.describe();
    EXPECT_EQ(app_.data_files(), (std::vector<std::string>{"42.uhf"}));
}

} // namespace
} // namespace corvane_app_test
