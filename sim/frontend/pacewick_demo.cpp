// fsim pacewick: the step counter on the host runtime with a virtual MX2125 on a simulated walk.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "cli_common.h"
#include "commands.h"
#include "frontend_links.h"
#include "session/pacewick_session.h"
#include "session/screen_text.h"
#include "devices/gait.h"
#include "devices/mx2125.h"
#include "host/runtime.h"
#include "pacewick.h"

namespace fsim {
namespace {

constexpr const char* kPacewickAbout =
    R"(Runs the pacewick step counter on the host runtime. A virtual MX2125 accelerometer on PC0
follows a simulated walk. By default it runs headless in virtual time: the app starts, OK is
pressed, the walk runs, and the final screen is printed here and saved as a PNG, with the
counted and the true steps. --interactive shows the app live in the terminal instead, --web on
a page in the browser, and --scenario runs a scenario file.

Mounting the sensor: the app counts a step each time the axis on PC0 changes side of 0 g. Wear
the board at the waist with that axis across the body, pointing left-right (lateral), and level:
the side-to-side sway crosses 0 g once per step. An axis along the walking direction (forward)
crosses it twice per step and counts double; a vertical axis reads +1 g and counts nothing. A
tilt of a few degrees, or a part whose offset exceeds the sway, hides the steps.
)";

constexpr host::Nanos kSettle = host::ms(300);
constexpr host::Nanos kAfterWalk = host::ms(500);
constexpr double kMaxSeconds = 24 * 3600;

struct PacewickSettings {
    double seconds = 20.0;
    bool seconds_given = false;
    std::string gait_name = "normal";
    sim::GaitParams gait;
    sim::Mx2125Config sensor;
    const char* part_kind = "typical"; ///< how the part was chosen, for the report
    std::optional<std::string> trace;
    std::string png = "pacewick.png";
    std::optional<std::string> scenario;
    bool interactive = false;
    double speed = 1.0;
    std::optional<std::string> fap;
    TerminalSettings terminal;
    std::optional<sim::AppApi> api; // --api; with --fap, the package's is the default
    WebSettings web;
};

/// The raw option values, checked and combined into PacewickSettings after parsing.
struct Raw {
    double seconds = 20.0;
    std::string gait = "normal";
    std::optional<double> cadence;
    std::optional<double> amplitude;
    std::string mount = "lateral";
    double tilt = 0.0;
    std::optional<double> offset;
    bool random_part = false;
    std::uint64_t seed = 1;
    std::optional<std::string> trace;
    std::string png = "pacewick.png";
};

void add_options(CLI::App& app, Raw& raw, PacewickSettings& s) {
    app.description(kPacewickAbout);
    const auto gaits = sim::gait_preset_names();
    const auto mounts = sim::mount_names();
    app.add_option(
           "--seconds",
           raw.seconds,
           "length of the walk in seconds, up to 86400 (default 20; with --trace, the trace's length)")
        ->check(number_in(0.0, kMaxSeconds))
        ->type_name("N");
    app.add_option("--gait", raw.gait, "slow, normal, brisk or still (default normal)")
        ->check(CLI::IsMember(std::vector<std::string>(gaits.begin(), gaits.end())));
    app.add_option("--cadence", raw.cadence, "steps per second, 0.1 to 10, instead of the gait's")
        ->check(number_in(0.1, 10.0))
        ->type_name("N");
    app.add_option(
           "--amplitude",
           raw.amplitude,
           "swing of the mounted axis's body motion in g, 0 to 5, instead of the gait's")
        ->check(number_in(0.0, 5.0))
        ->type_name("N");
    app.add_option(
           "--mount", raw.mount, "lateral (default), forward or vertical: the body axis on PC0")
        ->check(CLI::IsMember(std::vector<std::string>(mounts.begin(), mounts.end())));
    app.add_option(
           "--tilt", raw.tilt, "the axis leans this many degrees towards vertical, -90 to 90 (default 0)")
        ->check(number_in(-90.0, 90.0))
        ->type_name("N");
    app.add_option(
           "--offset",
           raw.offset,
           "the part's 0 g offset in mg, -1000 to 1000 (default +25, a typical part)")
        ->check(number_in(-1000.0, 1000.0))
        ->type_name("N");
    app.add_flag(
        "--random-part",
        raw.random_part,
        "a part off the shelf: its offset drawn from real parts' spread (by --seed)");
    app.add_option(
           "--seed",
           raw.seed,
           "seed of the noise, the steps' variation and a random part (default 1); the same seed gives the same run")
        ->check(number_in(0.0, 1.8e19))
        ->type_name("N");
    app.add_option(
           "--trace",
           raw.trace,
           "replay a CSV of time_s,accel_g (the axis's reading from power-up) instead of a gait")
        ->check(readable_file);
    app.add_option("--png", raw.png, "where to save the final screen (default pacewick.png)")
        ->check(parent_exists)
        ->type_name("FILE");
    app.add_option(
           "--scenario",
           s.scenario,
           "run this scenario file headless instead of the walk (exit 0: every check held)")
        ->check(readable_file);
    app.add_flag(
        "-i,--interactive",
        s.interactive,
        "show the app live in this terminal; keys drive it, ':' gives commands");
    app.add_option(
           "--speed",
           s.speed,
           "with --interactive or --web: virtual seconds per wall second, 0.01 to 1000 (default 1)")
        ->check(number_in(0.01, 1000.0))
        ->type_name("N");
    app.add_option(
           "--fap",
           s.fap,
           "run this package (dist/<API>/pacewick.fap) on the emulated Cortex-M4 instead of the host "
           "build, on the firmware of the package's API (36.0 or 86.0)")
        ->check(readable_file)
        ->type_name("FILE");
    add_terminal_options(app, s.terminal);
    add_api_option(app, s.api);
    add_web_option(app, s.web);
}

PacewickSettings finish(const CLI::App& app, const Raw& raw, PacewickSettings s) {
    if(raw.trace) {
        for(const char* gait_option :
            {"--gait",
             "--cadence",
             "--amplitude",
             "--mount",
             "--tilt",
             "--offset",
             "--random-part",
             "--seed"}) {
            if(app.count(gait_option) > 0) {
                throw UsageError(
                    std::string(
                        "--trace replays the axis's reading in place of the simulated walk and part, "
                        "so ") +
                    gait_option + " does not apply");
            }
        }
    }
    if(raw.offset && raw.random_part) {
        throw UsageError("--offset and --random-part both choose the part's offset; give one");
    }
    if(s.scenario && s.interactive)
        throw UsageError("--scenario runs headless; leave out --interactive");
    if(s.web.address && (s.scenario || s.interactive))
        throw UsageError("--web serves the app on a page; leave out --scenario and --interactive");
    s.gait_name = raw.gait;
    s.gait = *sim::gait_preset(s.gait_name);
    if(raw.cadence) s.gait.cadence_hz = *raw.cadence;
    s.sensor.mount = *sim::mount_from_name(raw.mount);
    double& swing = s.sensor.mount == sim::Mount::lateral ? s.gait.lateral_g :
                    s.sensor.mount == sim::Mount::forward ? s.gait.forward_g :
                                                            s.gait.vertical_g;
    if(raw.amplitude) swing = *raw.amplitude;
    s.sensor.tilt_deg = raw.tilt;
    s.sensor.seed = raw.seed;
    s.gait.seed = s.sensor.seed;
    if(raw.random_part) {
        s.sensor.part = sim::Mx2125Part::random(s.sensor.seed);
        s.part_kind = "random";
    } else if(raw.offset) {
        s.part_kind = "chosen";
        s.sensor.part.offset_g = *raw.offset / 1e3;
    }
    s.seconds = raw.seconds;
    s.seconds_given = app.count("--seconds") > 0;
    s.trace = raw.trace;
    s.png = raw.png;
    if(s.png.empty()) throw UsageError("--png needs a file name");
    return s;
}

host::Nanos to_nanos(double seconds) {
    return static_cast<host::Nanos>(seconds * 1e9 + 0.5);
}

/// Makes the session in `slot` at the API `api` (--api) asks for, or with a package the one its
/// manifest names; a package the loader refuses is the user's mistake.
sim::PacewickSession& make_pacewick_session(
    std::optional<sim::PacewickSession>& slot,
    sim::PacewickSessionOptions options,
    std::optional<sim::AppApi> api) {
    try {
        options.api = sim::AppProgram::api_for(api, options.fap);
        return slot.emplace(options);
    } catch(const sim::PackageError& e) {
        throw UsageError(e.what());
    }
}

std::string describe(const PacewickSettings& s, const sim::CsvTrace* trace, double seconds) {
    char text[320];
    if(trace != nullptr) {
        std::snprintf(
            text,
            sizeof text,
            "%.1f s of the trace %s (%zu samples)",
            seconds,
            s.trace->c_str(),
            trace->samples().size());
        return text;
    }
    const auto mount = sim::mount_name(s.sensor.mount);
    char sensor[160];
    std::snprintf(
        sensor,
        sizeof sensor,
        "%.*s axis on PC0, tilt %.1f deg; %s part: offset %+.1f mg, noise %.1f mg rms",
        static_cast<int>(mount.size()),
        mount.data(),
        s.sensor.tilt_deg,
        s.part_kind,
        s.sensor.part.offset_g * 1e3,
        s.sensor.part.noise_g * 1e3);
    if(!s.gait.moves()) {
        std::snprintf(
            text,
            sizeof text,
            "%.1f s of standing still, seed %" PRIu64 "\n  %s",
            seconds,
            s.sensor.seed,
            sensor);
    } else {
        std::snprintf(
            text,
            sizeof text,
            "%.1f s of %s walking, %.2f steps/s, seed %" PRIu64 "\n  %s",
            seconds,
            s.gait_name.c_str(),
            s.gait.cadence_hz,
            s.sensor.seed,
            sensor);
    }
    return text;
}

/// What the user should make of the count, for the walk's mount.
std::string verdict(
    const PacewickSettings& s,
    std::optional<long> counted,
    std::optional<std::uint64_t> true_steps) {
    if(!counted || !true_steps || s.trace) return {};
    if(*true_steps == 0) {
        return *counted == 0 ?
                   "standing still, nothing counted" :
                   "standing still, yet steps counted: the axis rests within the noise of 0 g";
    }
    const double ratio = static_cast<double>(*counted) / static_cast<double>(*true_steps);
    char text[200];
    std::snprintf(text, sizeof text, "counted/true: %.0f%%", 100.0 * ratio);
    std::string out = text;
    if(s.sensor.mount == sim::Mount::vertical) {
        out += " (a vertical axis never reaches 0 g while walking: mount it lateral)";
    } else if(s.sensor.mount == sim::Mount::forward) {
        out += " (a forward axis crosses 0 g twice per step: mount it lateral)";
    } else if(ratio < 0.9 || ratio > 1.1) {
        out += " (offset and tilt move the sway off 0 g: level the axis)";
    }
    return out;
}

} // namespace

