// Figures for the host runtime: how much faster than the device a worker-style loop runs in
// virtual time, and what one OS-level hand-over of the run token costs.
#include <furi.h>
#include <furi_hal.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "host/runtime.h"

namespace {

using Clock = std::chrono::steady_clock;

// Answers every frame (ended by 0x7E) with a 24-byte reply, like a module answering a poll.
class Responder : public host::UartPeer {
public:
    explicit Responder(host::Runtime& rt)
        : rt_(rt) {}
    void on_byte_from_device(uint8_t byte) override {
        if(byte != 0x7E) return;
        static const std::vector<uint8_t> reply = {0xBB, 0x02, 0x22, 0x00, 0x11, 0xC9, 0x34, 0x00,
                                                   0x30, 0x75, 0x1F, 0xEB, 0x70, 0x5C, 0x59, 0x04,
                                                   0xE3, 0xD5, 0x0D, 0x70, 0x3A, 0x76, 0xEF, 0x7E};
        rt_.schedule_after(host::ms(3), [this] {
            rt_.uart(FuriHalUartIdUSART1).send_to_device(reply);
        });
    }

private:
    host::Runtime& rt_;
};

struct Rx {
    uint8_t data[128];
    size_t size = 0;
};

void rx_callback(UartIrqEvent, uint8_t byte, void* context) {
    auto* rx = static_cast<Rx*>(context);
    if(rx->size < sizeof rx->data) rx->data[rx->size++] = byte;
}

struct LoopJob {
    int rounds;
    Rx rx;
    size_t bytes_received = 0;
};

int32_t worker_loop(void* context) {
    auto* job = static_cast<LoopJob*>(context);
    uint8_t frame[8] = {0xBB, 0x00, 0x03, 0x00, 0x01, 0x00, 0x04, 0x7E};
    for(int i = 0; i < job->rounds; ++i) {
        job->rx.size = 0;
        furi_hal_uart_set_irq_cb(FuriHalUartIdUSART1, rx_callback, &job->rx);
        furi_hal_uart_tx(FuriHalUartIdUSART1, frame, sizeof frame);
        furi_delay_ms(100);
        job->bytes_received += job->rx.size;
    }
    return 0;
}

void bench_speedup() {
    host::Runtime rt({.log_to_stderr = false});
    furi_hal_console_disable(); // as the app does while it owns USART1
    Responder responder(rt);
    rt.uart(FuriHalUartIdUSART1).attach(&responder);
    LoopJob job{.rounds = 20000, .rx = {}};
    FuriThread* worker = furi_thread_alloc_ex("UHFWorker", 8192, worker_loop, &job);
    const auto start = Clock::now();
    const host::Nanos virtual_start = rt.now();
    furi_thread_start(worker);
    furi_thread_join(worker);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double virtual_seconds = static_cast<double>(rt.now() - virtual_start) / host::kSecond;
    furi_thread_free(worker);
    std::printf(
        "worker loop: %d exchanges (8 bytes out, 24 back, 100 ms wait), %zu bytes received\n",
        job.rounds,
        job.bytes_received);
    std::printf(
        "  virtual %.1f s in wall %.3f s: speed-up %.0fx real time (goal >= 5000x)\n",
        virtual_seconds,
        wall,
        virtual_seconds / wall);
    std::printf("  host time per exchange: %.2f us\n", wall * 1e6 / job.rounds);
}

struct PingPong {
    FuriMessageQueue* ping;
    FuriMessageQueue* pong;
    int rounds;
};

int32_t ponger(void* context) {
    auto* pp = static_cast<PingPong*>(context);
    int value = 0;
    for(int i = 0; i < pp->rounds; ++i) {
        furi_message_queue_get(pp->ping, &value, FuriWaitForever);
        furi_message_queue_put(pp->pong, &value, FuriWaitForever);
    }
    return 0;
}

void bench_handover() {
    host::Runtime rt({.log_to_stderr = false});
    PingPong pp{
        furi_message_queue_alloc(1, sizeof(int)),
        furi_message_queue_alloc(1, sizeof(int)),
        100000};
    FuriThread* thread = furi_thread_alloc_ex("ponger", 1024, ponger, &pp);
    furi_thread_start(thread);
    const auto handovers_before = rt.handovers();
    const auto start = Clock::now();
    int value = 0;
    for(int i = 0; i < pp.rounds; ++i) {
        furi_message_queue_put(pp.ping, &i, FuriWaitForever);
        furi_message_queue_get(pp.pong, &value, FuriWaitForever);
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const auto handovers = rt.handovers() - handovers_before;
    furi_thread_join(thread);
    furi_thread_free(thread);
    furi_message_queue_free(pp.ping);
    furi_message_queue_free(pp.pong);
    std::printf(
        "thread hand-over: %llu hand-overs in %.3f s: %.2f us each (goal < 10 us)\n",
        static_cast<unsigned long long>(handovers),
        wall,
        wall * 1e6 / static_cast<double>(handovers));
}

} // namespace

int main() {
    bench_speedup();
    bench_handover();
    return 0;
}
