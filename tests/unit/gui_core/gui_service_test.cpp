// The GUI service: record, thread, layers, redraws, input routing and leaks.
#include <gtest/gtest.h>

#include <furi.h>
#include <gui/gui.h>

#include <string>
#include <vector>

#include "golden.h"
#include "host/gui.h"
#include "host/memory.h"
#include "host/runtime.h"

namespace {

using host::ms;

/// A view port that draws a label and records the input it gets.
struct Probe {
    explicit Probe(std::string text)
        : label(std::move(text))
        , view_port(view_port_alloc()) {
        view_port_draw_callback_set(view_port, draw, this);
        view_port_input_callback_set(view_port, input, this);
    }
    ~Probe() { view_port_free(view_port); }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    static void draw(Canvas* canvas, void* context) {
        auto* self = static_cast<Probe*>(context);
        self->draw_thread = furi_thread_get_name(furi_thread_get_current_id());
        ++self->draws;
        canvas_set_font(canvas, FontPrimary);
        canvas_draw_str_aligned(canvas, 64, 32, AlignCenter, AlignCenter, self->label.c_str());
    }
    static void input(InputEvent* event, void* context) {
        auto* self = static_cast<Probe*>(context);
        self->input_thread = furi_thread_get_name(furi_thread_get_current_id());
        self->events.push_back(*event);
    }
    std::vector<InputType> types() const {
        std::vector<InputType> out;
        for(const auto& e : events) out.push_back(e.type);
        return out;
    }

    std::string label;
    ViewPort* view_port;
    int draws = 0;
    std::string draw_thread;
    std::string input_thread;
    std::vector<InputEvent> events;
};

host::RuntimeOptions quiet() {
    host::RuntimeOptions o;
    o.log_to_stderr = false;
    return o;
}

class GuiServiceTest : public ::testing::Test {
protected:
    void settle() { rt_.run_for(ms(20)); }
    void press(InputKey key) { rt_.run_for(gui_.input().short_press(key) - rt_.now() + ms(20)); }

    host::Runtime rt_{quiet()};
    host::GuiService gui_{rt_};
    Gui* gui = static_cast<Gui*>(furi_record_open(RECORD_GUI));

