// Module faults at every exchange of the module check, the read job and the write job: each
// injectable fault of the virtual module, the module unplugged from that exchange on, the tag
// leaving the field right after it, and refused reads and writes with every error code.
//
// The exchanges are counted on a clean run first; then one case per (fault, exchange). What the
// app must end in follows from the commands' evaluation and the jobs' rules: a check that gets
// no byte finds no module (an identity query asks once more for a reply that is not a whole
// frame, and shows only what a whole one says); a broken poll is polled
// again; a select reply that fails its checksum or status fails the job, so its popup stays until
// Back; a broken bank read only ends that bank's loop early; a write reply that is lost is
// written again, in vain (see expected_end).
#include "campaign.h"

namespace reliability {
namespace {

namespace y = sim::yrm100;
namespace fault = sim::yrm100_fault;

enum class Phase {
    Check,
    Read,
    Write
};

const char* phase_name(Phase phase) {
    switch(phase) {
    case Phase::Check:
        return "check";
    case Phase::Read:
        return "read";
    case Phase::Write:
        return "write";
    }
    return "?";
}

/// How a fault acts on the exchange it is armed for.
enum class Kind {
    Breaks,   ///< this reply is lost or unusable; the next exchange is clean
    Harmless, ///< the reply still arrives whole and in time
    Unplugs,  ///< the module goes silent from this exchange on
    TagLeaves ///< the tag leaves the field once this reply is out
};

struct FaultCase {
    const char* name;
    Kind kind;
    /// Whether the app still ends well, by each command's evaluation rules: an identity query
    /// asks again when bytes came but no whole frame (the next exchange is clean); a select
    /// checks R[1..6] and the status byte; a write only asks for the error command at R[2] in a
    /// reply that arrived whole enough.
    bool identity_ok, select_ok, write_ok;
    std::function<sim::Yrm100Fault(Driver&, sim::Yrm100::TagId)> make;
};

sim::Yrm100Fault as_fault(sim::Yrm100Fault f) {
    return f;
}

const std::vector<FaultCase>& fault_cases() {
    static const std::vector<FaultCase> cases = {
        {"silence",
         Kind::Breaks,
         false,
         false,
         false,
         [](Driver&, auto) { return fault::silence(); }},
        {"corrupt header",
         Kind::Breaks,
         true,
         true,
         true,
         [](Driver&, auto) { return fault::corrupt_byte(0); }},
        {"corrupt command",
         Kind::Breaks,
         true,
         false,
         true,
         [](Driver&, auto) { return fault::corrupt_byte(2); }},
        {"corrupt payload",
         Kind::Breaks,
         true,
         false,
         true,
         [](Driver&, auto) { return fault::corrupt_byte(5, 0x80); }},
        {"corrupt checksum",
         Kind::Breaks,
         true,
         false,
         true,
         [](Driver&, auto) {
             return as_fault([](sim::Yrm100Reply& r) {
                 if(r.bytes.size() >= 2) r.bytes[r.bytes.size() - 2] ^= 0x01;
             });
         }},
        {"corrupt length",
         Kind::Breaks,
         true,
         false,
         false,
         [](Driver&, auto) { return fault::corrupt_byte(4, 0x40); }},
        {"cut before length",
         Kind::Breaks,
         true,
         false,
         false,
         [](Driver&, auto) { return fault::cut_short(4); }},
        {"cut before end",
         Kind::Breaks,
         true,
         true,
         true,
         [](Driver&, auto) {
             return as_fault([](sim::Yrm100Reply& r) {
                 if(!r.bytes.empty()) r.bytes.pop_back();
             });
         }},
        {"noise",
         Kind::Breaks,
         true,
         false,
         false,
         [](Driver&, auto) { return fault::noise(24, 7); }},
        {"late reply",
         Kind::Breaks,
         false,
         false,
         false,
         [](Driver&, auto) { return fault::delay(host::ms(150)); }},
        {"trailing bytes",
         Kind::Harmless,
         true,
         true,
         true,
         [](Driver&, auto) {
             return fault::trailing({0x7E, 0x00, 0xBB, 0x01});
         }},
        {"second frame",
         Kind::Harmless,
         true,
         true,
         true,
         [](Driver&, auto) {
             // A whole error frame right behind the reply: dropped, the reply stands.
             return fault::trailing({0xBB, 0x01, 0xFF, 0x00, 0x01, 0x15, 0x16, 0x7E});
         }},
        {"slow reply",
         Kind::Harmless,
         true,
         true,
         true,
         [](Driver&, auto) { return fault::delay(host::ms(40)); }},
        {"unplugged",
         Kind::Unplugs,
         false,
         false,
         false,
         [](Driver& app, auto) {
             sim::Yrm100* module = &app.module();
             return as_fault([module](sim::Yrm100Reply& r) {
                 module->set_unplugged(true);
                 r.bytes.clear();
             });
         }},
        {"tag leaves",
         Kind::TagLeaves,
         true,
         true,
         true,
         [](Driver& app, sim::Yrm100::TagId id) {
             sim::Yrm100* module = &app.module();
             return as_fault([module, id](sim::Yrm100Reply&) { module->remove_tag(id); });
         }},
    };
    return cases;
}

enum class End {
    Done,    ///< found screen / read result / write result
    Stuck,   ///< the job's popup stays until Back
    NotFound ///< the check's not-found screen
};

End expected_end(Phase phase, const FaultCase& f, std::uint8_t command) {
    switch(phase) {
    case Phase::Check:
        return f.identity_ok ? End::Done : End::NotFound;
    case Phase::Read:
        // A broken poll is polled again; a broken bank read ends that bank early (the EPC
        // stands); a refused select fails the job and the popup stays.
        if(command == y::kCmdSelectParam && !f.select_ok) return End::Stuck;
        if(f.kind == Kind::Unplugs && command == y::kCmdSinglePoll) return End::Stuck;
        return End::Done;
    case Phase::Write:
        if(f.kind == Kind::Unplugs) return End::Stuck;
        if(f.kind == Kind::TagLeaves) return command == y::kCmdWrite ? End::Done : End::Stuck;
        if(command == y::kCmdSelectParam && !f.select_ok) return End::Stuck;
        // A write whose reply is lost has still written the tag: from then on the tag no longer
        // matches the select made with its old EPC, every retry is refused, and the popup stays
        // until Back (the tag holds the saved EPC whole).
        if(command == y::kCmdWrite && !f.write_ok) return End::Stuck;
        return End::Done;
    }
    return End::Done;
}

class ModuleFaults : public ::testing::Test {
protected:
    /// Brings a fresh app to the point where `phase` begins; false when it could not.
    static bool prepare(Driver& app, Phase phase, sim::Yrm100::TagId& id) {
        app.write_data_file("Gate.uhf", tag_file());
        id = app.add_tag(standard_tag());
        if(phase == Phase::Check) return true;
        if(!to_menu(app)) return false;
        if(phase == Phase::Write) return load_file(app);
        return true;
    }
    static void begin(Driver& app, Phase phase) {
        switch(phase) {
        case Phase::Check:
            app.start();
            break;
        case Phase::Read:
            app.press(InputKeyOk);
            break;
        case Phase::Write:
            choose_write(app);
            break;
        }
    }
    static const char* done_text(Phase phase) {
        switch(phase) {
        case Phase::Check:
            return "Module Info";
        case Phase::Read:
            return "Read Success";
        case Phase::Write:
            return "Write Success";
        }
        return "";
    }

