// Virtual time and the run-token scheduler: what every threaded test of the apps relies on.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <furi_hal.h>
#include <task.h>

#include "host/kernel.h"
#include "host/memory.h"
#include "host/runtime.h"

namespace {

using host::ms;

struct Trace {
    std::vector<std::string> events;
    void add(const std::string& what) {
        events.push_back(std::to_string(furi_get_tick()) + " " + what);
    }
};

struct Worker {
    Trace* trace;
    const char* name;
    uint32_t period_ms;
    int rounds;
};

int32_t worker_main(void* context) {
    auto* worker = static_cast<Worker*>(context);
    for(int i = 0; i < worker->rounds; ++i) {
        worker->trace->add(std::string(worker->name) + " round " + std::to_string(i));
        furi_delay_ms(worker->period_ms);
    }
    return worker->rounds;
}

std::vector<std::string> run_three_workers() {
    host::Runtime rt({.log_to_stderr = false});
    Trace trace;
    Worker a{&trace, "a", 30, 5}, b{&trace, "b", 20, 6}, c{&trace, "c", 50, 3};
    FuriThread* threads[] = {
        furi_thread_alloc_ex("a", 1024, worker_main, &a),
        furi_thread_alloc_ex("b", 1024, worker_main, &b),
        furi_thread_alloc_ex("c", 1024, worker_main, &c)};
    furi_thread_set_priority(threads[2], FuriThreadPriorityHigh);
    for(auto* t : threads) furi_thread_start(t);
    for(auto* t : threads) {
        furi_thread_join(t);
        trace.add(
            std::string("joined ") + furi_thread_get_name(furi_thread_get_id(t)) + " rc " +
            std::to_string(furi_thread_get_return_code(t)));
        furi_thread_free(t);
    }
    return trace.events;
}

TEST(VirtualTime, DelayTakesExactlyItsVirtualTimeAndNoWallTime) {
    host::Runtime rt;
    const auto handovers_before = rt.handovers();
    const auto wall_start = std::chrono::steady_clock::now();
    for(int i = 0; i < 1000; ++i) furi_delay_ms(100);
    const auto wall = std::chrono::steady_clock::now() - wall_start;
    EXPECT_EQ(rt.now(), host::seconds(100));
    EXPECT_EQ(furi_get_tick(), 100000u);
    // 100 s of device time: a runtime that really slept would take minutes.
    EXPECT_LT(wall, std::chrono::seconds(5));
    EXPECT_EQ(rt.handovers(), handovers_before) << "a lone thread's delays need no OS hand-over";
}

TEST(VirtualTime, ClockStandsStillWhileAThreadRuns) {
    host::Runtime rt;
    volatile uint64_t sink = 0;
    for(int i = 0; i < 1'000'000; ++i) sink = sink + static_cast<uint64_t>(i);
    EXPECT_EQ(rt.now(), 0u);
    furi_delay_us(250);
    EXPECT_EQ(rt.now(), host::us(250));
}

TEST(VirtualTime, SameScenarioGivesSameTrace) {
    const auto first = run_three_workers();
    const auto second = run_three_workers();
    ASSERT_EQ(first.size(), 5u + 6u + 3u + 3u);
    EXPECT_EQ(first, second);
    // The high-priority thread runs first when all three are ready at the same time.
    EXPECT_EQ(first[0], "0 c round 0");
}

TEST(VirtualTime, EqualPrioritiesRunInTheOrderTheyBecameReady) {
    const auto trace = run_three_workers();
    // At 60 ms: b (woken at 60 from its 40 ms round) and a (60) — a started its delay first.
    std::vector<std::string> at60;
    for(const auto& e : trace) {
        if(e.rfind("60 ", 0) == 0) at60.push_back(e);
    }
    ASSERT_EQ(at60.size(), 2u);
    EXPECT_EQ(at60[0], "60 a round 2");
    EXPECT_EQ(at60[1], "60 b round 3");
}

int32_t sleeper(void* context) {
    furi_delay_ms(*static_cast<uint32_t*>(context));
    return 7;
}

TEST(Threads, JoinWaitsForTheEnd) {
    host::Runtime rt;
    uint32_t duration = 250;
    FuriThread* t = furi_thread_alloc_ex("sleeper", 1024, sleeper, &duration);
    EXPECT_EQ(furi_thread_get_state(t), FuriThreadStateStopped);
    furi_thread_start(t);
    EXPECT_NE(furi_thread_get_state(t), FuriThreadStateStopped);
    furi_delay_ms(100);
    EXPECT_EQ(furi_thread_get_state(t), FuriThreadStateRunning);
    EXPECT_TRUE(furi_thread_join(t));
    EXPECT_EQ(rt.now(), ms(250));
    EXPECT_EQ(furi_thread_get_state(t), FuriThreadStateStopped);
    EXPECT_EQ(furi_thread_get_return_code(t), 7);
    // A stopped thread can run again, as the worker does for every job.
    furi_thread_start(t);
    furi_thread_join(t);
    EXPECT_EQ(rt.now(), ms(500));
    furi_thread_free(t);
}

TEST(Threads, HigherPriorityThreadPreemptsOnStart) {
    host::Runtime rt;
    int order = 0;
    int seen = -1;
    FuriThread* t = furi_thread_alloc_ex(
        "high",
        1024,
        [](void* ctx) -> int32_t {
            *static_cast<int*>(ctx) = 1;
            return 0;
        },
        &order);
    furi_thread_set_priority(t, FuriThreadPriorityHighest);
    furi_thread_start(t);
    seen = order; // the high-priority thread has already run
    furi_thread_join(t);
    furi_thread_free(t);
    EXPECT_EQ(seen, 1);
}

// Platform threads share one OS thread: each must keep its own stack across hand-overs, and
// what it keeps per thread goes with host::at_thread_exit, on the ending thread, before a join
// returns (the emulator frees its CPU contexts there), the latest hook first.
struct StackKeeper {
    Trace* trace;
    char mark;
    uint32_t period_ms;
};

int32_t keep_stack(void* context) {
    auto* keeper = static_cast<StackKeeper*>(context);
    volatile char frame[64 * 1024];
    for(auto& c : frame) c = keeper->mark;
    for(int i = 0; i < 3; ++i) furi_delay_ms(keeper->period_ms); // the other one runs meanwhile
    int intact = 0;
    for(const auto& c : frame) intact += c == keeper->mark;
    const std::string name = furi_thread_get_name(furi_thread_get_current_id());
    for(int i = 1; i <= 2; ++i) {
        host::at_thread_exit([keeper, name, i] {
            keeper->trace->add(
                name + " hook " + std::to_string(i) + " on " +
                furi_thread_get_name(furi_thread_get_current_id()));
        });
    }
    return intact;
}

TEST(Threads, EachKeepsItsStackAndExitHooksRunOnItBeforeTheJoin) {
    host::Runtime rt;
    Trace trace;
    StackKeeper a{&trace, 'a', 10}, b{&trace, 'b', 20};
    FuriThread* ta = furi_thread_alloc_ex("ta", 1024, keep_stack, &a);
    FuriThread* tb = furi_thread_alloc_ex("tb", 1024, keep_stack, &b);
    furi_thread_start(ta);
    furi_thread_start(tb);
    furi_thread_join(ta);
    trace.add("joined ta");
    furi_thread_join(tb);
    EXPECT_EQ(furi_thread_get_return_code(ta), 64 * 1024);
    EXPECT_EQ(furi_thread_get_return_code(tb), 64 * 1024);
    EXPECT_EQ(
        trace.events,
        (std::vector<std::string>{
            "30 ta hook 2 on ta", "30 ta hook 1 on ta", "30 joined ta", "60 tb hook 2 on tb",
            "60 tb hook 1 on tb"}));
    furi_thread_free(ta);
    furi_thread_free(tb);
}

TEST(Threads, TimerServiceTaskIsFoundAndItsPriorityChanges) {
    host::Runtime rt;
    TaskHandle_t timers = xTaskGetHandle("TimersSrv");
    ASSERT_NE(timers, nullptr);
    EXPECT_EQ(host::task_priority(timers), 2u);
    vTaskPrioritySet(timers, FuriThreadPriorityHighest);
    EXPECT_EQ(host::task_priority(timers), static_cast<UBaseType_t>(FuriThreadPriorityHighest));
    EXPECT_EQ(xTaskGetHandle("NoSuchTask"), nullptr);
}

TEST(Queues, TimeoutsExpireInVirtualTime) {
    host::Runtime rt;
    FuriMessageQueue* q = furi_message_queue_alloc(2, sizeof(uint32_t));
    uint32_t value = 0;
    EXPECT_EQ(furi_message_queue_get(q, &value, 0), FuriStatusErrorResource);
    EXPECT_EQ(rt.now(), 0u);
    EXPECT_EQ(furi_message_queue_get(q, &value, 40), FuriStatusErrorTimeout);
    EXPECT_EQ(rt.now(), ms(40));
    uint32_t one = 1, two = 2, three = 3;
    EXPECT_EQ(furi_message_queue_put(q, &one, 0), FuriStatusOk);
    EXPECT_EQ(furi_message_queue_put(q, &two, 0), FuriStatusOk);
    EXPECT_EQ(furi_message_queue_put(q, &three, 0), FuriStatusErrorResource);
    EXPECT_EQ(furi_message_queue_put(q, &three, 15), FuriStatusErrorTimeout);
    EXPECT_EQ(rt.now(), ms(55));
    EXPECT_EQ(furi_message_queue_get_count(q), 2u);
    EXPECT_EQ(furi_message_queue_get(q, &value, FuriWaitForever), FuriStatusOk);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(furi_message_queue_get(q, &value, FuriWaitForever), FuriStatusOk);
    EXPECT_EQ(value, 2u);
    furi_message_queue_free(q);
}

struct Producer {
    FuriMessageQueue* queue;
    uint32_t count;
};

TEST(Queues, BlockedGetterWakesWhenAnotherThreadPuts) {
    host::Runtime rt;
    Producer producer{furi_message_queue_alloc(1, sizeof(uint32_t)), 5};
    FuriThread* t = furi_thread_alloc_ex(
        "producer",
        1024,
        [](void* ctx) -> int32_t {
            auto* p = static_cast<Producer*>(ctx);
            for(uint32_t i = 0; i < p->count; ++i) {
                furi_delay_ms(10);
                furi_check(furi_message_queue_put(p->queue, &i, FuriWaitForever) == FuriStatusOk);
            }
            return 0;
        },
        &producer);
    furi_thread_start(t);
    for(uint32_t i = 0; i < producer.count; ++i) {
        uint32_t value = 99;
        ASSERT_EQ(furi_message_queue_get(producer.queue, &value, FuriWaitForever), FuriStatusOk);
        EXPECT_EQ(value, i);
        EXPECT_EQ(rt.now(), ms(10 * (i + 1)));
    }
    furi_thread_join(t);
    furi_thread_free(t);
    furi_message_queue_free(producer.queue);
}

TEST(Interrupts, RunOnNoThreadAndMayPostWithoutWaiting) {
    host::Runtime rt;
    FuriMessageQueue* q = furi_message_queue_alloc(1, sizeof(uint32_t));
    struct Seen {
        bool irq = false;
        FuriThreadId thread = reinterpret_cast<FuriThreadId>(1);
        FuriStatus second_put = FuriStatusOk;
    } seen;
    rt.schedule_after(ms(30), [&] {
        seen.irq = furi_kernel_is_irq_or_masked();
        seen.thread = furi_thread_get_current_id();
        uint32_t v = 42;
        furi_message_queue_put(q, &v, 0);
        seen.second_put = furi_message_queue_put(q, &v, 0); // full: fails at once
    });
    uint32_t value = 0;
    ASSERT_EQ(furi_message_queue_get(q, &value, FuriWaitForever), FuriStatusOk);
    EXPECT_EQ(value, 42u);
    EXPECT_EQ(rt.now(), ms(30));
    EXPECT_TRUE(seen.irq);
    EXPECT_EQ(seen.thread, nullptr);
    EXPECT_EQ(seen.second_put, FuriStatusErrorResource);
    EXPECT_FALSE(furi_kernel_is_irq_or_masked());
    furi_message_queue_free(q);
}

TEST(Interrupts, EventsAtTheSameTimeRunInScheduleOrderAndCanBeCancelled) {
    host::Runtime rt;
    std::string order;
    rt.schedule_at(ms(5), [&] { order += "a"; });
    const auto b = rt.schedule_at(ms(5), [&] { order += "b"; });
    rt.schedule_at(ms(5), [&] { order += "c"; });
    rt.schedule_at(ms(1), [&] { order += "0"; });
    EXPECT_TRUE(rt.cancel(b));
    EXPECT_FALSE(rt.cancel(b));
    furi_delay_ms(10);
    EXPECT_EQ(order, "0ac");
}

TEST(CycleCounter, RunsAt64MHzAndDifferencesSurviveTheWrap) {
    host::Runtime rt({.cycle_counter_start = 0xFFFFFFFFu - 64u * 500u});
    const uint32_t before = furi_hal_cortex_timer_get(0).start;
    furi_delay_ms(1); // 64000 cycles: crosses the wrap
    const uint32_t after = furi_hal_cortex_timer_get(0).start;
    EXPECT_LT(after, before);
    EXPECT_EQ(after - before, 64000u);
    FuriHalCortexTimer timer = furi_hal_cortex_timer_get(10);
    EXPECT_EQ(timer.value, 640u);
    EXPECT_FALSE(furi_hal_cortex_timer_is_expired(timer));
    furi_hal_cortex_timer_wait(timer);
    EXPECT_TRUE(furi_hal_cortex_timer_is_expired(timer));
    EXPECT_EQ(rt.now(), ms(1) + host::us(10));
}

TEST(Memory, LeakIsDetectedAndFreedBlocksAreZeroFilled) {
    host::Runtime rt;
    const auto before = host::memory::stats();
    void* block = furi_host_malloc(64);
    EXPECT_EQ(host::memory::stats().live_blocks, before.live_blocks + 1);
    EXPECT_EQ(host::memory::stats().live_bytes, before.live_bytes + 64);
    const auto* bytes = static_cast<const uint8_t*>(block);
    for(int i = 0; i < 64; ++i) ASSERT_EQ(bytes[i], 0);
    void* grown = furi_host_realloc(block, 200);
    const auto* grown_bytes = static_cast<const uint8_t*>(grown);
    for(int i = 64; i < 200; ++i) ASSERT_EQ(grown_bytes[i], 0);
    EXPECT_GE(host::memory::stats().peak_bytes, before.live_bytes + 200);
    furi_host_free(grown);
    EXPECT_EQ(host::memory::stats().live_blocks, before.live_blocks);

    // Runtime objects count too: a queue that is never freed is a leak.
    FuriMessageQueue* q = furi_message_queue_alloc(4, 4);
    EXPECT_GT(host::memory::stats().live_blocks, before.live_blocks);
    furi_message_queue_free(q);
    EXPECT_EQ(host::memory::stats().live_blocks, before.live_blocks);

    host::memory::fail_nth_allocation(1);
    EXPECT_EQ(furi_host_malloc(8), nullptr);
    void* ok = furi_host_malloc(8);
    EXPECT_NE(ok, nullptr);
    furi_host_free(ok);
}

} // namespace

namespace {

TEST(Inject, WorkFromAForeignThreadRunsInInterruptContext) {
    host::Runtime rt({.realtime = true, .realtime_speed = 1000.0});
    FuriMessageQueue* q = furi_message_queue_alloc(1, sizeof(int));
    // A front-end's reader thread: it may not call the platform directly, only inject.
    std::thread reader([&rt, q] {
        rt.inject([q] {
            int key = furi_kernel_is_irq_or_masked() ? 1 : -1;
            furi_message_queue_put(q, &key, 0);
        });
    });
    int key = 0;
    // Nothing is scheduled: in an interactive run the scheduler waits for the injected work.
    EXPECT_EQ(furi_message_queue_get(q, &key, FuriWaitForever), FuriStatusOk);
    EXPECT_EQ(key, 1);
    reader.join();
    furi_message_queue_free(q);
}

TEST(Realtime, VirtualTimeFollowsTheWallClock) {
    host::Runtime rt({.realtime = true, .realtime_speed = 10.0});
    const auto start = std::chrono::steady_clock::now();
    furi_delay_ms(200); // 20 ms of wall time at ten times real speed
    const auto wall = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(rt.now(), ms(200));
    EXPECT_GE(wall, std::chrono::milliseconds(19));
}

} // namespace
