// fsim pacewick: the step counter on the host runtime with a virtual MX2125 on a simulated walk.
#include <furi.h>
#include <furi_hal.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "cli.h"
#include "commands.h"
#include "devices/gait.h"
#include "devices/mx2125.h"
#include "host/gui.h"
#include "host/runtime.h"
#include "pacewick.h"

namespace fsim {
namespace {

constexpr std::string_view kHelp = R"(usage: fsim pacewick [options]

Runs the pacewick step counter headless on the host runtime, in virtual time. A virtual MX2125
accelerometer on PC0 follows a simulated walk: the app starts, OK is pressed, the walk runs, and
the final screen is printed here and saved as a PNG, with the counted and the true steps.

options:
  --seconds N      length of the walk in seconds (default 5; with --trace, the trace's length)
  --gait NAME      slow, normal, brisk or still (default normal)
  --cadence HZ     steps per second, instead of the gait's
  --amplitude G    per-step swing of the vertical acceleration in g, instead of the gait's
  --mount AXIS     vertical: the axis feels +1 g at rest (default); level: 0 g at rest
  --seed N         noise seed (default 1); the same seed gives the same run
  --trace FILE     replay a CSV of time_s,accel_g (from power-up) instead of a gait
  --png FILE       where to save the final screen (default pacewick.png)
  -h, --help       show this help
)";

constexpr host::Nanos kSettle = host::ms(300);
constexpr host::Nanos kAfterWalk = host::ms(500);
constexpr double kMaxSeconds = 24 * 3600;

struct Settings {
    double seconds = 5.0;
    bool seconds_given = false;
    std::string gait_name = "normal";
    sim::GaitParams gait;
    std::optional<std::string> trace;
    std::string png = "pacewick.png";
};

Settings parse(std::span<const std::string_view> args) {
    Options options;
    options.flag("help").value("seconds").value("gait").value("cadence").value("amplitude").value("mount")
        .value("seed").value("trace").value("png");
    options.parse(args);

    Settings s;
    if(options.has("help")) return s;
    if(options.has("trace")) {
        for(const char* gait_option : {"gait", "cadence", "amplitude", "mount", "seed"}) {
            if(options.has(gait_option)) {
                throw UsageError(std::string("--trace replaces the simulated gait, so --") + gait_option + " does not apply");
            }
        }
    }
    const auto names = sim::gait_preset_names();
    s.gait_name = options.choice_or("gait", "normal", names);
    s.gait = *sim::gait_preset(s.gait_name);
    s.gait.cadence_hz = options.number_or("cadence", s.gait.cadence_hz, 0.1, 10.0);
    s.gait.amplitude_g = options.number_or("amplitude", s.gait.amplitude_g, 0.0, 5.0);
    static constexpr std::string_view kMounts[] = {"vertical", "level"};
    s.gait.baseline_g = options.choice_or("mount", "vertical", kMounts) == "vertical" ? 1.0 : 0.0;
    s.gait.seed = options.integer_or("seed", 1);
    s.seconds = options.number_or("seconds", s.seconds, 0.0, kMaxSeconds);
    s.seconds_given = options.has("seconds");
    s.trace = options.get("trace");
    s.png = options.get_or("png", s.png);
    if(s.png.empty()) throw UsageError("--png needs a file name");
    return s;
}

host::Nanos to_nanos(double seconds) { return static_cast<host::Nanos>(seconds * 1e9 + 0.5); }

/// The app on its own platform thread, as the loader runs it. It must have ended (Back) before
/// this goes out of scope.
class AppThread {
public:
    AppThread() : thread_(furi_thread_alloc_ex("pacewick", 2048, pacewick_app, nullptr)) { furi_thread_start(thread_); }
    ~AppThread() {
        furi_thread_join(thread_);
        furi_thread_free(thread_);
    }
    AppThread(const AppThread&) = delete;
    AppThread& operator=(const AppThread&) = delete;

private:
    FuriThread* thread_;
};

std::optional<long> counted_steps(const host::Screen& screen) {
    const auto* line = screen.find("Steps: ");
    long steps = 0;
    if(line == nullptr || std::sscanf(line->text.c_str(), "Steps: %ld", &steps) != 1) return std::nullopt;
    return steps;
}

std::string framed(const host::Screen& screen) {
    std::string border;
    for(int i = 0; i < host::Screen::kWidth; ++i) border += "\u2500";
    std::string out = "\u250c" + border + "\u2510\n";
    const std::string text = screen.to_text();
    std::size_t start = 0;
    while(start < text.size()) {
        const auto end = text.find('\n', start);
        out += "\u2502" + text.substr(start, end - start) + "\u2502\n";
        start = end + 1;
    }
    return out + "\u2514" + border + "\u2518\n";
}

std::string describe(const Settings& s, const sim::CsvTrace* trace, double seconds) {
    char text[256];
    const char* axis = s.gait.baseline_g == 0.0 ? "level" : "vertical";
    if(trace != nullptr) {
        std::snprintf(text, sizeof text, "%.1f s of the trace %s (%zu samples)", seconds, s.trace->c_str(),
            trace->samples().size());
    } else if(s.gait.amplitude_g == 0.0) {
        std::snprintf(text, sizeof text, "%.1f s of standing still: noise %.3f g, %s axis, seed %" PRIu64, seconds,
            s.gait.noise_g, axis, s.gait.seed);
    } else {
        std::snprintf(text, sizeof text,
            "%.1f s of %s walking: %.2f steps/s, swing %.3f g, noise %.3f g, %s axis, seed %" PRIu64, seconds,
            s.gait_name.c_str(), s.gait.cadence_hz, s.gait.amplitude_g, s.gait.noise_g, axis, s.gait.seed);
    }
    return text;
}

}  // namespace

int run_pacewick(std::span<const std::string_view> args) {
    if(std::find(args.begin(), args.end(), "--help") != args.end() ||
       std::find(args.begin(), args.end(), "-h") != args.end()) {
        parse(args);  // still reject mistakes next to --help
        std::fwrite(kHelp.data(), 1, kHelp.size(), stdout);
        return 0;
    }
    const Settings settings = parse(args);

    std::optional<sim::CsvTrace> trace;
    if(settings.trace) {
        try {
            trace = sim::CsvTrace::load(*settings.trace);
        } catch(const sim::TraceError& e) {
            throw RunError(e.what());
        }
    }

    host::Screen final_screen;
    std::optional<std::uint64_t> true_steps;
    host::Nanos shortest = 0;
    host::Nanos longest = 0;
    std::uint64_t pulses = 0;
    double walk_seconds = settings.seconds;
    {
        host::RuntimeOptions options;
        options.virtual_time_limit = to_nanos(kMaxSeconds) + host::seconds(3600);
        host::Runtime rt(options);
        host::GuiService gui(rt);
        sim::Mx2125 mx(rt);
        if(trace) {
            mx.set_trace(*trace);
        } else {
            mx.set_gait(settings.gait);
        }
        mx.start();

        AppThread app;
        rt.run_for(kSettle);
        rt.run_for(gui.input().short_press(InputKeyOk) - rt.now() + kSettle);

        if(trace) {
            // The trace runs from power-up; by default it plays to its end.
            const host::Nanos end = settings.seconds_given ? to_nanos(settings.seconds) : trace->duration();
            walk_seconds = static_cast<double>(end) / 1e9;
            rt.run_for((end > rt.now() ? end - rt.now() : 0) + kAfterWalk);
        } else {
            mx.start_walking();  // no effect for a gait with no swing: standing still
            rt.run_for(to_nanos(settings.seconds));
            mx.stop_walking();  // the step in progress is finished
            while(mx.gait().walking(rt.now())) rt.run_for(host::ms(10));
            rt.run_for(kAfterWalk);
        }

        final_screen = gui.screen();
        true_steps = mx.true_steps();
        shortest = mx.shortest_high_time();
        longest = mx.longest_high_time();
        pulses = mx.pulses();

        // Back ends the app; leaving this scope joins its thread.
        rt.run_for(gui.input().short_press(InputKeyBack) - rt.now() + kSettle);
    }

    std::printf("fsim pacewick: %s\n", describe(settings, trace ? &*trace : nullptr, walk_seconds).c_str());
    std::fputs(framed(final_screen).c_str(), stdout);
    const auto counted = counted_steps(final_screen);
    std::printf("counted steps: %s\n", counted ? std::to_string(*counted).c_str() : "(no count on the screen)");
    std::printf("true steps:    %s\n", true_steps ? std::to_string(*true_steps).c_str() : "unknown (a trace)");
    std::printf("PC0: %" PRIu64 " pulses of 10 ms, high %.3f to %.3f ms (a step needs a change across 5.000 ms)\n",
        pulses, static_cast<double>(shortest) / 1e6, static_cast<double>(longest) / 1e6);

    std::string error;
    if(!final_screen.write_png(settings.png, &error)) {
        throw RunError(error.empty() ? "cannot write " + settings.png : error);
    }
    std::printf("screen saved to %s (512x256)\n", settings.png.c_str());
    return 0;
}

}  // namespace fsim
