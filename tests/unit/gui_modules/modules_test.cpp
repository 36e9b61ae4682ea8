// Module behaviour: submenu selection, popup timeout in virtual time, text input editing and
// validation, widget buttons and text copies.
#include <gui/modules/loading.h>
#include <gui/modules/popup.h>
#include <gui/modules/submenu.h>
#include <gui/modules/text_input.h>
#include <gui/modules/widget.h>

#include <cstring>
#include <string>
#include <vector>

#include "fixture.h"

namespace gui_modules_test {
namespace {

class Modules : public GuiFixture {
protected:
    /// Shows `view` under id 0 and starts the loop; the view is removed at the end of the test.
    void show(View* view) {
        view_dispatcher_add_view(dispatcher_, 0, view);
        view_dispatcher_switch_to_view(dispatcher_, 0);
        shown_ = true;
        start_loop();
    }
    void TearDown() override {
        stop_loop();
        if(shown_) view_dispatcher_remove_view(dispatcher_, 0);
        shown_ = false;
    }
    bool shown_ = false;
};

// ---- Submenu ----

struct Chosen {
    std::vector<uint32_t> indexes;
};

void record_choice(void* context, uint32_t index) {
    static_cast<Chosen*>(context)->indexes.push_back(index);
}

const std::string& selected_label(const host::Screen& screen, std::string& out) {
    // The selected item is drawn in white on its box: find the text whose box is filled.
    out.clear();
    for(const auto& text : screen.texts()) {
        if(screen.pixel(text.box.x - 2, text.box.y + 1)) out = text.text;
    }
    return out;
}

TEST_F(Modules, SubmenuMovesWithWrapAroundAndReportsTheItemIndex) {
    Submenu* submenu = submenu_alloc();
    Chosen chosen;
    submenu_add_item(submenu, "Read Tag", 10, record_choice, &chosen);
    submenu_add_item(submenu, "Saved", 11, record_choice, &chosen);
    submenu_add_item(submenu, "Settings", 12, record_choice, &chosen);
    show(submenu_get_view(submenu));
    std::string label;

    press(InputKeyOk);
    press(InputKeyUp);  // wraps to the last item
    EXPECT_EQ(selected_label(screen(), label), "Settings");
    press(InputKeyOk);
    press(InputKeyDown);  // wraps to the first
    press(InputKeyDown);
    press(InputKeyOk);
    long_press(InputKeyOk);  // a long press chooses nothing
    EXPECT_EQ(chosen.indexes, (std::vector<uint32_t>{10, 12, 11}));

    submenu_set_selected_item(submenu, 12);
    EXPECT_EQ(selected_label(screen(), label), "Settings");
    submenu_set_selected_item(submenu, 99);  // unknown: the first item
    EXPECT_EQ(selected_label(screen(), label), "Read Tag");

    submenu_reset(submenu);
    EXPECT_TRUE(screen().texts().empty());
    press(InputKeyOk);  // nothing to choose, nothing breaks
    EXPECT_EQ(chosen.indexes.size(), 3u);
    stop_loop();
    view_dispatcher_remove_view(dispatcher_, 0);
    shown_ = false;
    submenu_free(submenu);
}

TEST_F(Modules, SubmenuScrollsToKeepTheSelectionInView) {
    Submenu* submenu = submenu_alloc();
    const std::vector<std::string> labels = {"A0", "A1", "A2", "A3", "A4", "A5", "A6", "A7"};
    for(uint32_t i = 0; i < labels.size(); ++i) submenu_add_item(submenu, labels[i].c_str(), i, nullptr, nullptr);
    show(submenu_get_view(submenu));
    for(int i = 0; i < 5; ++i) press(InputKeyDown);
    const host::Screen s = screen();
    EXPECT_EQ(s.strings(), (std::vector<std::string>{"A3", "A4", "A5", "A6"}));
    press(InputKeyUp);
    press(InputKeyUp);
    press(InputKeyUp);
    EXPECT_EQ(screen().strings(), (std::vector<std::string>{"A1", "A2", "A3", "A4"}));
    stop_loop();
    view_dispatcher_remove_view(dispatcher_, 0);
    shown_ = false;
    submenu_free(submenu);
}

// ---- Popup ----

struct Fired {
    std::vector<uint32_t> ticks;
};

void record_fire(void* context) {
    static_cast<Fired*>(context)->ticks.push_back(furi_get_tick());
}

TEST_F(Modules, PopupTimeoutFiresOnceAfterExactlyItsTimeout) {
    Popup* popup = popup_alloc();
    Fired fired;
    popup_set_header(popup, "Saved!", 13, 22, AlignLeft, AlignBottom);
    popup_set_timeout(popup, 1500);
    popup_set_context(popup, &fired);
    popup_set_callback(popup, record_fire);
    popup_enable_timeout(popup);
    show(popup_get_view(popup));
    const uint32_t shown_at = furi_get_tick() - 20;  // start_loop settled 20 ms after the switch

    furi_delay_ms(1499 - 20);
    EXPECT_TRUE(fired.ticks.empty());
    furi_delay_ms(5000);
    ASSERT_EQ(fired.ticks.size(), 1u);
    EXPECT_EQ(fired.ticks[0] - shown_at, 1500u);

    // Showing it again does not re-fire without a new enable; an enable while shown counts from now.
    view_dispatcher_switch_to_view(dispatcher_, 0);
    furi_delay_ms(3000);
    EXPECT_EQ(fired.ticks.size(), 1u);
    const uint32_t enabled_at = furi_get_tick();
    popup_enable_timeout(popup);
    furi_delay_ms(3000);
    ASSERT_EQ(fired.ticks.size(), 2u);
    EXPECT_EQ(fired.ticks[1] - enabled_at, 1500u);
    stop_loop();
    view_dispatcher_remove_view(dispatcher_, 0);
    shown_ = false;
    popup_free(popup);
}

TEST_F(Modules, PopupLeftOrResetBeforeItsTimeoutNeverFires) {
    Popup* popup = popup_alloc();
    Fired fired;
    View* other = view_alloc();
    view_dispatcher_add_view(dispatcher_, 1, other);
    popup_set_timeout(popup, 1000);
    popup_set_context(popup, &fired);
    popup_set_callback(popup, record_fire);
    popup_enable_timeout(popup);
    show(popup_get_view(popup));
    furi_delay_ms(500);
    view_dispatcher_switch_to_view(dispatcher_, 1);
    furi_delay_ms(2000);
    EXPECT_TRUE(fired.ticks.empty());

    view_dispatcher_switch_to_view(dispatcher_, 0);  // the countdown starts over
    furi_delay_ms(500);
    popup_reset(popup);
    popup_enable_timeout(popup);  // no callback any more
    furi_delay_ms(3000);
    EXPECT_TRUE(fired.ticks.empty());

    stop_loop();
    view_dispatcher_remove_view(dispatcher_, 1);
    view_free(other);
    view_dispatcher_remove_view(dispatcher_, 0);
    shown_ = false;
    popup_free(popup);
}

TEST_F(Modules, PopupAndLoadingHandleBackDifferently) {
    int navigations = 0;
    view_dispatcher_set_event_callback_context(dispatcher_, &navigations);
    view_dispatcher_set_navigation_event_callback(dispatcher_, [](void* context) {
        ++*static_cast<int*>(context);
        return true;
    });
    Popup* popup = popup_alloc();
    Loading* loading = loading_alloc();
    view_dispatcher_add_view(dispatcher_, 1, loading_get_view(loading));
    show(popup_get_view(popup));
    press(InputKeyBack);  // a popup leaves Back to the app
    EXPECT_EQ(navigations, 1);
    view_dispatcher_switch_to_view(dispatcher_, 1);
    press(InputKeyBack);  // loading holds every key
    EXPECT_EQ(navigations, 1);
    stop_loop();
    view_dispatcher_remove_view(dispatcher_, 1);
    view_dispatcher_remove_view(dispatcher_, 0);
    shown_ = false;
    loading_free(loading);
    popup_free(popup);
}

// ---- Text input ----

struct NameScreen {
    char buffer[22] = "Quiet_Fox";
    int results = 0;
    bool accept = false;
    std::vector<std::string> validated;
};

class TextInputTest : public Modules {
protected:
    TextInputTest() : input_(text_input_alloc()) {}
    ~TextInputTest() override { text_input_free(input_); }  // TearDown removed its view
    void open(bool clear_default_text) {
        text_input_set_header_text(input_, "Name the tag");
        text_input_set_result_callback(
            input_, [](void* context) { ++static_cast<NameScreen*>(context)->results; }, &name_, name_.buffer,
            sizeof name_.buffer, clear_default_text);
        text_input_set_validator(
            input_,
            [](const char* text, FuriString* error, void* context) {
                auto* name = static_cast<NameScreen*>(context);
                name->validated.emplace_back(text);
                if(!name->accept) furi_string_set_str(error, "Taken!");
                return name->accept;
            },
            &name_);
        show(text_input_get_view(input_));
    }
    /// Moves from the save key (where a default text puts the selection) up to 'o', then left to 'q'.
    void go_to_q() {
        press(InputKeyUp);
        press(InputKeyUp);
        for(int i = 0; i < 8; ++i) press(InputKeyLeft);  // from 'o'
    }