    /// The commands of a clean run of `phase`, in order.
    static std::vector<std::uint8_t> clean_exchanges(Phase phase) {
        Driver app;
        sim::Yrm100::TagId id = 0;
        EXPECT_TRUE(prepare(app, phase, id));
        const std::size_t mark = app.module().frames_received();
        begin(app, phase);
        EXPECT_TRUE(reach(app, done_text(phase)));
        const auto all = app.commands();
        app.quit();
        return {all.begin() + static_cast<std::ptrdiff_t>(mark), all.end()};
    }

    /// Checks the screen the case ended on and the tag in the field.
    static void expect_end(Driver& app, Phase phase, End end, sim::Yrm100::TagId id) {
        switch(end) {
        case End::Done:
            if(!reach(app, done_text(phase))) return;
            if(phase == Phase::Check) {
                // The module's own identity, never what a broken reply made of it.
                for(const char* line :
                    {"HW Version: M100 26dBm V1.0",
                     "SW Version: V2.3.5",
                     "Manufacturer: MagicRf"}) {
                    EXPECT_TRUE(app.screen().find(line) != nullptr) << line << "\n"
                                                                    << app.describe();
                }
            }
            if(phase == Phase::Read) {
                EXPECT_NE(screen_hex(app).find(kEpcDigits), std::string::npos)
                    << "the result shows another EPC:\n"
                    << app.describe();
            }
            if(phase == Phase::Write) {
                EXPECT_EQ(app.module().tag(id).epc(), kFileEpc);
            }
            break;
        case End::Stuck: {
            const char* popup = phase == Phase::Read ? "Detecting" : "Writing";
            app.wait(1500);
            EXPECT_TRUE(app.shows(popup)) << app.describe();
            EXPECT_TRUE(app.blinking_cyan());
            if(phase == Phase::Write) {
                // The tag holds its own EPC or the file's, never a mix.
                const Bytes epc = app.module().tag(id).epc();
                EXPECT_TRUE(epc == kEpc || epc == kFileEpc);
            }
            app.press(InputKeyBack);
            if(phase == Phase::Read) {
                EXPECT_TRUE(app.wait_for("Read Tag", 400)) << app.describe();
            } else {
                app.wait(400);
                EXPECT_TRUE(on_saved_menu(app)) << app.describe();
            }
            EXPECT_FALSE(app.led().blinking);
            break;
        }
        case End::NotFound:
            reach(app, "No UHF Module found");
            EXPECT_FALSE(app.shows("HW Version"));
            break;
        }
    }

