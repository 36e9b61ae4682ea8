#include "serial_bridge.h"

#include <ctime>
#include <vector>

#include "fd_pump.h"
#include "serial_port.h"

namespace sim {

/// What injected deliveries share with the bridge: they may still wait in the runtime's inbox
/// when the bridge is gone. Touched only in runtime context.
struct SerialBridgeLink {
    host::UartPort* port = nullptr; // null once the bridge detached
};

struct SerialBridge::State {
    State(host::Runtime& runtime, std::string device_name, FuriHalUartId id)
        : device(std::move(device_name))
        , uart(runtime.uart(id))
        , link(std::make_shared<SerialBridgeLink>(SerialBridgeLink{&uart}))
        , pump(
              open_serial_port(device, uart.baud_rate()),
              device,
              [&runtime, link = link](std::span<const std::uint8_t> bytes) {
                  runtime.inject(
                      [link, data = std::vector<std::uint8_t>(bytes.begin(), bytes.end())] {
                          if(link->port != nullptr) link->port->send_to_device(data);
                      });
              },
              [](int fd, std::uint32_t baud) { set_speed(fd, baud); }) {}

    const std::string device;
    host::UartPort& uart;
    std::shared_ptr<SerialBridgeLink> link;
    FdPump pump;
};

SerialBridge::SerialBridge(host::Runtime& runtime, const std::string& device, FuriHalUartId uart)
    : state_(std::make_unique<State>(runtime, device, uart)) {
    state_->uart.attach(this);
}

SerialBridge::~SerialBridge() {
    if(state_->uart.peer() == this) state_->uart.attach(nullptr);
    state_->link->port = nullptr;
}

const std::string& SerialBridge::device() const {
    return state_->device;
}

bool SerialBridge::connected() const {
    return state_->pump.healthy();
}

std::string SerialBridge::problem() const {
    return state_->pump.problem();
}

std::optional<std::chrono::system_clock::time_point> SerialBridge::failed_at() const {
    return state_->pump.failed_at();
}

std::string SerialBridge::failure() const {
    const auto when = failed_at();
    if(!when) return {};
    const std::time_t time = std::chrono::system_clock::to_time_t(*when);
    std::tm local{};
    localtime_r(&time, &local);
    char clock[16];
    std::strftime(clock, sizeof clock, "%H:%M:%S", &local);
    return problem() + " at " + clock;
}

std::uint64_t SerialBridge::bytes_sent() const {
    return state_->pump.bytes_written();
}

std::uint64_t SerialBridge::bytes_received() const {
    return state_->pump.bytes_read();
}

void SerialBridge::on_byte_from_device(std::uint8_t byte) {
    state_->pump.write(std::span<const std::uint8_t>(&byte, 1));
}

void SerialBridge::on_baud_rate(std::uint32_t baud) {
    state_->pump.set_baud(baud);
}

} // namespace sim
