#pragma once
// The fault campaign's shared pieces: a tally of cases per category (printed when the program
// ends, one line each, for tools/reliability_report.sh), the end checks every case shares, and
// the steps of a session that the cases fault one at a time.
//
// Every case runs on a fresh driver and ends the same way: the app can be left with Back (quit()
// returns 0), it holds no heap block and no open file, the 5 V output is off, and every tag file
// on the card is the one that was there before or a whole new one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "../corvane_app/app_fixture.h"

namespace reliability {

using corvane_app_test::Bytes;
using corvane_app_test::kEpc;
using corvane_app_test::standard_tag;
using corvane_app_test::tag_file;
using corvane_test::Driver;

// --- the tally -------------------------------------------------------------------------------

struct Count {
    int cases = 0;
    int failed = 0;
};

inline std::map<std::string, Count>& tally() {
    static std::map<std::string, Count> counts;
    return counts;
}

inline int failed_parts() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    if(info == nullptr) return 0;
    const testing::TestResult* result = info->result();
    int failed = 0;
    for(int i = 0; i < result->total_part_count(); ++i)
        failed += result->GetTestPartResult(i).failed() ? 1 : 0;
    return failed;
}

/// Runs one case under its name and counts it, failed when it added a failure.
template <typename Body>
void count_case(const std::string& category, const std::string& name, Body&& body) {
    SCOPED_TRACE(category + ": " + name);
    const int before = failed_parts();
    body();
    Count& count = tally()[category];
    ++count.cases;
    if(failed_parts() != before) ++count.failed;
}

// --- the card --------------------------------------------------------------------------------

using Card = std::map<std::string, std::string>;

inline Card card_files(const Driver& app) {
    Card card;
    for(const std::string& name : app.data_files()) {
        if(auto content = app.read_data_file(name)) card[name] = *content;
    }
    return card;
}

inline std::size_t hex_count(std::string_view text) {
    std::size_t digits = 0;
    for(char c : text) {
        if(c == ' ') continue;
        if(!std::isxdigit(static_cast<unsigned char>(c))) return SIZE_MAX;
        ++digits;
    }
    return digits % 2 == 0 ? digits / 2 : SIZE_MAX;
}

/// A tag file as the store writes it: header, the eight keys in order, each array as long as its
/// length says, and the last line ended.
inline bool whole_tag_file(const std::string& text) {
    if(text.empty() || text.back() != '\n') return false;
    std::vector<std::string> lines;
    std::istringstream in(text);
    for(std::string line; std::getline(in, line);) lines.push_back(line);
    static constexpr const char* kKeys[] = {
        "Filetype",
        "Version",
        "PC",
        "CRC",
        "EPC_LENGTH",
        "EPC",
        "TID_LENGTH",
        "TID",
        "USER_LENGTH",
        "USER"};
    if(lines.size() != std::size(kKeys)) return false;
    std::vector<std::string> values;
    for(std::size_t i = 0; i < lines.size(); ++i) {
        const std::string key = std::string(kKeys[i]) + ":";
        if(lines[i].rfind(key, 0) != 0) return false;
        std::string value = lines[i].substr(key.size());
        if(!value.empty() && value[0] == ' ') value.erase(0, 1);
        values.push_back(value);
    }
    if(values[0] != "Flipper UHF RFID device" || values[1] != "1") return false;
    if(hex_count(values[2]) != 2 || hex_count(values[3]) != 2) return false;
    for(std::size_t length = 4; length < 10; length += 2) {
        unsigned declared = 0;
        const std::string& number = values[length];
        const auto [end, error] =
            std::from_chars(number.data(), number.data() + number.size(), declared);
        if(error != std::errc() || end != number.data() + number.size()) return false;
        if(hex_count(values[length + 1]) != declared) return false;
    }
    return true;
}

