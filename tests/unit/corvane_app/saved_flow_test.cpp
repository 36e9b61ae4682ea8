// Working with saved tags: the browser and its load errors, the saved menu, the bank viewer,
// deleting, and writing a saved tag to the tag in the field.
#include <notification/notification_messages.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "app_fixture.h"

namespace corvane_app_test {
namespace {

class SavedTest : public AppTest {
protected:
    /// From the start menu into the browser ("Saved" may be the remembered item already).
    void open_browser() {
        if(app_.selected_menu_item() != "Saved") app_.press(InputKeyDown);
        app_.press(InputKeyOk);
    }

    /// From the start menu, into the browser and onto the one file in the data folder.
    void pick_the_file() {
        open_browser();
        app_.press(InputKeyDown); // below ". ."
        app_.press(InputKeyOk);
        app_.wait(200);
    }

    /// From the start menu, into the browser and onto the file named `name` (no extension).
    void pick(const std::string& name) {
        open_browser();
        for(int i = 0; i < 8; ++i) {
            app_.press(InputKeyDown);
            const host::Screen s = app_.screen();
            const auto* row = s.find(name);
            if(row != nullptr && s.pixel(1, row->baseline - 3)) break;
        }
        app_.press(InputKeyOk);
        app_.wait(200);
    }

    /// From the start menu: reads the tag in the field and offers it the name `typed`; whether
    /// "Saved!" followed. A refused name is dismissed and the app led back to the start menu.
    bool read_and_save_as(const std::string& typed) {
        if(app_.selected_menu_item() != "Read Tag") app_.press(InputKeyUp);
        read_to_result();
        app_.press(InputKeyRight); // More: the tag menu
        return save_as(typed);
    }

    /// On the tag menu: Save, the name, the save key; back on the start menu when refused.
    bool save_as(const std::string& typed) {
        app_.press(InputKeyOk);
        EXPECT_TRUE(app_.type(typed)) << app_.describe();
        EXPECT_TRUE(app_.save_text()) << app_.describe();
        if(app_.shows("Saved!")) return true;
        EXPECT_TRUE(app_.shows("exists")) << app_.describe();
        app_.press(InputKeyOk);   // dismisses the message
        app_.press(InputKeyBack); // the tag menu
        app_.press(InputKeyBack); // the start menu
        EXPECT_TRUE(app_.shows("Read Tag")) << app_.describe();
        return false;
    }

