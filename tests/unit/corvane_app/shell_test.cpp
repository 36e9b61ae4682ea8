// The shell's own services: the hex text, the loading callback's timer-service dance, and a
// teardown while a job still runs.
#include <task.h>

#include "host/kernel.h"

#include <cstdlib>
#include <cstring>

#include "app_fixture.h"

namespace corvane_app_test {
namespace {

struct HexCase {
    Bytes data;
    bool null_data;
    const char* text;
};

TEST(ConvertToHexString, GroupsOfTwoUpperCaseDigitsAndASpaceOrOneSpaceForNothing) {
    host::Runtime runtime{host::RuntimeOptions{.log_to_stderr = false}};
    const HexCase cases[] = {
        {{0x0A, 0xFF}, false, "0A FF "},
        {{0x00}, false, "00 "},
        {{}, false, " "},
        {{0x12, 0x34}, true, " "}, // null data, whatever the length
        {kEpc, false, kEpcText},
    };
    for(const HexCase& c : cases) {
        char* text = convertToHexString(c.null_data ? nullptr : c.data.data(), c.data.size());
        ASSERT_NE(text, nullptr);
        EXPECT_STREQ(text, c.text);
        furi_host_free(text); // the device code's free
    }
}

class ShellTest : public ::testing::Test {
protected:
    corvane_test::Driver driver_;
};

TEST_F(ShellTest, LoadingCallbackRaisesTheTimerServiceAndShowsLoadingOnlyWhenAsked) {
    const std::size_t before = host::memory::stats().live_blocks;
    UHFApp* app = uhf_alloc();
    TaskHandle_t timers = xTaskGetHandle("TimersSrv");
    ASSERT_NE(timers, nullptr);
    const UBaseType_t own_priority = host::task_priority(nullptr);

    view_dispatcher_switch_to_view(app->view_dispatcher, UHFViewMenu);
    submenu_add_item(
        app->submenu, "Still here", 0, [](void*, uint32_t) {}, nullptr);
    driver_.wait(50);
    uhf_show_loading_popup(app, false);
    driver_.wait(50);
    EXPECT_EQ(host::task_priority(timers), 2u);
    EXPECT_TRUE(driver_.shows("Still here")) << "false must not switch the view";

    uhf_show_loading_popup(app, true);
    EXPECT_EQ(host::task_priority(timers), 31u);
    driver_.wait(50);
    EXPECT_FALSE(driver_.shows("Still here")) << "true shows the loading view";
    uhf_show_loading_popup(app, false);
    EXPECT_EQ(host::task_priority(timers), 2u);
    EXPECT_EQ(host::task_priority(nullptr), own_priority);

    uhf_free(app);
    EXPECT_EQ(host::memory::stats().live_blocks, before);
}

TEST_F(ShellTest, FreeWhileAReadJobPollsStopsItBeforeTheHolderGoes) {
    const std::size_t before = host::memory::stats().live_blocks;
    furi_hal_power_enable_otg();
    UHFApp* app = uhf_alloc();
    EXPECT_EQ(app->worker->uhf_tag_wrapper, app->uhf_device->uhf_tag_wrapper);
    int callbacks = 0;
    uhf_worker_start(
        app->worker,
        UHFWorkerStateDetectSingle,
        [](UHFWorkerEvent event, void* ctx) {
            EXPECT_EQ(event, UHFWorkerEventAborted);
            ++*static_cast<int*>(ctx);
        },
        &callbacks);
    driver_.wait(1000); // polling an empty field
    EXPECT_GT(driver_.commands().size(), 3u);
    uhf_free(app);
    furi_hal_power_disable_otg();
    EXPECT_EQ(callbacks, 1);
    EXPECT_EQ(host::memory::stats().live_blocks, before);
}

} // namespace
} // namespace corvane_app_test
