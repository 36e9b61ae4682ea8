// The file browser dialog: what a folder shows, how keys move through it, and what comes back.
#include <gui/icon_i.h>
#include <storage/storage.h>

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "dialogs_fixture.h"

namespace dialogs_test {
namespace {

const Icon* tag_icon() {
    static const uint8_t frame[] = {0xFC, 0x00, 0x02, 0x01, 0x79, 0x02, 0x85, 0x02, 0x35, 0x02,
                                    0x35, 0x02, 0x85, 0x02, 0x79, 0x02, 0x02, 0x01, 0xFC, 0x00};
    static const uint8_t* const frames[] = {frame};
    static const Icon icon = {10, 10, 1, 0, frames};
    return &icon;
}

class BrowserTest : public DialogsFixture {
protected:
    ~BrowserTest() override { finish_app(); }

    static constexpr const char* kData = "apps_data/corvane";

    /// Shows the browser as the tag store does: ".uhf" files, base folder and start "/data"
    /// (or `start`).
    void browse(std::string start = "/data", std::string result = "") {
        result_.reset();
        chosen_.clear();
        start_seen_.clear();
        run_app([this, start, result] {
            DialogsFileBrowserOptions options;
            dialog_file_browser_set_basic_options(&options, ".uhf", tag_icon());
            options.base_path = "/data";
            FuriString* result_path = furi_string_alloc_set_str(result.c_str());
            FuriString* start_path = furi_string_alloc_set_str(start.c_str());
            result_ = dialog_file_browser_show(app_, result_path, start_path, &options);
            chosen_ = furi_string_get_cstr(result_path);
            start_seen_ = furi_string_get_cstr(start_path);
            furi_string_free(start_path);
            furi_string_free(result_path);
        });
    }

    /// The names as the storage lists `sd_folder` (the order the browser must keep).
    std::vector<std::string> listed(const std::string& sd_folder) {
        Storage* storage = static_cast<Storage*>(furi_record_open(RECORD_STORAGE));
        File* dir = storage_file_alloc(storage);
        std::vector<std::string> names;
        if(storage_dir_open(dir, ("/ext/" + sd_folder).c_str())) {
            std::array<char, 256> name{};
            FileInfo info{};
            while(storage_dir_read(dir, &info, name.data(), name.size()))
                names.emplace_back(name.data());
        }
        storage_dir_close(dir);
        storage_file_free(dir);
        furi_record_close(RECORD_STORAGE);
        return names;
    }

    /// The row texts drawn at x 15 (the names), top to bottom.
    static std::vector<std::string> rows(const host::Screen& shot) {
        std::vector<std::string> names;
        for(const host::DrawnText& text : shot.texts())
            if(text.x == 15) names.push_back(text.text);
        return names;
    }

    /// Index of the row under the black bar (pixel at x 5 of the row's middle line set), or -1.
    static int selected_row(const host::Screen& shot) {
        for(int row = 0; row < 5; ++row)
            if(shot.pixel(14, 3 + 12 * row + 6) && shot.pixel(125, 3 + 12 * row + 6)) return row;
        for(int row = 0; row < 5; ++row)
            if(shot.pixel(14, 3 + 12 * row + 6)) return row;
        return -1;
    }

