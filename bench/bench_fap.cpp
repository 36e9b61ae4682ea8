// Figures only running the packages themselves can give: every sample scenario played on the
// packages of one API (dist/36.0/<app>.fap or dist/86.0/<app>.fap, tools/package.sh) on the
// emulated Cortex-M4, on the firmware of the packages' API, and on the host build for that API. Prints, per scenario, the wall time of each and their ratio (goal: the package within
// 20x), the guest instructions executed and the package's heap peak; per thread, the deepest its
// stack got over every scenario against its size (the manifest's for the app, the worker's own);
// and the instructions of pacewick's PC0 interrupt per edge (goal: 60).
//
//     bench_fap [DIST_DIR] [RUNS]      (default: dist/36.0 of the repository, 3 runs, best kept)
//     bench_fap dist/86.0              (the 86.0 packages, against the host build for 86.0)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include "devices/gait.h"
#include "scenario/scenario.h"
#include "session/corvane_session.h"
#include "session/pacewick_session.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

struct Run {
    bool ok = false;
    double wall_s = 0;
    std::uint64_t instructions = 0;
    std::uint32_t heap_peak = 0;
    std::uint64_t irq_instructions = 0;
    std::uint64_t irq_calls = 0;
    std::vector<fap::ThreadFigures> threads;
};

std::unique_ptr<sim::AppSession> make_session(const std::string& app, sim::AppApi api, const fs::path& fap) {
    if(app == "pacewick") {
        sim::PacewickSessionOptions o;
        o.api = api;
        o.fap = fap;
        auto s = std::make_unique<sim::PacewickSession>(o);
        s->sensor().set_gait(*sim::gait_preset("normal")); // as fsim pacewick walks by default
        return s;
    }
    sim::CorvaneSessionOptions o;
    o.api = api;
    o.fap = fap;
    return std::make_unique<sim::CorvaneSession>(o);
}

fap::Machine* machine_of(sim::AppSession& s) {
    if(auto* c = dynamic_cast<sim::CorvaneSession*>(&s)) return c->machine();
    if(auto* p = dynamic_cast<sim::PacewickSession*>(&s)) return p->machine();
    return nullptr;
}

Run play(const sim::scenario::Scenario& scenario, const std::string& app, sim::AppApi api,
         const fs::path& fap, const fs::path& shots) {
    Run r;
    std::FILE* quiet = std::fopen("/dev/null", "w");
    const auto start = Clock::now();
    {
        auto session = make_session(app, api, fap);
        session->start();
        sim::scenario::RunOptions options;
        options.out = quiet;
        options.screenshot_dir = shots;
        r.ok = sim::scenario::run(scenario, *session, options).ok;
        session->quit();
        r.wall_s = std::chrono::duration<double>(Clock::now() - start).count();
        if(fap::Machine* m = machine_of(*session)) {
            r.instructions = m->instructions();
            r.heap_peak = m->heap_peak();
            r.irq_instructions = m->interrupt_instructions();
            r.irq_calls = m->interrupt_calls();
            r.threads = m->thread_figures();
        }
    }
    std::fclose(quiet);
    return r;
}

} // namespace

int main(int argc, char** argv) {
    const fs::path dist = argc > 1 && *argv[1] ? fs::path(argv[1]) : fs::path(SOURCE_ROOT) / "dist" / "36.0";
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    std::vector<fs::path> files;
    for(const auto& e : fs::directory_iterator(fs::path(SOURCE_ROOT) / "sim" / "scenarios"))
        if(e.path().extension() == ".yaml") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    const fs::path shots = fs::temp_directory_path() / "bench_fap_shots";
    fs::create_directories(shots);

    std::printf("Sample scenarios on the packages in %s and on the host build; best of %d runs\n\n",
                dist.c_str(), runs);
    std::printf("%-28s %9s %9s %7s %14s %11s\n", "scenario", "host ms", "fap ms", "ratio",
                "instructions", "heap peak");
    std::map<std::string, fap::ThreadFigures> threads;
    std::set<std::string> packaged_apps;
    std::uint64_t pc0_instructions = 0, pc0_edges = 0;
    bool all_ok = true;
    for(const auto& file : files) {
        const std::string name = file.stem().string();
        const std::string app = name.substr(0, name.find('-'));
        const fs::path fap = dist / (app + ".fap");
        if(!fs::exists(fap)) {
            std::printf("%-28s (no %s: run tools/package.sh)\n", name.c_str(), fap.c_str());
            all_ok = false;
            continue;
        }
        const auto scenario = sim::scenario::parse_file(file);
        const sim::AppApi api = sim::AppProgram::api_for(std::nullopt, fap);
        Run host, pkg;
        host.wall_s = pkg.wall_s = 1e9;
        for(int i = 0; i < runs; ++i) {
            Run h = play(scenario, app, api, {}, shots);
            Run p = play(scenario, app, api, fap, shots);
            all_ok = all_ok && h.ok && p.ok;
            if(h.wall_s < host.wall_s) host = h;
            if(p.wall_s < pkg.wall_s) pkg = p;
        }
        std::printf("%-28s %9.1f %9.1f %6.1fx %14llu %9u B%s\n", name.c_str(), host.wall_s * 1e3,
                    pkg.wall_s * 1e3, pkg.wall_s / host.wall_s,
                    static_cast<unsigned long long>(pkg.instructions), pkg.heap_peak,
                    pkg.ok && host.ok ? "" : "  (FAILED)");
        for(const auto& t : pkg.threads) {
            auto& slot = threads[t.name];
            slot.name = t.name;
            slot.stack_size = std::max(slot.stack_size, t.stack_size);
            slot.high_water = std::max(slot.high_water, t.high_water);
        }
        packaged_apps.insert(app); // its threads' budget is the manifest's stack_size
        if(app == "pacewick") {
            pc0_instructions += pkg.irq_instructions;
            pc0_edges += pkg.irq_calls;
        }
    }

    std::printf("\nStack high-water mark per thread over every scenario (guest code's use of it)\n");
    std::printf("%-14s %8s %8s %6s  %s\n", "thread", "stack", "deepest", "use", "budget");
    for(const auto& [name, t] : threads) {
        std::string budget = "its platform thread's size";
        if(packaged_apps.count(name)) budget = "the manifest's stack_size";
        if(name == "UHFWorker") budget = "the worker's own (furi_thread_alloc_ex)";
        if(name == "interrupt") budget = "the interrupt context (main stack here)";
        std::printf("%-14s %8u %8u %5.0f%%  %s\n", name.c_str(), t.stack_size, t.high_water,
                    100.0 * t.high_water / std::max<std::uint32_t>(t.stack_size, 1), budget.c_str());
    }
    if(pc0_edges) {
        std::printf("\npacewick's PC0 interrupt: %llu edges, %.1f guest instructions per edge (goal 60;\n"
                    "the firmware's furi_hal_cortex_timer_get and furi_message_queue_put it calls run on the\n"
                    "host and are not counted)\n",
                    static_cast<unsigned long long>(pc0_edges),
                    static_cast<double>(pc0_instructions) / static_cast<double>(pc0_edges));
    }
    fs::remove_all(shots);
    return all_ok ? 0 : 1;
}
