// The write job against the virtual YRM100: its log lines, retries of refused writes, stops before
// and after a successful write, the polled tag's release, and the empty holder.
#include <algorithm>

#include "worker_fixture.h"

namespace {

using namespace worker_test;
namespace fault = sim::yrm100_fault;

const Bytes kNewEpc = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

class WriteJob : public WorkerTest {
protected:
    void SetUp() override {
        WorkerTest::SetUp();
        id_ = model_.add_tag(tag_spec(6, 8));
        source_ = hold_loaded_tag(kNewEpc, 0x3000);
    }
    std::vector<std::string> worker_log() { return rt_.log().texts("wkr"); }
    /// The job's "try to write" lines, in order.
    std::vector<std::string> tries() {
        auto log = worker_log();
        std::erase_if(log, [](const std::string& line) {
            return !line.starts_with("try to write");
        });
        return log;
    }
    /// The held tag is still there, unchanged, and the model's tag was (or was not) written.
    void expect_source_kept() {
        EXPECT_EQ(holder_->uhf_tag, source_);
        EXPECT_EQ(bytes_of(uhf_tag_get_epc(source_), uhf_tag_get_epc_size(source_)), kNewEpc);
    }
    void expect_tag_written(bool written) {
        EXPECT_EQ(model_.tag(id_).epc(), written ? kNewEpc : kExampleEpc);
        EXPECT_EQ(model_.tag(id_).writes(), written ? 1u : 0u);
    }

    sim::Yrm100::TagId id_ = 0;
    UHFTag* source_ = nullptr;
};

TEST_F(WriteJob, FirstAttemptSucceedsWithTheJobsLogLinesInOrder) {
    start(UHFWorkerStateWriteSingle);
    finish();
    expect_reported(UHFWorkerEventSuccess);
    EXPECT_EQ(elapsed(), host::ms(400));
    EXPECT_EQ(commands(), (std::vector<std::uint8_t>{kPoll, kSelect, kWrite}));
    // The write command logs the source's PC under the same tag, between the last two lines.
    EXPECT_EQ(
        worker_log(),
        (std::vector<std::string>{"read success", "set select success", "3000", "try to write 0"}));
    const auto lines = rt_.log().lines();
    const auto at = [&](std::string_view tag, std::string_view text) {
        return std::find_if(
                   lines.begin(),
                   lines.end(),
                   [&](const auto& l) { return l.tag == tag && l.text == text; }) -
               lines.begin();
    };
    EXPECT_LT(at("wkr", "set select success"), at("m100", "cmd[0]=BB"));
    EXPECT_LT(at("m100", "cmd[31]=7E"), at("wkr", "try to write 0"));
    for(const auto& line : lines) EXPECT_EQ(line.level, FuriLogLevelError);

    expect_tag_written(true);
    expect_source_kept();
    expect_no_leak(); // the polled tag is gone
}

TEST_F(WriteJob, RefusedWritesAreRetriedUntilAccepted) {
    model_.refuse_writes(2); // insufficient power, in the long form
    start(UHFWorkerStateWriteSingle);
    finish();
    expect_reported(UHFWorkerEventSuccess);
    EXPECT_EQ(elapsed(), host::ms(600));
    EXPECT_EQ(commands(), (std::vector<std::uint8_t>{kPoll, kSelect, kWrite, kWrite, kWrite}));
    EXPECT_EQ(
        tries(), (std::vector<std::string>{"try to write 1", "try to write 1", "try to write 0"}));
    expect_tag_written(true);
    expect_source_kept();
    expect_no_leak();
}

TEST_F(WriteJob, StopDuringTheSelectStillSendsOneWriteAndReportsTheStop) {
    start(UHFWorkerStateWriteSingle);
    stop_after(250);
    EXPECT_EQ(elapsed(), host::ms(400));
    expect_reported(UHFWorkerEventAborted);
    EXPECT_EQ(commands(), (std::vector<std::uint8_t>{kPoll, kSelect, kWrite}));
    EXPECT_EQ(tries(), std::vector<std::string>{"try to write 0"});
    expect_tag_written(true); // done, yet the stop is what the callback hears
    expect_source_kept();
    expect_no_leak();
}

TEST_F(WriteJob, StopInThePassOfTheSuccessfulWriteReportsTheStop) {
    model_.refuse_writes(1);
    start(UHFWorkerStateWriteSingle);
    stop_after(450); // while the second attempt, the accepted one, waits for its reply
    EXPECT_EQ(elapsed(), host::ms(500));
    expect_reported(UHFWorkerEventAborted);
    EXPECT_EQ(commands(), (std::vector<std::uint8_t>{kPoll, kSelect, kWrite, kWrite}));
    EXPECT_EQ(tries(), (std::vector<std::string>{"try to write 1", "try to write 0"}));
    expect_tag_written(true);
    expect_no_leak();
}

TEST_F(WriteJob, RefusedSelectFailsWithoutWriting) {
    model_.arm_fault(fault::silence(), 2);
    start(UHFWorkerStateWriteSingle);
    finish();
    expect_reported(UHFWorkerEventFail);
    EXPECT_EQ(commands(), (std::vector<std::uint8_t>{kPoll, kSelect}));
    EXPECT_EQ(worker_log(), std::vector<std::string>{"read success"});
    expect_tag_written(false);
    expect_source_kept();
    expect_no_leak();
}

TEST_F(WriteJob, EmptyHolderFailsAtOnceAndSendsNothing) {
    uhf_tag_wrapper_set_tag(holder_, nullptr);
    start(UHFWorkerStateWriteSingle);
    finish();
    expect_reported(UHFWorkerEventFail);
    EXPECT_EQ(elapsed(), 0u);
    EXPECT_EQ(model_.frames_received(), 0u);
    EXPECT_TRUE(worker_log().empty());
    expect_tag_written(false);
    expect_no_leak();
}

} // namespace
