#pragma once
// Shared pieces of the corvane app tests: a driver per test, the tags they put in the field and
// the steps most flows begin with.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corvane_driver.h"

namespace corvane_app_test {

using Bytes = std::vector<std::uint8_t>;

// A 96-bit EPC; with User memory its PC is 3400 and its CRC 3A76.
inline const Bytes kEpc = {0x30, 0x75, 0x1F, 0xEB, 0x70, 0x5C, 0x59, 0x04, 0xE3, 0xD5, 0x0D, 0x70};
inline constexpr const char* kEpcText = "30 75 1F EB 70 5C 59 04 E3 D5 0D 70 ";

inline Bytes pattern(std::size_t bytes, std::uint8_t first) {
    Bytes out(bytes);
    for(std::size_t i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(first + i);
    return out;
}

/// A tag with a 12-byte TID and a 12-byte USER bank.
inline sim::yrm100::TagSpec standard_tag() {
    sim::yrm100::TagSpec spec;
    spec.epc = kEpc;
    spec.tid = pattern(12, 0xE2);
    spec.user = pattern(12, 0x10);
    return spec;
}

/// A saved tag file as the store writes it.
inline std::string tag_file(
    const std::string& epc = "E2 00 00 17 22 10 01 23 45 67 89 AB",
    unsigned epc_length = 12) {
    return "Filetype: Flipper UHF RFID device\n"
           "Version: 1\n"
           "PC: 30 00\n"
           "CRC: F9 83\n"
           "EPC_LENGTH: " +
           std::to_string(epc_length) +
           "\n"
           "EPC: " +
           epc +
           "\n"
           "TID_LENGTH: 12\n"
           "TID: E2 00 34 12 01 23 45 67 89 AB CD EF\n"
           "USER_LENGTH: 10\n"
           "USER: 00 11 22 33 44 55 66 77 88 99\n";
}

class AppTest : public ::testing::Test {
protected:
    void TearDown() override {
        if(app_.running()) {
            const auto code = app_.quit();
            EXPECT_EQ(code, 0) << "the app did not end on Back:\n" << app_.describe();
        } else {
            app_.join();
        }
        EXPECT_FALSE(app_.otg_on()) << "5 V output left on";
        EXPECT_TRUE(app_.runtime().console_enabled()) << "the console was left off";
        EXPECT_EQ(app_.leaked_blocks(), 0) << "the app leaked";
    }

    /// Starts with the module answering and goes on to the start menu.
    void start_to_menu() {
        app_.start();
        ASSERT_TRUE(app_.wait_for("Module Info")) << app_.describe();
        app_.press(InputKeyRight);
        ASSERT_TRUE(app_.wait_for("Read Tag")) << app_.describe();
    }

    /// From the start menu, reads the tag in the field up to the result screen.
    void read_to_result() {
        app_.press(InputKeyOk);
        ASSERT_TRUE(app_.wait_for("Read Success")) << app_.describe();
    }

    /// From the start menu, picks the first file in the browser.
    void open_saved() {
        app_.press(InputKeyDown);
        app_.press(InputKeyOk);
    }

    corvane_test::Driver app_;
};

} // namespace corvane_app_test
