// The worker's life: which states run a job, the callback once per run, stops on a finished or a
// verifying worker, restarts, and running out of memory.
#include "alloc_failures.h"
#include "worker_fixture.h"

namespace {

using namespace worker_test;

TEST_F(WorkerTest, StatesWithoutAJobEndTheThreadAtOnceWithoutCallback) {
    for(int value : {0, 1, 2, 6, int{UHFWorkerStateStop}}) {
        SCOPED_TRACE(value);
        start(static_cast<UHFWorkerState>(value));
        finish();
        EXPECT_TRUE(outcome_.events.empty());
        EXPECT_EQ(elapsed(), 0u);
        EXPECT_EQ(worker_->state, value);
    }
    EXPECT_EQ(model_.frames_received(), 0u);
    expect_no_leak();
}

TEST_F(WorkerTest, VerifyIgnoresTheStopAndReportsItsRealResult) {
    start(UHFWorkerStateVerify);
    stop_after(150);
    EXPECT_EQ(elapsed(), host::ms(300)); // all three queries, 100 ms each
    expect_reported(UHFWorkerEventSuccess);
    EXPECT_EQ(commands(), (std::vector<std::uint8_t>{kInfo, kInfo, kInfo}));
    EXPECT_STREQ(worker_->module->info->manufacturer, "MagicRf");
    expect_no_leak();

    // Module unpowered: every query goes out unanswered; the stop still does not shorten it.
    furi_hal_power_disable_otg();
    start(UHFWorkerStateVerify);
    stop_after(50);
    EXPECT_EQ(elapsed(), host::ms(300));
    expect_reported(UHFWorkerEventFail);
    EXPECT_EQ(worker_->module->info->hw_version, nullptr);
    EXPECT_EQ(worker_->module->info->manufacturer, nullptr);
    expect_no_leak();
}

TEST_F(WorkerTest, RestartsAfterFinishedJobsRunEachJobOnce) {
    const auto id = model_.add_tag(tag_spec(6, 8));

    start(UHFWorkerStateVerify);
    finish();
    expect_reported(UHFWorkerEventSuccess);
    // A stop on a finished worker does nothing: no wait, and the state keeps the job's value.
    const auto before = rt_.now();
    uhf_worker_stop(worker_);
    EXPECT_EQ(rt_.now(), before);
    EXPECT_EQ(worker_->state, UHFWorkerStateVerify);

    for(int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        start(UHFWorkerStateDetectSingle);
        finish();
        expect_reported(UHFWorkerEventSuccess);
        expect_same_epc(model_.tag(id), holder_->uhf_tag);
        EXPECT_EQ(uhf_tag_get_user_size(holder_->uhf_tag), 16u);
        // The second read replaced the first tag: only one is alive.
        expect_no_leak();
    }
    EXPECT_EQ(worker_->state, UHFWorkerStateDetectSingle);
}

TEST_F(WorkerTest, ATagRecordThatCannotBeAllocatedFailsTheJob) {
    model_.add_tag(tag_spec(6, 8));
    // The record and each of its four parts in turn: the job fails, sends nothing, keeps nothing.
    for(std::uint64_t nth = 1; nth <= 5; ++nth) {
        for(auto state : {UHFWorkerStateDetectSingle, UHFWorkerStateWriteSingle}) {
            SCOPED_TRACE(testing::Message() << "allocation " << nth << ", state " << state);
            if(state == UHFWorkerStateWriteSingle && !holder_->uhf_tag)
                hold_loaded_tag(kExampleEpc, 0x3000);
            UHFTag* held = holder_->uhf_tag;
            {
                test_support::FailNthAllocation fail(nth);
                start(state);
                finish();
            }
            expect_reported(UHFWorkerEventFail);
            EXPECT_EQ(holder_->uhf_tag, held);
            expect_no_leak();
        }
    }
    EXPECT_EQ(model_.frames_received(), 0u);
}

} // namespace
