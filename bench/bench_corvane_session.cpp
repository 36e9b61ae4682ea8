// Figures for one whole corvane session on the host runtime, driven as a user would: module
// check, read, save under the offered name, browse to the file, view its three banks, write it
// to the tag in the field, leave. Prints the session's virtual duration, the wall time it takes
// here, the speed-up over real time, the heap's peak and what is left allocated afterwards.
// Usage: bench_corvane_session [sessions] (default 5).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "corvane_driver.h"

namespace {

using Clock = std::chrono::steady_clock;

void require(bool ok, const char* step, corvane_test::Driver& app) {
    if(ok) return;
    std::fprintf(
        stderr, "session failed at '%s'; the screen shows:\n%s", step, app.describe().c_str());
    std::exit(1);
}

struct Figures {
    double virtual_s;
    double wall_s;
    double cpu_s; // CPU time of the process: on a loaded host the wall time also counts waits
    std::size_t peak_bytes;
    std::ptrdiff_t leaked_blocks;
    std::uint64_t handovers; // run-token hand-overs between platform threads
    std::uint64_t events;    // interrupt events run (UART bytes, key presses, timers)
};

double process_cpu_s() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

Figures run_session() {
    corvane_test::Driver app;
    sim::yrm100::TagSpec spec;
    spec.epc = {0x30, 0x75, 0x1F, 0xEB, 0x70, 0x5C, 0x59, 0x04, 0xE3, 0xD5, 0x0D, 0x70};
    spec.tid = std::vector<std::uint8_t>(12, 0xE2);
    spec.user = std::vector<std::uint8_t>(64, 0x10);
    app.add_tag(spec);

    host::memory::reset_peak();
    const std::uint64_t handovers_start = app.runtime().handovers();
    const std::uint64_t events_start = app.runtime().events_run();
    const host::Nanos virtual_start = app.runtime().now();
    const auto wall_start = Clock::now();
    const double cpu_start = process_cpu_s();

    app.start();
    require(app.wait_for("Module Info"), "module check", app);
    app.press(InputKeyRight);
    app.press(InputKeyOk); // Read Tag
    require(app.wait_for("Read Success"), "read", app);
    app.press(InputKeyRight); // More
    app.press(InputKeyOk);    // Save
    require(app.save_text(), "save key", app);
    require(app.wait_for("Saved!"), "save", app);
    require(app.wait_for("Change Key", 3000), "back to the tag menu", app);
    app.press(InputKeyBack); // start menu
    app.press(InputKeyDown);
    app.press(InputKeyOk); // Saved
    app.press(InputKeyDown);
    app.press(InputKeyOk); // the file
    require(app.wait_for("Info"), "load", app);
    app.press(InputKeyDown);
    app.press(InputKeyOk); // Info
    for(int i = 0; i < 3; ++i) app.press(InputKeyRight);
    require(app.shows("EPC Bank"), "bank viewer", app);
    app.press(InputKeyLeft);
    app.press(InputKeyDown);
    app.press(InputKeyOk); // Write
    require(app.wait_for("Write Success"), "write", app);
    app.press(InputKeyLeft); // Exit
    app.quit();

    const Figures figures{
        static_cast<double>(app.runtime().now() - virtual_start) / 1e9,
        std::chrono::duration<double>(Clock::now() - wall_start).count(),
        process_cpu_s() - cpu_start,
        host::memory::stats().peak_bytes,
        app.leaked_blocks(),
        app.runtime().handovers() - handovers_start,
        app.runtime().events_run() - events_start,
    };
    return figures;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<double> walls;
    std::vector<double> cpus;
    Figures last{};
    for(int i = 0; i < runs; ++i) {
        last = run_session();
        walls.push_back(last.wall_s);
        cpus.push_back(last.cpu_s);
    }
    std::sort(walls.begin(), walls.end());
    std::sort(cpus.begin(), cpus.end());
    const double median_cpu = cpus[cpus.size() / 2];
    const double best_wall = walls.front();
    const double median_wall = walls[walls.size() / 2];
    std::printf("corvane session (check, read, save, browse, view 3 banks, write, leave)\n");
    std::printf("  virtual duration   %8.3f s\n", last.virtual_s);
    std::printf(
        "  wall time          %8.3f ms best, %.3f ms median of %d\n",
        best_wall * 1e3,
        median_wall * 1e3,
        runs);
    std::printf(
        "  speed-up           %8.0fx real time at the best, %.0fx at the median (goal >= 5000x)\n",
        last.virtual_s / best_wall,
        last.virtual_s / median_wall);
    std::printf(
        "  CPU time (median)  %8.3f ms: %.0fx real time per CPU second\n",
        median_cpu * 1e3,
        last.virtual_s / median_cpu);
    std::printf(
        "  per session        %8llu thread hand-overs, %llu interrupt events\n",
        static_cast<unsigned long long>(last.handovers),
        static_cast<unsigned long long>(last.events));
    std::printf(
        "  heap peak          %8zu bytes (live heap during the session, services set up before it included)\n",
        last.peak_bytes);
    std::printf("  left allocated     %8td blocks\n", last.leaked_blocks);
    return last.leaked_blocks == 0 ? 0 : 1;
}
