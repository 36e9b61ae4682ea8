// Notification, dolphin and storage services, and the file-name validator on top of storage.
#include <gtest/gtest.h>

#include <dolphin/dolphin.h>
#include <furi.h>
#include <gui/modules/validators.h>
#include <notification/notification_messages.h>
#include <storage/storage.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "fixture.h"
#include "host/dolphin.h"
#include "host/notification.h"
#include "host/storage.h"

namespace gui_modules_test {
namespace {

namespace fs = std::filesystem;

constexpr host::Rgb kCyan{0, 255, 255};
constexpr host::Rgb kGreen{0, 255, 0};

class Notifications : public ::testing::Test {
protected:
    host::Runtime rt_{quiet()};
    host::NotificationService service_{rt_};
    NotificationApp* app_ = static_cast<NotificationApp*>(furi_record_open(RECORD_NOTIFICATION));
    ~Notifications() override { furi_record_close(RECORD_NOTIFICATION); }
};

TEST_F(Notifications, BlinkStartsCyanAndLastsUntilStopped) {
    static const NotificationSequence blink_start = {
        &message_blink_start_10, &message_blink_set_color_cyan, &message_do_not_reset, nullptr};
    static const NotificationSequence blink_stop = {&message_blink_stop, nullptr};
    notification_message(app_, &blink_start);
    const host::NotificationState on = service_.state();
    EXPECT_TRUE(on.blinking);
    EXPECT_EQ(on.blink_color, kCyan);
    EXPECT_EQ(on.led_at(on.blink_since + host::ms(5)), kCyan); // 10 ms on in every 100 ms
    EXPECT_TRUE(on.led_at(on.blink_since + host::ms(50)).off());
    EXPECT_EQ(on.led_at(on.blink_since + host::ms(1203)), kCyan);

    furi_delay_ms(5000);
    EXPECT_TRUE(service_.state().blinking);
    notification_message(app_, &blink_stop);
    EXPECT_FALSE(service_.state().blinking);
}

TEST_F(Notifications, ABlinkWithoutDoNotResetEndsWithItsSequence) {
    static const NotificationSequence blink = {
        &message_blink_start_10, &message_blink_set_color_cyan, nullptr};
    notification_message(app_, &blink);
    EXPECT_FALSE(service_.state().blinking);
}

TEST_F(Notifications, SuccessPlaysGreenVibroAndNotesThenResets) {
    const uint32_t start = furi_get_tick();
    notification_message(app_, &sequence_success);
    const host::NotificationState during = service_.state();
    EXPECT_EQ(during.led, kGreen);
    EXPECT_TRUE(during.vibro);
    EXPECT_GT(during.speaker_hz, 500.0F); // C5
    furi_delay_ms(300);
    const host::NotificationState after = service_.state();
    EXPECT_TRUE(after.led.off());
    EXPECT_FALSE(after.vibro);
    EXPECT_EQ(after.speaker_hz, 0.0F);
    EXPECT_EQ(service_.count(&sequence_success), 1u);
    // Four notes of 50 ms each.
    const auto history = service_.history();
    ASSERT_FALSE(history.empty());
    EXPECT_EQ(history.back().time - host::ms(start), host::ms(200));
}

TEST_F(Notifications, BlockingMessageReturnsWhenPlayed) {
    const uint32_t start = furi_get_tick();
    notification_message_block(app_, &sequence_single_vibro);
    EXPECT_EQ(furi_get_tick() - start, 100u);
    EXPECT_FALSE(service_.state().vibro);
}

TEST(Dolphin, DeedsAreKeptInOrder) {
    host::Runtime rt(quiet());
    dolphin_deed(DolphinDeedNfcRead); // no service yet: checked, logged, not kept
    host::DolphinService dolphin(rt);
    dolphin_deed(DolphinDeedNfcRead);
    dolphin_deed(DolphinDeedNfcReadSuccess);
    dolphin_deed(DolphinDeedNfcSave);
    EXPECT_EQ(
        dolphin.deeds(),
        (std::vector<DolphinDeed>{
            DolphinDeedNfcRead, DolphinDeedNfcReadSuccess, DolphinDeedNfcSave}));
    dolphin.clear();
    EXPECT_TRUE(dolphin.deeds().empty());
}

TEST(Dolphin, AnUnknownDeedStops) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            host::Runtime rt(quiet());
            dolphin_deed(static_cast<DolphinDeed>(200));
        },
        "dolphin_deed: deed 200 is out of range");
}