int run_walk(const PacewickSettings& settings);

int run_pacewick(std::span<const std::string_view> args) {
    CLI::App app("", "fsim pacewick");
    Raw raw;
    PacewickSettings parsed;
    add_options(app, raw, parsed);
    return run_command(app, args, [&] {
        const PacewickSettings settings = finish(app, raw, parsed);
        const bool web = settings.web.address.has_value();
        if(settings.scenario || settings.interactive || web) {
            sim::PacewickSessionOptions options;
            options.sensor = settings.sensor;
            options.realtime = settings.interactive || web;
            options.speed = settings.speed;
            if(settings.fap) options.fap = *settings.fap;
            std::optional<sim::PacewickSession> made;
            sim::PacewickSession& session = make_pacewick_session(made, options, settings.api);
            if(settings.trace) {
                try {
                    session.sensor().set_trace(sim::CsvTrace::load(*settings.trace));
                } catch(const sim::TraceError& e) {
                    throw UsageError(e.what());
                }
            } else {
                session.sensor().set_gait(settings.gait);
            }
            session.start();
            const auto shots = app.count("--screenshots") > 0 ? settings.terminal.screenshot_dir :
                                                                std::filesystem::path();
            const int code =
                settings.scenario ? run_scenario_file(session, *settings.scenario, false, shots) :
                web               ? run_web_page(
                          session,
                          settings.web,
                          replay_arguments(
                              args,
                              {"--gait",
                               "--amplitude",
                               "--tilt",
                               "--offset",
                               "--seed",
                               "--trace",
                               "--api",
                               "--fap"},
                              {"--random-part"})) :
                      run_terminal(session, settings.terminal);
            session.quit();
            return code;
        }
        return run_walk(settings);
    });
}

