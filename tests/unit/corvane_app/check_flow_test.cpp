// The module check and the start menu: found, not found, retry, skip, the Back rules, the
// remembered item.
#include "app_fixture.h"

namespace corvane_app_test {
namespace {

TEST_F(AppTest, ModuleFoundShowsItsIdentityAndContinueLeadsToTheStartMenu) {
    app_.start();
    EXPECT_TRUE(app_.otg_on());
    EXPECT_FALSE(app_.runtime().console_enabled()) << "log lines would reach the module";
    ASSERT_TRUE(app_.wait_for("Module Info")) << app_.describe();
    const host::Screen s = app_.screen();
    for(const char* line :
        {"HW Version: M100 26dBm V1.0",
         "SW Version: V2.3.5",
         "Manufacturer: MagicRf",
         "Continue"}) {
        EXPECT_TRUE(s.contains(line)) << line << " missing from\n" << s.describe_texts();
    }
    EXPECT_FALSE(s.contains("Retry"));

    app_.long_press(InputKeyRight); // only a short press acts
    EXPECT_TRUE(app_.shows("Module Info"));
    app_.press(InputKeyRight);
    EXPECT_EQ(app_.texts(), (std::vector<std::string>{"Read Tag", "Saved", "Settings"}));
    EXPECT_EQ(app_.selected_menu_item(), "Read Tag");

    // Back on the start menu checks again, from an empty widget.
    const std::size_t queries = app_.commands().size();
    app_.press(InputKeyBack);
    EXPECT_FALSE(app_.shows("Module Info"));
    EXPECT_TRUE(app_.wait_for("Module Info"));
    EXPECT_EQ(app_.commands().size(), queries + 3);

    // Back on the check ends the app, with the module unpowered and the console back on.
    app_.press(InputKeyBack);
    EXPECT_EQ(app_.join(), 0);
    EXPECT_FALSE(app_.otg_on());
    EXPECT_TRUE(app_.runtime().console_enabled());
}

TEST_F(AppTest, NoModuleOffersHelpRetryAndSkip) {
    app_.unplug();
    app_.start();
    ASSERT_TRUE(app_.wait_for("No UHF Module found")) << app_.describe();
    const host::Screen s = app_.screen();
    EXPECT_TRUE(s.contains("README")) << s.describe_texts();
    EXPECT_TRUE(s.contains("Retry"));
    EXPECT_TRUE(s.contains("Skip"));

    // Retry with the module plugged in: blank while the check runs, then the found screen.
    app_.unplug(false);
    app_.press(InputKeyLeft);
    EXPECT_FALSE(app_.shows("No UHF Module found"));
    EXPECT_FALSE(app_.shows("Module Info"));
    ASSERT_TRUE(app_.wait_for("Module Info")) << app_.describe();
    EXPECT_FALSE(app_.shows("Retry"));
}

TEST_F(AppTest, SkipGoesOnWithoutAModuleAndAFailedRecheckShowsNotFound) {
    app_.start();
    ASSERT_TRUE(app_.wait_for("Module Info"));
    app_.press(InputKeyRight);
    app_.unplug(); // unplugged while the start menu shows
    app_.press(InputKeyBack);
    ASSERT_TRUE(app_.wait_for("No UHF Module found")) << app_.describe();
    EXPECT_FALSE(app_.shows("HW Version"));
    app_.press(InputKeyLeft); // Retry, still unplugged
    ASSERT_TRUE(app_.wait_for("No UHF Module found"));
    app_.press(InputKeyRight); // Skip
    EXPECT_TRUE(app_.shows("Read Tag")) << app_.describe();

    // A read without a module waits until Back.
    app_.press(InputKeyOk);
    EXPECT_TRUE(app_.shows("Detecting"));
    app_.wait(3000);
    EXPECT_TRUE(app_.shows("Detecting"));
    app_.press(InputKeyBack); // waits for the poll in flight
    EXPECT_TRUE(app_.wait_for("Read Tag", 300)) << app_.describe();
}

TEST_F(AppTest, BackOnTheNotFoundScreenEndsTheApp) {
    app_.unplug();
    app_.start();
    ASSERT_TRUE(app_.wait_for("No UHF Module found"));
    app_.press(InputKeyBack);
    EXPECT_EQ(app_.join(), 0);
}

TEST_F(AppTest, BackWhileTheCheckRunsWaitsForItThenEnds) {
    app_.start();
    app_.press(InputKeyBack); // the check takes 300 ms; Back comes before it ends
    app_.wait(400);
    EXPECT_EQ(app_.join(), 0);
}

TEST_F(AppTest, StartMenuRemembersSavedButNotSettings) {
    start_to_menu();
    app_.press(InputKeyDown);
    app_.press(InputKeyDown);
    app_.press(InputKeyOk); // "Settings": nothing happens
    EXPECT_EQ(app_.selected_menu_item(), "Settings");
    app_.press(InputKeyBack); // re-check, then the menu again
    ASSERT_TRUE(app_.wait_for("Module Info"));
    app_.press(InputKeyRight);
    EXPECT_EQ(app_.selected_menu_item(), "Read Tag");

    app_.press(InputKeyDown);
    app_.press(InputKeyOk); // "Saved": the browser, left at once
    app_.press(InputKeyBack);
    ASSERT_TRUE(app_.wait_for("Read Tag")) << app_.describe();
    EXPECT_EQ(app_.selected_menu_item(), "Saved");
}

} // namespace
} // namespace corvane_app_test

namespace corvane_app_test {
namespace {

// Built for API 86.0 the app takes the USART through the serial API. While it runs the expansion
// service is off and the log is detached from the USART, so no log line reaches the module; a
// USART that another owner holds reads as a missing module, with a log line, until it is free.
TEST(Api86Test, TheAppTakesTheUsartFromTheLogAndTheExpansionServiceAndGivesItBack) {
    corvane_test::DriverOptions options;
    options.api = sim::AppApi::V86;
    corvane_test::Driver app(options);
    host::SerialControl& serial = app.runtime().serial();
    constexpr int kUsart = host::SerialControl::kUsart;
    FuriHalSerialHandle* other_owner = serial.acquire(kUsart);
    ASSERT_NE(other_owner, nullptr);

    app.start();
    ASSERT_TRUE(app.wait_for("No UHF Module found")) << app.describe();
    EXPECT_TRUE(app.log().contains("m100", "USART held by another owner"));
    EXPECT_TRUE(app.commands().empty());
    ASSERT_NE(app.expansion(), nullptr);
    EXPECT_FALSE(app.expansion()->enabled());

    serial.release(other_owner);
    app.press(InputKeyLeft); // Retry
    ASSERT_TRUE(app.wait_for("Module Info")) << app.describe();
    EXPECT_TRUE(serial.held(kUsart));
    EXPECT_FALSE(serial.log_attached());
    EXPECT_EQ(app.runtime().uart(FuriHalUartIdUSART1).baud_rate(), 115200u);
    FURI_LOG_E("test", "not for the module");

    EXPECT_EQ(app.quit(), 0);
    EXPECT_EQ(app.stray_bytes_to_module(), 0u);
    EXPECT_TRUE(app.expansion()->enabled());
    EXPECT_EQ(app.expansion()->disable_count(), 1u);
    EXPECT_FALSE(serial.held(kUsart));
    EXPECT_TRUE(serial.log_attached());
    EXPECT_FALSE(app.otg_on());
    EXPECT_EQ(app.leaked_blocks(), 0);
}

} // namespace
} // namespace corvane_app_test
