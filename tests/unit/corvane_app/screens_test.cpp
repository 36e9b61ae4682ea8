// Every corvane screen against its golden picture, pixel for pixel (UPDATE_GOLDEN=1 rewrites
// them). The walk goes through the screens in the order a user meets them.
#include "app_fixture.h"

namespace corvane_app_test {
namespace {

void expect_golden(corvane_test::Driver& app, const std::string& name) {
    const host::GoldenResult result = host::check_golden(
        app.screen(), std::string(TEST_DATA_DIR) + "/golden/corvane_app/" + name + ".png");
    EXPECT_TRUE(result.ok) << name << ": " << result.message;
}

class ScreensTest : public AppTest {};

TEST_F(ScreensTest, NotFound) {
    app_.unplug();
    app_.start();
    ASSERT_TRUE(app_.wait_for("No UHF Module found"));
    expect_golden(app_, "not_found");
}

TEST_F(ScreensTest, ReadSaveBrowseViewDeleteWrite) {
    const auto id = app_.add_tag(standard_tag());
    app_.remove_tag(id);
    app_.start();
    ASSERT_TRUE(app_.wait_for("Module Info"));
    expect_golden(app_, "module_info");
    app_.press(InputKeyRight);
    expect_golden(app_, "start_menu");
    app_.press(InputKeyOk);
    app_.wait(300);
    expect_golden(app_, "read_popup");
    app_.add_tag(standard_tag());
    ASSERT_TRUE(app_.wait_for("Read Success"));
    expect_golden(app_, "read_result");
    app_.press(InputKeyRight);
    expect_golden(app_, "tag_menu");
    app_.press(InputKeyOk);
    ASSERT_TRUE(app_.type("gate"));
    expect_golden(app_, "save_name");
    ASSERT_TRUE(app_.save_text());
    expect_golden(app_, "saved");
    ASSERT_TRUE(app_.wait_for("Change Key", 3000));
    app_.press(InputKeyBack);

    app_.press(InputKeyDown);
    app_.press(InputKeyOk);
    app_.press(InputKeyDown);
    app_.press(InputKeyOk);
    ASSERT_TRUE(app_.wait_for("Info")) << app_.describe();
    expect_golden(app_, "saved_menu");
    app_.press(InputKeyDown);
    app_.press(InputKeyOk);
    expect_golden(app_, "bank_epc");
    app_.press(InputKeyRight);
    expect_golden(app_, "bank_tid");
    app_.press(InputKeyRight);
    expect_golden(app_, "bank_user");
    app_.press(InputKeyLeft);

    app_.press(InputKeyDown);
    app_.press(InputKeyOk); // Write
    ASSERT_TRUE(app_.wait_for("Write Success"));
    expect_golden(app_, "write_result");
    app_.press(InputKeyBack);
    expect_golden(app_, "write_popup");
    ASSERT_TRUE(app_.wait_for("Write Success"));
    app_.press(InputKeyLeft); // Exit

    app_.press(InputKeyOk); // Saved (remembered)
    app_.press(InputKeyDown);
    app_.press(InputKeyOk);
    ASSERT_TRUE(app_.wait_for("Delete"));
    app_.press(InputKeyUp);
    app_.press(InputKeyUp);
    app_.press(InputKeyOk); // Delete
    expect_golden(app_, "delete_question");
    app_.press(InputKeyRight);
    expect_golden(app_, "deleted");
}

} // namespace
} // namespace corvane_app_test