    static void run_faults(Phase phase) {
        const auto exchanges = clean_exchanges(phase);
        ASSERT_FALSE(exchanges.empty());
        for(std::size_t k = 1; k <= exchanges.size(); ++k) {
            for(const FaultCase& f : fault_cases()) {
                if(phase == Phase::Check && f.kind == Kind::TagLeaves) continue;
                const std::string category =
                    f.kind == Kind::Unplugs ?
                        "module unplugged" :
                        (f.kind == Kind::TagLeaves ? "tag leaves" : "module faults");
                const std::string name = std::string(phase_name(phase)) + " exchange " +
                                         std::to_string(k) + " (command " +
                                         std::to_string(exchanges[k - 1]) + "): " + f.name;
                count_case(category, name, [&] {
                    Driver app;
                    sim::Yrm100::TagId id = 0;
                    if(!prepare(app, phase, id)) return;
                    const Card before = card_files(app);
                    app.module().arm_fault(f.make(app, id), static_cast<unsigned>(k));
                    begin(app, phase);
                    expect_end(app, phase, expected_end(phase, f, exchanges[k - 1]), id);
                    if(phase == Phase::Write && exchanges[k - 1] == y::kCmdWrite) {
                        // The fault struck the reply: the write itself went through, whole.
                        EXPECT_EQ(app.module().tag(id).epc(), kFileEpc);
                    }
                    finish(app, before);
                });
            }
        }
    }

    /// The first `n` reads (writes) refused with `code`, for every n up to the clean run's
    /// count of them (writes: three).
    static void run_refusals(Phase phase, const std::vector<std::uint8_t>& codes) {
        const auto exchanges = clean_exchanges(phase);
        const std::uint8_t command = phase == Phase::Read ? y::kCmdRead : y::kCmdWrite;
        const auto clean = std::count(exchanges.begin(), exchanges.end(), command);
        const long most = phase == Phase::Read ? clean : 3;
        ASSERT_GT(clean, 0);
        for(std::uint8_t code : codes) {
            for(long n = 1; n <= most; ++n) {
                const std::string name = std::string(phase_name(phase)) + ": first " +
                                         std::to_string(n) + " refused with error " +
                                         std::to_string(code);
                count_case("refusals", name, [&] {
                    Driver app;
                    sim::Yrm100::TagId id = 0;
                    if(!prepare(app, phase, id)) return;
                    const Card before = card_files(app);
                    if(phase == Phase::Read) {
                        app.module().refuse_reads(static_cast<unsigned>(n), code);
                    } else {
                        app.module().refuse_writes(static_cast<unsigned>(n), code);
                    }
                    begin(app, phase);
                    expect_end(app, phase, End::Done, id);
                    finish(app, before);
                });
            }
        }
    }
};

TEST_F(ModuleFaults, AtEachExchangeOfTheCheck) {
    run_faults(Phase::Check);
}

TEST_F(ModuleFaults, AtEachExchangeOfTheReadJob) {
    run_faults(Phase::Read);
}

TEST_F(ModuleFaults, AtEachExchangeOfTheWriteJob) {
    run_faults(Phase::Write);
}

TEST_F(ModuleFaults, RefusedReadsWithEachErrorCode) {
    run_refusals(
        Phase::Read,
        {y::kErrReadFailed,
         y::kErrAccessFailed,
         y::kErrCommand,
         y::kErrInventoryFailed,
         y::kErrReadTag | y::kGen2Other,
         y::kErrReadTag | y::kGen2MemoryOverrun,
         y::kErrReadTag | y::kGen2MemoryLocked,
         y::kErrReadTag | y::kGen2InsufficientPower});
}

TEST_F(ModuleFaults, RefusedWritesWithEachErrorCode) {
    run_refusals(
        Phase::Write,
        {y::kErrWriteFailed,
         y::kErrAccessFailed,
         y::kErrCommand,
         y::kErrInventoryFailed,
         y::kErrWriteTag | y::kGen2Other,
         y::kErrWriteTag | y::kGen2MemoryOverrun,
         y::kErrWriteTag | y::kGen2MemoryLocked,
         y::kErrWriteTag | y::kGen2InsufficientPower});
}

} // namespace
} // namespace reliability
