// The whole app on the host runtime: GUI service, input with the device's timing and the virtual
// MX2125 on PC0.
#include <gtest/gtest.h>

#include <furi.h>
#include <furi_hal.h>

#include <optional>
#include <string>

#include "devices/mx2125.h"
#include "host/gui.h"
#include "host/memory.h"
#include "host/runtime.h"
#include "pacewick.h"

namespace {

using host::ms;

class PacewickAppTest : public ::testing::Test {
protected:
    void TearDown() override {
        if(thread_ != nullptr) quit();
    }

    void launch() {
        live_before_ = host::memory::stats().live_blocks;
        thread_ = furi_thread_alloc_ex("pacewick", 2048, pacewick_app, nullptr);
        furi_thread_start(thread_);
        rt_.run_for(ms(50));
        ASSERT_EQ(furi_thread_get_state(thread_), FuriThreadStateRunning);
    }

    /// Leaves with a short Back and collects the thread; the return code is the app's.
    int32_t quit() {
        if(app_running()) gui_->input().short_press(InputKeyBack);
        furi_thread_join(thread_);
        const int32_t code = furi_thread_get_return_code(thread_);
        furi_thread_free(thread_);
        thread_ = nullptr;
        return code;
    }

    void short_press(InputKey key) { settle_after(gui_->input().short_press(key)); }
    void long_press(InputKey key) { settle_after(gui_->input().long_press(key)); }
    void settle_after(host::Nanos at) { rt_.run_for(at - rt_.now() + ms(20)); }

    bool app_running() { return furi_thread_get_state(thread_) == FuriThreadStateRunning; }
    host::Screen screen() { return gui_->screen(); }
    std::string steps_line() {
        const auto s = screen();
        const auto* text = s.find("Steps:");
        return text ? text->text : "(no count line)";
    }
    std::string label() {
        const auto s = screen();
        if(s.find("STOP")) return "STOP";
        if(s.find("START")) return "START";
        return "(no label)";
    }

    /// One dip of the vertical acceleration below 0 g: the pulses go below half and back.
    void dip() {
        mx_.set_acceleration(-0.5);
        rt_.run_for(ms(50));
        mx_.set_acceleration(1.0);
        rt_.run_for(ms(50));
    }

    host::Runtime rt_{host::RuntimeOptions{.log_to_stderr = false}};
    std::optional<host::GuiService> gui_{std::in_place, rt_};
    sim::Mx2125 mx_{rt_};
    FuriThread* thread_ = nullptr;
    std::size_t live_before_ = 0;
};

TEST_F(PacewickAppTest, LaunchScreenShowsZeroStepsTopLeftAndStartCentredAtTheBottom) {
    launch();
    const auto s = screen();
    ASSERT_EQ(s.texts().size(), 2u) << s.describe_texts();

    const auto* count = s.find("Steps: 0");
    ASSERT_NE(count, nullptr) << s.describe_texts();
    EXPECT_EQ(count->text, "Steps: 0");
    EXPECT_EQ(count->x, 1);
    EXPECT_EQ(count->y, 1);
    EXPECT_EQ(count->horizontal, AlignLeft);
    EXPECT_EQ(count->vertical, AlignTop);

    const auto* start = s.find("START");
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(start->x, 64);
    EXPECT_EQ(start->y, 63);
    EXPECT_EQ(start->horizontal, AlignCenter);
    EXPECT_EQ(start->vertical, AlignBottom);

    // Both texts are on the screen, inked, and nowhere else is.
    EXPECT_GT(s.count_set(), 0u);
    for(const auto* text : {count, start}) {
        EXPECT_GE(text->box.x, 0);
        EXPECT_LE(text->box.x + text->box.width, host::Screen::kWidth);
        EXPECT_GE(text->box.y, 0);
        EXPECT_LE(text->box.y + text->box.height, host::Screen::kHeight);
    }
}

TEST_F(PacewickAppTest, OkShortTogglesTheLabelAndStepsCountTheSameInBothStates) {
    launch();
    mx_.start();
    rt_.run_for(ms(200)); // at rest: +1 g, never below half
    EXPECT_EQ(steps_line(), "Steps: 0");

    dip();
    EXPECT_EQ(steps_line(), "Steps: 2");
    EXPECT_EQ(label(), "START");

    short_press(InputKeyOk);
    EXPECT_EQ(label(), "STOP");
    dip();
    EXPECT_EQ(steps_line(), "Steps: 4");

    short_press(InputKeyOk);
    EXPECT_EQ(label(), "START");
    for(int i = 0; i < 60; ++i) dip();
    EXPECT_EQ(steps_line(), "Steps: 124"); // past any narrow-format wrap or truncation
    EXPECT_EQ(quit(), 0);
}

TEST_F(PacewickAppTest, OnlyShortOkAndShortBackAct) {
    launch();
    long_press(InputKeyOk);
    gui_->input().send_raw(InputKeyOk, InputTypePress);
    gui_->input().send_raw(InputKeyOk, InputTypeRelease);
    gui_->input().send_raw(InputKeyOk, InputTypeRepeat);
    for(InputKey key : {InputKeyUp, InputKeyDown, InputKeyLeft, InputKeyRight}) {
        short_press(key);
        long_press(key);
    }
    long_press(InputKeyBack);
    gui_->input().send_raw(InputKeyBack, InputTypePress);
    gui_->input().send_raw(InputKeyBack, InputTypeRelease);
    rt_.run_for(ms(100));

    EXPECT_TRUE(app_running());
    EXPECT_EQ(label(), "START");
    EXPECT_EQ(steps_line(), "Steps: 0");

    gui_->input().short_press(InputKeyBack);
    rt_.run_for(ms(200));
    EXPECT_FALSE(app_running());
    EXPECT_EQ(quit(), 0);
}

TEST_F(PacewickAppTest, PinHighAtLaunchReadsLowAsOnTheDevice) {
    // The sensor is in a pulse when the app starts, but the start-up read comes before the pin is
    // configured: in analog mode it reads 0, so the first fall at rest counts nothing.
    rt_.gpio().set_input(gpio_ext_pc0, true);
    launch();
    EXPECT_EQ(steps_line(), "Steps: 0");
    mx_.start(ms(5));
    rt_.run_for(ms(500));
    EXPECT_EQ(steps_line(), "Steps: 0");
}

TEST_F(PacewickAppTest, ExitReleasesEverythingAndUnhooksThePin) {
    launch();
    mx_.start();
    dip();
    short_press(InputKeyOk);
    ASSERT_TRUE(rt_.gpio().has_interrupt_callback(gpio_ext_pc0));

    EXPECT_EQ(quit(), 0);
    EXPECT_FALSE(rt_.gpio().has_interrupt_callback(gpio_ext_pc0));
    // The pin keeps its configuration; edges after exit reach nobody.
    EXPECT_EQ(rt_.gpio().mode(gpio_ext_pc0), GpioModeInterruptRiseFall);
    dip();
    EXPECT_EQ(host::memory::stats().live_blocks, live_before_);
}

} // namespace
