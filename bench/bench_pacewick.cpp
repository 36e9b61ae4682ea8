// pacewick figures: steps counted against steps taken for a few gaits, and what the edge
// interrupt costs (Thumb instructions of the cross-compiled step_callback, host time per edge).
// Prints figures only; nothing here is a pass/fail check.
#include <furi.h>
#include <furi_hal.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <sstream>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "devices/gait.h"
#include "devices/mx2125.h"
#include "host/runtime.h"
#include "pacewick.h"

namespace {

using Clock = std::chrono::steady_clock;
using host::Nanos;

constexpr Nanos kWalk = host::seconds(60);

host::RuntimeOptions quiet() {
    host::RuntimeOptions options;
    options.log_to_stderr = false;
    return options;
}

/// The sensor record and queue as the app sets them up, with the interrupt on PC0.
class Sensor {
public:
    Sensor() {
        queue_ = furi_message_queue_alloc(PACEWICK_QUEUE_SIZE, sizeof(PacewickEvent));
        sensor_.pin = &gpio_ext_pc0;
        sensor_.below_half = furi_hal_gpio_read(&gpio_ext_pc0);
        app_ = {queue_, &sensor_};
    }
    ~Sensor() {
        detach();
        furi_message_queue_free(queue_);
    }
    void attach() {
        furi_hal_gpio_init(
            &gpio_ext_pc0, GpioModeInterruptRiseFall, GpioPullNo, GpioSpeedVeryHigh);
        furi_hal_gpio_add_int_callback(&gpio_ext_pc0, step_callback, &app_);
    }
    void detach() { furi_hal_gpio_remove_int_callback(&gpio_ext_pc0); }
    /// What the app's loop does with step messages: takes them.
    void drain() {
        PacewickEvent event;
        while(furi_message_queue_get(queue_, &event, 0) == FuriStatusOk) {
        }
    }
    PacewickApp* app() { return &app_; }
    PacewickSensor& sensor() { return sensor_; }

private:
    FuriMessageQueue* queue_ = nullptr;
    PacewickSensor sensor_{};
    PacewickApp app_{};
};

struct WalkResult {
    std::uint64_t true_steps = 0;
    std::int32_t counted = 0;
    std::uint64_t edges = 0;
    double wall_ns = 0;
    Nanos shortest_high = 0;
    Nanos longest_high = 0;
};

/// A minute of walking between 1 s of standing before and 2 s after, the pin low at launch.
WalkResult walk(const sim::GaitParams& params, const sim::Mx2125Config& config = {}) {
    host::Runtime rt(quiet());
    sim::Mx2125 mx(rt, gpio_ext_pc0, config);
    sim::GaitParams seeded = params;
    seeded.seed = config.seed; // one seed for the noise and the steps' variation
    sim::Gait& gait = mx.set_gait(seeded);
    Sensor sensor;
    sensor.attach();
    mx.start();
    gait.walk(host::seconds(1), host::seconds(1) + kWalk);

    const auto t0 = Clock::now();
    const Nanos end = host::seconds(3) + kWalk;
    while(rt.now() < end) {
        rt.run_for(host::ms(100));
        sensor.drain();
    }
    WalkResult r;
    r.wall_ns = static_cast<double>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - t0).count());
    r.true_steps = mx.true_steps().value_or(0);
    r.counted = sensor.sensor().count;
    r.edges = mx.edges();
    r.shortest_high = mx.shortest_high_time();
    r.longest_high = mx.longest_high_time();
    return r;
}

std::string cell(const WalkResult& r) {
    char text[32];
    if(r.true_steps == 0) {
        std::snprintf(text, sizeof text, "%" PRId32, r.counted);
    } else {
        std::snprintf(
            text,
            sizeof text,
            "%" PRId32 " %3.0f%%",
            r.counted,
            100.0 * r.counted / static_cast<double>(r.true_steps));
    }
    return text;
}

