// Host time per module exchange: each command against the virtual YRM100 costs 100 ms of
// virtual time; this prints what it costs in wall time on the host.
//   bench_exchange [rounds]   (default 1000 per command)
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include <furi.h>
#include <furi_hal.h>

#include "devices/yrm100.h"
#include "host/runtime.h"
#include "module/m100.h"
#include "tag/uhf_tag.h"

namespace {

struct Figure {
    double host_us;
    double virtual_ms;
};

Figure measure(host::Runtime& rt, int rounds, const std::function<void()>& command) {
    const auto virtual_start = rt.now();
    const auto start = std::chrono::steady_clock::now();
    for(int i = 0; i < rounds; ++i) {
        command();
        if(i % 64 == 0) rt.log().clear(); // the write logs 30-odd lines per call
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const double host_us = std::chrono::duration<double, std::micro>(elapsed).count() / rounds;
    const double virtual_ms = static_cast<double>(rt.now() - virtual_start) / 1e6 / rounds;
    return {host_us, virtual_ms};
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 1000;
    if(rounds <= 0) {
        std::fprintf(stderr, "usage: %s [rounds > 0]\n", argv[0]);
        return 2;
    }
    host::Runtime rt{host::RuntimeOptions{.virtual_time_limit = 0, .log_to_stderr = false}};
    furi_hal_console_disable(); // as the app does while it owns USART1
    furi_hal_power_enable_otg();
    sim::Yrm100 model{rt};
    sim::yrm100::TagSpec spec;
    spec.epc = {0x30, 0x75, 0x1F, 0xEB, 0x70, 0x5C, 0x59, 0x04, 0xE3, 0xD5, 0x0D, 0x70};
    spec.tid = {0xE2, 0x80, 0x11, 0x60, 0x20, 0x00, 0x74, 0xCF, 0x08, 0xA9, 0xFF, 0x01};
    spec.user.assign(64, 0x5A);
    model.add_tag(spec);

    M100Module* module = m100_module_alloc();
    UHFTag* tag = uhf_tag_alloc();
    if(!module || !tag || m100_send_single_poll(module, tag) != M100SuccessResponse) {
        std::fprintf(stderr, "bench_exchange: the virtual module did not answer\n");
        return 1;
    }
    uhf_tag_set_user(tag, spec.user.data(), spec.user.size());

    struct Case {
        const char* name;
        std::function<void()> command;
    };
    const Case cases[] = {
        {"identity", [&] { m100_get_hardware_version(module); }},
        {"poll", [&] { m100_send_single_poll(module, tag); }},
        {"select", [&] { m100_set_select(module, tag); }},
        {"read TID 6 words", [&] { m100_read_label_data_storage(module, tag, TIDBank, 0, 6); }},
        {"read USER 32 words",
         [&] { m100_read_label_data_storage(module, tag, UserBank, 0, 32); }},
        {"write EPC", [&] { m100_write_label_data_storage(module, tag, EPCBank, 0, 0); }},
        {"write USER 32 words",
         [&] { m100_write_label_data_storage(module, tag, UserBank, 0, 0); }},
    };

    std::printf("module exchanges against the virtual YRM100, %d rounds each\n", rounds);
    std::printf("%-22s %16s %20s\n", "command", "host us/exchange", "virtual ms/exchange");
    double total_us = 0;
    for(const auto& c : cases) {
        const Figure f = measure(rt, rounds, c.command);
        total_us += f.host_us;
        std::printf("%-22s %16.1f %20.1f\n", c.name, f.host_us, f.virtual_ms);
    }
    const double mean_us = total_us / static_cast<double>(std::size(cases));
    std::printf(
        "mean host time per exchange: %.1f us (%.0fx faster than the device's 100 ms)\n",
        mean_us,
        100000.0 / mean_us);
    std::printf(
        "frames answered by the model: %zu, host run-token hand-overs: %" PRIu64 "\n",
        model.frames_received(),
        rt.handovers());

    uhf_tag_free(tag);
    m100_module_free(module);
    return 0;
}
