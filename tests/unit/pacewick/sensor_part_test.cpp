// The virtual MX2125's body motion and part: the gait's three axes, the mounting's projection,
// the offset, the tilt and the band-limited noise.
#include <gtest/gtest.h>

#include <furi.h>
#include <furi_hal.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <ostream>
#include <string>
#include <vector>

#include "devices/gait.h"
#include "devices/mx2125.h"
#include "host/runtime.h"

namespace {

using host::ms;
using host::Nanos;
using host::seconds;

double sin_deg(double deg) {
    return std::sin(deg * std::numbers::pi / 180.0);
}
double cos_deg(double deg) {
    return std::cos(deg * std::numbers::pi / 180.0);
}

struct AxisCase {
    const char* name;
    double sim::TrunkAccel::*axis;
    double sim::GaitParams::*amplitude;
    int changes_of_side_per_step;
};

void PrintTo(const AxisCase& c, std::ostream* os) {
    *os << c.name;
}

class GaitAxis : public ::testing::TestWithParam<AxisCase> {};

// Twenty steps of normal walking, sampled every millisecond away from the fades at either end.
TEST_P(GaitAxis, ChangesSideAtItsFrequencyWithItsAmplitude) {
    const AxisCase& c = GetParam();
    const sim::GaitParams params = *sim::gait_preset("normal");
    sim::Gait gait(params);
    const Nanos step = static_cast<Nanos>(1e9 / params.cadence_hz);
    gait.walk(0, 22 * step);

    const double rest = c.axis == &sim::TrunkAccel::vertical ? 1.0 : 0.0;
    int changes = 0;
    double peak = 0.0;
    bool above = gait.accel(step).*c.axis > rest;
    for(Nanos t = step; t < 21 * step; t += ms(1)) {
        const double a = gait.accel(t).*c.axis;
        peak = std::max(peak, std::abs(a - rest));
        if(c.changes_of_side_per_step > 0 && (a > 0.0) != above) {
            above = a > 0.0;
            ++changes;
        }
        if(c.changes_of_side_per_step == 0) {
            EXPECT_GT(a, 0.0);
        }
    }
    EXPECT_NEAR(changes, 20 * c.changes_of_side_per_step, 1);
    const double amplitude = params.*c.amplitude;
    EXPECT_GT(peak, 0.8 * amplitude);
    EXPECT_LT(peak, 2.0 * amplitude);
    EXPECT_EQ(gait.true_steps(30 * step), 22u);
}

INSTANTIATE_TEST_SUITE_P(
    Axes,
    GaitAxis,
    ::testing::Values(
        AxisCase{"lateral", &sim::TrunkAccel::lateral, &sim::GaitParams::lateral_g, 1},
        AxisCase{"forward", &sim::TrunkAccel::forward, &sim::GaitParams::forward_g, 2},
        AxisCase{"vertical", &sim::TrunkAccel::vertical, &sim::GaitParams::vertical_g, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Gait, LateralSwayRepeatsEachStrideAndSwitchesSideEachStep) {
    sim::GaitParams params = *sim::gait_preset("normal");
    params.variability = 0.0;
    sim::Gait gait(params);
    const Nanos step = static_cast<Nanos>(1e9 / params.cadence_hz);
    gait.walk(0, 40 * step);
    for(Nanos t = 4 * step + ms(7); t < 30 * step; t += ms(37)) {
        const double now = gait.accel(t).lateral;
        EXPECT_NEAR(gait.accel(t + 2 * step).lateral, now, 1e-6);
        EXPECT_NEAR(gait.accel(t + step).lateral, -now, 1e-6);
        // The forward motion, at the step frequency, repeats every step.
        EXPECT_NEAR(gait.accel(t + step).forward, gait.accel(t).forward, 1e-6);
    }
}

TEST(Gait, StepsVaryByTheirVariabilityAndRepeatPerSeed) {
    const sim::GaitParams params = *sim::gait_preset("normal");
    sim::Gait a(params), b(params), other({.variability = 0.1, .seed = 2});
    const Nanos step = static_cast<Nanos>(1e9 / params.cadence_hz);
    for(sim::Gait* g : {&a, &b, &other}) g->walk(0, 202 * step);

    // The lateral peak of each step, away from the fades.
    double sum = 0, sq = 0;
    int differ = 0;
    for(int k = 1; k < 201; ++k) {
        double peak = 0;
        for(Nanos t = k * step; t < (k + 1) * step; t += ms(2)) {
            EXPECT_EQ(a.accel(t).lateral, b.accel(t).lateral);
            differ += a.accel(t).lateral != other.accel(t).lateral;
            peak = std::max(peak, std::abs(a.accel(t).lateral));
        }
        sum += peak;
        sq += peak * peak;
    }
    const double mean = sum / 200, spread = std::sqrt(sq / 200 - mean * mean);
    EXPECT_NEAR(spread / mean, 0.1, 0.03);
    EXPECT_GT(differ, 10000);
    EXPECT_THROW(sim::Gait({.variability = 0.5}), std::invalid_argument);
}

struct RestCase {
    const char* name;
    sim::Mx2125Config sensor;
    double reads_g;
};

void PrintTo(const RestCase& c, std::ostream* os) {
    *os << c.name;
}

class MountAtRest : public ::testing::TestWithParam<RestCase> {};

// Standing still with a noise-free part: the mounted axis reads its share of gravity plus the
// offset, and the pulses on PC0 carry exactly that.
TEST_P(MountAtRest, ReadsGravityThroughTheTiltPlusTheOffset) {
    const RestCase& c = GetParam();
    host::Runtime rt({.log_to_stderr = false});
    sim::Mx2125 mx(rt, gpio_ext_pc0, c.sensor);
    mx.set_gait(*sim::gait_preset("still"));
    EXPECT_NEAR(mx.acceleration(), c.reads_g, 1e-12);
    mx.start();
    rt.run_for(ms(100));
    EXPECT_EQ(mx.shortest_high_time(), mx.high_time(c.reads_g));
    EXPECT_EQ(mx.longest_high_time(), mx.high_time(c.reads_g));
}

constexpr sim::Mx2125Part kNoiseless{.offset_g = 0.0, .noise_g = 0.0};
constexpr sim::Mx2125Part kNoiselessOffset{.offset_g = 0.04, .noise_g = 0.0};

INSTANTIATE_TEST_SUITE_P(
    Mounts,
    MountAtRest,
    ::testing::Values(
        RestCase{"lateral_level", {.part = kNoiseless}, 0.0},
        RestCase{"lateral_offset", {.part = kNoiselessOffset}, 0.04},
        RestCase{"lateral_tilted", {.tilt_deg = 5.0, .part = kNoiselessOffset}, sin_deg(5.0) + 0.04},
        RestCase{
            "forward_tilted_down",
            {.mount = sim::Mount::forward, .tilt_deg = -3.0, .part = kNoiseless},
            -sin_deg(3.0)},
        RestCase{"vertical", {.mount = sim::Mount::vertical, .part = kNoiselessOffset}, 1.04},
        RestCase{
            "vertical_tilted",
            {.mount = sim::Mount::vertical, .tilt_deg = 20.0, .part = kNoiseless},
            cos_deg(20.0)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Mx2125Part, AConstantIsAReadingAndBypassesThePart) {
    host::Runtime rt({.log_to_stderr = false});
    sim::Mx2125 mx(rt);
    mx.set_acceleration(0.0);
    EXPECT_EQ(mx.acceleration(), 0.0);
    mx.set_gait(*sim::gait_preset("still"));
    EXPECT_NE(mx.acceleration(), 0.0);
}

TEST(Mx2125Part, RandomPartsSpreadLikeRealOnesAndRepeatPerSeed) {
    std::vector<double> offsets;
    for(std::uint64_t seed = 0; seed < 400; ++seed)
        offsets.push_back(sim::Mx2125Part::random(seed).offset_g);
    double sum = 0, sq = 0;
    for(const double o : offsets) {
        EXPECT_LE(std::abs(o), sim::Mx2125Part::kMaxOffsetG);
        sum += o;
        sq += o * o;
    }
    const double mean = sum / 400.0;
    EXPECT_NEAR(mean, 0.0, 0.01);
    EXPECT_NEAR(std::sqrt(sq / 400.0 - mean * mean), sim::Mx2125Part::kOffsetSpreadG, 0.01);
    EXPECT_EQ(sim::Mx2125Part::random(7).offset_g, sim::Mx2125Part::random(7).offset_g);
    EXPECT_EQ(sim::Mx2125Part::random(7).noise_g, 0.001);
}

TEST(SensorNoise, AboutOneMgRmsAndBandLimited) {
    const sim::SensorNoise noise(0.001, 17.0, 3);
    double sq = 0, sq_diff_1ms = 0, peak = 0;
    int n = 0;
    for(Nanos t = 0; t < seconds(120); t += ms(1), ++n) {
        const double v = noise.at(t);
        const double d = noise.at(t + ms(1)) - v;
        sq += v * v;
        sq_diff_1ms += d * d;
        peak = std::max(peak, std::abs(v));
    }
    const double rms = std::sqrt(sq / n);
    EXPECT_NEAR(rms, 0.001, 0.0001);
    // White noise would change by sqrt(2) rms from one millisecond to the next; a 17 Hz low-pass
    // by about a third of that.
    EXPECT_LT(std::sqrt(sq_diff_1ms / n), 0.6 * rms);
    // Gaussian-like: peaks of a few rms, not a bounded wobble.
    EXPECT_GT(peak, 3.0 * rms);
    EXPECT_LT(peak, 6.0 * rms);

    const sim::SensorNoise silent(0.0, 17.0, 3);
    EXPECT_EQ(silent.at(seconds(1)), 0.0);
}

} // namespace
