#pragma once
// Shared set-up of the module-link tests: a runtime with the 5 V output on, a module handle and
// a tag, and a leak check when the test ends.

#include <gtest/gtest.h>

#include <furi.h>
#include <furi_hal.h>

#include <string>
#include <vector>

#include "host/memory.h"
#include "host/runtime.h"
#include "module/m100.h"
#include "tag/uhf_tag.h"
#include "devices/yrm100_frame.h"
#include "example_tag.h"

namespace link_test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes hex(std::string_view text) {
    auto bytes = sim::yrm100::parse_hex(text);
    EXPECT_TRUE(bytes.has_value()) << text;
    return bytes.value_or(Bytes{});
}

using test_support::kExampleEpc;

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        baseline_ = host::memory::stats().live_blocks;
        furi_hal_console_disable(); // as the app does while it owns USART1
        furi_hal_power_enable_otg();
        module_ = m100_module_alloc();
        ASSERT_NE(module_, nullptr);
        tag_ = uhf_tag_alloc();
        ASSERT_NE(tag_, nullptr);
    }
    void TearDown() override {
        uhf_tag_free(tag_);
        if(module_) m100_module_free(module_);
        EXPECT_EQ(host::memory::stats().live_blocks, baseline_) << "device code leaked";
    }

    /// Everything the device sent since the last call.
    Bytes take_transmitted() {
        auto& port = rt_.uart(FuriHalUartIdUSART1);
        Bytes sent = port.transmitted();
        port.clear_transmitted();
        return sent;
    }

    /// Gives the tag the example EPC, PC 3400 and CRC 3A76.
    void give_example_epc() {
        uhf_tag_set_epc(tag_, kExampleEpc.data(), kExampleEpc.size());
        uhf_tag_set_epc_pc(tag_, test_support::kExamplePc);
        uhf_tag_set_epc_crc(tag_, test_support::kExampleCrc);
    }

    /// Runs a command and checks that it took exactly one exchange: sending the frame, which
    /// busy-waits until its last byte is in the shift register, then the 100 ms wait.
    template <typename F>
    auto exchange(F&& command) {
        auto& port = rt_.uart(FuriHalUartIdUSART1);
        const auto start = rt_.now();
        const auto sent_before = port.transmitted().size();
        auto result = command();
        const auto sent = port.transmitted().size() - sent_before;
        EXPECT_EQ(rt_.now() - start, host::ms(100) + (sent ? sent - 1 : 0) * port.byte_time());
        return result;
    }
    M100ResponseType poll() {
        return exchange([&] { return m100_send_single_poll(module_, tag_); });
    }
    M100ResponseType select() {
        return exchange([&] { return m100_set_select(module_, tag_); });
    }
    M100ResponseType read(BankType bank, uint16_t words) {
        return exchange(
            [&] { return m100_read_label_data_storage(module_, tag_, bank, 0, words); });
    }
    M100ResponseType write(BankType bank, uint16_t address = 0) {
        return exchange(
            [&] { return m100_write_label_data_storage(module_, tag_, bank, address, 0); });
    }
    void expect_tag_untouched() {
        EXPECT_EQ(uhf_tag_get_epc_size(tag_), 0u);
        EXPECT_EQ(uhf_tag_get_epc_pc(tag_), 0);
        EXPECT_EQ(uhf_tag_get_epc_crc(tag_), 0);
    }

    host::Runtime rt_{host::RuntimeOptions{.log_to_stderr = false}};
    std::size_t baseline_ = 0;
    M100Module* module_ = nullptr;
    UHFTag* tag_ = nullptr;
};

} // namespace link_test
