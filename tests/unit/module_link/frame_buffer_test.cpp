// Frame integrity functions and the receive buffer the UART interrupt fills.
#include <gtest/gtest.h>

#include <cstring>

#include "host/memory.h"
#include "host/runtime.h"
#include "link_fixture.h"

namespace {

using link_test::Bytes;
using link_test::hex;

TEST(Checksum, SumsWithoutComplement) {
    const uint8_t identity[] = {0x00, 0x03, 0x00, 0x01, 0x00};
    const uint8_t poll[] = {0x00, 0x22, 0x00, 0x00};
    EXPECT_EQ(checksum(identity, sizeof identity), 0x04);
    EXPECT_EQ(checksum(poll, sizeof poll), 0x22);
    EXPECT_EQ(checksum(nullptr, 0), 0);
    const uint8_t wraps[] = {0xFF, 0x02};
    EXPECT_EQ(checksum(wraps, sizeof wraps), 0x01);
    // The published hardware-version reply closes with 0x92 over type through payload.
    const Bytes reply = hex("BB 01 03 00 10 00 4D 31 30 30 20 32 36 64 42 6D 20 56 31 2E 30 92 7E");
    EXPECT_EQ(checksum(reply.data() + 1, reply.size() - 3), 0x92);
}

TEST(Crc16Genibus, CheckValuesAndTagExample) {
    const char* check = "123456789";
    EXPECT_EQ(crc16_genibus(reinterpret_cast<const uint8_t*>(check), 9), 0xD64E);
    EXPECT_EQ(crc16_genibus(nullptr, 0), 0x0000);
    const Bytes pc_epc = hex("34 00 30 75 1F EB 70 5C 59 04 E3 D5 0D 70");
    EXPECT_EQ(crc16_genibus(pc_epc.data(), pc_epc.size()), 0x3A76);
    // The model's own CRC agrees with the device's.
    EXPECT_EQ(sim::yrm100::crc16_genibus(pc_epc), 0x3A76);
}

class BufferTest : public ::testing::Test {
protected:
    host::Runtime rt_{host::RuntimeOptions{.log_to_stderr = false}};
};

TEST_F(BufferTest, DoublesWhenFullAndKeepsContents) {
    Buffer* buf = buffer_alloc(128);
    ASSERT_NE(buf, nullptr);
    for(int i = 0; i < 128; ++i) ASSERT_TRUE(buffer_append_single(buf, static_cast<uint8_t>(i)));
    EXPECT_EQ(buf->capacity, 128u);
    EXPECT_TRUE(buffer_append_single(buf, 0xAA));
    EXPECT_EQ(buf->capacity, 256u);
    EXPECT_EQ(buffer_get_size(buf), 129u);
    EXPECT_EQ(buffer_get_data(buf)[128], 0xAA);
    EXPECT_EQ(buffer_get_data(buf)[127], 127);
    buffer_free(buf);
}

TEST_F(BufferTest, FailedGrowthDropsTheByteAndKeepsTheBuffer) {
    Buffer* buf = buffer_alloc(2);
    ASSERT_NE(buf, nullptr);
    buffer_append_single(buf, 1);
    buffer_append_single(buf, 2);
    host::memory::fail_nth_allocation(1);
    EXPECT_FALSE(buffer_append_single(buf, 3));
    host::memory::fail_nth_allocation(0);
    EXPECT_EQ(buffer_get_size(buf), 2u);
    EXPECT_EQ(buf->capacity, 2u);
    EXPECT_EQ(buffer_get_data(buf)[1], 2);
    buffer_free(buf);
}

TEST_F(BufferTest, AllocReturnsNullWhenTheBlockCannotBeHadAndLeaksNothing) {
    const auto before = host::memory::stats().live_blocks;
    host::memory::fail_nth_allocation(2); // the record succeeds, the block fails
    EXPECT_EQ(buffer_alloc(128), nullptr);
    host::memory::fail_nth_allocation(0);
    EXPECT_EQ(host::memory::stats().live_blocks, before);
}

TEST_F(BufferTest, CloseStopsAppendsUntilReset) {
    Buffer* buf = buffer_alloc(8);
    buffer_append_single(buf, 0x11);
    buffer_close(buf);
    EXPECT_FALSE(buffer_append_single(buf, 0x22));
    EXPECT_EQ(buffer_get_size(buf), 1u);
    buffer_reset(buf);
    EXPECT_EQ(buffer_get_size(buf), 0u);
    EXPECT_TRUE(buffer_append_single(buf, 0x33));
    EXPECT_EQ(buffer_get_data(buf)[0], 0x33);
    buffer_free(buf);
}

TEST_F(BufferTest, ReceiveStopsAtTheFirstEndByte) {
    Buffer* buf = buffer_alloc(128);
    // A reply followed by a second frame in the same wait, then a reply with 0x7E in its payload.
    const Bytes stream = hex("BB 01 0C 00 01 00 0E 7E BB 01 0C 00 01 00 0E 7E");
    host::run_in_interrupt_context([&] {
        for(auto b : stream) rx_callback(UartIrqEventRXNE, b, buf);
    });
    EXPECT_EQ(buffer_get_size(buf), 8u);
    EXPECT_TRUE(buf->closed);

    buffer_reset(buf);
    const Bytes inner = hex("BB 01 03 00 03 00 7E 41 C5 7E");
    host::run_in_interrupt_context([&] {
        for(auto b : inner) rx_callback(UartIrqEventRXNE, b, buf);
    });
    EXPECT_EQ(buffer_get_size(buf), 7u);
    EXPECT_EQ(buffer_get_data(buf)[6], 0x7E);
    buffer_free(buf);
}

TEST_F(BufferTest, InterruptNeverGrowsTheBlock) {
    // The runtime's allocator stops the test on any allocation in interrupt context, so a
    // receive path that grew the block would fail here.
    Buffer* buf = buffer_alloc(4);
    uint8_t* block = buffer_get_data(buf);
    host::run_in_interrupt_context([&] {
        for(uint8_t b = 1; b <= 10; ++b) rx_callback(UartIrqEventRXNE, b, buf);
    });
    EXPECT_EQ(buffer_get_size(buf), 4u);
    EXPECT_EQ(buf->capacity, 4u);
    EXPECT_EQ(buffer_get_data(buf), block);
    EXPECT_FALSE(buf->closed);
    // The end byte still closes a full buffer.
    host::run_in_interrupt_context([&] { rx_callback(UartIrqEventRXNE, 0x7E, buf); });
    EXPECT_TRUE(buf->closed);
    buffer_free(buf);
}

} // namespace
