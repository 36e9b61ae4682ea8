// The virtual MX2125: pulse timing on PC0, its acceleration sources and the true step count.
#include <gtest/gtest.h>

#include <furi.h>
#include <furi_hal.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "devices/gait.h"
#include "devices/mx2125.h"
#include "host/runtime.h"

namespace {

using host::ms;
using host::Nanos;
using host::seconds;

struct Edge {
    Nanos at;
    bool level;
};

/// Records every edge on PC0 the way the device would see it: from the pin's interrupt.
class EdgeRecorder {
public:
    explicit EdgeRecorder(host::Runtime& rt)
        : rt_(rt) {
        furi_hal_gpio_init(
            &gpio_ext_pc0, GpioModeInterruptRiseFall, GpioPullNo, GpioSpeedVeryHigh);
        furi_hal_gpio_add_int_callback(&gpio_ext_pc0, &EdgeRecorder::on_edge, this);
    }
    ~EdgeRecorder() { furi_hal_gpio_remove_int_callback(&gpio_ext_pc0); }
    const std::vector<Edge>& edges() const { return edges_; }

private:
    static void on_edge(void* ctx) {
        auto* self = static_cast<EdgeRecorder*>(ctx);
        self->edges_.push_back({self->rt_.now(), furi_hal_gpio_read(&gpio_ext_pc0)});
    }
    host::Runtime& rt_;
    std::vector<Edge> edges_;
};

TEST(Mx2125, DutyCycleIsHalfPlusAnEighthPerG) {
    host::Runtime rt({.log_to_stderr = false});
    sim::Mx2125 mx(rt);
    EXPECT_EQ(mx.high_time(0.0), ms(5));
    EXPECT_EQ(mx.high_time(1.0), host::us(6250));
    EXPECT_EQ(mx.high_time(-1.0), host::us(3750));
    EXPECT_EQ(mx.high_time(2.0), host::us(7500));
    // Saturation at the part's range, and no garbage from a NaN.
    EXPECT_EQ(mx.high_time(10.0), mx.high_time(3.0));
    EXPECT_EQ(mx.high_time(-10.0), mx.high_time(-3.0));
    EXPECT_EQ(mx.high_time(std::numeric_limits<double>::quiet_NaN()), ms(5));
}

TEST(Mx2125, PulseTrainKeepsItsPeriodWithoutDriftAndStopsLow) {
    host::Runtime rt({.log_to_stderr = false});
    EdgeRecorder recorder(rt);
    sim::Mx2125 mx(rt);
    mx.set_acceleration(1.0);
    mx.start(ms(3));
    rt.run_for(seconds(10));

    const auto& edges = recorder.edges();
    ASSERT_EQ(edges.size(), 2000u);
    for(std::size_t i = 0; i < edges.size(); i += 2) {
        const Nanos rise = ms(3) + (i / 2) * ms(10);
        ASSERT_EQ(edges[i].at, rise) << "pulse " << i / 2;
        ASSERT_TRUE(edges[i].level);
        ASSERT_EQ(edges[i + 1].at, rise + host::us(6250));
        ASSERT_FALSE(edges[i + 1].level);
    }
    EXPECT_EQ(mx.pulses(), 1000u);

    // Stopped while high: the pin goes low and no edge follows.
    rt.run_for(ms(4));
    ASSERT_TRUE(furi_hal_gpio_read(&gpio_ext_pc0));
    mx.stop();
    EXPECT_FALSE(furi_hal_gpio_read(&gpio_ext_pc0));
    const auto count = recorder.edges().size();
    rt.run_for(seconds(1));
    EXPECT_EQ(recorder.edges().size(), count);
}

TEST(Mx2125, DestroyedModelLeavesNoPendingEdge) {
    host::Runtime rt({.log_to_stderr = false});
    EdgeRecorder recorder(rt);
    {
        sim::Mx2125 mx(rt);
        mx.start();
        rt.run_for(ms(25));
    }
    const auto count = recorder.edges().size();
    rt.run_for(seconds(1));
    EXPECT_EQ(recorder.edges().size(), count);
}

TEST(Mx2125, PulseFollowsTheAccelerationAtItsRisingEdge) {
    host::Runtime rt({.log_to_stderr = false});
    EdgeRecorder recorder(rt);
    sim::Mx2125 mx(rt);
    mx.set_acceleration(-1.0);
    mx.start();
    rt.run_for(ms(15)); // one pulse at -1 g, the next started
    mx.set_acceleration(2.0);
    rt.run_for(ms(20));
    const auto& e = recorder.edges();
    ASSERT_GE(e.size(), 6u);
    EXPECT_EQ(e[1].at - e[0].at, host::us(3750));
    EXPECT_EQ(e[3].at - e[2].at, host::us(3750)); // began before the change
    EXPECT_EQ(e[5].at - e[4].at, host::us(7500));
}

TEST(Gait, TrueStepsFollowTheCadenceAndAStopFinishesTheStep) {
    sim::Gait gait({.cadence_hz = 2.0, .vertical_g = 0.3});
    gait.start_walking(seconds(1));
    EXPECT_EQ(gait.true_steps(seconds(1)), 0u);
    EXPECT_EQ(gait.true_steps(seconds(1) + ms(499)), 0u);
    EXPECT_EQ(gait.true_steps(seconds(1) + ms(500)), 1u);
    EXPECT_EQ(gait.true_steps(seconds(6)), 10u);

    gait.stop_walking(seconds(6) + ms(250)); // half way through the 11th step
    EXPECT_TRUE(gait.walking(seconds(6) + ms(400)));
    EXPECT_FALSE(gait.walking(seconds(6) + ms(500)));
    EXPECT_EQ(gait.true_steps(seconds(60)), 11u);

    // A second bout adds to the first; a start while walking is ignored.
    gait.walk(seconds(10), seconds(12));
    gait.start_walking(seconds(11));
    EXPECT_EQ(gait.true_steps(seconds(60)), 15u);
    EXPECT_THROW(gait.start_walking(seconds(5)), std::invalid_argument);
}

TEST(Gait, StandingReadsTheBaselineAndWalkingOscillatesAroundIt) {
    sim::Gait gait({.cadence_hz = 2.0, .vertical_g = 0.3});
    const auto vertical = [&](Nanos t) { return gait.accel(t).vertical; };
    EXPECT_DOUBLE_EQ(vertical(seconds(1)), 1.0);
    gait.walk(seconds(1), seconds(11));
    // Starting and stopping fade, so the signal has no jump at either end.
    EXPECT_NEAR(vertical(seconds(1) + ms(1)), 1.0, 0.01);
    EXPECT_NEAR(vertical(seconds(11) - ms(1)), 1.0, 0.01);
    EXPECT_DOUBLE_EQ(vertical(seconds(12)), 1.0);

    double lo = 10, hi = -10, sum = 0;
    int n = 0;
    for(Nanos t = seconds(2); t < seconds(10); t += ms(1), ++n) {
        const double a = vertical(t);
        lo = std::min(lo, a);
        hi = std::max(hi, a);
        sum += a;
    }
    EXPECT_GT(hi, 1.3);
    EXPECT_LT(lo, 0.8);
    EXPECT_NEAR(sum / n, 1.0, 0.05);
}

TEST(SensorNoise, NoiseIsDeterministicPerSeed) {
    const sim::SensorNoise a(0.05, 17.0, 7);
    const sim::SensorNoise b(0.05, 17.0, 7);
    const sim::SensorNoise c(0.05, 17.0, 8);
    double sq = 0;
    int differ = 0;
    for(Nanos t = 0; t < seconds(20); t += ms(10)) {
        EXPECT_EQ(a.at(t), b.at(t));
        differ += a.at(t) != c.at(t);
        sq += a.at(t) * a.at(t);
    }
    EXPECT_GT(differ, 1900);
    EXPECT_NEAR(std::sqrt(sq / 2000), 0.05, 0.005);
}

TEST(Gait, PresetsAndInvalidParameters) {
    for(auto name : sim::gait_preset_names())
        EXPECT_TRUE(sim::gait_preset(name).has_value()) << name;
    EXPECT_FALSE(sim::gait_preset("sprint").has_value());
    sim::Gait still(*sim::gait_preset("still"));
    still.walk(0, seconds(10));
    EXPECT_EQ(still.true_steps(seconds(20)), 0u);
    EXPECT_THROW(sim::Gait({.cadence_hz = 0.0}), std::invalid_argument);
    EXPECT_THROW(sim::Gait({.lateral_g = -1.0}), std::invalid_argument);
}

TEST(Mx2125, WalkingBackendReportsTrueStepsOnTheVirtualClock) {
    host::Runtime rt({.log_to_stderr = false});
    sim::Mx2125 mx(rt);
    EXPECT_EQ(mx.true_steps(), 0u);
    mx.set_gait({.cadence_hz = 2.0, .vertical_g = 0.2});
    mx.start();
    rt.run_for(seconds(1));
    mx.start_walking();
    rt.run_for(seconds(3));
    EXPECT_EQ(mx.true_steps(), 6u);
    mx.stop_walking();
    rt.run_for(seconds(5));
    EXPECT_EQ(mx.true_steps(), 6u);

    std::istringstream csv("0,1\n1,1\n");
    mx.set_trace(sim::CsvTrace::parse(csv));
    EXPECT_FALSE(mx.true_steps().has_value());
}

TEST(CsvTrace, ParsesHeaderCommentsAndInterpolates) {
    std::istringstream in(
        "# recorded on a belt clip\r\ntime_s,accel_g\r\n0.0, 1.0\n\n0.5,2.0\n1.5,-1.0\n");
    const auto trace = sim::CsvTrace::parse(in);
    ASSERT_EQ(trace.samples().size(), 3u);
    EXPECT_EQ(trace.duration(), ms(1500));
    EXPECT_DOUBLE_EQ(trace.accel_g(0), 1.0);
    EXPECT_DOUBLE_EQ(trace.accel_g(ms(250)), 1.5);
    EXPECT_DOUBLE_EQ(trace.accel_g(ms(1000)), 0.5);
    EXPECT_DOUBLE_EQ(trace.accel_g(seconds(9)), -1.0); // holds after the end
}

TEST(CsvTrace, MalformedInputNamesTheLine) {
    const auto error_of = [](const std::string& text) -> std::string {
        std::istringstream in(text);
        try {
            sim::CsvTrace::parse(in, "walk.csv");
        } catch(const sim::TraceError& e) {
            return e.what();
        }
        return "(accepted)";
    };
    EXPECT_EQ(
        error_of("0,1\n0.1,1,3\n"), "walk.csv:2: expected 2 columns (time_s,accel_g), found 3");
    EXPECT_EQ(error_of("0,1\n0.1,abc\n"), "walk.csv:2: acceleration 'abc' is not a number");
    EXPECT_EQ(error_of("0,1\nx,1\n"), "walk.csv:2: time 'x' is not a number");
    EXPECT_EQ(
        error_of("0,1\n0.2,1\n0.2,1\n"),
        "walk.csv:3: time 0.2 s does not come after the previous sample");
    EXPECT_EQ(error_of("-1,1\n"), "walk.csv:1: time must not be negative");
    EXPECT_EQ(error_of("0,inf\n"), "walk.csv:1: values must be finite");
    EXPECT_EQ(error_of("# nothing\n"), "walk.csv: no samples (expected lines time_s,accel_g)");
    EXPECT_EQ(
        error_of("time_s,accel_g\ntime_s,accel_g\n"), "walk.csv:2: time 'time_s' is not a number");
    EXPECT_THROW(sim::CsvTrace::load("/nonexistent/trace.csv"), sim::TraceError);
}

} // namespace
