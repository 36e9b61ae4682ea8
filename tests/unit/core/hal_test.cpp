// UART, GPIO and power as the device models and the apps see them.
#include <gtest/gtest.h>

#include <furi.h>
#include <furi_hal.h>

#include <vector>

#include "host/runtime.h"

namespace {

using host::ms;
using host::Nanos;

// Echoes each frame (terminated by 0x7E) back with its bytes incremented, 2 ms later.
class EchoPeer : public host::UartPeer {
public:
    explicit EchoPeer(host::Runtime& rt)
        : rt_(rt) {}
    void on_byte_from_device(uint8_t byte) override {
        arrivals.push_back(rt_.now());
        frame.push_back(static_cast<uint8_t>(byte + 1));
        if(byte == 0x7E) {
            auto reply = frame;
            frame.clear();
            rt_.schedule_after(ms(2), [this, reply] {
                rt_.uart(FuriHalUartIdUSART1).send_to_device(reply);
            });
        }
    }
    std::vector<Nanos> arrivals;
    std::vector<uint8_t> frame;

private:
    host::Runtime& rt_;
};

struct RxLog {
    std::vector<uint8_t> bytes;
    std::vector<Nanos> times;
    bool all_in_interrupt = true;
};

void rx(UartIrqEvent, uint8_t data, void* context) {
    auto* log = static_cast<RxLog*>(context);
    log->bytes.push_back(data);
    log->times.push_back(host::Runtime::current().now());
    log->all_in_interrupt = log->all_in_interrupt && furi_kernel_is_irq_or_masked();
}

TEST(Uart, BytesTravelOneByteTimeApartBothWays) {
    host::Runtime rt;
    EchoPeer peer(rt);
    rt.uart(FuriHalUartIdUSART1).attach(&peer);
    furi_hal_uart_set_br(FuriHalUartIdUSART1, 115200);
    const Nanos byte_time = rt.uart(FuriHalUartIdUSART1).byte_time();
    EXPECT_EQ(byte_time, 86806u);

    RxLog log;
    furi_hal_uart_set_irq_cb(FuriHalUartIdUSART1, rx, &log);
    uint8_t frame[] = {0xBB, 0x00, 0x22, 0x00, 0x00, 0x22, 0x7E};
    furi_hal_uart_tx(FuriHalUartIdUSART1, frame, sizeof frame);
    EXPECT_EQ(rt.now(), 6 * byte_time)
        << "the sender busy-waits until the last byte is in the shift register";
    furi_delay_ms(100);

    ASSERT_EQ(peer.arrivals.size(), 7u);
    for(size_t i = 0; i < 7; ++i) EXPECT_EQ(peer.arrivals[i], (i + 1) * byte_time);
    ASSERT_EQ(log.bytes.size(), 7u);
    EXPECT_EQ(log.bytes.front(), 0xBC);
    EXPECT_EQ(log.bytes.back(), 0x7F);
    const Nanos reply_start = 7 * byte_time + ms(2);
    for(size_t i = 0; i < 7; ++i) EXPECT_EQ(log.times[i], reply_start + (i + 1) * byte_time);
    EXPECT_TRUE(log.all_in_interrupt);
    EXPECT_EQ(rt.uart(FuriHalUartIdUSART1).transmitted(), std::vector<uint8_t>(frame, frame + 7));
}

TEST(Uart, BytesWithNoCallbackAreDroppedAndCounted) {
    host::Runtime rt;
    uint8_t reply[] = {1, 2, 3};
    rt.uart(FuriHalUartIdUSART1).send_to_device(reply);
    furi_delay_ms(1);
    EXPECT_EQ(rt.uart(FuriHalUartIdUSART1).dropped_without_callback(), 3u);
    RxLog log;
    furi_hal_uart_set_irq_cb(FuriHalUartIdUSART1, rx, &log);
    furi_hal_uart_set_irq_cb(FuriHalUartIdUSART1, nullptr, nullptr); // unregister
    rt.uart(FuriHalUartIdUSART1).send_to_device(reply);
    furi_delay_ms(1);
    EXPECT_TRUE(log.bytes.empty());
}

struct EdgeLog {
    std::vector<bool> levels;
    bool in_interrupt = true;
};

void on_edge(void* ctx) {
    auto* log = static_cast<EdgeLog*>(ctx);
    log->levels.push_back(furi_hal_gpio_read(&gpio_ext_pc0));
    log->in_interrupt = log->in_interrupt && furi_kernel_is_irq_or_masked();
}

TEST(Gpio, EdgesFireTheCallbackForTheConfiguredMode) {
    host::Runtime rt;
    auto& gpio = rt.gpio();
    gpio.set_input(gpio_ext_pc0, true);
    EdgeLog log;
    furi_hal_gpio_init(&gpio_ext_pc0, GpioModeInterruptRise, GpioPullNo, GpioSpeedVeryHigh);
    furi_hal_gpio_add_int_callback(&gpio_ext_pc0, on_edge, &log);
    rt.schedule_at(ms(1), [&] { gpio.set_input(gpio_ext_pc0, false); });
    rt.schedule_at(ms(2), [&] { gpio.set_input(gpio_ext_pc0, true); });
    rt.schedule_at(ms(3), [&] { gpio.set_input(gpio_ext_pc0, true); }); // no edge
    furi_delay_ms(5);
    EXPECT_EQ(log.levels, std::vector<bool>{true});

    furi_hal_gpio_remove_int_callback(&gpio_ext_pc0);
    furi_hal_gpio_init(&gpio_ext_pc0, GpioModeInterruptRiseFall, GpioPullNo, GpioSpeedVeryHigh);
    furi_hal_gpio_add_int_callback(&gpio_ext_pc0, on_edge, &log);
    rt.schedule_at(ms(6), [&] { gpio.set_input(gpio_ext_pc0, false); });
    rt.schedule_at(ms(7), [&] { gpio.set_input(gpio_ext_pc0, true); });
    furi_delay_ms(5);
    EXPECT_EQ(log.levels, (std::vector<bool>{true, false, true}));
    EXPECT_TRUE(log.in_interrupt);
    furi_hal_gpio_remove_int_callback(&gpio_ext_pc0);
    EXPECT_FALSE(gpio.has_interrupt_callback(gpio_ext_pc0));

    furi_hal_gpio_init(&gpio_ext_pa7, GpioModeOutputPushPull, GpioPullNo, GpioSpeedLow);
    furi_hal_gpio_write(&gpio_ext_pa7, true);
    EXPECT_TRUE(gpio.output(gpio_ext_pa7));
}

TEST(Power, OtgStateIsVisible) {
    host::Runtime rt;
    EXPECT_FALSE(furi_hal_power_is_otg_enabled());
    EXPECT_TRUE(furi_hal_power_enable_otg());
    EXPECT_TRUE(rt.otg_enabled());
    furi_hal_power_disable_otg();
    EXPECT_FALSE(rt.otg_enabled());
    EXPECT_EQ(rt.otg_switch_count(), 2u);
}

} // namespace
