// The 86.0 SDK's calls on the runtime, as an app built for 86.0 sees them (this file is compiled
// against platform/include-86.0). The serial API on the USART: the log detached while an app
// holds it, a held UART refused, bytes both ways with the receive callback reading each one, the
// release giving the USART back to the log, and the misuses the firmware stops on. The timer
// thread's priority. The canvas calls whose types widened reaching their own definitions.
#include <gtest/gtest.h>

#include <furi.h>
#include <furi_hal_serial.h>
#include <furi_hal_serial_control.h>
#include <gui/canvas.h>
#include <task.h> // the runtime's FreeRTOS stand-in, for the timer thread's handle

#include <cstdint>
#include <functional>
#include <vector>

#include "host/gui.h"
#include "host/kernel.h"
#include "host/runtime.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct LinePeer : host::UartPeer {
    void on_byte_from_device(std::uint8_t byte) override { sent.push_back(byte); }
    Bytes sent;
};

void read_into(FuriHalSerialHandle* handle, FuriHalSerialRxEvent event, void* context) {
    if(event & FuriHalSerialRxEventData)
        static_cast<Bytes*>(context)->push_back(furi_hal_serial_async_rx(handle));
}

void ignore_bytes(FuriHalSerialHandle*, FuriHalSerialRxEvent, void*) {}

TEST(SdkApi86, TheUsartPassesFromTheLogToTheAppAndBack) {
    host::Runtime rt(host::RuntimeOptions{.log_to_stderr = false});
    host::UartPort& usart = rt.uart(FuriHalUartIdUSART1);
    LinePeer line;
    usart.attach(&line);
    EXPECT_TRUE(rt.serial().log_attached());
    EXPECT_EQ(usart.baud_rate(), 230400u);

    FuriHalSerialHandle* handle = furi_hal_serial_control_acquire(FuriHalSerialIdUsart);
    ASSERT_NE(handle, nullptr);
    EXPECT_FALSE(rt.serial().log_attached());
    EXPECT_FALSE(usart.enabled()) << "the log let go; the app has not switched it on";
    EXPECT_EQ(furi_hal_serial_control_acquire(FuriHalSerialIdUsart), nullptr)
        << "a second acquire while held";
    FuriHalSerialHandle* lpuart = furi_hal_serial_control_acquire(FuriHalSerialIdLpuart);
    ASSERT_NE(lpuart, nullptr) << "the other UART is free";
    furi_hal_serial_control_release(lpuart);

    // Receiving before the UART is on hears nothing.
    Bytes received;
    furi_hal_serial_async_rx_start(handle, read_into, &received, false);
    usart.send_to_device(Bytes{0x01, 0x02});
    furi_delay_ms(5);
    EXPECT_TRUE(received.empty());

    furi_hal_serial_init(handle, 115200);
    EXPECT_EQ(usart.baud_rate(), 115200u);
    const std::uint8_t frame[] = {0xBB, 0x00, 0x03, 0x7E};
    const host::Nanos before = rt.now();
    furi_hal_serial_tx(handle, frame, sizeof frame);
    EXPECT_EQ(rt.now() - before, 3 * usart.byte_time()) << "busy-waits until the last byte is out";
    furi_hal_serial_tx_wait_complete(handle);
    FURI_LOG_E("test", "the log is not on the line while the app holds it");
    usart.send_to_device(Bytes{0x10, 0x7E, 0x30});
    furi_delay_ms(5);
    EXPECT_EQ(line.sent, Bytes(frame, frame + sizeof frame));
    EXPECT_EQ(received, (Bytes{0x10, 0x7E, 0x30}));

    // A callback that leaves the byte unread loses it (on the device it would be called again
    // for ever).
    furi_hal_serial_async_rx_stop(handle);
    furi_hal_serial_async_rx_start(handle, ignore_bytes, nullptr, false);
    const auto lost = rt.serial().lost_bytes();
    usart.send_to_device(Bytes{0x55});
    furi_delay_ms(5);
    EXPECT_EQ(rt.serial().lost_bytes(), lost + 1);

    TaskHandle_t timers = xTaskGetHandle("TimersSrv");
    furi_timer_set_thread_priority(FuriTimerThreadPriorityElevated);
    EXPECT_EQ(host::task_priority(timers), 31u);
    furi_timer_set_thread_priority(FuriTimerThreadPriorityNormal);
    EXPECT_EQ(host::task_priority(timers), 2u);

    furi_hal_serial_async_rx_stop(handle);
    furi_hal_serial_deinit(handle);
    furi_hal_serial_control_release(handle);
    EXPECT_TRUE(rt.serial().log_attached());
    EXPECT_TRUE(usart.enabled());
    EXPECT_EQ(usart.baud_rate(), 230400u);
    line.sent.clear();
    FURI_LOG_E("test", "back");
    furi_delay_ms(5);
    EXPECT_FALSE(line.sent.empty()) << "the log writes to the USART again";
    usart.attach(nullptr);
}

