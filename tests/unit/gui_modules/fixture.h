// A running GUI for module tests: runtime, GUI service, a view dispatcher attached full screen and
// its loop on an "app" thread, while the test thread presses keys and lets virtual time pass.
#pragma once
#include <gtest/gtest.h>

#include <furi.h>
#include <gui/icon_i.h>
#include <gui/view_dispatcher.h>

#include <string>

#include "host/gui.h"
#include "host/runtime.h"

namespace gui_modules_test {

using host::ms;

inline host::RuntimeOptions quiet() {
    host::RuntimeOptions options;
    options.log_to_stderr = false;
    return options;
}

inline std::string golden_path(const std::string& name) {
    return std::string(TEST_DATA_DIR) + "/golden/gui_modules/" + name + ".png";
}

inline void expect_golden(const host::Screen& screen, const std::string& name) {
    const host::GoldenResult result = host::check_golden(screen, golden_path(name));
    EXPECT_TRUE(result.ok) << result.message;
}

/// A 10x10 checker icon for popups and widgets.
inline const Icon* test_icon() {
    static const uint8_t frame[] = {0x55, 0x01, 0xAA, 0x02, 0x55, 0x01, 0xAA, 0x02, 0x55, 0x01,
                                    0xAA, 0x02, 0x55, 0x01, 0xAA, 0x02, 0x55, 0x01, 0xAA, 0x02};
    static const uint8_t* const frames[] = {frame};
    static const Icon icon = {10, 10, 1, 0, frames};
    return &icon;
}

class GuiFixture : public ::testing::Test {
protected:
    GuiFixture()
        : gui_(rt_) {
        dispatcher_ = view_dispatcher_alloc();
        view_dispatcher_enable_queue(dispatcher_);
        view_dispatcher_attach_to_gui(dispatcher_, gui_.gui(), ViewDispatcherTypeFullscreen);
    }

    ~GuiFixture() override {
        stop_loop();
        view_dispatcher_free(dispatcher_);
    }

    void start_loop() {
        loop_ = furi_thread_alloc_ex("app", 4096, run_loop, dispatcher_);
        furi_thread_start(loop_);
        settle();
    }

    /// Ends the loop (if it still runs) and waits for its thread.
    void stop_loop() {
        if(loop_ == nullptr) return;
        if(furi_thread_get_state(loop_) != FuriThreadStateStopped)
            view_dispatcher_stop(dispatcher_);
        furi_thread_join(loop_);
        furi_thread_free(loop_);
        loop_ = nullptr;
    }

    bool loop_running() const {
        return loop_ != nullptr && furi_thread_get_state(loop_) != FuriThreadStateStopped;
    }

    /// Lets the app and GUI threads catch up.
    void settle(uint32_t time_ms = 20) { furi_delay_ms(time_ms); }

    void press(InputKey key) {
        gui_.input().short_press(key);
        settle(100);
    }

    void long_press(InputKey key) {
        gui_.input().long_press(key);
        settle(600);
    }

    host::Screen screen() {
        settle();
        return gui_.screen();
    }

    host::Runtime rt_{quiet()};
    host::GuiService gui_;
    ViewDispatcher* dispatcher_ = nullptr;
    FuriThread* loop_ = nullptr;

private:
    static int32_t run_loop(void* context) {
        view_dispatcher_run(static_cast<ViewDispatcher*>(context));
        return 0;
    }
};

} // namespace gui_modules_test
