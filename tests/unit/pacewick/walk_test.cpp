// The whole app on a simulated walk: what the screen counts against the steps taken, for each
// mounting of the virtual MX2125 and for parts that sit on, above and below 0 g.
#include <gtest/gtest.h>

#include <furi.h>
#include <furi_hal.h>

#include <cstdio>
#include <optional>
#include <ostream>
#include <string>

#include "devices/gait.h"
#include "devices/mx2125.h"
#include "host/gui.h"
#include "host/runtime.h"
#include "pacewick.h"

namespace {

using host::ms;
using host::seconds;

struct Walk {
    const char* name;
    const char* gait;
    sim::Mx2125Config sensor;
};

struct Counted {
    long counted = -1;
    std::uint64_t true_steps = 0;
};

/// Launches the app (pin idle), starts the pulses, presses OK, walks for a minute from 1 s on
/// and stands for 2 s after; then reads the count off the screen and leaves with Back.
Counted walk_a_minute(const Walk& walk) {
    host::RuntimeOptions options;
    options.log_to_stderr = false;
    host::Runtime rt(options);
    host::GuiService gui(rt);
    sim::Mx2125 mx(rt, gpio_ext_pc0, walk.sensor);
    sim::GaitParams params = *sim::gait_preset(walk.gait);
    params.seed = walk.sensor.seed;
    sim::Gait& gait = mx.set_gait(params);

    FuriThread* app = furi_thread_alloc_ex("pacewick", 2048, pacewick_app, nullptr);
    furi_thread_start(app);
    rt.run_for(ms(50));
    mx.start();
    rt.run_for(gui.input().short_press(InputKeyOk) - rt.now() + ms(50));
    gait.walk(seconds(1), seconds(61));
    rt.run_for(seconds(63) - rt.now());

    Counted result;
    result.true_steps = mx.true_steps().value_or(0);
    const auto screen = gui.screen();
    if(const auto* line = screen.find("Steps: "))
        std::sscanf(line->text.c_str(), "Steps: %ld", &result.counted);

    gui.input().short_press(InputKeyBack);
    furi_thread_join(app);
    furi_thread_free(app);
    return result;
}

/// Counted within `tolerance` of `per_step` counts per true step.
struct Ratio {
    Walk walk;
    double per_step;
    double tolerance;
};

void PrintTo(const Ratio& c, std::ostream* os) {
    *os << c.walk.name;
}

class WalkRatio : public ::testing::TestWithParam<Ratio> {};

TEST_P(WalkRatio, CountedAgainstTrueSteps) {
    const Ratio& c = GetParam();
    const Counted r = walk_a_minute(c.walk);
    ASSERT_GT(r.true_steps, 80u); // a minute of walking at 1.4 steps/s or more
    const double expected = c.per_step * static_cast<double>(r.true_steps);
    EXPECT_NEAR(static_cast<double>(r.counted), expected, c.tolerance * expected)
        << r.counted << " counted for " << r.true_steps << " steps";
}

constexpr sim::Mx2125Config kTypical{};

// The lateral sway crosses 0 g once per step; the forward motion twice per step, so the same
// algorithm counts double there.
INSTANTIATE_TEST_SUITE_P(
    Mounts,
    WalkRatio,
    ::testing::Values(
        Ratio{{"normal_lateral", "normal", kTypical}, 1.0, 0.05},
        Ratio{{"slow_lateral", "slow", kTypical}, 1.0, 0.05},
        Ratio{{"brisk_lateral", "brisk", kTypical}, 1.0, 0.05},
        Ratio{{"normal_lateral_other_noise", "normal", {.seed = 99}}, 1.0, 0.05},
        Ratio{{"normal_forward", "normal", {.mount = sim::Mount::forward}}, 2.0, 0.05}),
    [](const auto& info) { return std::string(info.param.walk.name); });

/// The exact count, for walks that hide the steps and for standing.
struct Exact {
    Walk walk;
    long counted;
};

void PrintTo(const Exact& c, std::ostream* os) {
    *os << c.walk.name;
}

class WalkExact : public ::testing::TestWithParam<Exact> {};

TEST_P(WalkExact, Counts) {
    const Exact& c = GetParam();
    EXPECT_EQ(walk_a_minute(c.walk).counted, c.counted);
}

INSTANTIATE_TEST_SUITE_P(
    HiddenOrStanding,
    WalkExact,
    ::testing::Values(
        // The typical part rests above 0 g: nothing is counted while standing.
        Exact{{"still_typical", "still", kTypical}, 0},
        Exact{{"still_typical_other_noise", "still", {.seed = 5}}, 0},
        // +1 g at rest: walking never reaches 0 g.
        Exact{{"normal_vertical", "normal", {.mount = sim::Mount::vertical}}, 0},
        // 10 degrees add 0.17 g, more than the normal sway.
        Exact{{"normal_lateral_tilted", "normal", {.tilt_deg = 10.0}}, 0},
        // A part below 0 g differs from the idle pin read at launch: one count, at once.
        Exact{{"still_below_zero", "still", {.part = {.offset_g = -0.025}}}, 1}),
    [](const auto& info) { return std::string(info.param.walk.name); });

TEST(WalkNoise, AnAxisRightOnZeroCountsNoiseWhileStanding) {
    const Counted r = walk_a_minute({"still_on_zero", "still", {.part = {.offset_g = 0.0}}});
    EXPECT_GT(r.counted, 100); // a real part rests to one side; this one chatters
    EXPECT_EQ(r.true_steps, 0u);
}

} // namespace
