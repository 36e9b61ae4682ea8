// Back and a long Back while each job runs, pressed in each exchange of it: on the module check,
// the read popup, the write popup, and the popups that Back on a result screen starts again.
//
// A short Back stops the job (the check runs to its end) and leaves: the check ends the app, the
// read popup returns to the start menu, the write popup to the saved menu, each within the
// exchange in flight and one poll pause. A long Back (its Long event in that exchange) navigates as the platform's view dispatcher
// does with an unconsumed Back of either type: the same.
#include "campaign.h"

namespace reliability {
namespace {

enum class Job {
    Check,
    Read,
    Write,
    ReadAgain,
    WriteAgain
};

struct JobCase {
    const char* name;
    Job job;
    const char* done;      ///< the screen a clean run of the job ends on
    const char* left_to;   ///< where a short Back leads ("" : the app ends)
    std::size_t exchanges; ///< of a clean run, counted by the first case of each job
};

class BackDuringJobs : public ::testing::Test {
protected:
    /// A fresh app right before the job starts; false when it could not get there.
    static bool prepare(Driver& app, Job job, sim::Yrm100::TagId& id) {
        app.write_data_file("Gate.uhf", tag_file());
        id = app.add_tag(standard_tag());
        if(job == Job::Check) return true;
        if(!to_menu(app)) return false;
        switch(job) {
        case Job::Read:
            return true;
        case Job::ReadAgain:
            app.press(InputKeyOk);
            return reach(app, "Read Success");
        case Job::Write:
            return load_file(app);
        case Job::WriteAgain:
            if(!load_file(app)) return false;
            choose_write(app);
            return reach(app, "Write Success");
        case Job::Check:
            break;
        }
        return true;
    }

    static void begin(Driver& app, Job job) {
        switch(job) {
        case Job::Check:
            app.start();
            break;
        case Job::Read:
            app.press(InputKeyOk);
            break;
        case Job::Write:
            choose_write(app);
            break;
        case Job::ReadAgain:
        case Job::WriteAgain:
            app.press(InputKeyBack); // on the result screen: the job runs again
            break;
        }
    }

    static std::size_t clean_exchanges(Job job, const char* done) {
        Driver app;
        sim::Yrm100::TagId id = 0;
        EXPECT_TRUE(prepare(app, job, id));
        const std::size_t mark = job == Job::Check ? 0 : app.module().frames_received();
        begin(app, job);
        EXPECT_TRUE(reach(app, done));
        const std::size_t count = app.module().frames_received() - mark;
        app.quit();
        return count;
    }

    static void expect_left(Driver& app, const JobCase& c) {
        if(std::string_view(c.left_to).empty()) {
            app.wait(400); // the check runs to its end first
            EXPECT_FALSE(app.running()) << "Back on the check did not end the app";
            return;
        }
        app.wait(300);
        if(std::string_view(c.left_to) == "saved menu") {
            EXPECT_TRUE(on_saved_menu(app)) << app.describe();
        } else {
            EXPECT_TRUE(app.shows(c.left_to)) << app.describe();
        }
        EXPECT_FALSE(app.led().blinking);
    }
};

TEST_F(BackDuringJobs, ShortAndLongBackInEachExchangeOfEachJob) {
    JobCase jobs[] = {
        {"check", Job::Check, "Module Info", "", 0},
        {"read", Job::Read, "Read Success", "Read Tag", 0},
        {"read again", Job::ReadAgain, "Read Success", "Read Tag", 0},
        {"write", Job::Write, "Write Success", "saved menu", 0},
        {"write again", Job::WriteAgain, "Write Success", "saved menu", 0},
    };
    for(JobCase& c : jobs) {
        c.exchanges = clean_exchanges(c.job, c.done);
        ASSERT_GT(c.exchanges, 0u) << c.name;
        for(std::size_t k = 1; k <= c.exchanges; ++k) {
            for(bool long_back : {false, true}) {
                const std::string name = std::string(long_back ? "long Back" : "Back") +
                                         " in exchange " + std::to_string(k) + " of the " + c.name;
                count_case("Back during jobs", name, [&] {
                    Driver app;
                    sim::Yrm100::TagId id = 0;
                    if(!prepare(app, c.job, id)) return;
                    const Card before = card_files(app);
                    const std::size_t mark = c.job == Job::Check ? 0 :
                                                                   app.module().frames_received();
                    begin(app, c.job);
                    // A long Back: held since the job began, its Long event comes in exchange k.
                    auto& input = app.gui().input();
                    const std::uint32_t sequence = 1000 + static_cast<std::uint32_t>(k);
                    if(long_back) input.send_raw(InputKeyBack, InputTypePress, sequence);
                    if(!wait_for_frame(app, mark + k)) {
                        ADD_FAILURE() << "the job never sent exchange " << k;
                        return;
                    }
                    if(long_back) {
                        input.send_raw(InputKeyBack, InputTypeLong, sequence);
                        app.wait(20);
                        input.send_raw(InputKeyBack, InputTypeRelease, sequence);
                    } else {
                        app.press(InputKeyBack);
                    }
                    expect_left(app, c);
                    if(c.job == Job::Write || c.job == Job::WriteAgain) {
                        const Bytes epc = app.module().tag(id).epc();
                        EXPECT_TRUE(epc == kEpc || epc == kFileEpc) << "the tag was half written";
                    }
                    finish(app, before);
                });
            }
        }
    }
}

TEST_F(BackDuringJobs, BackWhilePollingAnEmptyField) {
    // No tag: the read and write jobs poll until Back, at any of the polls.
    for(Job job : {Job::Read, Job::Write}) {
        for(std::size_t polls : {1u, 2u, 5u}) {
            const std::string name = std::string(job == Job::Read ? "read" : "write") +
                                     ", empty field, Back at poll " + std::to_string(polls);
            count_case("Back during jobs", name, [&] {
                Driver app;
                app.write_data_file("Gate.uhf", tag_file());
                if(!to_menu(app)) return;
                if(job == Job::Write && !load_file(app)) return;
                const Card before = card_files(app);
                const std::size_t mark = app.module().frames_received();
                begin(app, job);
                if(!wait_for_frame(app, mark + polls)) {
                    ADD_FAILURE() << "no poll " << polls;
                    return;
                }
                app.press(InputKeyBack);
                app.wait(300);
                if(job == Job::Read) {
                    EXPECT_TRUE(app.shows("Read Tag")) << app.describe();
                } else {
                    EXPECT_TRUE(on_saved_menu(app)) << app.describe();
                }
                EXPECT_FALSE(app.led().blinking);
                finish(app, before);
            });
        }
    }
}

} // namespace
} // namespace reliability
