// The edge interrupt's step logic, driven through the GPIO bus at exact cycle-counter values.
#include <gtest/gtest.h>

#include <furi.h>
#include <furi_hal.h>

#include <cstdint>
#include <optional>

#include "host/runtime.h"
#include "pacewick.h"

namespace {

constexpr std::uint64_t kPeriod = 640'000; // 10 ms at 64 MHz

host::RuntimeOptions quiet(std::uint32_t cycle_counter_start = 0) {
    host::RuntimeOptions options;
    options.log_to_stderr = false;
    options.cycle_counter_start = cycle_counter_start;
    return options;
}

/// The sensor record and queue of the app, wired to PC0 the way start-up wires them, with the
/// pin under the test's control.
class SensorRig {
public:
    explicit SensorRig(bool below_half_at_launch = false, std::uint32_t cycle_counter_start = 0)
        : rt_(quiet(cycle_counter_start)) {
        queue_ = furi_message_queue_alloc(PACEWICK_QUEUE_SIZE, sizeof(PacewickEvent));
        sensor_.pin = &gpio_ext_pc0;
        sensor_.below_half = below_half_at_launch;
        app_.queue = queue_;
        app_.sensor = &sensor_;
        furi_hal_gpio_init(
            &gpio_ext_pc0, GpioModeInterruptRiseFall, GpioPullNo, GpioSpeedVeryHigh);
        furi_hal_gpio_add_int_callback(&gpio_ext_pc0, step_callback, &app_);
    }
    ~SensorRig() {
        furi_hal_gpio_remove_int_callback(&gpio_ext_pc0);
        furi_message_queue_free(queue_);
    }

    /// Virtual time at which the cycle counter has advanced by exactly `cycles` since start.
    static host::Nanos at_cycle(std::uint64_t cycles) {
        return (cycles * host::kSecond + host::kCpuHz - 1) / host::kCpuHz;
    }

    void edge(std::uint64_t cycle, bool level) {
        rt_.schedule_at(at_cycle(cycle), [this, level] {
            rt_.gpio().set_input(gpio_ext_pc0, level);
        });
    }
    /// One pulse: rising edge at `rise`, falling edge `high` cycles later.
    void pulse(std::uint64_t rise, std::uint64_t high) {
        edge(rise, true);
        edge(rise + high, false);
    }
    /// Lets virtual time run until every edge up to `cycle` has happened.
    void run_to(std::uint64_t cycle) {
        const host::Nanos until = at_cycle(cycle) + 1;
        if(until > rt_.now()) rt_.run_for(until - rt_.now());
    }

    std::uint32_t queued() { return furi_message_queue_get_count(queue_); }
    std::optional<PacewickEvent> take() {
        PacewickEvent event;
        if(furi_message_queue_get(queue_, &event, 0) != FuriStatusOk) return std::nullopt;
        return event;
    }

