#include "pty_module.h"

#include <fcntl.h>
#include <furi_hal_uart.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "serial_port.h"

namespace sim {

namespace {
[[noreturn]] void pty_failure(const char* step) {
    throw std::runtime_error(
        std::string("cannot make a pseudo-terminal: ") + step + " (" + std::strerror(errno) + ")");
}
} // namespace

PseudoTerminal::PseudoTerminal()
    : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    if(!master_) pty_failure("posix_openpt");
    if(::grantpt(master_.get()) != 0) pty_failure("grantpt");
    if(::unlockpt(master_.get()) != 0) pty_failure("unlockpt");
    char name[128];
    if(::ptsname_r(master_.get(), name, sizeof name) != 0) pty_failure("ptsname");
    slave_path_ = name;
    slave_.reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if(!slave_) pty_failure("open the slave side");
    // Raw on both sides: no echo, no line editing, no newline translation.
    if(!make_raw(slave_.get(), PtyModule::kBaud)) pty_failure("raw mode");
}

/// What the receive callback and the delayed deliveries share; touched in runtime context only.
struct PtyModule::Shared {
    Yrm100* module = nullptr; // null once the server stopped
    FdPump* pump = nullptr;
    host::Nanos line_free_at = 0; // when the last byte towards the model has arrived
};

PtyModule::PtyModule(host::Runtime& runtime, Yrm100& module, UniqueFd master)
    : runtime_(runtime)
    , shared_(std::make_shared<Shared>()) {
    runtime_.set_console_enabled(false);
    furi_hal_uart_set_br(FuriHalUartIdUSART1, kBaud);
    shared_->module = &module;
    pump_ = std::make_unique<FdPump>(
        std::move(master),
        "pseudo-terminal",
        [this, shared = shared_](std::span<const std::uint8_t> bytes) {
            // On the pump thread: the bytes enter the runtime, then reach the model one byte
            // time apart, as they would on the wire.
            runtime_.inject([&rt = runtime_,
                             shared,
                             data = std::vector<std::uint8_t>(bytes.begin(), bytes.end())] {
                const host::Nanos byte_time = rt.uart(FuriHalUartIdUSART1).byte_time();
                for(const std::uint8_t byte : data) {
                    shared->line_free_at = std::max(shared->line_free_at, rt.now()) + byte_time;
                    rt.schedule_at(shared->line_free_at, [shared, byte] {
                        if(shared->module != nullptr) shared->module->on_byte_from_device(byte);
                    });
                }
            });
        });
    shared_->pump = pump_.get();
    furi_hal_uart_set_irq_cb(FuriHalUartIdUSART1, &PtyModule::on_rx, shared_.get());
}

PtyModule::~PtyModule() {
    furi_hal_uart_set_irq_cb(FuriHalUartIdUSART1, nullptr, nullptr);
    shared_->module = nullptr;
    shared_->pump = nullptr;
    pump_.reset();
}

void PtyModule::on_rx(UartIrqEvent event, std::uint8_t byte, void* context) {
    auto* shared = static_cast<Shared*>(context);
    if(event == UartIrqEventRXNE && shared->pump != nullptr)
        shared->pump->write(std::span<const std::uint8_t>(&byte, 1));
}

bool PtyModule::healthy() const {
    return pump_->healthy();
}
std::string PtyModule::problem() const {
    return pump_->problem();
}
std::uint64_t PtyModule::bytes_in() const {
    return pump_->bytes_read();
}
std::uint64_t PtyModule::bytes_out() const {
    return pump_->bytes_written();
}

} // namespace sim
