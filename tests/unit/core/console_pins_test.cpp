// The console on USART1, the UART's busy-wait and the analog state of pins at boot, as a device
// model on the pins sees them.
#include <gtest/gtest.h>

#include <furi.h>
#include <furi_hal.h>
#include <furi_hal_console.h>

#include <string>
#include <vector>

#include "host/runtime.h"

namespace {

using host::Nanos;

// Records what arrives on the device's TX pin, and when.
class LineRecorder : public host::UartPeer {
public:
    explicit LineRecorder(host::Runtime& rt)
        : rt_(rt) {}
    void on_byte_from_device(uint8_t byte) override {
        text.push_back(static_cast<char>(byte));
        times.push_back(rt_.now());
    }
    void on_baud_rate(uint32_t baud) override { baud_changes.push_back({baud, rt_.now()}); }

    std::string text;
    std::vector<Nanos> times;
    std::vector<std::pair<uint32_t, Nanos>> baud_changes;

private:
    host::Runtime& rt_;
};

class ConsoleTest : public ::testing::Test {
protected:
    host::Runtime rt_{host::RuntimeOptions{.log_to_stderr = false}};
    host::UartPort& usart_ = rt_.uart(FuriHalUartIdUSART1);
    LineRecorder peer_{rt_};

    void SetUp() override { usart_.attach(&peer_); }
    void TearDown() override { usart_.attach(nullptr); }