    void load(const std::string& name = "Gate.uhf", const std::string& content = tag_file()) {
        app_.write_data_file(name, content);
        start_to_menu();
        pick_the_file();
    }
};

TEST_F(SavedTest, CancellingTheBrowserReturnsToTheStartMenu) {
    start_to_menu();
    open_browser();
    EXPECT_FALSE(app_.shows("Read Tag"));
    app_.press(InputKeyBack);
    EXPECT_TRUE(app_.shows("Read Tag")) << app_.describe();
}

struct LoadErrorCase {
    const char* name;
    std::string content;
    const char* message; // a piece of the storage-error dialog's text
};

TEST_F(SavedTest, EachBrokenFileShowsItsErrorThenTheStartMenu) {
    const LoadErrorCase cases[] = {
        {"WrongVersion", "Filetype: Flipper UHF RFID device\nVersion: 2\n", "File format depr-"},
        {"WrongType", "Filetype: Flipper NFC device\nVersion: 1\n", "File format depr-"},
        {"NoTidLength",
         "Filetype: Flipper UHF RFID device\nVersion: 1\nPC: 30 00\nCRC: F9 83\nEPC_LENGTH: 2\nEPC: 01 02\n",
         "parse"},
        {"EpcTooLong",
         tag_file("00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00", 20),
         "parse"},
    };
    for(const LoadErrorCase& c : cases)
        app_.write_data_file(std::string(c.name) + ".uhf", c.content);
    start_to_menu();
    for(const LoadErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        open_browser();
        // Find the file by name in the browser.
        bool found = false;
        for(int i = 0; i < 8 && !found; ++i) {
            app_.press(InputKeyDown);
            const host::Screen s = app_.screen();
            const auto* row = s.find(c.name);
            found = row != nullptr && s.pixel(1, row->baseline - 3);
        }
        ASSERT_TRUE(found) << app_.describe();
        app_.press(InputKeyOk);
        ASSERT_TRUE(app_.wait_for(c.message)) << app_.describe();
        app_.press(InputKeyBack);
        EXPECT_TRUE(app_.shows("Read Tag")) << app_.describe();
    }
}

TEST_F(SavedTest, InfoCyclesTheBanksWithTitlesLengthsAndButtons) {
    load();
    ASSERT_EQ(app_.texts(), (std::vector<std::string>{"Delete", "Info", "Write"}))
        << app_.describe();
    EXPECT_EQ(app_.selected_menu_item(), "Delete");
    app_.press(InputKeyDown);
    app_.press(InputKeyOk); // "Info"

    struct Page {
        const char* title;
        const char* length;
        const char* button;
        const char* first_bytes;
    };
    const Page pages[] = {
        {"EPC Bank", "Length: 12 bytes", "TID", "E2 00 00 17"},
        {"TID Bank", "Length: 12 bytes", "USER", "E2 00 34 12"},
        {"User Bank", "Length: 10 bytes", "EPC", "00 11 22 33"},
        {"EPC Bank", "Length: 12 bytes", "TID", "E2 00 00 17"},
    };
    for(const Page& page : pages) {
        SCOPED_TRACE(page.title);
        const host::Screen s = app_.screen();
        EXPECT_TRUE(s.contains(page.title)) << s.describe_texts();
        EXPECT_TRUE(s.contains(page.length));
        EXPECT_TRUE(s.contains(page.button));
        EXPECT_TRUE(s.contains(page.first_bytes));
        EXPECT_TRUE(s.contains("Back"));
        app_.long_press(InputKeyRight); // ignored
        app_.press(InputKeyRight);
    }

    // Leaving on the TID bank and coming back starts at the EPC bank; the menu remembers Info.
    app_.press(InputKeyLeft);
    EXPECT_EQ(app_.selected_menu_item(), "Info") << app_.describe();
    app_.press(InputKeyOk);
    EXPECT_TRUE(app_.shows("EPC Bank"));
    app_.press(InputKeyBack);
    EXPECT_TRUE(app_.shows("Write")) << app_.describe();
}

// Every bank can be read whole on its page, and no byte runs under the buttons: one of up to 13
// bytes wraps into two lines as it always did; a longer one scrolls with Down.
TEST_F(SavedTest, EveryBankIsReadWholeAndNothingRunsUnderTheButtons) {
    const auto hex = [](const Bytes& bytes, const char* separator) {
        std::string out;
        char byte[3];
        for(std::uint8_t b : bytes) {
            std::snprintf(byte, sizeof byte, "%02X", b);
            out += (out.empty() ? "" : separator) + std::string(byte);
        }
        return out;
    };
    const struct {
        std::size_t epc, tid, user;
    } tags[] = {{18, 16, 64}, {13, 14, 0}, {14, 0, 40}};
    for(const auto& t : tags) {
        const Bytes banks[] = {pattern(t.epc, 0x10), pattern(t.tid, 0x40), pattern(t.user, 0x80)};
        const std::string content =
            "Filetype: Flipper UHF RFID device\nVersion: 1\nPC: 30 00\nCRC: 12 34\n"
            "EPC_LENGTH: " +
            std::to_string(t.epc) + "\nEPC: " + hex(banks[0], " ") +
            "\nTID_LENGTH: " + std::to_string(t.tid) + "\nTID: " + hex(banks[1], " ") +
            "\nUSER_LENGTH: " + std::to_string(t.user) + "\nUSER: " + hex(banks[2], " ") + "\n";
        const std::string name = "Banks" + std::to_string(t.epc);
        if(app_.running()) {
            app_.write_data_file(name + ".uhf", content);
            app_.press(InputKeyBack); // the saved menu
            app_.press(InputKeyBack); // the browser
            app_.press(InputKeyBack); // the start menu
            pick(name);
        } else {
            load(name + ".uhf", content);
        }
        if(app_.selected_menu_item() != "Info") app_.press(InputKeyDown);
        app_.press(InputKeyOk); // "Info"
        for(const Bytes& bank : banks) {
            SCOPED_TRACE(name + ": a bank of " + std::to_string(bank.size()) + " bytes");
            EXPECT_TRUE(app_.shows("Length: " + std::to_string(bank.size()) + " bytes"));
            // The hex lines in view, top first; with each Down the top one scrolls away.
            const auto lines = [&] {
                const host::Screen s = app_.screen();
                std::vector<std::string> out;
                for(const auto& text : s.texts()) {
                    if(text.font != FontKeyboard || text.baseline <= 22) continue;
                    EXPECT_LE(text.box.y + text.box.height, 52) << "under the buttons: "
                                                                << text.text;
                    std::string digits;
                    for(char c : text.text)
                        if(std::isxdigit(static_cast<unsigned char>(c))) digits += c;
                    out.push_back(digits);
                }
                return out;
            };
            std::string seen;
            for(int presses = 0; presses < 20; ++presses) {
                const auto shown = lines();
                ASSERT_FALSE(shown.empty()) << app_.describe();
                const host::Screen before = app_.screen();
                app_.press(InputKeyDown);
                if(app_.screen().same_pixels(before)) {
                    for(const auto& line : shown) seen += line;
                    break;
                }
                seen += shown.front();
            }
            EXPECT_EQ(seen, hex(bank, ""));
            app_.press(InputKeyRight);
        }
    }
}

TEST_F(SavedTest, AnEmptyBankShowsLengthZeroAndABlankDump) {
    std::string content = tag_file();
    content.replace(content.find("USER_LENGTH: 10"), 15, "USER_LENGTH: 0");
    content.replace(
        content.find("USER: 00"),
        std::string("USER: 00 11 22 33 44 55 66 77 88 99").size(),
        "USER: ");
    load("Blank.uhf", content);
    ASSERT_TRUE(app_.shows("Info")) << app_.describe();
    app_.press(InputKeyDown);
    app_.press(InputKeyOk);
    app_.press(InputKeyRight);
    app_.press(InputKeyRight);
    EXPECT_TRUE(app_.shows("User Bank")) << app_.describe();
    EXPECT_TRUE(app_.shows("Length: 0 bytes"));
}

TEST_F(SavedTest, DeleteConfirmedRemovesTheFileAndDeletedLeavesToTheStartMenu) {
    load();
    app_.press(InputKeyOk); // "Delete"
    EXPECT_TRUE(app_.shows("Delete Gate?")) << app_.describe();
    app_.press(InputKeyLeft); // "Back": the menu again
    EXPECT_TRUE(app_.shows("Write"));
    app_.press(InputKeyOk);
    app_.press(InputKeyRight); // "Delete"
    EXPECT_TRUE(app_.shows("Deleted")) << app_.describe();
    EXPECT_FALSE(app_.read_data_file("Gate.uhf"));
    app_.wait(1400);
    EXPECT_TRUE(app_.shows("Deleted"));
    app_.wait(200);
    EXPECT_TRUE(app_.shows("Read Tag")) << app_.describe();
}

TEST_F(SavedTest, BackOnDeletedLeavesAsTheTimeoutWould) {
    // On the device a popup with a callback takes Back as its callback: straight to the start
    // menu, not back to the question about the removed file.
    load();
    app_.press(InputKeyOk);
    app_.press(InputKeyRight);
    ASSERT_TRUE(app_.shows("Deleted")) << app_.describe();
    app_.press(InputKeyBack);
    EXPECT_TRUE(app_.shows("Read Tag")) << app_.describe();
}

TEST_F(SavedTest, ADeleteThatFailsShowsTheErrorThenTheStartMenu) {
    load();
    app_.press(InputKeyOk);
    // Behind the app's back the file became a folder with something in it: it cannot be removed.
    // (A file that is simply gone counts as removed, as on the device.)
    std::filesystem::remove(app_.data_file("Gate.uhf"));
    app_.write_data_file("Gate.uhf/inside", "x");
    app_.press(InputKeyRight);
    ASSERT_TRUE(app_.wait_for("Can not remove")) << app_.describe();
    app_.press(InputKeyBack);
    EXPECT_TRUE(app_.shows("Read Tag")) << app_.describe();
}

TEST_F(SavedTest, WriteSucceedsWithATagAndBackOnTheResultWritesAgain) {
    const auto id = app_.add_tag(standard_tag());
    load();
    app_.press(InputKeyDown);
    app_.press(InputKeyDown);
    app_.press(InputKeyOk); // "Write"
    EXPECT_TRUE(app_.shows("Writing")) << app_.describe();
    EXPECT_TRUE(app_.blinking_cyan());
    ASSERT_TRUE(app_.wait_for("Write Success")) << app_.describe();
    EXPECT_FALSE(app_.led().blinking);
    EXPECT_TRUE(app_.shows("More"));
    EXPECT_TRUE(app_.shows("Exit"));
    EXPECT_EQ(
        app_.module().tag(id).epc(),
        (Bytes{0xE2, 0x00, 0x00, 0x17, 0x22, 0x10, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB}));
    EXPECT_EQ(app_.notifications().count(&sequence_success), 1u);

    app_.long_press(InputKeyLeft);
    EXPECT_TRUE(app_.shows("Write Success"));
    app_.press(InputKeyBack); // writes again
    EXPECT_TRUE(app_.shows("Writing"));
    ASSERT_TRUE(app_.wait_for("Write Success"));
    app_.press(InputKeyRight); // "More": the tag menu
    EXPECT_TRUE(app_.shows("Change Key")) << app_.describe();

    // The write job logs; with the console off while the module is powered, none of it went
    // out on the module's line.
    app_.quit();
    EXPECT_FALSE(app_.log().lines_with_tag("wkr").empty());
    EXPECT_EQ(app_.stray_bytes_to_module(), 0u);
    EXPECT_EQ(app_.module().frames_dropped(), 0u);
}

TEST_F(SavedTest, MoreAfterAWriteSavesTheLoadedTagNextToItsFileAndItsOwnNameIsAccepted) {
    app_.add_tag(standard_tag());
    load();
    app_.press(InputKeyDown);
    app_.press(InputKeyDown);
    app_.press(InputKeyOk);
    ASSERT_TRUE(app_.wait_for("Write Success"));
    app_.press(InputKeyRight);      // More
    app_.press(InputKeyOk);         // Save
    ASSERT_TRUE(app_.type("gate")); // the loaded file's own name, typed as "Gate"
    ASSERT_EQ(app_.field_text(), "Gate");
    ASSERT_TRUE(app_.save_text());
    EXPECT_TRUE(app_.shows("Saved!")) << app_.describe();
    EXPECT_EQ(app_.data_files(), (std::vector<std::string>{"Gate.uhf"}));
    EXPECT_NE(
        app_.read_data_file("Gate.uhf")->find("EPC: E2 00 00 17 22 10 01 23 45 67 89 AB\n"),
        std::string::npos);
}

// A name on the card belongs to the tag loaded from or saved to it. After a new read, or a load
// that failed, the name screen refuses it like any other taken name, so no other tag overwrites
// that file; the tag that is the file's own may be saved over it again.
TEST_F(SavedTest, ATakenNameIsRefusedUnlessTheHeldTagIsThatFilesOwn) {
    const std::string broken = "Filetype: Flipper UHF RFID device\nVersion: 2\n";
    app_.write_data_file("Broken.uhf", broken);
    const auto first = app_.add_tag(standard_tag());
    start_to_menu();
    ASSERT_TRUE(read_and_save_as("shelf"));
    app_.wait(1600); // "Saved!" leaves to the tag menu
    ASSERT_TRUE(save_as("shelf")) << "the tag just saved is that file's own";
    const std::string shelf = *app_.read_data_file("Shelf.uhf");
    app_.wait(1600);
    app_.press(InputKeyBack);
    ASSERT_TRUE(app_.shows("Read Tag")) << app_.describe();

    // Another tag read: the name is taken.
    app_.remove_tag(first);
    sim::yrm100::TagSpec other = standard_tag();
    other.epc = pattern(12, 0xA0);
    app_.add_tag(other);
    EXPECT_FALSE(read_and_save_as("shelf"));

    // Only the saved menu of Shelf opened, then a new read: still taken.
    pick("Shelf");
    ASSERT_TRUE(app_.shows("Delete")) << app_.describe();
    app_.press(InputKeyBack); // the browser again
    app_.press(InputKeyBack); // the start menu
    EXPECT_FALSE(read_and_save_as("shelf"));

    // A file that failed to load keeps its name too.
    pick("Broken");
    ASSERT_TRUE(app_.wait_for("File format")) << app_.describe();
    app_.press(InputKeyBack);
    ASSERT_TRUE(app_.shows("Read Tag")) << app_.describe();
    EXPECT_FALSE(read_and_save_as("broken"));

    EXPECT_EQ(*app_.read_data_file("Shelf.uhf"), shelf);
    EXPECT_EQ(*app_.read_data_file("Broken.uhf"), broken);
    EXPECT_EQ(app_.data_files(), (std::vector<std::string>{"Broken.uhf", "Shelf.uhf"}));
}

TEST_F(SavedTest, ARefusedWriteIsRetriedUntilTheTagTakesIt) {
    const auto id = app_.add_tag(standard_tag());
    app_.module().refuse_writes(3);
    load();
    app_.press(InputKeyDown);
    app_.press(InputKeyDown);
    app_.press(InputKeyOk);
    ASSERT_TRUE(app_.wait_for("Write Success")) << app_.describe();
    const auto commands = app_.commands();
    const auto writes = std::count(commands.begin(), commands.end(), sim::yrm100::kCmdWrite);
    EXPECT_EQ(writes, 4);
    EXPECT_EQ(app_.module().tag(id).epc()[0], 0xE2);
}

TEST_F(SavedTest, WriteWithNoTagWaitsUntilBackAndTheLedStops) {
    load();
    app_.press(InputKeyDown);
    app_.press(InputKeyDown);
    app_.press(InputKeyOk);
    app_.wait(3000);
    EXPECT_TRUE(app_.shows("Writing"));
    EXPECT_TRUE(app_.blinking_cyan());
    app_.press(InputKeyBack); // waits for the poll in flight
    EXPECT_TRUE(app_.wait_for("Info", 300)) << app_.describe();
    EXPECT_TRUE(app_.shows("Write"));
    EXPECT_FALSE(app_.led().blinking);
}

} // namespace
} // namespace corvane_app_test
