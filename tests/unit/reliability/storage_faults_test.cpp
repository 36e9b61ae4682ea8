// Card faults at each file operation: no card, a read-only card, a full card (no room at all and
// room for part of a file) and an I/O error at each write, armed right before the save of a new
// file, the save over the loaded file, the load, the delete and the file browser.
//
// A failed save shows "Can not save" and leads to the start menu with the card as it was (the
// file it replaces untouched); a failed load shows its parse error and leads to the start menu;
// a failed delete shows "Can not remove" and keeps the file. Faults an operation does not meet
// (a read-only card for a load) change nothing.
#include <cstdio>

#include "campaign.h"

namespace reliability {
namespace {

struct CardFault {
    std::string name;
    std::function<void(host::StorageService&)> arm;
    /// Loading fails: no card, and a read-only card too, since the key-value library opens an
    /// existing file for reading and writing, as the firmware's does.
    bool blocks_load;
    bool blocks_writes; ///< creating, writing, renaming and removing fail
};

/// The write calls an I/O error is armed for, of `writes`: each of the first eight, the last, and
/// every k-th between, some 24 in all (a save writes each hex byte on its own, about a hundred).
std::vector<std::uint64_t> sampled_writes(std::uint64_t writes) {
    std::vector<std::uint64_t> picked;
    const std::uint64_t step = std::max<std::uint64_t>(1, (writes - 8) / 16);
    for(std::uint64_t n = 1; n <= writes; n += n < 8 ? 1 : step) picked.push_back(n);
    if(picked.back() != writes) picked.push_back(writes);
    return picked;
}

/// The faults for an operation that writes about `bytes` bytes in `writes` write calls.
std::vector<CardFault> card_faults(std::uint64_t bytes, std::uint64_t writes) {
    std::vector<CardFault> faults = {
        {"no card", [](host::StorageService& s) { s.set_card_inserted(false); }, true, true},
        {"read-only card", [](host::StorageService& s) { s.set_read_only(true); }, true, true},
        {"full card", [](host::StorageService& s) { s.set_space_left(0); }, false, true},
    };
    for(std::uint64_t room : {std::uint64_t{1}, bytes / 2, bytes - 1}) {
        faults.push_back(
            {"room for " + std::to_string(room) + " of " + std::to_string(bytes) + " bytes",
             [room](host::StorageService& s) { s.set_space_left(room); },
             false,
             true});
    }
    for(std::uint64_t n : sampled_writes(writes)) {
        faults.push_back(
            {"I/O error at write " + std::to_string(n),
             [n](host::StorageService& s) { s.fail_write(n); },
             false,
             true});
    }
    return faults;
}

class StorageFaults : public ::testing::Test {
protected:
    /// From a fresh app: the name screen of the read tag (a new file) or, after a write of the
    /// loaded Gate.uhf, the name screen with "Gate" typed (the file replaced).
    static bool to_save(Driver& app, bool replace) {
        app.write_data_file("Gate.uhf", tag_file());
        app.add_tag(standard_tag());
        if(!to_menu(app)) return false;
        if(replace) {
            if(!load_file(app)) return false;
            choose_write(app);
            if(!reach(app, "Write Success")) return false;
        } else {
            app.press(InputKeyOk);
            if(!reach(app, "Read Success")) return false;
        }
        app.press(InputKeyRight); // More
        app.press(InputKeyOk);    // Save
        if(!reach(app, "Name the tag")) return false;
        return !replace || app.type("gate");
    }

    /// Bytes and write calls of a clean save, found by saving with an I/O error at the nth write
    /// for n = 1, 2, ... until a save no longer meets it.
    static std::pair<std::uint64_t, std::uint64_t> clean_save(bool replace) {
        std::uint64_t bytes = 0;
        {
            Driver app;
            EXPECT_TRUE(to_save(app, replace));
            const Card before = card_files(app);
            EXPECT_TRUE(app.save_text());
            EXPECT_TRUE(reach(app, "Saved!"));
            for(const auto& [name, content] : card_files(app)) {
                if(!before.count(name) || before.at(name) != content || replace)
                    bytes = std::max<std::uint64_t>(bytes, content.size());
            }
            app.quit();
        }
        // A save fails exactly when the error is armed for one of its writes: the last n at which
        // it still fails is the count.
        const auto fails_at = [replace](std::uint64_t n) {
            Driver app;
            if(!to_save(app, replace)) return false;
            app.storage().fail_write(n);
            app.save_text();
            app.wait(100);
            const bool failed = !app.shows("Saved!");
            app.press(InputKeyBack);
            app.storage().clear_faults();
            app.quit();
            return failed;
        };
        std::uint64_t low = 0, high = 1024; // fails at low (0: trivially), not at high
        EXPECT_FALSE(fails_at(high)) << "a save made more than " << high << " writes";
        while(high - low > 1) {
            const std::uint64_t mid = (low + high) / 2;
            (fails_at(mid) ? low : high) = mid;
        }
        std::printf(
            "[ campaign ] a clean save%s: %llu bytes in %llu writes\n",
            replace ? " over the loaded file" : "",
            static_cast<unsigned long long>(bytes),
            static_cast<unsigned long long>(low));
        return {bytes, low};
    }

