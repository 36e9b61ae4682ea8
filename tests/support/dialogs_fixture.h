// A running GUI, SD card and dialogs service for dialog tests: the dialog call runs on an "app"
// thread and blocks there, while the test thread presses keys, lets virtual time pass and looks
// at the screen.
#pragma once
#include <gtest/gtest.h>

#include <dialogs/dialogs.h>
#include <furi.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>

#include "host/dialogs.h"
#include "host/gui.h"
#include "host/runtime.h"
#include "host/storage.h"

namespace dialogs_test {

namespace fs = std::filesystem;

inline host::RuntimeOptions quiet() {
    host::RuntimeOptions options;
    options.log_to_stderr = false;
    return options;
}

inline fs::path unique_root(const char* area) {
    return fs::temp_directory_path() /
           (std::string(area) + "_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
}

class DialogsFixture : public ::testing::Test {
protected:
    DialogsFixture()
        : root_(unique_root("dialogs"))
        , gui_(rt_)
        , storage_(rt_, root_, "corvane")
        , dialogs_(rt_) {
        app_ = static_cast<DialogsApp*>(furi_record_open(RECORD_DIALOGS));
    }

    ~DialogsFixture() override {
        finish_app();
        furi_record_close(RECORD_DIALOGS);
        std::error_code error;
        fs::remove_all(root_, error);
    }

    /// Runs fn on the app thread (app id "corvane") and returns once it has started and blocked.
    void run_app(std::function<void()> fn) {
        job_ = std::move(fn);
        thread_ = furi_thread_alloc_ex("app", 8192, entry, this);
        furi_thread_set_appid(thread_, "corvane");
        furi_thread_start(thread_);
        settle();
    }

    /// A test that left its dialog open answers it with Back, so the app thread can end. Fixtures
    /// whose app jobs touch their own members call this in their destructor.
    void finish_app() {
        for(int i = 0; i < 20 && app_running(); ++i) press(InputKeyBack);
        join_app();
    }

    bool app_running() const {
        return thread_ != nullptr && furi_thread_get_state(thread_) != FuriThreadStateStopped;
    }

    void join_app() {
        if(thread_ == nullptr) return;
        furi_thread_join(thread_);
        furi_thread_free(thread_);
        thread_ = nullptr;
    }

    void settle(uint32_t time_ms = 20) { furi_delay_ms(time_ms); }

    void press(InputKey key) {
        gui_.input().short_press(key);
        settle(100);
    }

    void long_press(InputKey key, host::Nanos hold = host::InputDevice::kLongHold) {
        gui_.input().long_press(key, hold);
        settle(static_cast<uint32_t>(hold / host::kMillisecond) + 100);
    }

    host::Screen screen() {
        settle();
        return gui_.screen();
    }

    /// A file (with its folders) on the SD card; `sd_path` is below the card's root.
    void touch(const std::string& sd_path, const std::string& content = "x") {
        const fs::path path = root_ / sd_path;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }

    void mkdir(const std::string& sd_path) { fs::create_directories(root_ / sd_path); }

    host::Runtime rt_{quiet()};
    fs::path root_;
    host::GuiService gui_;
    host::StorageService storage_;
    host::DialogsService dialogs_;
    DialogsApp* app_ = nullptr;

private:
    static int32_t entry(void* context) {
        static_cast<DialogsFixture*>(context)->job_();
        return 0;
    }

    std::function<void()> job_;
    FuriThread* thread_ = nullptr;
};

inline std::string golden_path(const std::string& name) {
    return std::string(TEST_DATA_DIR) + "/golden/dialogs/" + name + ".png";
}

inline void expect_golden(const host::Screen& screen, const std::string& name) {
    const host::GoldenResult result = host::check_golden(screen, golden_path(name));
    EXPECT_TRUE(result.ok) << result.message;
}

} // namespace dialogs_test