void print_mounts() {
    std::printf(
        "Counted against true steps: %d s of walking between 1 s of standing before and 2 s\n"
        "after, pin low at launch. Typical part (offset %+.0f mg, %.1f mg rms noise), axis level,\n"
        "seeds 1,2,3:\n\n",
        static_cast<int>(kWalk / host::kSecond),
        sim::Mx2125Part{}.offset_g * 1e3,
        sim::Mx2125Part{}.noise_g * 1e3);
    std::printf(
        "  %-8s %-7s %8s %5s  %-16s %-7s %s\n",
        "mount",
        "gait",
        "cadence",
        "true",
        "counted",
        "ratio",
        "high time range");
    for(const auto mount_text : sim::mount_names()) {
        for(const auto name : sim::gait_preset_names()) {
            const sim::GaitParams params = *sim::gait_preset(name);
            std::string counted;
            WalkResult first;
            for(std::uint64_t seed = 1; seed <= 3; ++seed) {
                const WalkResult r =
                    walk(params, {.mount = *sim::mount_from_name(mount_text), .seed = seed});
                if(seed == 1) first = r;
                counted += (seed > 1 ? "," : "") + std::to_string(r.counted);
            }
            std::string ratio = "-";
            if(first.true_steps != 0)
                ratio =
                    std::to_string(std::lround(100.0 * first.counted / first.true_steps)) + "%";
            std::printf(
                "  %-8.*s %-7.*s %6.2f/s %5" PRIu64 "  %-16s %-7s %.3f..%.3f ms\n",
                static_cast<int>(mount_text.size()),
                mount_text.data(),
                static_cast<int>(name.size()),
                name.data(),
                params.cadence_hz,
                first.true_steps,
                counted.c_str(),
                ratio.c_str(),
                static_cast<double>(first.shortest_high) / 1e6,
                static_cast<double>(first.longest_high) / 1e6);
        }
    }
    std::printf(
        "\n  A step is counted at every change of side of the 5.000 ms half period (0 g). The lateral\n"
        "  axis sways through it once per step; the forward axis crosses it twice per step; the\n"
        "  vertical axis (+1 g, 6.25 ms at rest) never reaches it while walking.\n\n");
}

/// One table per mount: rows vary one property of the part or the mounting, columns are gaits.
template <typename Configure>
void print_sweep(
    const char* title,
    const char* row_head,
    const std::vector<double>& rows,
    Configure configure,
    const char* unit) {
    const auto names = sim::gait_preset_names();
    std::printf("%s\n", title);
    for(const auto mount_text : sim::mount_names()) {
        const sim::Mount mount = *sim::mount_from_name(mount_text);
        std::printf(
            "\n  %-8.*s %-9s", static_cast<int>(mount_text.size()), mount_text.data(), row_head);
        for(const auto name : names) {
            const auto steps = walk(*sim::gait_preset(name)).true_steps;
            const std::string head = std::string(name) + " (" + std::to_string(steps) + ")";
            std::printf(" %14s", head.c_str());
        }
        std::printf("\n");
        for(const double row : rows) {
            std::printf("  %-8s %+5.0f %-3s", "", row, unit);
            for(const auto name : names) {
                sim::Mx2125Config config{.mount = mount};
                configure(config, row);
                std::printf(" %14s", cell(walk(*sim::gait_preset(name), config)).c_str());
            }
            std::printf("\n");
        }
    }
    std::printf("\n");
}

void print_offsets() {
    const std::vector<double> offsets_mg = {-100, -50, -25, -10, 0, 10, 25, 50, 100};
    print_sweep(
        "Counted steps (and counted/true) against the part's 0 g offset, axis level, seed 1;\n"
        "true steps in the column heads:",
        "offset",
        offsets_mg,
        [](sim::Mx2125Config& c, double mg) { c.part.offset_g = mg / 1e3; },
        "mg");
    std::printf(
        "  An offset beyond the swing of the axis hides the steps; an offset of 0 lets the noise alone\n"
        "  cross the threshold at rest; a part below 0 g counts one step when the app starts.\n\n");
}

