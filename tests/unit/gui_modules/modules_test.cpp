// Module behaviour as a scene sees it: submenu selection and window, popup keys and timeout in
// virtual time, loading, text input keys, editing and validation, widget buttons and text copies.
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
    press(InputKeyUp); // wraps to the last item
    EXPECT_EQ(selected_label(screen(), label), "Settings");
    press(InputKeyOk);
    press(InputKeyDown); // wraps to the first
    press(InputKeyDown);
    press(InputKeyOk);
    long_press(InputKeyOk); // a long press chooses nothing
    EXPECT_EQ(chosen.indexes, (std::vector<uint32_t>{10, 12, 11}));

    submenu_set_selected_item(submenu, 12);
    EXPECT_EQ(selected_label(screen(), label), "Settings");
    submenu_set_selected_item(submenu, 99); // unknown: the first item
    EXPECT_EQ(selected_label(screen(), label), "Read Tag");

    submenu_reset(submenu);
    EXPECT_TRUE(screen().texts().empty());
    press(InputKeyOk); // nothing to choose, nothing breaks
    EXPECT_EQ(chosen.indexes.size(), 3u);
    stop_loop();
    view_dispatcher_remove_view(dispatcher_, 0);
    shown_ = false;
    submenu_free(submenu);
}

TEST_F(Modules, SubmenuScrollsToKeepTheSelectionInView) {
    Submenu* submenu = submenu_alloc();
    const std::vector<std::string> labels = {"A0", "A1", "A2", "A3", "A4", "A5", "A6", "A7"};
    for(uint32_t i = 0; i < labels.size(); ++i)
        submenu_add_item(submenu, labels[i].c_str(), i, nullptr, nullptr);
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

// ---- Submenu selection window ----

// submenu_set_selected_item puts the item on the window's second row (the first for item 0),
// clamped to the end; an empty header counts as none (four rows).
TEST_F(Modules, SubmenuSelectedItemSetsTheWindow) {
    struct Case {
        const char* header;
        uint32_t count;
        uint32_t select;
        std::vector<std::string> shown;
    };
    const Case cases[] = {
        {nullptr, 8, 0, {"A0", "A1", "A2", "A3"}},
        {nullptr, 8, 3, {"A2", "A3", "A4", "A5"}},
        {nullptr, 8, 6, {"A4", "A5", "A6", "A7"}},
        {"", 8, 5, {"A4", "A5", "A6", "A7"}},
        {"Bank", 8, 5, {"Bank", "A4", "A5", "A6"}},
        {"Bank", 8, 7, {"Bank", "A5", "A6", "A7"}},
        {"Bank", 3, 2, {"Bank", "A0", "A1", "A2"}},
        {nullptr, 4, 3, {"A0", "A1", "A2", "A3"}},
    };
    Submenu* submenu = submenu_alloc();
    show(submenu_get_view(submenu));
    std::vector<std::string> labels;
    for(int i = 0; i < 8; ++i) labels.push_back("A" + std::to_string(i));
    for(const Case& c : cases) {
        submenu_reset(submenu);
        submenu_set_header(submenu, c.header);
        for(uint32_t i = 0; i < c.count; ++i)
            submenu_add_item(submenu, labels[i].c_str(), i, nullptr, nullptr);
        submenu_set_selected_item(submenu, c.select);
        const host::Screen s = screen();
        EXPECT_EQ(s.strings(), c.shown)
            << "header " << (c.header ? c.header : "(none)") << ", item " << c.select;
        // The scroll bar: full height whatever the header, its block at 64 / count * position.
        const int block_top = 64 * static_cast<int>(c.select) / static_cast<int>(c.count);
        EXPECT_TRUE(s.pixel(125, block_top) && s.pixel(127, block_top)) << "item " << c.select;
        EXPECT_TRUE(s.pixel(126, block_top == 0 ? 62 : 0)) << "the dotted line";
    }
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

class PopupTest : public Modules {
protected:
    PopupTest()
        : popup_(popup_alloc())
        , other_(view_alloc()) {
        view_dispatcher_add_view(dispatcher_, 1, other_);
        popup_set_context(popup_, &fired_);
        popup_set_callback(popup_, record_fire);
        popup_set_timeout(popup_, 1000);
    }
    ~PopupTest() override {
        stop_loop();
        view_dispatcher_remove_view(dispatcher_, 1);
        view_free(other_);
        popup_free(popup_); // TearDown removed its view
    }
    void enter() {
        view_dispatcher_switch_to_view(dispatcher_, 0);
        settle(0);
        entered_at_ = furi_get_tick();
    }
    void leave() { view_dispatcher_switch_to_view(dispatcher_, 1); }
    /// Milliseconds from the last enter to each firing.
    std::vector<uint32_t> since_enter() const {
        std::vector<uint32_t> out;
        for(uint32_t t : fired_.ticks) out.push_back(t - entered_at_);
        return out;
    }

    Popup* popup_;
    View* other_;
    Fired fired_;
    uint32_t entered_at_ = 0;
};

TEST_F(PopupTest, TheTimeoutRunsFromEachEnterOnly) {
    popup_enable_timeout(popup_);
    show(popup_get_view(popup_));
    entered_at_ = furi_get_tick() - 20; // start_loop settled 20 ms after the switch
    furi_delay_ms(3000);
    EXPECT_EQ(since_enter(), (std::vector<uint32_t>{1000}));

    // Every enter restarts it while it stays enabled; leaving stops it.
    fired_.ticks.clear();
    enter();
    furi_delay_ms(600);
    leave();
    furi_delay_ms(2000);
    EXPECT_TRUE(fired_.ticks.empty());
    enter();
    furi_delay_ms(1500);
    EXPECT_EQ(since_enter(), (std::vector<uint32_t>{1000}));

    // Enabling while shown starts nothing; the next enter does.
    fired_.ticks.clear();
    popup_disable_timeout(popup_);
    enter();
    popup_enable_timeout(popup_);
    furi_delay_ms(3000);
    EXPECT_TRUE(fired_.ticks.empty());
    enter();
    furi_delay_ms(1500);
    EXPECT_EQ(since_enter(), (std::vector<uint32_t>{1000}));

    // Disabling while shown does not stop a countdown that runs.
    fired_.ticks.clear();
    enter();
    popup_disable_timeout(popup_);
    furi_delay_ms(1500);
    EXPECT_EQ(since_enter(), (std::vector<uint32_t>{1000}));
}

TEST_F(PopupTest, AfterResetThePeriodIsZero) {
    show(popup_get_view(popup_));
    leave();
    popup_reset(popup_);
    popup_set_context(popup_, &fired_);
    popup_set_callback(popup_, record_fire);
    popup_enable_timeout(popup_);
    enter();
    furi_delay_ms(100);
    EXPECT_EQ(since_enter(), (std::vector<uint32_t>{1})); // a zero period is one tick
}

TEST_F(PopupTest, WithACallbackEveryShortKeyCallsItAndBackDoesNotNavigate) {
    int navigations = 0;
    view_dispatcher_set_event_callback_context(dispatcher_, &navigations);
    view_dispatcher_set_navigation_event_callback(dispatcher_, [](void* context) {
        ++*static_cast<int*>(context);
        return true;
    });
    show(popup_get_view(popup_));
    for(InputKey key :
        {InputKeyBack, InputKeyOk, InputKeyUp, InputKeyDown, InputKeyLeft, InputKeyRight})
        press(key);
    EXPECT_EQ(fired_.ticks.size(), 6u);
    EXPECT_EQ(navigations, 0);
    long_press(InputKeyOk); // not a short press
    EXPECT_EQ(fired_.ticks.size(), 6u);

    popup_set_callback(popup_, nullptr); // without one, Back is the app's
    press(InputKeyBack);
    EXPECT_EQ(navigations, 1);
}

TEST_F(PopupTest, ShowsTheCallersTextsAsTheyAreNow) {
    char header[16] = "Saved!";
    popup_set_header(popup_, header, 13, 22, AlignLeft, AlignBottom);
    show(popup_get_view(popup_));
    EXPECT_TRUE(screen().contains("Saved!"));
    std::strcpy(header, "Deleted"); // the popup keeps the pointer, not a copy
    view_dispatcher_switch_to_view(dispatcher_, 0);
    EXPECT_TRUE(screen().contains("Deleted"));
    popup_set_header(popup_, nullptr, 0, 0, AlignLeft, AlignTop);
    EXPECT_TRUE(screen().texts().empty());
}

TEST_F(Modules, LoadingSwallowsEveryKey) {
    int navigations = 0;
    view_dispatcher_set_event_callback_context(dispatcher_, &navigations);
    view_dispatcher_set_navigation_event_callback(dispatcher_, [](void* context) {
        ++*static_cast<int*>(context);
        return true;
    });
    Loading* loading = loading_alloc();
    show(loading_get_view(loading));
    press(InputKeyBack);
    long_press(InputKeyBack);
    EXPECT_EQ(navigations, 0);
    stop_loop();
    view_dispatcher_remove_view(dispatcher_, 0);
    shown_ = false;
    loading_free(loading);
}

// ---- Text input ----

struct NameScreen {
    char buffer[22] = "Quiet_Fox";
    int results = 0;
    bool accept = false;
    std::vector<std::string> validated;
    int navigations = 0;
};

class TextInputTest : public Modules {
protected:
    TextInputTest()
        : input_(text_input_alloc()) {
        view_dispatcher_set_event_callback_context(dispatcher_, &name_);
        view_dispatcher_set_navigation_event_callback(dispatcher_, [](void* context) {
            ++static_cast<NameScreen*>(context)->navigations;
            return true;
        });
    }
    ~TextInputTest() override { text_input_free(input_); } // TearDown removed its view
    void open(bool clear_default_text) {
        arm(clear_default_text);
        show(text_input_get_view(input_));
    }
    void arm(bool clear_default_text) {
        text_input_set_header_text(input_, "Name the tag");
        text_input_set_result_callback(
            input_,
            [](void* context) { ++static_cast<NameScreen*>(context)->results; },
            &name_,
            name_.buffer,
            sizeof name_.buffer,
            clear_default_text);
        text_input_set_validator(
            input_,
            [](const char* text, FuriString* error, void* context) {
                auto* name = static_cast<NameScreen*>(context);
                name->validated.emplace_back(text);
                if(!name->accept) furi_string_set_str(error, "Taken!");
                return name->accept;
            },
            &name_);
    }
    /// Starts over with `text` in the buffer and the selection on 'q' (empty) or save (not empty).
    void restart(const char* text, bool clear_default_text = false) {
        text_input_reset(input_);
        std::strcpy(name_.buffer, text);
        arm(clear_default_text);
        name_.validated.clear();
    }
    /// U, D, L, R: short presses of the arrows.
    void moves(const std::string& keys) {
        for(char k : keys) {
            press(
                k == 'U' ? InputKeyUp :
                k == 'D' ? InputKeyDown :
                k == 'L' ? InputKeyLeft :
                           InputKeyRight);
        }
    }

    TextInput* input_;
    NameScreen name_;
};

TEST_F(TextInputTest, RefusedNameShowsTheMessageAndReportsNothing) {
    open(true);
    press(InputKeyOk); // the save key is selected: offer the default as it is
    EXPECT_EQ(name_.validated, (std::vector<std::string>{"Quiet_Fox"}));
    EXPECT_EQ(name_.results, 0);
    EXPECT_TRUE(screen().contains("Taken!"));

    press(InputKeyBack); // only dismisses the message, even Back
    EXPECT_FALSE(screen().contains("Taken!"));
    EXPECT_EQ(name_.navigations, 0);
    EXPECT_STREQ(name_.buffer, "Quiet_Fox");

    name_.accept = true;
    press(InputKeyOk); // still on the save key
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

// Up and Down between rows of different lengths, from the save key (where a text in the buffer
// puts the focus), each route ending in OK on the key it reached.
TEST_F(TextInputTest, KeyboardRoutes) {
    struct Case {
        const char* route;
        const char* buffer; // after OK
        int results;
    };
    const Case cases[] = {
        {"", "x", 1},     // save
        {"U", "", 0},     // backspace
        {"UU", "x0", 0},  // Up from backspace is '0'
        {"UUD", "", 0},   // and Down from '0' is backspace again
        {"UUDD", "x", 1}, // then save
        {"R", "x7", 0},
        {"RU", "x4", 0},
        {"RUU", "x1", 0},
        {"L", "x_", 0},
        {"LU", "xk", 0},
        {"RRRU", "x6", 0},
        {"RRRUU", "x3", 0},
        {"RRRUUD", "x6", 0},
        {"RRRUUDD", "x9", 0},
        {"RRRR", "xz", 0}, // Right wraps within the row
        {"DDDU", "", 0},   // Down on the last row stays; Up to backspace
    };
    name_.accept = true;
    open(false);
    for(const Case& c : cases) {
        restart("x");
        name_.results = 0;
        moves(c.route);
        press(InputKeyOk);
        EXPECT_STREQ(name_.buffer, c.buffer) << "route " << c.route;
        EXPECT_EQ(name_.results, c.results) << "route " << c.route;
    }
}

TEST_F(TextInputTest, KeyRules) {
    struct Case {
        const char* what;
        const char* text;
        bool clear_default;
        const char* route; // from 'q' for an empty text, else from save
        bool long_ok;
        const char* result;
    };
    const Case cases[] = {
        {"the default is replaced, a capital first", "Quiet_Fox", true, "UUL", false, "P"},
        {"then small letters", "Q", false, "UUL", false, "Qp"},
        {"a long OK types the other case", "Q", false, "UUL", true, "QP"},
        {"an empty text starts with a capital", "", false, "R", false, "W"},
        {"a long OK on backspace deletes one character", "abc", false, "U", true, "ab"},
        {"backspace deletes the whole default", "Quiet_Fox", true, "U", false, ""},
        {"'_' is a space in an empty text", "", false, "DDLLLLL", false, " "},
        {"'_' is a space over the default", "ab", true, "L", false, " "},
        {"'_' is a space when OK is held", "ab", false, "L", true, "ab "},
        {"'_' otherwise", "ab", false, "L", false, "ab_"},
        {"digits have no case", "", false, "LLLL", false, "0"},
    };
    open(false);
    for(const Case& c : cases) {
        restart(c.text, c.clear_default);
        moves(c.route);
        if(c.long_ok) {
            long_press(InputKeyOk);
        } else {
            press(InputKeyOk);
        }
        EXPECT_STREQ(name_.buffer, c.result) << c.what;
    }
}

TEST_F(TextInputTest, HeldKeys) {
    open(false);               // "Quiet_Fox": the save key
    long_press(InputKeyRight); // Long at 300 ms and one Repeat at 450: two moves, to '8'
    press(InputKeyOk);
    EXPECT_STREQ(name_.buffer, "Quiet_Fox8");

    long_press(InputKeyBack); // Long and Repeat each delete one, and Back does not navigate
    EXPECT_STREQ(name_.buffer, "Quiet_Fo");
    EXPECT_EQ(name_.navigations, 0);
    press(InputKeyBack); // a short Back is the app's
    EXPECT_EQ(name_.navigations, 1);
    EXPECT_STREQ(name_.buffer, "Quiet_Fo");
}

TEST_F(TextInputTest, TheBufferLimitAndTheValidatorOnAnEmptyText) {
    open(false);
    moves("R"); // '7'
    for(int i = 0; i < 20; ++i) press(InputKeyOk);
    EXPECT_EQ(std::string(name_.buffer), "Quiet_Fox777777777777"); // 21 characters, never more
    restart("");
    moves("DDRRRRRRRR"); // from 'q' to save
    name_.accept = true;
    press(InputKeyOk);
    EXPECT_EQ(name_.validated, (std::vector<std::string>{""})); // it runs even on an empty text
    EXPECT_EQ(name_.results, 0);                                // but an empty text is not saved
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
    EXPECT_EQ(
        pressed.events,
        (std::vector<std::pair<GuiButtonType, InputType>>{
            {GuiButtonTypeRight, InputTypePress},
            {GuiButtonTypeRight, InputTypeShort},
            {GuiButtonTypeRight, InputTypeRelease}}));
    pressed.events.clear();
    long_press(InputKeyLeft);
    ASSERT_GE(pressed.events.size(), 3u);
    EXPECT_EQ(pressed.events[1], (std::pair{GuiButtonTypeLeft, InputTypeLong}));
    EXPECT_EQ(pressed.events.back(), (std::pair{GuiButtonTypeLeft, InputTypeRelease}));
    pressed.events.clear();
    press(InputKeyOk);
    press(InputKeyUp); // no button
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
        widget,
        GuiButtonTypeRight,
        "Next",
        [](GuiButtonType, InputType type, void* context) {
            if(type == InputTypeShort) widget_reset(static_cast<Widget*>(context));
        },
        widget);
    show(widget_get_view(widget));
    const host::Screen before = screen();
    EXPECT_EQ(
        before.strings(),
        (std::vector<std::string>{
            "Length: 12 bytes", "Length: 12 bytes", "Length: 12 bytes", "Next"}));
    press(InputKeyRight);
    EXPECT_TRUE(screen().texts().empty());
    stop_loop();
    view_dispatcher_remove_view(dispatcher_, 0);
    shown_ = false;
    widget_free(widget);
}

} // namespace
} // namespace gui_modules_test