    TextInput* input_;
    NameScreen name_;
};

TEST_F(TextInputTest, RefusedNameShowsTheMessageAndReportsNothing) {
    open(true);
    press(InputKeyOk);  // the save key is selected: offer the default as it is
    EXPECT_EQ(name_.validated, (std::vector<std::string>{"Quiet_Fox"}));
    EXPECT_EQ(name_.results, 0);
    EXPECT_TRUE(screen().contains("Taken!"));

    press(InputKeyLeft);  // only dismisses the message
    EXPECT_FALSE(screen().contains("Taken!"));
    EXPECT_STREQ(name_.buffer, "Quiet_Fox");

    name_.accept = true;
    press(InputKeyOk);  // still on the save key
    EXPECT_EQ(name_.results, 1);
    EXPECT_EQ(name_.validated.back(), "Quiet_Fox");
}

TEST_F(TextInputTest, MessageHidesByItselfAfterFourSeconds) {
    open(true);
    press(InputKeyOk);
    EXPECT_TRUE(screen().contains("Taken!"));
    furi_delay_ms(4000);
    EXPECT_FALSE(screen().contains("Taken!"));
}

TEST_F(TextInputTest, FirstKeyReplacesTheDefaultAndLongOkTypesTheOtherCase) {
    open(true);
    go_to_q();
    press(InputKeyOk);       // replaces the default; a first letter is a capital
    press(InputKeyOk);       // then small letters
    long_press(InputKeyOk);  // and a long press gives the capital
    EXPECT_STREQ(name_.buffer, "QqQ");
    press(InputKeyRight);
    press(InputKeyDown);  // row 1, nearest 'w' is 's'
    press(InputKeyOk);
    EXPECT_STREQ(name_.buffer, "QqQs");
}

TEST_F(TextInputTest, BackspaceAndTheBufferLimit) {
    open(false);
    EXPECT_STREQ(name_.buffer, "Quiet_Fox");
    // From q: Down to 'a', Left wraps to '6', Left, Left to '4', Left to backspace.
    press(InputKeyDown);
    for(int i = 0; i < 4; ++i) press(InputKeyLeft);
    press(InputKeyOk);
    EXPECT_STREQ(name_.buffer, "Quiet_Fo");
    press(InputKeyRight);  // '4'
    for(int i = 0; i < 20; ++i) press(InputKeyOk);
    EXPECT_EQ(std::strlen(name_.buffer), sizeof name_.buffer - 1);  // 21 characters, never more
    EXPECT_EQ(std::string(name_.buffer), "Quiet_Fo4444444444444");
    press(InputKeyLeft);  // backspace; a long press clears everything
    long_press(InputKeyOk);
    EXPECT_STREQ(name_.buffer, "");
    name_.accept = true;
    press(InputKeyDown);  // row 2: the save key is nearest
    press(InputKeyOk);    // an empty name is not saved
    EXPECT_EQ(name_.results, 0);
    EXPECT_TRUE(name_.validated.empty());
}

TEST_F(TextInputTest, BackIsLeftToTheApp) {
    int navigations = 0;
    view_dispatcher_set_event_callback_context(dispatcher_, &navigations);
    view_dispatcher_set_navigation_event_callback(dispatcher_, [](void* context) {
        ++*static_cast<int*>(context);
        return true;
    });
    open(true);
    press(InputKeyBack);
    EXPECT_EQ(navigations, 1);
    EXPECT_STREQ(name_.buffer, "Quiet_Fox");
}

TEST_F(TextInputTest, ADefaultTooLongForTheInputIsCut) {
    std::strcpy(name_.buffer, "");
    char big[129];
    std::memset(big, 'x', sizeof big - 1);
    big[128] = '\0';
    text_input_set_result_callback(input_, nullptr, nullptr, big, 22, true);
    EXPECT_EQ(std::strlen(big), 21u);
}

// ---- Widget ----

struct Pressed {
    std::vector<std::pair<GuiButtonType, InputType>> events;
};

void record_button(GuiButtonType button, InputType type, void* context) {
    static_cast<Pressed*>(context)->events.emplace_back(button, type);
}

TEST_F(Modules, WidgetButtonsGetEveryInputTypeOfTheirKey) {
    Widget* widget = widget_alloc();
    Pressed pressed;
    widget_add_button_element(widget, GuiButtonTypeLeft, "Exit", record_button, &pressed);
    widget_add_button_element(widget, GuiButtonTypeCenter, "OK", record_button, &pressed);
    widget_add_button_element(widget, GuiButtonTypeRight, "More", record_button, &pressed);
    show(widget_get_view(widget));
    press(InputKeyRight);
    EXPECT_EQ(pressed.events, (std::vector<std::pair<GuiButtonType, InputType>>{{GuiButtonTypeRight, InputTypePress},
                                  {GuiButtonTypeRight, InputTypeShort}, {GuiButtonTypeRight, InputTypeRelease}}));
    pressed.events.clear();
    long_press(InputKeyLeft);
    ASSERT_GE(pressed.events.size(), 3u);
    EXPECT_EQ(pressed.events[1], (std::pair{GuiButtonTypeLeft, InputTypeLong}));
    EXPECT_EQ(pressed.events.back(), (std::pair{GuiButtonTypeLeft, InputTypeRelease}));
    pressed.events.clear();
    press(InputKeyOk);
    press(InputKeyUp);  // no button
    EXPECT_EQ(pressed.events.size(), 3u);
    EXPECT_EQ(pressed.events[1], (std::pair{GuiButtonTypeCenter, InputTypeShort}));
    stop_loop();
    view_dispatcher_remove_view(dispatcher_, 0);
    shown_ = false;
    widget_free(widget);
}

TEST_F(Modules, WidgetKeepsCopiesOfItsTextsAndACallbackMayResetIt) {
    Widget* widget = widget_alloc();
    char* text = static_cast<char*>(malloc(32));
    std::strcpy(text, "Length: 12 bytes");
    widget_add_string_element(widget, 3, 12, AlignLeft, AlignTop, FontKeyboard, text);
    widget_add_string_multiline_element(widget, 3, 24, AlignLeft, AlignTop, FontKeyboard, text);
    widget_add_text_box_element(widget, 0, 40, 128, 10, AlignLeft, AlignTop, text, false);
    std::memset(text, 'Z', 31);
    free(text);
    widget_add_button_element(
        widget, GuiButtonTypeRight, "Next",
        [](GuiButtonType, InputType type, void* context) {
            if(type == InputTypeShort) widget_reset(static_cast<Widget*>(context));
        },
        widget);
    show(widget_get_view(widget));
    const host::Screen before = screen();
    EXPECT_EQ(before.strings(), (std::vector<std::string>{"Length: 12 bytes", "Length: 12 bytes", "Length: 12 bytes", "Next"}));
    press(InputKeyRight);
    EXPECT_TRUE(screen().texts().empty());
    stop_loop();
    view_dispatcher_remove_view(dispatcher_, 0);
    shown_ = false;
    widget_free(widget);
}

}  // namespace
}  // namespace gui_modules_test