TEST(SdkApi86, MisusesTheFirmwareStopsOn) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Case {
        const char* what;
        std::function<void()> misuse;
        const char* message;
    };
    const Case cases[] = {
        {"release without acquire",
         [] {
             FuriHalSerialHandle* handle = furi_hal_serial_control_acquire(FuriHalSerialIdUsart);
             furi_hal_serial_control_release(handle);
             furi_hal_serial_control_release(handle);
         },
         "furi_hal_serial_control_release: the UART is not held"},
        {"init of a UART that is on",
         [] {
             FuriHalSerialHandle* handle = furi_hal_serial_control_acquire(FuriHalSerialIdUsart);
             furi_hal_serial_init(handle, 115200);
             furi_hal_serial_init(handle, 115200);
         },
         "furi_hal_serial_init: UART 0 is on already"},
        {"reading outside the receive callback",
         [] {
             FuriHalSerialHandle* handle = furi_hal_serial_control_acquire(FuriHalSerialIdUsart);
             furi_hal_serial_async_rx(handle);
         },
         "furi_hal_serial_async_rx: only in the receive callback"},
        {"receiving without a callback",
         [] {
             FuriHalSerialHandle* handle = furi_hal_serial_control_acquire(FuriHalSerialIdUsart);
             furi_hal_serial_async_rx_start(handle, nullptr, nullptr, false);
         },
         "furi_hal_serial_async_rx_start: no callback"},
        {"a UART that does not exist",
         [] { furi_hal_serial_control_acquire(FuriHalSerialIdMax); },
         "no UART with id 2"},
    };
    for(const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_DEATH(
            {
                host::Runtime rt(host::RuntimeOptions{.log_to_stderr = false});
                c.misuse();
            },
            c.message);
    }
}

// A uint8_t would wrap a position beyond 255 onto the screen and a negative one to its far end;
// at 86.0 they stay where they are, and what falls off the canvas is clipped.
TEST(SdkApi86, CanvasPositionsAndSizesAreWide) {
    host::Runtime rt(host::RuntimeOptions{.log_to_stderr = false});
    host::OffscreenCanvas canvas;
    const size_t width = canvas_width(canvas);
    EXPECT_EQ(width, 128u);
    EXPECT_EQ(canvas_height(canvas), 64u);
    canvas_draw_box(canvas, 300, 0, 4, 4); // wrapped, it would cover x 44 to 47
    canvas_draw_box(canvas, -2, 10, 4, 4);
    canvas_draw_str_aligned(canvas, -1000, 30, AlignLeft, AlignTop, "gone");
    canvas_draw_str_aligned(canvas, 64, 300, AlignCenter, AlignBottom, "gone too");
    const host::Screen s = canvas.screen();
    EXPECT_FALSE(s.pixel(44, 0));
    EXPECT_TRUE(s.pixel(0, 10));
    EXPECT_TRUE(s.pixel(1, 10));
    EXPECT_FALSE(s.pixel(2, 10));
    EXPECT_TRUE(s.texts().empty()) << s.describe_texts();
}

} // namespace
