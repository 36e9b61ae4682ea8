// Figures for the worker's read job against the virtual YRM100: a tag with a 6-word TID and a
// 32-word USER bank, polled, selected and read word by word. Prints the virtual duration of one
// job, the wall time it costs on this host, the speed-up over real time (goal: at least 20000x)
// and the heap the job needs on top of the idle worker.
#include <furi.h>
#include <furi_hal.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "devices/yrm100.h"
#include "host/memory.h"
#include "host/runtime.h"
#include "worker/uhf_worker.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::uint8_t> pattern(std::size_t words, std::uint8_t first) {
    std::vector<std::uint8_t> bytes(2 * words);
    for(std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(first + i);
    return bytes;
}

struct Job {
    UHFWorkerEvent event = UHFWorkerEventFail;
    int reports = 0;
};

void on_done(UHFWorkerEvent event, void* ctx) {
    auto* job = static_cast<Job*>(ctx);
    job->event = event;
    job->reports++;
}

struct Run {
    host::Nanos virtual_ns;
    double wall_s;
    std::size_t peak_above_bytes; // highest live heap during the job minus the heap before it
};

Run run_job(host::Runtime& rt, UHFWorker* worker) {
    Job job;
    const std::size_t before = host::memory::stats().live_bytes;
    host::memory::reset_peak();
    const host::Nanos virtual_start = rt.now();
    const auto wall_start = Clock::now();
    uhf_worker_start(worker, UHFWorkerStateDetectSingle, on_done, &job);
    furi_thread_join(worker->thread);
    const double wall = std::chrono::duration<double>(Clock::now() - wall_start).count();
    if(job.reports != 1 || job.event != UHFWorkerEventSuccess) {
        std::fprintf(
            stderr, "read job did not succeed (event %d, %d reports)\n", job.event, job.reports);
        std::exit(1);
    }
    return Run{rt.now() - virtual_start, wall, host::memory::stats().peak_bytes - before};
}

} // namespace

int main(int argc, char** argv) {
    const int jobs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;

    host::Runtime rt({.log_to_stderr = false});
    furi_hal_console_disable(); // as the app does while it owns USART1
    furi_hal_power_enable_otg();
    sim::Yrm100 model(rt);
    sim::yrm100::TagSpec spec;
    spec.epc = {0x30, 0x75, 0x1F, 0xEB, 0x70, 0x5C, 0x59, 0x04, 0xE3, 0xD5, 0x0D, 0x70};
    spec.tid = pattern(6, 0xE2);
    spec.user = pattern(32, 0x00);
    model.add_tag(spec);

    const std::size_t empty_bytes = host::memory::stats().live_bytes;
    UHFWorker* worker = uhf_worker_alloc();
    UHFTagWrapper* holder = uhf_tag_wrapper_alloc();
    worker->uhf_tag_wrapper = holder;
    const std::size_t idle_bytes = host::memory::stats().live_bytes - empty_bytes;

    // The first job starts from an empty holder; every later one replaces the tag it holds.
    const Run first = run_job(rt, worker);
    const std::size_t held_bytes = host::memory::stats().live_bytes - empty_bytes - idle_bytes;

    // Process CPU time as well: on a loaded host the wall time also counts waits for a core.
    const std::clock_t cpu_start = std::clock();
    std::vector<double> walls;
    walls.reserve(static_cast<std::size_t>(jobs));
    host::Nanos virtual_total = 0;
    std::size_t peak_above = 0;
    for(int i = 0; i < jobs; ++i) {
        const Run run = run_job(rt, worker);
        walls.push_back(run.wall_s);
        virtual_total += run.virtual_ns;
        peak_above = std::max(peak_above, run.peak_above_bytes);
    }
    const double cpu_total = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
    double wall_total = 0;
    for(double w : walls) wall_total += w;
    std::sort(walls.begin(), walls.end());
    const double median = walls[walls.size() / 2];
    const double virtual_job = static_cast<double>(first.virtual_ns) / host::kSecond;

    std::printf(
        "read job: tag with a 6-word TID and a 32-word USER bank; %d jobs after a first one\n",
        jobs);
    std::printf(
        "  virtual duration per job  %.3f s (poll 0.2, select 0.1, 3 TID + 28 USER reads)\n",
        virtual_job);
    std::printf(
        "  wall time per job         median %.3f ms, mean %.3f ms\n",
        median * 1e3,
        wall_total * 1e3 / jobs);
    std::printf(
        "  speed-up                  %.0fx real time over all jobs, %.0fx at the median "
        "(goal >= 20000x)\n",
        static_cast<double>(virtual_total) / host::kSecond / wall_total,
        virtual_job / median);
    std::printf(
        "  CPU time per job          %.3f ms: %.0fx real time per CPU second\n",
        cpu_total * 1e3 / jobs,
        static_cast<double>(virtual_total) / host::kSecond / cpu_total);
    std::printf(
        "  heap: idle worker and holder %zu bytes (host thread object included)\n", idle_bytes);
    std::printf(
        "        job peak above idle, empty holder   %zu bytes; tag kept %zu bytes\n",
        first.peak_above_bytes,
        held_bytes);
    std::printf(
        "        job peak above start, a tag held    %zu bytes (the new tag comes before the old goes)\n",
        peak_above);

    uhf_worker_stop(worker);
    uhf_worker_free(worker);
    uhf_tag_wrapper_free(holder);
    return host::memory::stats().live_bytes == empty_bytes ? 0 : 1;
}