    void TearDown() override { furi_record_close(RECORD_GUI); }
};

TEST_F(GuiServiceTest, RecordThreadAndFirstFrame) {
    EXPECT_EQ(gui, gui_.gui());
    EXPECT_EQ(gui_get_framebuffer_size(gui), 1024u);
    const auto names = rt_.thread_names();
    EXPECT_NE(std::find(names.begin(), names.end(), "GuiSrv"), names.end());
    EXPECT_EQ(gui_.frame_count(), 0u);

    Probe probe("Hello");
    gui_add_view_port(gui, probe.view_port, GuiLayerFullscreen);
    settle();
    EXPECT_GE(gui_.frame_count(), 1u);
    EXPECT_EQ(probe.draw_thread, "GuiSrv");
    EXPECT_TRUE(gui_.screen().contains("Hello"));
    gui_core_test::expect_golden(gui_.screen(), "gui_hello");

    // Updates redraw; several updates before the GUI runs make one frame.
    const auto frames = gui_.frame_count();
    probe.label = "World";
    view_port_update(probe.view_port);
    view_port_update(probe.view_port);
    view_port_update(probe.view_port);
    settle();
    EXPECT_EQ(gui_.frame_count(), frames + 1);
    EXPECT_EQ(gui_.screen().strings(), std::vector<std::string>{"World"});
    EXPECT_EQ(gui_.screen().frame_number(), gui_.frame_count());

    gui_remove_view_port(gui, probe.view_port);
    settle();
    EXPECT_EQ(gui_.screen().count_set(), 0u);
}

TEST_F(GuiServiceTest, FullscreenHidesTheLayersBelowAndDisabledPortsStepAside) {
    Probe desktop("Desk"), window("Win"), full("Full");
    gui_add_view_port(gui, desktop.view_port, GuiLayerDesktop);
    gui_add_view_port(gui, window.view_port, GuiLayerWindow);
    settle();
    EXPECT_EQ(gui_.screen().strings(), (std::vector<std::string>{"Desk", "Win"}));

    gui_add_view_port(gui, full.view_port, GuiLayerFullscreen);
    settle();
    EXPECT_EQ(gui_.screen().strings(), std::vector<std::string>{"Full"});
    press(InputKeyOk);
    EXPECT_EQ(full.events.size(), 3u);
    EXPECT_EQ(full.input_thread, "GuiSrv");
    EXPECT_TRUE(window.events.empty());

    view_port_enabled_set(full.view_port, false);
    settle();
    EXPECT_EQ(gui_.screen().strings(), (std::vector<std::string>{"Desk", "Win"}));
    press(InputKeyOk);
    EXPECT_EQ(
        window.types(),
        (std::vector<InputType>{InputTypePress, InputTypeShort, InputTypeRelease}));
    EXPECT_TRUE(desktop.events.empty());

    for(Probe* p : {&desktop, &window, &full}) gui_remove_view_port(gui, p->view_port);
    settle();
}

TEST_F(GuiServiceTest, InputGoesToTheTopmostPortAndAPressStaysWithItsPort) {
    Probe lower("Lower"), upper("Upper");
    gui_add_view_port(gui, lower.view_port, GuiLayerFullscreen);
    gui_add_view_port(gui, upper.view_port, GuiLayerFullscreen);
    press(InputKeyUp);
    EXPECT_EQ(upper.events.size(), 3u);
    EXPECT_TRUE(lower.events.empty());
    EXPECT_EQ(upper.events[0].key, InputKeyUp);
    EXPECT_EQ(upper.events[0].sequence, upper.events[2].sequence);

    gui_view_port_send_to_front(gui, lower.view_port);
    settle();
    EXPECT_EQ(gui_.screen().strings(), std::vector<std::string>{"Lower"});

    // The screen changes while Back is held: the port that saw the Press gets only its
    // Release; the new top gets nothing of that press.
    upper.events.clear();
    gui_.input().press(InputKeyBack);
    settle();
    ASSERT_EQ(lower.types(), std::vector<InputType>{InputTypePress});
    gui_view_port_send_to_front(gui, upper.view_port);
    gui_.input().release(InputKeyBack);
    settle();
    EXPECT_EQ(lower.types(), (std::vector<InputType>{InputTypePress, InputTypeRelease}));
    EXPECT_TRUE(upper.events.empty());

    // Events of a press that was never seen (held before the port came up) are dropped.
    gui_.input().send_raw(InputKeyOk, InputTypeShort);
    gui_.input().send_raw(InputKeyOk, InputTypeRelease);
    settle();
    EXPECT_TRUE(upper.events.empty());

    gui_remove_view_port(gui, lower.view_port);
    gui_remove_view_port(gui, upper.view_port);
    settle();
}

TEST_F(GuiServiceTest, FrameCallbackSeesEveryCommit) {
    std::vector<std::uint64_t> frames;
    gui_.set_frame_callback([&](const host::Screen& s) { frames.push_back(s.frame_number()); });
    Probe probe("Cb");
    gui_add_view_port(gui, probe.view_port, GuiLayerWindow);
    settle();
    view_port_update(probe.view_port);
    settle();
    EXPECT_EQ(frames, (std::vector<std::uint64_t>{1, 2}));
    gui_remove_view_port(gui, probe.view_port);
    settle();
    gui_.set_frame_callback(nullptr);
}

TEST_F(GuiServiceTest, ViewPortsLeaveNoLiveBlocks) {
    const auto before = host::memory::stats().live_blocks;
    for(int i = 0; i < 3; ++i) {
        ViewPort* vp = view_port_alloc();
        EXPECT_TRUE(view_port_is_enabled(vp));
        view_port_set_width(vp, 40);
        EXPECT_EQ(view_port_get_width(vp), 40);
        gui_add_view_port(gui, vp, GuiLayerWindow);
        settle();
        gui_remove_view_port(gui, vp);
        view_port_free(vp);
    }
    settle();
    EXPECT_EQ(host::memory::stats().live_blocks, before);
}

TEST_F(GuiServiceTest, SmallViewPortsClipToTheirSize) {
    ViewPort* vp = view_port_alloc();
    view_port_set_width(vp, 20);
    view_port_set_height(vp, 10);
    view_port_draw_callback_set(
        vp,
        [](Canvas* canvas, void*) {
            EXPECT_EQ(canvas_width(canvas), 20);
            EXPECT_EQ(canvas_height(canvas), 10);
            canvas_draw_box(canvas, 0, 0, 128, 64);
        },
        nullptr);
    gui_add_view_port(gui, vp, GuiLayerFullscreen);
    settle();
    EXPECT_EQ(gui_.screen().count_set(), 200u);
    gui_remove_view_port(gui, vp);
    view_port_free(vp);
    settle();
}

class GuiMisuse : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(GuiMisuse, LayerOutOfRangeOrDoubleAddOrFreeWhileAttached) {
    auto scenario = [](int what) {
        host::Runtime rt(quiet());
        host::GuiService service(rt);
        ViewPort* vp = view_port_alloc();
        if(what == 0) gui_add_view_port(service.gui(), vp, static_cast<GuiLayer>(7));
        gui_add_view_port(service.gui(), vp, GuiLayerFullscreen);
        if(what == 1) gui_add_view_port(service.gui(), vp, GuiLayerWindow);
        if(what == 2) view_port_free(vp);
    };
    EXPECT_DEATH(scenario(0), "< GuiLayerMAX");
    EXPECT_DEATH(scenario(1), "view_port->gui == nullptr");
    EXPECT_DEATH(scenario(2), "view_port->gui == nullptr");
}

} // namespace
