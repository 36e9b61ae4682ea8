// The allocator failing at the Nth allocation of a whole session: start, read, save under the
// offered name, browse, load, write, quit.
//
// The firmware's allocator never returns null: it stops the device with "out of memory", and the
// app's code relies on that (its own records are not checked for null). The allocator fails here
// the same way (Failure::Stop), so each case runs in a child process (a death test) and may end
// in two ways only: the run stopped with the out-of-memory message, or the session ran to its end
// (the allocation was one the session no longer makes) and the app left on Back holding nothing.
// A crash of any other kind fails the case, and so does a card with a tag file that is not whole
// afterwards, however the child ended: a stop in the middle of a save must not cost the file it
// replaces.
//
// A session makes some 140 allocations, so every N is a case (forks are cheap); past 600 the
// cases would be sampled: the first 50 and some 550 spread evenly over the rest.
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>

#include "alloc_failures.h"
#include "campaign.h"

namespace reliability {
namespace {

/// The session, tolerant of any step that does not come: with an allocation failing, the app may
/// refuse a step and stay where it is.
void session(Driver& app) {
    app.start();
    app.wait_for("Module Info", 1000);
    app.press(InputKeyRight);
    app.press(InputKeyOk); // Read Tag
    app.wait_for("Read Success", 1500);
    app.press(InputKeyRight); // More
    app.press(InputKeyOk);    // Save
    if(app.wait_for("Name the tag", 200)) app.save_text();
    app.wait(1700); // "Saved!" leaves to the tag menu
    app.press(InputKeyBack);
    app.wait(100);
    open_browser(app);
    app.press(InputKeyDown);
    app.press(InputKeyOk);
    app.wait(200);
    choose_write(app);
    app.wait_for("Write Success", 1500);
}

std::filesystem::path card_dir(std::uint64_t n) {
    return std::filesystem::temp_directory_path() /
           ("corvane_oom_" + std::to_string(::getpid()) + "_" + std::to_string(n));
}

/// Gate.uhf on the card and the standard tag in the field.
void set_up(Driver& app) {
    app.write_data_file("Gate.uhf", tag_file());
    app.add_tag(standard_tag());
}

Card tag_files_in(const std::filesystem::path& root) {
    Card card;
    std::error_code error;
    for(const auto& entry :
        std::filesystem::directory_iterator(root / "apps_data" / "corvane", error)) {
        const std::string name = entry.path().filename().string();
        // A save writes "<name>.uhf.tmp" first: a run stopped in the middle of it may leave one,
        // which is no tag file (the browser lists only .uhf) and replaced nothing.
        if(name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        card[name] = content.str();
    }
    return card;
}

std::uint64_t session_allocations() {
    Driver app;
    set_up(app);
    const auto before = host::memory::stats().allocations;
    session(app);
    EXPECT_TRUE(app.shows("Write Success")) << "the clean session did not finish:\n"
                                            << app.describe();
    EXPECT_EQ(app.quit(), 0);
    const auto count = host::memory::stats().allocations - before;
    EXPECT_EQ(app.leaked_blocks(), 0);
    return count;
}

std::vector<std::uint64_t> sampled(std::uint64_t total) {
    std::vector<std::uint64_t> picked;
    for(std::uint64_t n = 1; n <= std::min<std::uint64_t>(50, total); ++n) picked.push_back(n);
    if(total > 50) {
        const std::uint64_t step = std::max<std::uint64_t>(1, (total - 50) / 550);
        for(std::uint64_t n = 50 + step; n <= total; n += step) picked.push_back(n);
    }
    return picked;
}

bool survived_or_out_of_memory(int status) {
    return (WIFEXITED(status) && WEXITSTATUS(status) == 0) ||
           (WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT);
}

TEST(OutOfMemory, AtEachAllocationOfAWholeSession) {
    GTEST_FLAG_SET(death_test_style, "fast");
    const std::uint64_t total = session_allocations();
    ASSERT_GT(total, 50u);
    std::printf(
        "[ campaign ] a whole session makes %llu allocations\n",
        static_cast<unsigned long long>(total));
    for(std::uint64_t n : sampled(total)) {
        count_case("out of memory", "allocation " + std::to_string(n) + " fails", [&] {
            const std::filesystem::path root = card_dir(n);
            std::filesystem::remove_all(root);
            EXPECT_EXIT(
                {
                    sim::CorvaneSessionOptions options;
                    options.sd_root = root;
                    Driver app(options);
                    set_up(app);
                    host::memory::fail_nth_allocation(n, host::memory::Failure::Stop);
                    session(app);
                    host::memory::fail_nth_allocation(0);
                    const auto code = app.quit();
                    if(!code) {
                        std::fprintf(stderr, "the app did not end on Back\n");
                        std::_Exit(2);
                    }
                    if(app.leaked_blocks() != 0) {
                        std::fprintf(stderr, "%td blocks leaked\n", app.leaked_blocks());
                        std::_Exit(3);
                    }
                    std::fprintf(stderr, "session ended, app returned %d\n", *code);
                    std::_Exit(0);
                },
                survived_or_out_of_memory,
                "session ended|out of memory");
            const Card before = {{"Gate.uhf", tag_file()}};
            expect_card_sound(before, tag_files_in(root));
            std::filesystem::remove_all(root);
        });
    }
}

} // namespace
} // namespace reliability