void print_tilts() {
    const std::vector<double> tilts_deg = {-10, -5, -2, -1, 0, 1, 2, 5, 10};
    print_sweep(
        "Counted steps (and counted/true) against the mounting tilt, typical part (+25 mg), seed 1:",
        "tilt",
        tilts_deg,
        [](sim::Mx2125Config& c, double deg) { c.tilt_deg = deg; },
        "deg");
    std::printf(
        "  A tilt of t adds sin(t) g to a horizontal axis: 1 deg is 17 mg, 5 deg 87 mg.\n\n");
}

void print_random_parts() {
    std::printf(
        "Parts off the shelf (offset drawn from a spread of %.0f mg, at most %.0f mg), lateral, level:\n\n",
        sim::Mx2125Part::kOffsetSpreadG * 1e3,
        sim::Mx2125Part::kMaxOffsetG * 1e3);
    std::printf("  %-5s %9s  %-16s %s\n", "part", "offset", "normal walking", "standing");
    for(std::uint64_t seed = 1; seed <= 10; ++seed) {
        const sim::Mx2125Config config{.part = sim::Mx2125Part::random(seed), .seed = seed};
        const WalkResult walking = walk(*sim::gait_preset("normal"), config);
        const WalkResult standing = walk(*sim::gait_preset("still"), config);
        std::printf(
            "  %-5" PRIu64 " %+6.1f mg  %-16s %s\n",
            seed,
            config.part.offset_g * 1e3,
            (std::to_string(walking.counted) + " of " + std::to_string(walking.true_steps)).c_str(),
            cell(standing).c_str());
    }
    std::printf("\n");
}

template <typename Fn>
double ns_per_call(int iterations, Fn&& fn) {
    const auto t0 = Clock::now();
    for(int i = 0; i < iterations; ++i) fn(i);
    const auto dt =
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - t0).count();
    return static_cast<double>(dt) / iterations;
}

void print_host_cost() {
    constexpr int kIterations = 2'000'000;
    host::Runtime rt(quiet());
    Sensor sensor; // not attached: the pin level is set without firing the interrupt
    PacewickSensor& s = sensor.sensor();
    auto& gpio = rt.gpio();
    std::printf(
        "Host time of step_callback alone, called directly (%d calls each):\n", kIterations);

    gpio.set_input(gpio_ext_pc0, true);
    const double rise = ns_per_call(kIterations, [&](int) { step_callback(sensor.app()); });

    gpio.set_input(gpio_ext_pc0, false);
    s.period = 0;
    s.below_half = false;
    const double fall = ns_per_call(kIterations, [&](int) { step_callback(sensor.app()); });

    // Force a change of side on every call, so each one counts and posts; the loop takes the
    // message again, as the app's loop would.
    s.period = 1000;
    s.last_rise = furi_hal_cortex_timer_get(0).start;
    PacewickEvent event;
    const double step = ns_per_call(kIterations, [&](int) {
        s.below_half = false;
        step_callback(sensor.app());
        furi_message_queue_get(sensor.app()->queue, &event, 0);
    });
    const double drain = ns_per_call(kIterations, [&](int) {
        furi_message_queue_get(sensor.app()->queue, &event, 0);
    });

    std::printf("  rising edge (period update):           %7.1f ns\n", rise);
    std::printf("  falling edge, no step:                 %7.1f ns\n", fall);
    std::printf(
        "  falling edge, step and queue post:     %7.1f ns (plus %.1f ns for the taking get)\n",
        step - drain,
        drain);
}

void print_simulated_edge_cost() {
    const WalkResult r = walk(*sim::gait_preset("normal"));
    const double virtual_ns = static_cast<double>(host::seconds(3) + kWalk);
    std::printf(
        "  whole simulated edge (model event, GPIO bus, interrupt): %.1f ns over %" PRIu64
        " edges, %.0fx faster than real time\n\n",
        r.wall_ns / static_cast<double>(r.edges),
        r.edges,
        virtual_ns / r.wall_ns);
}

std::string run(const std::string& command) {
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if(!pipe) return out;
    std::array<char, 4096> buf;
    while(const auto n = std::fread(buf.data(), 1, buf.size(), pipe.get()))
        out.append(buf.data(), n);
    return out;
}