    // Logs at the level and returns how long the call took.
    Nanos log_line(FuriLogLevel level, const char* text) {
        const Nanos start = rt_.now();
        furi_log_print_format(level, "tag", "%s", text);
        return rt_.now() - start;
    }
    // Lets what is on the line arrive.
    void settle() { furi_delay_ms(50); }
};

TEST_F(ConsoleTest, Usart1StartsAsTheConsoleAt230400AndLpuartOff) {
    EXPECT_TRUE(usart_.enabled());
    EXPECT_EQ(usart_.baud_rate(), 230400u);
    EXPECT_TRUE(rt_.console_enabled());
    EXPECT_FALSE(rt_.uart(FuriHalUartIdLPUART1).enabled());
}

TEST_F(ConsoleTest, LogLinesThatPassTheLevelGoOutAtTheCurrentRateAndCostTheirTransmission) {
    const std::string line = "0 [E][tag] no answer\r\n";
    EXPECT_EQ(log_line(FuriLogLevelError, "no answer"), line.size() * usart_.byte_time());
    settle();
    EXPECT_EQ(peer_.text, line);

    // Below the level (Info by default): kept off the pin, and costs nothing.
    peer_.text.clear();
    EXPECT_EQ(log_line(FuriLogLevelDebug, "detail"), 0u);
    furi_log_set_level(FuriLogLevelDebug);
    const uint32_t tick = furi_get_tick();
    log_line(FuriLogLevelDebug, "detail");
    settle();
    EXPECT_EQ(peer_.text, std::to_string(tick) + " [D][tag] detail\r\n");

    // An app that moves USART1 to its module's rate sends its log lines there, at that rate.
    peer_.text.clear();
    furi_hal_uart_set_br(FuriHalUartIdUSART1, 115200);
    const Nanos slow = log_line(FuriLogLevelInfo, "x");
    settle();
    EXPECT_EQ(slow, peer_.text.size() * usart_.byte_time());
    EXPECT_EQ(usart_.byte_time(), 86806u);
    EXPECT_NE(peer_.text.find("[I][tag] x\r\n"), std::string::npos) << peer_.text;
}

TEST_F(ConsoleTest, DisableStopsTheCopyAndEnableResumesIt) {
    furi_hal_console_disable();
    EXPECT_EQ(log_line(FuriLogLevelError, "quiet"), 0u);
    settle();
    EXPECT_EQ(peer_.text, "");
    EXPECT_TRUE(rt_.log().contains("tag", "quiet")) << "the log itself still has the line";

    furi_hal_console_enable();
    EXPECT_GT(log_line(FuriLogLevelError, "loud"), 0u);
    settle();
    EXPECT_NE(peer_.text.find("[E][tag] loud\r\n"), std::string::npos) << peer_.text;
}

TEST_F(ConsoleTest, RawPrintsSendOnlyTheirText) {
    furi_log_print_raw_format(FuriLogLevelError, "%02X ", 0xBB);
    settle();
    EXPECT_EQ(peer_.text, "BB ");
}

TEST_F(ConsoleTest, LogLinesWaitForTheFrameOnTheLineAndNeverSplitIt) {
    uint8_t frame[] = {0xBB, 0x00, 0x22, 0x00, 0x00, 0x22, 0x7E};
    furi_hal_uart_tx(FuriHalUartIdUSART1, frame, sizeof frame);
    log_line(FuriLogLevelError, "after");
    settle();
    ASSERT_GT(peer_.text.size(), sizeof frame);
    EXPECT_EQ(peer_.text.substr(0, sizeof frame), std::string(frame, frame + sizeof frame));
    EXPECT_EQ(peer_.text.substr(peer_.text.size() - 7), "after\r\n");
    for(size_t i = 1; i < peer_.times.size(); ++i) {
        EXPECT_EQ(peer_.times[i] - peer_.times[i - 1], usart_.byte_time()) << "byte " << i;
    }
}

TEST_F(ConsoleTest, TxAndConsoleSendNothingWhileTheUartIsOff) {
    furi_hal_uart_deinit(FuriHalUartIdUSART1);
    uint8_t frame[] = {1, 2, 3};
    Nanos start = rt_.now();
    furi_hal_uart_tx(FuriHalUartIdUSART1, frame, sizeof frame);
    log_line(FuriLogLevelError, "lost");
    EXPECT_EQ(rt_.now(), start);
    settle();
    EXPECT_EQ(peer_.text, "");
    EXPECT_TRUE(usart_.transmitted().empty());

    // LPUART1 is off until its first init.
    auto& lpuart = rt_.uart(FuriHalUartIdLPUART1);
    furi_hal_uart_tx(FuriHalUartIdLPUART1, frame, sizeof frame);
    EXPECT_TRUE(lpuart.transmitted().empty());
    furi_hal_uart_init(FuriHalUartIdLPUART1, 9600);
    start = rt_.now();
    furi_hal_uart_tx(FuriHalUartIdLPUART1, frame, sizeof frame);
    EXPECT_EQ(rt_.now(), start + 2 * lpuart.byte_time());
    EXPECT_EQ(lpuart.transmitted().size(), 3u);
}

TEST_F(ConsoleTest, SetBaudRateWaitsUntilTheLastByteHasLeft) {
    furi_hal_console_disable();
    uint8_t frame[] = {0xBB, 0x00, 0x22, 0x00, 0x00, 0x22, 0x7E};
    const Nanos byte_time = usart_.byte_time();
    furi_hal_uart_tx(FuriHalUartIdUSART1, frame, sizeof frame);
    EXPECT_EQ(rt_.now(), 6 * byte_time);
    furi_hal_uart_set_br(FuriHalUartIdUSART1, 115200);
    EXPECT_EQ(rt_.now(), 7 * byte_time);
    ASSERT_EQ(peer_.times.size(), 7u) << "every byte went out at the old rate";
    EXPECT_EQ(peer_.times.back(), 7 * byte_time);
    EXPECT_EQ(peer_.baud_changes.back(), (std::pair<uint32_t, Nanos>{115200, 7 * byte_time}));
}

// Every external pin starts in analog mode, where the input register reads 0 whatever is applied;
// configured as an input the pin reads its level.
TEST(Pins, AnalogModeReadsZeroWhateverIsApplied) {
    host::Runtime rt{host::RuntimeOptions{.log_to_stderr = false}};
    auto& gpio = rt.gpio();
    const GpioPin* pins[] = {
        &gpio_ext_pc0,
        &gpio_ext_pc1,
        &gpio_ext_pc3,
        &gpio_ext_pb2,
        &gpio_ext_pb3,
        &gpio_ext_pa4,
        &gpio_ext_pa6,
        &gpio_ext_pa7};
    for(const GpioPin* pin : pins) {
        SCOPED_TRACE(testing::Message() << "pin mask " << pin->pin);
        EXPECT_EQ(gpio.mode(*pin), GpioModeAnalog);
        gpio.set_input(*pin, true);
        EXPECT_FALSE(furi_hal_gpio_read(pin));
        EXPECT_TRUE(gpio.level(*pin));

        furi_hal_gpio_init(pin, GpioModeInput, GpioPullNo, GpioSpeedLow);
        EXPECT_TRUE(furi_hal_gpio_read(pin)) << "an input reads the applied level";
        furi_hal_gpio_init_simple(pin, GpioModeAnalog);
        EXPECT_FALSE(furi_hal_gpio_read(pin)) << "back in analog mode";
        gpio.set_input(*pin, false);
        furi_hal_gpio_init(pin, GpioModeInterruptRiseFall, GpioPullUp, GpioSpeedLow);
        EXPECT_TRUE(furi_hal_gpio_read(pin)) << "the pull-up holds an undriven input high";
    }
}

} // namespace