    host::Runtime& rt() { return rt_; }
    FuriMessageQueue* queue() { return queue_; }
    const PacewickSensor& sensor() const { return sensor_; }

private:
    host::Runtime rt_;
    FuriMessageQueue* queue_ = nullptr;
    PacewickSensor sensor_{};
    PacewickApp app_{};
};

TEST(StepSensor, FirstRiseOnlyRecordsItsTimeAndTheSecondGivesThePeriod) {
    SensorRig rig;
    rig.edge(1000, true);
    rig.run_to(1000);
    EXPECT_EQ(rig.sensor().last_rise, 1000u);
    EXPECT_EQ(rig.sensor().period, 0u);
    EXPECT_EQ(rig.queued(), 0u);

    rig.edge(1000 + kPeriod / 2, false);
    rig.edge(1000 + kPeriod, true);
    rig.run_to(1000 + kPeriod);
    EXPECT_EQ(rig.sensor().period, kPeriod);
    EXPECT_EQ(rig.sensor().last_rise, 1000 + kPeriod);
    EXPECT_EQ(rig.sensor().count, 0);
}

TEST(StepSensor, CountsEachChangeOfSideOnceAndRunsOnTheSameSideNotAgain) {
    SensorRig rig;
    std::uint64_t t = 1000;
    rig.pulse(t, kPeriod / 2); // no period yet: not below
    t += kPeriod;
    rig.pulse(t, kPeriod * 3 / 8); // -1 g: below half
    t += kPeriod;
    rig.pulse(t, kPeriod * 3 / 8); // still below
    t += kPeriod;
    rig.run_to(t);
    EXPECT_EQ(rig.sensor().count, 1);
    EXPECT_TRUE(rig.sensor().below_half);

    rig.pulse(t, kPeriod / 2); // exactly half: not below, back over
    t += kPeriod;
    rig.pulse(t, kPeriod * 5 / 8); // still not below
    t += kPeriod;
    rig.run_to(t);
    EXPECT_EQ(rig.sensor().count, 2);
    EXPECT_FALSE(rig.sensor().below_half);

    // One step message per counted step, each all zero.
    ASSERT_EQ(rig.queued(), 2u);
    for(int i = 0; i < 2; ++i) {
        const auto event = rig.take();
        ASSERT_TRUE(event.has_value());
        EXPECT_EQ(event->kind, PacewickEventTypeStep);
        EXPECT_EQ(event->input.sequence, 0u);
        EXPECT_EQ(event->input.key, 0);
        EXPECT_EQ(event->input.type, 0);
    }
}

TEST(StepSensor, HalfThePeriodDropsTheRemainderAndExactlyHalfIsNotBelow) {
    // An odd period: half of it is 320000 with the remainder dropped, so a high time of 320000
    // cycles is not below even though it is below the true half (320000.5).
    constexpr std::uint64_t odd = kPeriod + 1;
    SensorRig rig;
    rig.pulse(1000, odd / 2);
    rig.pulse(1000 + odd, odd / 2);
    rig.run_to(1000 + 2 * odd);
    ASSERT_EQ(rig.sensor().period, odd);
    EXPECT_EQ(rig.sensor().count, 0);

    rig.pulse(1000 + 2 * odd, odd / 2 - 1);
    rig.run_to(1000 + 3 * odd);
    EXPECT_EQ(rig.sensor().count, 1);
    EXPECT_TRUE(rig.sensor().below_half);
}

TEST(StepSensor, FallingEdgesBeforeTheSecondRiseNeverCountAsBelow) {
    {
        SensorRig rig(/*below_half_at_launch=*/false);
        rig.edge(100, false);  // a fall with no rise seen at all
        rig.pulse(1000, 1000); // a very short pulse, but no period to compare with
        rig.run_to(5000);
        EXPECT_EQ(rig.sensor().count, 0);
        EXPECT_EQ(rig.queued(), 0u);
    }
    {
        // Launched with the pin high: the first fall flips the flag, once.
        SensorRig rig(/*below_half_at_launch=*/true);
        rig.edge(100, true);
        rig.edge(200, false);
        rig.pulse(1000, 1000);
        rig.run_to(5000);
        EXPECT_EQ(rig.sensor().count, 1);
        EXPECT_FALSE(rig.sensor().below_half);
        EXPECT_EQ(rig.queued(), 1u);
    }
}

TEST(StepSensor, CycleCounterWrapBetweenEdgesKeepsTheDifferences) {
    // The counter wraps about 200 cycles after the first rise, so the first high time and the
    // period straddle the wrap.
    {
        SensorRig rig(false, 0xFFFFFFFFu - 1200);
        rig.pulse(1000, kPeriod / 2);
        rig.pulse(1000 + kPeriod, kPeriod / 4);
        rig.run_to(1000 + kPeriod + kPeriod / 4);
        EXPECT_EQ(rig.sensor().period, kPeriod);
        EXPECT_EQ(rig.sensor().count, 1);
    }
    {
        // Here the high time of the second pulse spans the wrap.
        SensorRig rig(false, 0xFFFFFFFFu - kPeriod - 1000);
        rig.pulse(0, kPeriod / 2);
        rig.pulse(kPeriod, kPeriod / 4); // wraps 1001 cycles after this rise
        rig.run_to(kPeriod + kPeriod / 4);
        EXPECT_EQ(rig.sensor().period, kPeriod);
        EXPECT_EQ(rig.sensor().count, 1);
    }
}

TEST(StepSensor, FullQueueLosesTheRedrawButNotTheStep) {
    SensorRig rig;
    const PacewickEvent filler{};
    for(int i = 0; i < PACEWICK_QUEUE_SIZE; ++i) {
        ASSERT_EQ(furi_message_queue_put(rig.queue(), &filler, 0), FuriStatusOk);
    }
    rig.pulse(1000, kPeriod / 2);
    rig.pulse(1000 + kPeriod, kPeriod / 4);
    rig.pulse(1000 + 2 * kPeriod, kPeriod / 2);
    rig.run_to(1000 + 3 * kPeriod);
    EXPECT_EQ(rig.sensor().count, 2);
    EXPECT_EQ(rig.queued(), static_cast<std::uint32_t>(PACEWICK_QUEUE_SIZE));
}

} // namespace
