// Misuse of the platform API stops the run with a clear message instead of corrupting state.
#include <gtest/gtest.h>

#include <furi.h>

#include "host/memory.h"
#include "host/runtime.h"

namespace {

class Misuse : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

int32_t sleep_forever_ish(void*) {
    furi_delay_ms(1000);
    return 0;
}

TEST_F(Misuse, FreeingARunningThread) {
    EXPECT_DEATH(
        {
            host::Runtime rt;
            FuriThread* t = furi_thread_alloc_ex("busy", 1024, sleep_forever_ish, nullptr);
            furi_thread_start(t);
            furi_thread_free(t);
        },
        "furi_thread_free: thread \"busy\" is still running");
}

TEST_F(Misuse, JoiningOneself) {
    EXPECT_DEATH(
        {
            host::Runtime rt;
            FuriThread* t = furi_thread_alloc_ex(
                "selfish",
                1024,
                [](void*) -> int32_t {
                    furi_thread_join(furi_thread_get_current());
                    return 0;
                },
                nullptr);
            furi_thread_start(t);
            furi_thread_join(t);
        },
        "cannot join itself");
}

TEST_F(Misuse, NullWhereThePlatformForbidsIt) {
    EXPECT_DEATH(
        {
            host::Runtime rt;
            furi_message_queue_put(nullptr, "x", 0);
        },
        "furi_message_queue_put: queue is null");
    EXPECT_DEATH(
        {
            host::Runtime rt;
            furi_record_open(nullptr);
        },
        "furi_record_open: name is null");
}

TEST_F(Misuse, BlockingInInterruptContext) {
    EXPECT_DEATH(
        {
            host::Runtime rt;
            FuriMessageQueue* q = furi_message_queue_alloc(1, 1);
            rt.schedule_after(host::ms(1), [q] {
                char c;
                furi_message_queue_get(q, &c, FuriWaitForever);
            });
            furi_delay_ms(5);
        },
        "only timeout 0 is allowed in interrupt context");
    EXPECT_DEATH(
        {
            host::Runtime rt;
            host::run_in_interrupt_context([] { furi_record_open("gui"); });
        },
        "blocking call from interrupt context");
    EXPECT_DEATH(
        {
            host::Runtime rt;
            host::run_in_interrupt_context([] { furi_host_malloc(16); });
        },
        "malloc called from interrupt context");
}

TEST_F(Misuse, DeadlockIsReportedWithTheWaitingThreads) {
    EXPECT_DEATH(
        {
            host::Runtime rt;
            FuriMessageQueue* q = furi_message_queue_alloc(1, 1);
            char c;
            furi_message_queue_get(q, &c, FuriWaitForever);
        },
        "deadlock.*main \\(blocked\\)");
}

TEST_F(Misuse, FailedCheckNamesExpressionAndPlace) {
    EXPECT_DEATH(
        furi_check(1 + 1 == 3),
        "furi_check failed: 1 \\+ 1 == 3\n    at .*misuse_test.cpp:[0-9]+");
    EXPECT_DEATH(furi_crash("out of cheese"), "furi_crash: out of cheese");
}

} // namespace
