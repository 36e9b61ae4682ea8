// Records, timers, sync primitives and logging as the apps and the GUI use them.
#include <gtest/gtest.h>

#include <furi.h>

#include <vector>

#include "host/runtime.h"

namespace {

using host::ms;

TEST(Records, OpenWaitsUntilTheRecordIsCreated) {
    host::Runtime rt;
    static int service_data = 5;
    FuriThread* t = furi_thread_alloc_ex(
        "opener",
        1024,
        [](void*) -> int32_t {
            return *static_cast<int*>(furi_record_open("svc")) +
                   static_cast<int32_t>(furi_get_tick());
        },
        nullptr);
    furi_thread_start(t);
    furi_delay_ms(20);
    EXPECT_EQ(furi_thread_get_state(t), FuriThreadStateRunning); // still waiting
    furi_record_create("svc", &service_data);
    furi_thread_join(t);
    EXPECT_EQ(furi_thread_get_return_code(t), 5 + 20);
    EXPECT_FALSE(host::record_destroy("svc")) << "a record that is open must not go";
    furi_record_close("svc");
    EXPECT_TRUE(host::record_destroy("svc"));
    EXPECT_FALSE(furi_record_exists("svc"));
    furi_thread_free(t);
}

TEST(Timers, FireOnTheTimerServiceAtTheirVirtualTimes) {
    host::Runtime rt;
    struct Log {
        std::vector<uint32_t> ticks;
        std::vector<const char*> threads;
    } log;
    FuriTimer* periodic = furi_timer_alloc(
        [](void* ctx) {
            auto* l = static_cast<Log*>(ctx);
            l->ticks.push_back(furi_get_tick());
            l->threads.push_back(furi_thread_get_name(furi_thread_get_current_id()));
        },
        FuriTimerTypePeriodic,
        &log);
    furi_timer_start(periodic, 150);
    furi_delay_ms(500);
    EXPECT_EQ(log.ticks, (std::vector<uint32_t>{150, 300, 450}));
    ASSERT_FALSE(log.threads.empty());
    EXPECT_STREQ(log.threads[0], "TimersSrv");
    EXPECT_TRUE(furi_timer_is_running(periodic));
    furi_timer_stop(periodic);
    furi_delay_ms(500);
    EXPECT_EQ(log.ticks.size(), 3u);

    int once_count = 0;
    FuriTimer* once = furi_timer_alloc(
        [](void* ctx) { ++*static_cast<int*>(ctx); }, FuriTimerTypeOnce, &once_count);
    furi_timer_start(once, 10);
    furi_delay_ms(100);
    EXPECT_EQ(once_count, 1);
    EXPECT_FALSE(furi_timer_is_running(once));
    furi_timer_free(once);
    furi_timer_free(periodic);
}

TEST(Sync, MutexHandsOverToTheWaiterAndSemaphoreCounts) {
    host::Runtime rt;
    FuriMutex* mutex = furi_mutex_alloc(FuriMutexTypeNormal);
    ASSERT_EQ(furi_mutex_acquire(mutex, FuriWaitForever), FuriStatusOk);
    FuriThread* t = furi_thread_alloc_ex(
        "contender",
        1024,
        [](void* ctx) -> int32_t {
            auto* m = static_cast<FuriMutex*>(ctx);
            if(furi_mutex_acquire(m, 10) != FuriStatusErrorTimeout) return -1;
            if(furi_mutex_acquire(m, FuriWaitForever) != FuriStatusOk) return -2;
            const auto tick = static_cast<int32_t>(furi_get_tick());
            furi_mutex_release(m);
            return tick;
        },
        mutex);
    furi_thread_start(t);
    furi_delay_ms(50);
    EXPECT_EQ(furi_mutex_get_owner(mutex), furi_thread_get_current_id());
    EXPECT_EQ(furi_mutex_release(mutex), FuriStatusOk);
    furi_thread_join(t);
    EXPECT_EQ(furi_thread_get_return_code(t), 50);
    furi_thread_free(t);
    furi_mutex_free(mutex);

    FuriSemaphore* sem = furi_semaphore_alloc(2, 1);
    EXPECT_EQ(furi_semaphore_acquire(sem, 0), FuriStatusOk);
    EXPECT_EQ(furi_semaphore_acquire(sem, 25), FuriStatusErrorTimeout);
    EXPECT_EQ(rt.now(), ms(75));
    rt.schedule_after(ms(5), [sem] { furi_semaphore_release(sem); }); // from an interrupt
    EXPECT_EQ(furi_semaphore_acquire(sem, FuriWaitForever), FuriStatusOk);
    EXPECT_EQ(rt.now(), ms(80));
    furi_semaphore_free(sem);
}

TEST(Log, LinesAreCapturedWithTickLevelAndTag) {
    host::Runtime rt({.log_to_stderr = false});
    furi_delay_ms(12);
    FURI_LOG_E("wkr", "try to write %d", 3);
    FURI_LOG_D("wkr", "hidden at the default level");
    furi_log_set_level(FuriLogLevelDebug);
    FURI_LOG_D("m100", "cmd[%d]=%02X", 0, 0xBB);
    auto lines = rt.log().lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].tick, 12u);
    EXPECT_EQ(lines[0].level, FuriLogLevelError);
    EXPECT_EQ(lines[0].tag, "wkr");
    EXPECT_EQ(lines[0].text, "try to write 3");
    EXPECT_TRUE(rt.log().contains("m100", "cmd[0]=BB"));
}

TEST(Log, LevelDoesNotLeakIntoTheNextRun) {
    {
        host::Runtime rt({.log_to_stderr = false});
        furi_log_set_level(FuriLogLevelTrace);
    }
    host::Runtime rt({.log_to_stderr = false});
    EXPECT_EQ(furi_log_get_level(), FuriLogLevelInfo);
}

} // namespace
