// Golden screens of each module in its typical states, through the real GUI pipeline.
#include <gui/modules/loading.h>
#include <gui/modules/popup.h>
#include <gui/modules/submenu.h>
#include <gui/modules/text_input.h>
#include <gui/modules/widget.h>

#include <cstring>

#include "fixture.h"

namespace gui_modules_test {
namespace {

class Golden : public GuiFixture {};

void no_op(void*, uint32_t) {}

TEST_F(Golden, SubmenuWithoutHeaderFirstItemSelected) {
    Submenu* submenu = submenu_alloc();
    submenu_add_item(submenu, "Read Tag", 0, no_op, nullptr);
    submenu_add_item(submenu, "Saved", 1, no_op, nullptr);
    submenu_add_item(submenu, "Settings", 2, no_op, nullptr);
    view_dispatcher_add_view(dispatcher_, 0, submenu_get_view(submenu));
    view_dispatcher_switch_to_view(dispatcher_, 0);
    expect_golden(screen(), "submenu_plain");
    view_dispatcher_remove_view(dispatcher_, 0);
    submenu_free(submenu);
}

TEST_F(Golden, SubmenuWithHeaderScrolledWithScrollBar) {
    Submenu* submenu = submenu_alloc();
    submenu_set_header(submenu, "Pick a bank");
    const char* labels[] = {
        "Reserved",
        "EPC",
        "TID",
        "User",
        "Kill password",
        "Access password",
        "A label far too long to fit the menu width"};
    for(uint32_t i = 0; i < 7; ++i) submenu_add_item(submenu, labels[i], i, no_op, nullptr);
    submenu_set_selected_item(submenu, 6);
    view_dispatcher_add_view(dispatcher_, 0, submenu_get_view(submenu));
    view_dispatcher_switch_to_view(dispatcher_, 0);
    expect_golden(screen(), "submenu_header_scrolled");
    view_dispatcher_remove_view(dispatcher_, 0);
    submenu_free(submenu);
}

TEST_F(Golden, PopupWithIconHeaderAndText) {
    Popup* popup = popup_alloc();
    popup_set_icon(popup, 4, 20, test_icon());
    popup_set_header(popup, "Detecting\n[UHF] RFID\nTag", 68, 30, AlignLeft, AlignTop);
    popup_set_text(popup, "Hold the tag\nnear the reader", 2, 2, AlignLeft, AlignTop);
    view_dispatcher_add_view(dispatcher_, 1, popup_get_view(popup));
    view_dispatcher_switch_to_view(dispatcher_, 1);
    expect_golden(screen(), "popup");
    view_dispatcher_remove_view(dispatcher_, 1);
    popup_free(popup);
}

TEST_F(Golden, LoadingAnimates) {
    Loading* loading = loading_alloc();
    view_dispatcher_add_view(dispatcher_, 2, loading_get_view(loading));
    view_dispatcher_switch_to_view(dispatcher_, 2);
    const host::Screen first = screen();
    expect_golden(first, "loading_start");
    furi_delay_ms(600); // four frames later
    const host::Screen later = screen();
    expect_golden(later, "loading_later");
    EXPECT_FALSE(first.same_pixels(later));
    view_dispatcher_remove_view(dispatcher_, 2);
    loading_free(loading);
}

TEST_F(Golden, TextInputDefaultSelectedThenTypedThenRefused) {
    TextInput* input = text_input_alloc();
    char buffer[22] = "Tag_Quiet_Fox";
    text_input_set_header_text(input, "Name the tag");
    text_input_set_result_callback(
        input, [](void*) {}, nullptr, buffer, sizeof buffer, true);
    text_input_set_validator(
        input,
        [](const char*, FuriString* error, void*) {
            furi_string_set_str(error, "This name\nexists!\nChoose\nanother one.");
            return false;
        },
        nullptr);
    view_dispatcher_add_view(dispatcher_, 3, text_input_get_view(input));
    view_dispatcher_switch_to_view(dispatcher_, 3);
    start_loop();
    expect_golden(screen(), "text_input_default");

    press(InputKeyUp);   // save -> backspace
    press(InputKeyLeft); // -> 'l', then type it twice
    press(InputKeyOk);
    press(InputKeyOk);
    expect_golden(screen(), "text_input_typed");
    EXPECT_STREQ(buffer, "Ll");

    press(InputKeyDown); // 'l' -> the save key
    press(InputKeyOk);
    expect_golden(screen(), "text_input_refused");

    stop_loop();
    view_dispatcher_remove_view(dispatcher_, 3);
    text_input_free(input);
}

TEST_F(Golden, WidgetStringsMultilineAndButtons) {
    Widget* widget = widget_alloc();
    widget_add_string_element(widget, 32, 5, AlignLeft, AlignCenter, FontPrimary, "Read Success");
    widget_add_string_element(widget, 3, 18, AlignLeft, AlignCenter, FontPrimary, "PC :");
    widget_add_string_element(widget, 66, 18, AlignLeft, AlignCenter, FontPrimary, "CRC :");
    widget_add_string_element(widget, 26, 19, AlignLeft, AlignCenter, FontKeyboard, "3000");
    widget_add_string_element(widget, 96, 19, AlignLeft, AlignCenter, FontKeyboard, "1A2B");
    widget_add_string_element(widget, 3, 32, AlignLeft, AlignCenter, FontPrimary, "EPC :");
    widget_add_string_multiline_element(
        widget, 34, 29, AlignLeft, AlignTop, FontKeyboard, "E2 00 00 17 22 0B 01 23 45 67 89 AB ");
    widget_add_button_element(widget, GuiButtonTypeRight, "More", nullptr, nullptr);
    widget_add_button_element(widget, GuiButtonTypeLeft, "Exit", nullptr, nullptr);
    view_dispatcher_add_view(dispatcher_, 4, widget_get_view(widget));
    view_dispatcher_switch_to_view(dispatcher_, 4);
    expect_golden(screen(), "widget_read_result");
    view_dispatcher_remove_view(dispatcher_, 4);
    widget_free(widget);
}

TEST_F(Golden, WidgetBoldTextBoxCentreButtonAndDots) {
    Widget* widget = widget_alloc();
    char question[64];
    snprintf(question, sizeof question, "\x1b#Delete %s?\x1b#", "Tag_Quiet_Fox");
    widget_add_text_box_element(widget, 0, 0, 128, 23, AlignCenter, AlignCenter, question, false);
    widget_add_text_box_element(
        widget,
        0,
        24,
        128,
        24,
        AlignLeft,
        AlignTop,
        "A text box whose words run on well past the two lines it has, so it ends in dots",
        true);
    widget_add_button_element(widget, GuiButtonTypeLeft, "Back", nullptr, nullptr);
    widget_add_button_element(widget, GuiButtonTypeCenter, "OK", nullptr, nullptr);
    widget_add_button_element(widget, GuiButtonTypeRight, "Delete", nullptr, nullptr);
    view_dispatcher_add_view(dispatcher_, 4, widget_get_view(widget));
    view_dispatcher_switch_to_view(dispatcher_, 4);
    const host::Screen shown = screen();
    expect_golden(shown, "widget_text_box");
    EXPECT_TRUE(shown.contains("Delete Tag_Quiet_Fox?"));
    const host::DrawnText* bold = shown.find("Delete");
    ASSERT_NE(bold, nullptr);
    EXPECT_EQ(bold->font, FontPrimary);
    EXPECT_TRUE(shown.contains("...")) << shown.describe_texts();
    view_dispatcher_remove_view(dispatcher_, 4);
    widget_free(widget);
}

// The text scroll: per-line formats, a line broken where it passes the box (less the scroll bar's
// 4 px), lines one leading apart from the top, Up and Down moving one line within the positions
// the text needs, and the scroll bar beside the box.
TEST_F(Golden, WidgetTextScrollFormatsWrapsAndScrolls) {
    Widget* widget = widget_alloc();
    widget_add_text_scroll_element(
        widget,
        0,
        0,
        128,
        50,
        "\x1b#Bold title\n\x1b" "cCentred\n\x1b*10 11 12 13 14 15 16 17 18 19\nplain\n\x1brright\nlast");
    widget_add_button_element(widget, GuiButtonTypeLeft, "Back", nullptr, nullptr);
    view_dispatcher_add_view(dispatcher_, 4, widget_get_view(widget));
    view_dispatcher_switch_to_view(dispatcher_, 4);
    start_loop();
    const auto top_line = [&] {
        const host::Screen s = screen();
        const host::DrawnText* top = nullptr;
        for(const auto& t : s.texts())
            if(t.text != "Back" && (top == nullptr || t.baseline < top->baseline)) top = &t;
        return top != nullptr ? top->text : std::string();
    };
    EXPECT_EQ(top_line(), "Bold title");
    EXPECT_EQ(screen().find("Bold title")->font, FontPrimary);
    press(InputKeyUp); // at the top already
    EXPECT_EQ(top_line(), "Bold title");
    press(InputKeyDown);
    press(InputKeyDown);
    const host::Screen scrolled = screen();
    expect_golden(scrolled, "widget_text_scroll");
    EXPECT_EQ(top_line(), "10 11 12 13 14 15 16");
    EXPECT_EQ(scrolled.find("10 11")->font, FontKeyboard);
    EXPECT_EQ(scrolled.find("17 18")->text, " 17 18 19") << "broken between characters";
    for(int i = 0; i < 5; ++i) press(InputKeyDown);
    EXPECT_EQ(top_line(), " 17 18 19") << "stops where the last line shows";
    EXPECT_TRUE(screen().contains("last"));
    stop_loop();
    view_dispatcher_remove_view(dispatcher_, 4);
    widget_free(widget);
}

} // namespace
} // namespace gui_modules_test
