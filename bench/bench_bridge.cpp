// Wall time of one module exchange through the serial bridge: the device's UART, the bridge, a
// pseudo-terminal and the virtual YRM100 served by another process (as `fsim module --pty`),
// both sides paced to the wall clock. Printed next to what the same exchange takes on a direct
// wire at 115200 baud (request and reply bytes plus the module's reply latency).
//   bench_bridge [rounds]   (default 50 per command)
#include <furi.h>
#include <furi_hal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bridge/serial_bridge.h"
#include "example_tag.h"
#include "pty_module_process.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Receiver {
    Bytes bytes;
    /// One whole frame has arrived: header, 5 + PL bytes, end byte.
    bool frame_complete() const {
        if(bytes.size() < 7) return false;
        const std::size_t length = 7u + ((static_cast<std::size_t>(bytes[3]) << 8) | bytes[4]);
        return bytes.size() >= length;
    }
    static void on_byte(UartIrqEvent, std::uint8_t byte, void* context) {
        static_cast<Receiver*>(context)->bytes.push_back(byte);
    }
};

struct Result {
    std::vector<double> wall_ms;
    double virtual_ms = 0; ///< mean virtual time per exchange on the app's side
    std::size_t reply_bytes = 0;
    int lost = 0;
};

Result measure(host::Runtime& rt, Receiver& rx, Bytes request, int rounds) {
    Result result;
    for(int i = 0; i < rounds; ++i) {
        rx.bytes.clear();
        const auto start = std::chrono::steady_clock::now();
        const host::Nanos virtual_start = rt.now();
        furi_hal_uart_tx(FuriHalUartIdUSART1, request.data(), request.size());
        while(!rx.frame_complete() &&
              std::chrono::steady_clock::now() - start < std::chrono::seconds(1))
            rt.run_for(host::us(50));
        if(!rx.frame_complete()) {
            ++result.lost;
            continue;
        }
        result.wall_ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        result.reply_bytes = rx.bytes.size();
        result.virtual_ms += static_cast<double>(rt.now() - virtual_start) / 1e6;
        rt.run_for(host::ms(2)); // a quiet gap between exchanges
    }
    return result;
}

void print(
    const char* name,
    const Bytes& request,
    Result result,
    host::Nanos byte_time,
    host::Nanos latency) {
    auto& w = result.wall_ms;
    if(w.empty()) {
        std::printf("%-16s no reply in %d rounds\n", name, result.lost);
        return;
    }
    std::sort(w.begin(), w.end());
    result.virtual_ms /= static_cast<double>(w.size());
    const double wire_ms =
        static_cast<double>((request.size() + result.reply_bytes) * byte_time + latency) / 1e6;
    std::printf(
        "%-16s %3zu+%3zu bytes  wall min %6.2f  median %6.2f  p95 %6.2f  max %6.2f ms"
        "  | app's virtual %5.2f  | direct wire %5.2f ms  | lost %d\n",
        name,
        request.size(),
        result.reply_bytes,
        w.front(),
        w[w.size() / 2],
        w[std::min(w.size() - 1, w.size() * 95 / 100)],
        w.back(),
        result.virtual_ms,
        wire_ms,
        result.lost);
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 50;
    if(rounds <= 0) {
        std::fprintf(stderr, "usage: %s [rounds > 0]\n", argv[0]);
        return 2;
    }
    sim::yrm100::TagSpec tag;
    tag.epc = test_support::kExampleEpc;
    sim::Yrm100Config config;
    test_support::PtyModuleProcess module(config, {tag});

    host::Runtime rt{
        host::RuntimeOptions{.realtime = true, .virtual_time_limit = 0, .log_to_stderr = false}};
    furi_hal_console_disable();
    try {
        sim::SerialBridge bridge(rt, module.path());
        furi_hal_uart_set_br(FuriHalUartIdUSART1, 115200);
        Receiver rx;
        furi_hal_uart_set_irq_cb(FuriHalUartIdUSART1, &Receiver::on_byte, &rx);
        rt.run_for(host::ms(200)); // the speed change reaches the line

        const host::Nanos byte_time = rt.uart(FuriHalUartIdUSART1).byte_time();
        std::printf(
            "bench_bridge: %d rounds per command, %s, 115200 baud\n",
            rounds,
            module.path().c_str());
        const Bytes identity = {0xBB, 0x00, 0x03, 0x00, 0x01, 0x00, 0x04, 0x7E};
        const Bytes single_poll = {0xBB, 0x00, 0x22, 0x00, 0x00, 0x22, 0x7E};
        print(
            "identity (03)",
            identity,
            measure(rt, rx, identity, rounds),
            byte_time,
            config.reply_latency);
        print(
            "single poll (22)",
            single_poll,
            measure(rt, rx, single_poll, rounds),
            byte_time,
            config.reply_latency);
        furi_hal_uart_set_irq_cb(FuriHalUartIdUSART1, nullptr, nullptr);
        if(!bridge.connected()) std::printf("bridge: %s\n", bridge.problem().c_str());
    } catch(const sim::BridgeError& e) {
        std::fprintf(stderr, "bench_bridge: %s\n", e.what());
        return 1;
    }
    return module.stop() ? 0 : 1;
}