void print_thumb_size() {
    // The source tree as configured: __FILE__ may be relative to the build directory (ccache).
    const auto root = std::filesystem::path(SOURCE_ROOT);
    const auto script = root / "tools" / "device_build.sh";
    std::printf(
        "step_callback cross-compiled for the Cortex-M4 (arm-none-eabi-g++ -Os, device flags):\n");
    if(!std::filesystem::exists(script)) {
        std::printf("  n/a: %s is missing\n\n", script.c_str());
        return;
    }
    const auto out =
        std::filesystem::temp_directory_path() / ("bench_pacewick_" + std::to_string(getpid()));
    const std::string build =
        run("'" + script.string() + "' -o '" + out.string() + "' '" +
            (root / "pacewick").string() + "' >/dev/null 2>&1 && echo ok");
    const auto object = out / "pacewick" / "obj" / "pacewick.cpp.o";
    if(build.find("ok") == std::string::npos || !std::filesystem::exists(object)) {
        std::printf("  n/a: the device build failed or arm-none-eabi-g++ is not installed\n\n");
        std::filesystem::remove_all(out);
        return;
    }
    const std::string listing =
        run("arm-none-eabi-objdump -d --no-show-raw-insn '" + object.string() + "'");
    const std::string symbols = run("arm-none-eabi-nm -S '" + object.string() + "'");
    std::filesystem::remove_all(out);

    // The function's block runs from its label to the next blank line.
    const auto begin = listing.find("<_Z13step_callbackPv>:");
    if(begin == std::string::npos) {
        std::printf("  n/a: step_callback not found in the object\n\n");
        return;
    }
    const auto end = listing.find("\n\n", begin);
    const std::string body = listing.substr(begin, end - begin);
    // An instruction line is "  <hex address>:\t<mnemonic>\t<operands>".
    const auto mnemonic_of = [](std::string_view line) -> std::optional<std::string_view> {
        const auto first = line.find_first_not_of(" \t");
        if(first == 0 || first == std::string_view::npos) return std::nullopt;
        const auto colon = line.find(':', first);
        if(colon == std::string_view::npos || colon == first ||
           line.substr(first, colon - first).find_first_not_of("0123456789abcdef") !=
               std::string_view::npos)
            return std::nullopt;
        const auto start = line.find_first_not_of(" \t", colon + 1);
        if(start == std::string_view::npos) return std::nullopt;
        return line.substr(start, line.find_first_of(" \t", start) - start);
    };
    int count = 0;
    std::vector<std::string> calls;
    std::size_t pos = body.find('\n');
    while(pos != std::string::npos && pos < body.size()) {
        const auto next = body.find('\n', pos + 1);
        const std::string line =
            body.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1);
        if(const auto mnemonic = mnemonic_of(line)) {
            ++count;
            if(*mnemonic == "bl") {
                const auto lt = line.find('<');
                calls.push_back(line.substr(lt + 1, line.find('>') - lt - 1));
            }
        }
        pos = next;
    }
    // nm -S: "<address> <size> T _Z13step_callbackPv".
    unsigned long size = 0;
    const auto row = symbols.find(" T _Z13step_callbackPv");
    if(row != std::string::npos) {
        const auto line_start = symbols.rfind('\n', row) + 1; // npos + 1 is 0: the first line
        std::istringstream fields(symbols.substr(line_start, row - line_start));
        std::string address;
        std::string hex_size;
        if(fields >> address >> hex_size) size = std::stoul(hex_size, nullptr, 16);
    }
    std::printf("  %d Thumb instructions in step_callback, %lu bytes\n", count, size);
    std::printf("  calls out to:");
    for(const auto& c : calls) std::printf(" %s", c.c_str());
    std::printf(
        "\n  (the pin read is inlined; the cycle counter read and the queue post are firmware calls)\n\n");
}

} // namespace

int main() {
    std::printf("== bench_pacewick ==\n\n");
    print_mounts();
    print_offsets();
    print_tilts();
    print_random_parts();
    print_host_cost();
    print_simulated_edge_cost();
    print_thumb_size();
    return 0;
}
