// The storage-error message and general message dialogs: what they draw and which keys end them.
#include <optional>

#include "dialogs_fixture.h"

namespace dialogs_test {
namespace {

class MessageTest : public DialogsFixture {
protected:
    ~MessageTest() override { finish_app(); }

    void show_storage_error(const char* text) {
        run_app([this, text] {
            dialog_message_show_storage_error(app_, text);
            returned_ = true;
        });
    }
    bool returned_ = false;
};

TEST_F(MessageTest, StorageErrorScreens) {
    const struct {
        const char* text;
        const char* golden;
    } cases[] = {
        {"Can not parse\nfile", "storage_error_parse"},
        {"File format deprecated", "storage_error_deprecated"},
        {"Can not save\nfile", "storage_error_save"},
    };
    for(const auto& c : cases) {
        SCOPED_TRACE(c.golden);
        show_storage_error(c.text);
        ASSERT_TRUE(dialogs_.showing());
        const host::Screen shot = screen();
        expect_golden(shot, c.golden);
        EXPECT_TRUE(shot.contains("Back"));
        press(InputKeyBack);
        EXPECT_TRUE(returned_);
        join_app();
        returned_ = false;
    }
    EXPECT_EQ(
        dialogs_.messages(),
        (std::vector<std::string>{
            "Can not parse\nfile", "File format deprecated", "Can not save\nfile"}));
}

TEST_F(MessageTest, StorageErrorPictureAndButtonSitWhereTheDeviceHasThem) {
    show_storage_error("Can not parse\nfile");
    const host::Screen shot = screen();
    // The picture fills the 35x43 box at (5,6) and nothing else is drawn left of x 40 above the
    // button row.
    int inside = 0;
    for(int y = 0; y < 52; ++y) {
        for(int x = 0; x < 40; ++x) {
            const bool in_box = x >= 5 && x < 40 && y >= 6 && y < 49;
            if(shot.pixel(x, y)) {
                EXPECT_TRUE(in_box) << x << "," << y;
                ++inside;
            }
        }
    }
    EXPECT_GT(inside, 35 * 43 / 2);
    const host::DrawnText* back = shot.find("Back");
    ASSERT_NE(back, nullptr);
    EXPECT_LT(back->origin_x, 20);
    EXPECT_EQ(back->font, FontSecondary);
    const host::DrawnText* text = shot.find("Can not parse");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->font, FontSecondary);
}

// Only a short Left or a short Back ends the storage-error message.
TEST_F(MessageTest, StorageErrorKeys) {
    const struct {
        InputKey key;
        bool long_press;
        bool ends;
    } cases[] = {
        {InputKeyOk, false, false},
        {InputKeyRight, false, false},
        {InputKeyUp, false, false},
        {InputKeyDown, false, false},
        {InputKeyBack, true, false},
        {InputKeyLeft, true, false},
        {InputKeyLeft, false, true},
        {InputKeyBack, false, true},
    };
    for(const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.key) + (c.long_press ? " long" : " short"));
        show_storage_error("Can not remove file");
        if(c.long_press)
            long_press(c.key);
        else
            press(c.key);
        EXPECT_EQ(returned_, c.ends);
        EXPECT_EQ(dialogs_.showing(), !c.ends);
        if(!c.ends) press(InputKeyBack);
        ASSERT_TRUE(returned_);
        join_app();
        returned_ = false;
    }
}

TEST_F(MessageTest, MessageWithThreeButtonsReturnsTheKeyPressed) {
    const struct {
        InputKey key;
        DialogMessageButton want;
    } cases[] = {
        {InputKeyLeft, DialogMessageButtonLeft},
        {InputKeyOk, DialogMessageButtonCenter},
        {InputKeyRight, DialogMessageButtonRight},
        {InputKeyBack, DialogMessageButtonBack},
    };
    for(const auto& c : cases) {
        std::optional<DialogMessageButton> got;
        run_app([&] {
            DialogMessage* message = dialog_message_alloc();
            dialog_message_set_header(message, "Header", 64, 2, AlignCenter, AlignTop);
            dialog_message_set_text(message, "Text", 64, 30, AlignCenter, AlignCenter);
            dialog_message_set_buttons(message, "No", "Maybe", "Yes");
            got = dialog_message_show(app_, message);
            dialog_message_free(message);
        });
        const host::Screen shot = screen();
        EXPECT_TRUE(
            shot.contains("Header") && shot.contains("Text") && shot.contains("Maybe") &&
            shot.contains("Yes"))
            << shot.describe_texts();
        press(c.key);
        join_app();
        EXPECT_EQ(got, c.want);
    }
}

// The dialog shows above the app's own full-screen view and gives the screen back when it ends.
TEST_F(MessageTest, ScreenReturnsToTheAppAfterwards) {
    const host::Screen before = screen();
    show_storage_error("Can not save\nfile");
    EXPECT_FALSE(screen().same_pixels(before));
    press(InputKeyBack);
    EXPECT_TRUE(screen().same_pixels(before));
    EXPECT_FALSE(dialogs_.showing());
}

} // namespace
} // namespace dialogs_test