class StorageTest : public ::testing::Test {
protected:
    StorageTest()
        : root_(
              fs::temp_directory_path() /
              ("gui_modules_storage_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name()))
        , service_(rt_, root_, "corvane") {}
    ~StorageTest() override {
        std::error_code error;
        fs::remove_all(root_, error);
    }
    void touch(const fs::path& path) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "x";
    }

    host::Runtime rt_{quiet()};
    fs::path root_;
    host::StorageService service_;
};

TEST_F(StorageTest, PathsMapIntoTheSdFolderAndNeverOutOfIt) {
    EXPECT_EQ(service_.resolve("/ext/a/b.txt"), root_ / "a" / "b.txt");
    EXPECT_EQ(service_.resolve("/any/a"), root_ / "a");
    EXPECT_EQ(service_.resolve("/data/tag.uhf"), root_ / "apps_data" / "corvane" / "tag.uhf");
    EXPECT_TRUE(fs::is_directory(root_ / "apps_data" / "corvane")); // created on first use
    EXPECT_EQ(service_.resolve("/ext//a/"), root_ / "a");
    EXPECT_FALSE(service_.resolve("/ext/../etc/passwd"));
    EXPECT_FALSE(service_.resolve("/ext/a/../../x"));
    EXPECT_FALSE(service_.resolve("relative"));
    EXPECT_FALSE(service_.resolve("/int/x"));
    EXPECT_FALSE(service_.resolve(""));
}

TEST_F(StorageTest, DataIsTheCallingAppsFolder) {
    struct Result {
        std::optional<fs::path> path;
        Storage* storage;
    } result{std::nullopt, service_.storage()};
    FuriThread* thread = furi_thread_alloc_ex(
        "pacewick",
        1024,
        [](void* context) -> int32_t {
            auto* r = static_cast<Result*>(context);
            r->path = host::storage_resolve(r->storage, "/data/x");
            return 0;
        },
        &result);
    furi_thread_set_appid(thread, "pacewick");
    furi_thread_start(thread);
    furi_thread_join(thread);
    furi_thread_free(thread);
    EXPECT_EQ(result.path, root_ / "apps_data" / "pacewick" / "x");

    service_.set_default_app_id("");
    EXPECT_FALSE(service_.resolve("/data/x")); // no app to own it
}

TEST_F(StorageTest, ExistsMkdirAndRemove) {
    Storage* storage = static_cast<Storage*>(furi_record_open(RECORD_STORAGE));
    touch(root_ / "f.txt");
    EXPECT_TRUE(storage_file_exists(storage, "/ext/f.txt"));
    EXPECT_FALSE(storage_file_exists(storage, "/ext/missing.txt"));
    EXPECT_FALSE(storage_file_exists(storage, "/ext")); // a folder is not a file

    EXPECT_TRUE(storage_simply_mkdir(storage, "/ext/dir"));
    EXPECT_TRUE(storage_simply_mkdir(storage, "/ext/dir")); // already there
    EXPECT_FALSE(storage_simply_mkdir(storage, "/ext/no/parent"));
    EXPECT_TRUE(storage_simply_mkdir(
        storage, "/ext/f.txt")); // FAT: the name exists, which "simply" accepts

    touch(root_ / "dir" / "inner");
    EXPECT_FALSE(storage_simply_remove(storage, "/ext/dir")); // not empty
    EXPECT_TRUE(storage_simply_remove(storage, "/ext/dir/inner"));
    EXPECT_TRUE(storage_simply_remove(storage, "/ext/dir"));
    EXPECT_TRUE(storage_simply_remove(storage, "/ext/dir")); // absent counts as removed
    EXPECT_FALSE(storage_simply_remove(storage, "/ext/../outside"));
    furi_record_close(RECORD_STORAGE);
}

TEST_F(StorageTest, ValidatorRefusesAnExistingNameUnlessItIsTheCurrentOne) {
    touch(root_ / "apps_data" / "corvane" / "taken.uhf");
    FuriString* error = furi_string_alloc();
    ValidatorIsFile* in_data = validator_is_file_alloc_init("/data", ".uhf", nullptr);
    EXPECT_FALSE(validator_is_file_callback("taken", error, in_data));
    EXPECT_STREQ(furi_string_get_cstr(error), "This name\nexists!\nChoose\nanother one.");
    furi_string_reset(error);
    EXPECT_TRUE(validator_is_file_callback("free", error, in_data));
    EXPECT_TRUE(validator_is_file_callback("taken.txt", error, in_data));
    EXPECT_TRUE(furi_string_empty(error));

    ValidatorIsFile* same_file =
        validator_is_file_alloc_init("/ext/apps_data/corvane", ".uhf", "taken");
    EXPECT_TRUE(validator_is_file_callback("taken", error, same_file));
    ValidatorIsFile* other_file =
        validator_is_file_alloc_init("/ext/apps_data/corvane/", ".uhf", "other");
    EXPECT_FALSE(validator_is_file_callback("taken", error, other_file));

    validator_is_file_free(in_data);
    validator_is_file_free(same_file);
    validator_is_file_free(other_file);
    furi_string_free(error);
}

} // namespace
} // namespace gui_modules_test
