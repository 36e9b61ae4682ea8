#include "serial_bridge.h"

namespace sim {

struct SerialBridge::State {};

SerialBridge::SerialBridge(host::Runtime&, const std::string& device, FuriHalUartId) {
    throw BridgeError(device + ": serial bridge not built yet");
}
SerialBridge::~SerialBridge() = default;
const std::string& SerialBridge::device() const {
    static const std::string none;
    return none;
}
bool SerialBridge::connected() const { return false; }
std::string SerialBridge::problem() const { return {}; }
std::uint64_t SerialBridge::bytes_sent() const { return 0; }
std::uint64_t SerialBridge::bytes_received() const { return 0; }
void SerialBridge::on_byte_from_device(std::uint8_t) {}
void SerialBridge::on_baud_rate(std::uint32_t) {}

} // namespace sim