/// Each file is the one that was there before or a whole tag file; `may_be_gone` names files that
/// may have been removed.
inline void expect_card_sound(
    const Card& before,
    const Card& after,
    const std::vector<std::string>& may_be_gone = {}) {
    for(const auto& [name, content] : before) {
        const auto now = after.find(name);
        if(now == after.end()) {
            EXPECT_NE(std::find(may_be_gone.begin(), may_be_gone.end(), name), may_be_gone.end())
                << name << " was lost";
        } else if(now->second != content) {
            EXPECT_TRUE(whole_tag_file(now->second)) << name << " was changed, not replaced "
                                                     << "whole:\n"
                                                     << now->second;
        }
    }
    for(const auto& [name, content] : after) {
        if(before.count(name) == 0) {
            EXPECT_TRUE(whole_tag_file(content)) << "new file " << name << " is not whole:\n"
                                                 << content;
        }
    }
}

/// The end of every case: the app leaves on Back (unless it ended already), holds nothing and
/// left the card sound.
inline void
    finish(Driver& app, const Card& before, const std::vector<std::string>& may_be_gone = {}) {
    app.storage().clear_faults();
    app.module().clear_faults();
    app.module().set_unplugged(false);
    if(app.running()) {
        const auto code = app.quit();
        EXPECT_EQ(code, 0) << "the app did not end on Back:\n" << app.describe();
    } else {
        EXPECT_EQ(app.join(), 0);
    }
    EXPECT_FALSE(app.otg_on()) << "5 V output left on";
    EXPECT_EQ(app.storage().open_count(), 0u) << "a file was left open";
    EXPECT_EQ(app.leaked_blocks(), 0) << "the app leaked";
    expect_card_sound(before, card_files(app), may_be_gone);
}

// --- the steps -------------------------------------------------------------------------------

inline bool reach(Driver& app, std::string_view text, std::uint32_t timeout_ms = 5000) {
    if(app.wait_for(text, timeout_ms)) return true;
    ADD_FAILURE() << "\"" << text << "\" never showed; the screen:\n" << app.describe();
    return false;
}

inline const std::vector<std::string> kSavedMenu = {"Delete", "Info", "Write"};

inline bool on_saved_menu(const Driver& app) {
    return app.texts() == kSavedMenu;
}

inline bool to_menu(Driver& app) {
    app.start();
    if(!reach(app, "Module Info")) return false;
    app.press(InputKeyRight);
    return reach(app, "Read Tag");
}

inline void open_browser(Driver& app) {
    if(app.selected_menu_item() != "Saved") app.press(InputKeyDown);
    app.press(InputKeyOk);
}

/// From the start menu onto the one file in the browser (not chosen yet).
inline void to_file(Driver& app) {
    open_browser(app);
    app.press(InputKeyDown); // below ". ."
}

/// From the start menu, loads the one file on the card: the saved menu.
inline bool load_file(Driver& app) {
    to_file(app);
    app.press(InputKeyOk);
    app.wait(200);
    if(on_saved_menu(app)) return true;
    ADD_FAILURE() << "no saved menu:\n" << app.describe();
    return false;
}

/// From the saved menu, the write popup.
inline void choose_write(Driver& app) {
    app.press(InputKeyDown);
    app.press(InputKeyDown);
    app.press(InputKeyOk);
}

/// The hex digits of every keyboard-font text on the screen (the result screen's numbers).
inline std::string screen_hex(const Driver& app) {
    std::string digits;
    const host::Screen screen = app.screen();
    for(const auto& t : screen.texts()) {
        if(t.font != FontKeyboard) continue;
        for(char c : t.text) {
            if(std::isxdigit(static_cast<unsigned char>(c))) digits += c;
        }
    }
    return digits;
}

inline const char* kEpcDigits = "30751FEB705C5904E3D50D70";
/// The EPC in the card's file Gate.uhf (tag_file()).
inline const Bytes kFileEpc =
    {0xE2, 0x00, 0x00, 0x17, 0x22, 0x10, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB};

/// Lets time pass until the module has received `frames` command frames in all.
inline bool wait_for_frame(Driver& app, std::size_t frames, std::uint32_t timeout_ms = 5000) {
    for(std::uint32_t waited = 0; waited <= timeout_ms; ++waited) {
        if(app.module().frames_received() >= frames) return true;
        app.wait(1);
    }
    return false;
}

} // namespace reliability