    static void run_save(bool replace) {
        const auto [bytes, writes] = clean_save(replace);
        ASSERT_GT(bytes, 0u);
        ASSERT_GT(writes, 0u);
        for(const CardFault& f : card_faults(bytes, writes)) {
            count_case(
                "card faults", std::string(replace ? "save over: " : "save: ") + f.name, [&] {
                    Driver app;
                    if(!to_save(app, replace)) return;
                    const Card before = card_files(app);
                    f.arm(app.storage());
                    app.save_text();
                    if(reach(app, "Can not save")) {
                        app.press(InputKeyBack);
                        EXPECT_TRUE(app.wait_for("Read Tag", 300)) << app.describe();
                    }
                    // Nothing new, and the file it would have replaced as it was.
                    app.storage().clear_faults();
                    EXPECT_EQ(card_files(app), before);
                    finish(app, before);
                });
        }
    }

    /// A fresh app on the browser's row of Gate.uhf, not yet chosen.
    static bool to_browser_row(Driver& app) {
        app.write_data_file("Gate.uhf", tag_file());
        if(!to_menu(app)) return false;
        to_file(app);
        return true;
    }
};

TEST(WholeTagFile, TakesTheStoresFileAndRefusesEveryCutOfIt) {
    // The campaign's judge of "nothing written half": every prefix of a file is refused.
    const std::string file = tag_file();
    ASSERT_TRUE(whole_tag_file(file));
    for(std::size_t keep = 0; keep < file.size(); ++keep)
        EXPECT_FALSE(whole_tag_file(file.substr(0, keep))) << keep << " bytes";
}

TEST_F(StorageFaults, AtEachFileOperationOfSavingANewFile) {
    run_save(false);
}

TEST_F(StorageFaults, AtEachFileOperationOfSavingOverTheLoadedFile) {
    run_save(true);
}

TEST_F(StorageFaults, WhenLoadingTheChosenFile) {
    for(const CardFault& f : card_faults(tag_file().size(), 2)) {
        count_case("card faults", "load: " + f.name, [&] {
            Driver app;
            if(!to_browser_row(app)) return;
            const Card before = card_files(app);
            f.arm(app.storage());
            app.press(InputKeyOk);
            app.wait(200);
            if(f.blocks_load) {
                if(reach(app, "Can not parse")) {
                    app.press(InputKeyBack);
                    EXPECT_TRUE(app.wait_for("Read Tag", 300)) << app.describe();
                }
            } else {
                EXPECT_TRUE(on_saved_menu(app)) << app.describe();
            }
            finish(app, before);
        });
    }
}

TEST_F(StorageFaults, WhenDeletingTheLoadedFile) {
    for(const CardFault& f : card_faults(tag_file().size(), 2)) {
        count_case("card faults", "delete: " + f.name, [&] {
            Driver app;
            if(!to_browser_row(app)) return;
            app.press(InputKeyOk);
            app.wait(200);
            if(!on_saved_menu(app)) {
                ADD_FAILURE() << app.describe();
                return;
            }
            const Card before = card_files(app);
            app.press(InputKeyOk); // Delete
            if(!reach(app, "Delete Gate?")) return;
            f.arm(app.storage());
            app.press(InputKeyRight);
            // Removing a file writes nothing: only a card that refuses changes keeps it.
            const bool refused = f.name == "no card" || f.name == "read-only card";
            if(refused) {
                if(reach(app, "Can not remove")) {
                    app.press(InputKeyBack);
                    EXPECT_TRUE(app.wait_for("Read Tag", 300)) << app.describe();
                }
                EXPECT_EQ(card_files(app), before);
            } else {
                EXPECT_TRUE(reach(app, "Deleted"));
                EXPECT_FALSE(app.read_data_file("Gate.uhf"));
            }
            finish(app, before, {"Gate.uhf"});
        });
    }
}

TEST_F(StorageFaults, WhenTheBrowserOpens) {
    for(const CardFault& f : card_faults(tag_file().size(), 2)) {
        count_case("card faults", "browser: " + f.name, [&] {
            Driver app;
            app.write_data_file("Gate.uhf", tag_file());
            if(!to_menu(app)) return;
            const Card before = card_files(app);
            f.arm(app.storage());
            open_browser(app);
            app.press(InputKeyDown);
            app.press(InputKeyOk);
            app.wait(200);
            if(f.blocks_load) {
                // Nothing to list or load; Back (or the error's Back) leads to the start menu.
                for(int i = 0; i < 3 && !app.shows("Read Tag"); ++i) app.press(InputKeyBack);
                EXPECT_TRUE(app.shows("Read Tag")) << app.describe();
            } else {
                EXPECT_TRUE(on_saved_menu(app)) << app.describe();
            }
            finish(app, before);
        });
    }
}

} // namespace
} // namespace reliability