int run_walk(const PacewickSettings& settings) {
    std::optional<sim::CsvTrace> trace;
    if(settings.trace) {
        try {
            trace = sim::CsvTrace::load(*settings.trace);
        } catch(const sim::TraceError& e) {
            throw UsageError(e.what());
        }
    }

    host::Screen final_screen;
    std::optional<long> counted;
    std::optional<std::uint64_t> true_steps;
    host::Nanos shortest = 0;
    host::Nanos longest = 0;
    std::uint64_t pulses = 0;
    double walk_seconds = settings.seconds;
    {
        sim::PacewickSessionOptions options;
        options.sensor = settings.sensor;
        options.virtual_time_limit = to_nanos(kMaxSeconds) + host::seconds(3600);
        if(settings.fap) options.fap = *settings.fap;
        std::optional<sim::PacewickSession> made;
        sim::PacewickSession& session = make_pacewick_session(made, options, settings.api);
        sim::Mx2125& mx = session.sensor();
        if(trace) {
            mx.set_trace(*trace);
        } else {
            mx.set_gait(settings.gait);
        }
        host::Runtime& rt = session.runtime();
        session.start(); // the pulses begin once the app has hooked its interrupt
        rt.run_for(kSettle - host::ms(50));
        session.press(InputKeyOk);
        rt.run_for(kSettle - sim::PacewickSession::kSettle);

        if(trace) {
            // The trace runs from power-up; by default it plays to its end.
            const host::Nanos end = settings.seconds_given ? to_nanos(settings.seconds) :
                                                             trace->duration();
            walk_seconds = static_cast<double>(end) / 1e9;
            rt.run_for((end > rt.now() ? end - rt.now() : 0) + kAfterWalk);
        } else {
            session.walk(true); // no effect for a gait with no swing: standing still
            rt.run_for(to_nanos(settings.seconds));
            session.walk(false); // the step in progress is finished
            while(mx.gait().walking(rt.now())) rt.run_for(host::ms(10));
            rt.run_for(kAfterWalk);
        }

        final_screen = session.screen();
        counted = session.counted_steps();
        true_steps = mx.true_steps();
        shortest = mx.shortest_high_time();
        longest = mx.longest_high_time();
        pulses = mx.pulses();
        session.quit();
    }

    std::printf(
        "fsim pacewick: %s\n",
        describe(settings, trace ? &*trace : nullptr, walk_seconds).c_str());
    std::fputs(sim::framed_screen(final_screen).c_str(), stdout);
    std::printf(
        "counted steps: %s\n",
        counted ? std::to_string(*counted).c_str() : "(no count on the screen)");
    std::printf(
        "true steps:    %s\n",
        true_steps ? std::to_string(*true_steps).c_str() : "unknown (a trace)");
    if(const auto text = verdict(settings, counted, true_steps); !text.empty())
        std::printf("%s\n", text.c_str());
    std::printf(
        "PC0: %" PRIu64
        " pulses of 10 ms, high %.3f to %.3f ms (a step needs a change across 5.000 ms)\n",
        pulses,
        static_cast<double>(shortest) / 1e6,
        static_cast<double>(longest) / 1e6);

    std::string error;
    if(!final_screen.write_png(settings.png, &error)) {
        throw RunError(error.empty() ? "cannot write " + settings.png : error);
    }
    std::printf("screen saved to %s (512x256)\n", settings.png.c_str());
    return 0;
}

} // namespace fsim
