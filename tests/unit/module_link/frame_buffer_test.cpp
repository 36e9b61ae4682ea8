// The frame codec and the receive buffer the UART interrupt fills.
#include <gtest/gtest.h>

#include <cstring>

#include "alloc_failures.h"
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
    const Bytes reply =
        hex("BB 01 03 00 10 00 4D 31 30 30 20 32 36 64 42 6D 20 56 31 2E 30 92 7E");
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

TEST(FrameCodec, BuildsHostFramesAndKnowsWhereTheyEnd) {
    // The region query of the module's manual: BB 00 07 00 01 01 09 7E.
    uint8_t frame[16] = {};
    frame_begin(frame, 0x07, 1)[0] = 0x01;
    ASSERT_EQ(frame_seal(frame), 8u);
    EXPECT_EQ(Bytes(frame, frame + 8), hex("BB 00 07 00 01 01 09 7E"));
    EXPECT_EQ(frame_get_payload_length(frame), 1u);
    EXPECT_EQ(frame_length(1), 8u);

    // Complete only once position 6 + PL arrived; never before PL itself did.
    for(uint32_t received = 0; received <= 8; ++received) {
        EXPECT_EQ(frame_is_complete(frame, received), received == 8) << received;
    }
    uint8_t big[4] = {};
    frame_put_u32(big, 0x12345678);
    EXPECT_EQ(Bytes(big, big + 4), hex("12 34 56 78"));
    frame_put_u16(big, 0xBEEF);
    EXPECT_EQ(frame_get_u16(big), 0xBEEF);
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
    {
        test_support::FailNthAllocation fail(1);
        EXPECT_FALSE(buffer_append_single(buf, 3));
    }
    EXPECT_EQ(buffer_get_size(buf), 2u);
    EXPECT_EQ(buf->capacity, 2u);
    EXPECT_EQ(buffer_get_data(buf)[1], 2);
    buffer_free(buf);
}

TEST_F(BufferTest, AllocReturnsNullWhenTheBlockCannotBeHadAndLeaksNothing) {
    // The record, then the block.
    test_support::for_each_failed_allocation(2, [](auto) {
        EXPECT_EQ(buffer_alloc(128), nullptr);
    });
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

/// A stream received in one wait and what the buffer keeps of it.
struct ReceiveCase {
    const char* name;
    Bytes stream;
    std::size_t stored;
    bool closed;
};

Bytes frame_of(std::uint8_t command, const Bytes& payload) {
    return sim::yrm100::make_frame(0x01, command, payload);
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(BufferTest, ReceiveEndsAtPositionSixPlusPl) {
    const Bytes select_ok = hex("BB 01 0C 00 01 00 0E 7E");
    // 0x7E as data: in the payload, as the checksum, and as PL's low byte (126 payload bytes).
    const Bytes tilde_text = frame_of(0x03, hex("00 7E 41"));
    const uint8_t sum = frame_of(0x03, hex("00 41 00"))[8];
    const Bytes tilde_checksum =
        frame_of(0x03, Bytes{0x00, 0x41, static_cast<uint8_t>(0x7E - sum)});
    const Bytes tilde_length = frame_of(0x03, Bytes(0x7E, 0x7E));
    Bytes no_end_byte = select_ok;
    no_end_byte.back() = 0x00;
    const ReceiveCase cases[] = {
        {"SecondFrameInTheSameWaitIsDropped", concat(select_ok, select_ok), 8, true},
        {"TildeInThePayload", concat(tilde_text, select_ok), tilde_text.size(), true},
        {"TildeAsTheChecksum", concat(tilde_checksum, select_ok), 10, true},
        {"TildeAsTheLengthByte", concat(tilde_length, select_ok), 133, true},
        // Before positions 3 and 4 nothing can end the frame.
        {"TildeBeforeTheLength", hex("BB 7E 7E 00 01 00 FD 7E"), 8, true},
        // PL promises more than arrives: short, and still open.
        {"CutShort", hex("BB 01 0C 00 05 00 0E 7E"), 8, false},
        // The byte at 6 + PL ends the frame whatever its value; judging it is the command's job.
        {"EndPositionWithoutTilde", concat(no_end_byte, select_ok), 8, true},
    };
    Buffer* buf = buffer_alloc(256);
    for(const auto& c : cases) {
        SCOPED_TRACE(c.name);
        buffer_reset(buf);
        host::run_in_interrupt_context([&] {
            for(auto b : c.stream) rx_callback(UartIrqEventRXNE, b, buf);
        });
        ASSERT_EQ(buffer_get_size(buf), c.stored);
        EXPECT_EQ(buf->closed != 0, c.closed);
        EXPECT_EQ(
            Bytes(buf->data, buf->data + c.stored),
            Bytes(c.stream.begin(), c.stream.begin() + c.stored));
    }
    EXPECT_EQ(tilde_checksum[8], 0x7E);
    EXPECT_EQ(buf->capacity, 256u);
    buffer_free(buf);
}

TEST_F(BufferTest, InterruptNeverGrowsTheBlock) {
    // The runtime's allocator stops the test on any allocation in interrupt context, so a
    // receive path that grew the block would fail here.
    Buffer* buf = buffer_alloc(8);
    uint8_t* block = buffer_get_data(buf);
    // A 12-byte reply into 8 bytes: its tail, end byte included, is dropped, so the buffer stays
    // open and drops the next frame as well.
    const Bytes stream =
        concat(frame_of(0x03, hex("00 41 42 43 44")), hex("BB 01 0C 00 01 00 0E 7E"));
    host::run_in_interrupt_context([&] {
        for(auto b : stream) rx_callback(UartIrqEventRXNE, b, buf);
    });
    EXPECT_EQ(buffer_get_size(buf), 8u);
    EXPECT_EQ(buf->capacity, 8u);
    EXPECT_EQ(buffer_get_data(buf), block);
    EXPECT_FALSE(buf->closed);
    EXPECT_EQ(Bytes(block, block + 8), Bytes(stream.begin(), stream.begin() + 8));
    buffer_free(buf);
}

} // namespace