    std::optional<bool> result_;
    std::string chosen_;
    std::string start_seen_;
};

TEST_F(BrowserTest, TagFolderScreen) {
    touch(std::string(kData) + "/Tag_Quiet_Fox.uhf");
    browse();
    expect_golden(screen(), "file_browser_one_file");
    press(InputKeyDown);
    expect_golden(screen(), "file_browser_one_file_selected");
}

TEST_F(BrowserTest, EmptyFolderScreen) {
    mkdir(kData);
    browse();
    const host::Screen shot = screen();
    expect_golden(shot, "file_browser_empty");
    EXPECT_EQ(rows(shot), std::vector<std::string>{". ."});
    const host::DrawnText* empty = shot.find("<Empty>");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->x, 64);
    EXPECT_EQ(empty->y, 32);
    EXPECT_EQ(empty->horizontal, AlignCenter);
    EXPECT_EQ(empty->vertical, AlignCenter);
}

// Rows: folders always, files only with the extension, no dot files, no "assets" folder; the
// storage's order kept, extensions hidden, and the bar over the first row.
TEST_F(BrowserTest, ShowsTheStoragesEntriesInItsOrder) {
    for(const char* name : {"b.uhf", "a.uhf", "c.txt", ".hidden.uhf", "z.uhf.bak", "d.UHF"})
        touch(std::string(kData) + "/" + name);
    for(const char* name : {"old", "assets", ".git"}) mkdir(std::string(kData) + "/" + name);
    std::vector<std::string> want{". ."};
    for(const std::string& name : listed(kData)) {
        if(name == "b.uhf" || name == "a.uhf") want.push_back(name.substr(0, 1));
        if(name == "old") want.push_back("old");
    }
    browse();
    const host::Screen shot = screen();
    EXPECT_EQ(rows(shot), want) << shot.describe_texts();
    EXPECT_EQ(selected_row(shot), 0);
    // The bar is 127 px wide with white corner dots.
    EXPECT_TRUE(shot.pixel(126, 9));
    EXPECT_FALSE(shot.pixel(127, 9));
    EXPECT_FALSE(shot.pixel(0, 3));
    EXPECT_FALSE(shot.pixel(1, 3));
    EXPECT_FALSE(shot.pixel(0, 4));
    EXPECT_FALSE(shot.pixel(126, 3));
    EXPECT_FALSE(shot.pixel(0, 14));
    EXPECT_TRUE(shot.pixel(2, 3));
}

TEST_F(BrowserTest, ChoosingAFileGivesItsCardPathAndResolvesTheStartPathInPlace) {
    touch(std::string(kData) + "/Tag1.uhf");
    browse();
    press(InputKeyDown);
    press(InputKeyOk);
    join_app();
    EXPECT_EQ(result_, true);
    EXPECT_EQ(chosen_, "/ext/apps_data/corvane/Tag1.uhf");
    EXPECT_EQ(start_seen_, "/ext/apps_data/corvane");
}

TEST_F(BrowserTest, BackInTheBaseFolderLeavesWithoutAChoice) {
    touch(std::string(kData) + "/Tag1.uhf");
    browse("/data", "/ext/apps_data/corvane/Earlier.uhf");
    press(InputKeyDown);
    press(InputKeyBack);
    join_app();
    EXPECT_EQ(result_, false);
    EXPECT_EQ(chosen_, "/ext/apps_data/corvane/Earlier.uhf"); // untouched
}

TEST_F(BrowserTest, AFileGivenAsStartIsSelectedAndAMissingFolderWalksUp) {
    for(const char* name : {"A.uhf", "B.uhf", "C.uhf"}) touch(std::string(kData) + "/" + name);
    const std::vector<std::string> order = listed(kData);
    const std::string pick = order[1];
    browse("/data/" + pick);
    EXPECT_EQ(rows(screen()).size(), 4u);
    press(InputKeyOk);
    join_app();
    EXPECT_EQ(chosen_, "/ext/apps_data/corvane/" + pick);

    browse("/data/gone/deeper/x.uhf");
    const host::Screen shot = screen();
    EXPECT_EQ(rows(shot).size(), 4u) << shot.describe_texts(); // ". ." and the three tags
    EXPECT_EQ(selected_row(shot), 0);
    press(InputKeyBack);
    join_app();
    EXPECT_EQ(result_, false);
}

TEST_F(BrowserTest, UpAndDownWrapAround) {
    for(const char* name : {"A.uhf", "B.uhf"}) touch(std::string(kData) + "/" + name);
    browse();
    const struct {
        InputKey key;
        int row;
    } steps[] = {
        {InputKeyUp, 2},
        {InputKeyDown, 0},
        {InputKeyDown, 1},
        {InputKeyDown, 2},
        {InputKeyDown, 0}};
    for(const auto& step : steps) {
        press(step.key);
        EXPECT_EQ(selected_row(screen()), step.row);
    }
}

// Folders: OK enters, OK on ". ." and Left go up (the folder left is selected again), Back goes
// up below the base folder; Left does nothing at the card's root, where Back leaves.
TEST_F(BrowserTest, FolderNavigation) {
    touch(std::string(kData) + "/sub/Deep.uhf");
    browse();
    press(InputKeyDown); // "sub"
    press(InputKeyOk);
    EXPECT_EQ(rows(screen()), (std::vector<std::string>{". .", "Deep"}));
    press(InputKeyOk); // ". ."
    host::Screen shot = screen();
    EXPECT_EQ(rows(shot), (std::vector<std::string>{". .", "sub"}));
    EXPECT_EQ(selected_row(shot), 1);
    press(InputKeyOk);
    press(InputKeyBack); // below the base folder: up
    EXPECT_EQ(rows(screen()), (std::vector<std::string>{". .", "sub"}));
    press(InputKeyLeft); // above the base folder: Left still goes up
    shot = screen();
    EXPECT_TRUE(std::find(rows(shot).begin(), rows(shot).end(), "corvane") != rows(shot).end())
        << shot.describe_texts();
    press(InputKeyLeft); // "/ext": a top-level root, no ". ." row
    shot = screen();
    ASSERT_FALSE(rows(shot).empty());
    EXPECT_EQ(rows(shot).front(), "apps_data");
    press(InputKeyLeft);
    EXPECT_EQ(rows(screen()).front(), "apps_data");
    EXPECT_TRUE(app_running());
    press(InputKeyBack); // at a root Back leaves
    join_app();
    EXPECT_EQ(result_, false);
}

TEST_F(BrowserTest, BackAboveTheBaseFolderClimbsToTheRootBeforeLeaving) {
    mkdir(kData);
    browse();
    press(InputKeyLeft); // /ext/apps_data
    press(InputKeyBack); // /ext
    EXPECT_TRUE(app_running());
    EXPECT_EQ(rows(screen()).front(), "apps_data");
    press(InputKeyBack);
    join_app();
    EXPECT_EQ(result_, false);
}

TEST_F(BrowserTest, ManyEntriesScrollWithABarAndHeldKeysSpeedUp) {
    for(int i = 0; i < 20; ++i) touch(std::string(kData) + "/T" + std::to_string(i) + ".uhf");
    browse();
    host::Screen shot = screen();
    EXPECT_EQ(rows(shot).size(), 5u);
    // Scroll bar: dotted line at x 126, the bar 122 px wide.
    EXPECT_TRUE(shot.pixel(126, 30) || shot.pixel(126, 31));
    EXPECT_TRUE(shot.pixel(120, 9));
    EXPECT_FALSE(shot.pixel(121, 3));
    EXPECT_FALSE(shot.pixel(122, 9));
    for(int i = 0; i < 5; ++i) press(InputKeyDown);
    shot = screen();
    EXPECT_EQ(selected_row(shot), 3); // item 5 with one row of context below it

    // Held Down: one step per Repeat for six Repeats, then 3 and 5 on every other one. 2.3 s
    // hold: Long at 300 ms, Repeats 1..13 every 150 ms: 6 x 1 + 3 + 0 + 3 + 0 + 5 + 0 + 5 = 22.
    std::vector<std::string> items{". ."};
    for(const std::string& name : listed(kData)) items.push_back(name.substr(0, name.size() - 4));
    long_press(InputKeyDown, host::ms(2300));
    shot = screen();
    const int row = selected_row(shot);
    ASSERT_GE(row, 0);
    EXPECT_EQ(rows(shot)[static_cast<std::size_t>(row)], items[(5 + 22) % items.size()])
        << shot.describe_texts();
}

TEST_F(BrowserTest, LongNamesAreCutWithDotsOrScrollWhenSelected) {
    const std::string name = "A_name_far_too_long_for_one_row";
    touch(std::string(kData) + "/" + name + ".uhf");
    browse();
    host::Screen shot = screen();
    ASSERT_EQ(rows(shot).size(), 2u);
    const std::string cut = rows(shot)[1];
    EXPECT_TRUE(cut.size() > 3 && cut.compare(cut.size() - 3, 3, "...") == 0) << cut;
    EXPECT_EQ(name.rfind(cut.substr(0, cut.size() - 3), 0), 0u);
    EXPECT_LE(shot.find(cut)->box.width, 110);

    press(InputKeyDown); // selected: cut without dots, still from the start
    const std::string head = rows(screen())[1];
    EXPECT_EQ(name.rfind(head, 0), 0u) << head;
    EXPECT_GT(head.size(), cut.size() - 3);
    settle(400); // about 0.5 s after the selection: not moving yet
    EXPECT_EQ(rows(screen())[1], head);
    settle(300); // about 0.8 s: one character has scrolled away
    EXPECT_EQ(rows(screen())[1].substr(0, 4), name.substr(1, 4));
    settle(1000);
    EXPECT_EQ(rows(screen())[1].substr(0, 4), name.substr(4, 4));
}

} // namespace
} // namespace dialogs_test

namespace dialogs_test {
namespace {

TEST_F(BrowserTest, WithoutACardTheRootShowsEmptyAndBackLeaves) {
    touch(std::string(kData) + "/Tag1.uhf");
    storage_.set_card_inserted(false);
    browse();
    const host::Screen shot = screen();
    EXPECT_TRUE(rows(shot).empty()) << shot.describe_texts();
    EXPECT_TRUE(shot.contains("<Empty>"));
    press(InputKeyOk);
    press(InputKeyLeft);
    EXPECT_TRUE(app_running());
    press(InputKeyBack);
    join_app();
    EXPECT_EQ(result_, false);
}

} // namespace
} // namespace dialogs_test
