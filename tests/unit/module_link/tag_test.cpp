// The tag record and the holder that owns the application's current tag.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "alloc_failures.h"
#include "host/memory.h"
#include "host/runtime.h"
#include "tag/uhf_tag.h"

namespace {

class TagTest : public ::testing::Test {
protected:
    void SetUp() override {
        baseline_ = host::memory::stats().live_blocks;
        tag_ = uhf_tag_alloc();
        ASSERT_NE(tag_, nullptr);
    }
    void TearDown() override {
        uhf_tag_free(tag_);
        EXPECT_EQ(host::memory::stats().live_blocks, baseline_);
    }
    host::Runtime rt_{host::RuntimeOptions{.log_to_stderr = false}};
    std::size_t baseline_ = 0;
    UHFTag* tag_ = nullptr;
};

std::array<uint8_t, 80> pattern(uint8_t seed) {
    std::array<uint8_t, 80> bytes{};
    for(std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(seed + i);
    return bytes;
}

TEST_F(TagTest, NewTagIsEmpty) {
    EXPECT_EQ(uhf_tag_get_epc_size(tag_), 0u);
    EXPECT_EQ(uhf_tag_get_tid_size(tag_), 0u);
    EXPECT_EQ(uhf_tag_get_user_size(tag_), 0u);
    EXPECT_EQ(uhf_tag_get_epc_pc(tag_), 0);
    EXPECT_EQ(uhf_tag_get_epc_crc(tag_), 0);
}

TEST_F(TagTest, SettersFillToCapacityAndResetKeepsTheBytes) {
    const auto bytes = pattern(1);
    uhf_tag_set_epc(tag_, bytes.data(), 12);
    uhf_tag_set_tid(tag_, bytes.data() + 20, 16);
    uhf_tag_set_user(tag_, bytes.data() + 8, 64);
    uhf_tag_set_epc_pc(tag_, 0x3000);
    uhf_tag_set_epc_crc(tag_, 0xBEEF);
    EXPECT_EQ(uhf_tag_get_epc_size(tag_), 12u);
    EXPECT_EQ(0, std::memcmp(uhf_tag_get_epc(tag_), bytes.data(), 12));
    EXPECT_EQ(uhf_tag_get_tid_size(tag_), 16u);
    EXPECT_EQ(0, std::memcmp(uhf_tag_get_tid(tag_), bytes.data() + 20, 16));
    EXPECT_EQ(uhf_tag_get_user_size(tag_), 64u);
    EXPECT_EQ(0, std::memcmp(uhf_tag_get_user(tag_), bytes.data() + 8, 64));

    uhf_tag_set_epc_size(tag_, 6);
    EXPECT_EQ(uhf_tag_get_epc_size(tag_), 6u);
    EXPECT_EQ(0, std::memcmp(uhf_tag_get_epc(tag_), bytes.data(), 12));

    uhf_tag_reset(tag_);
    EXPECT_EQ(uhf_tag_get_epc_size(tag_), 0u);
    EXPECT_EQ(uhf_tag_get_tid_size(tag_), 0u);
    EXPECT_EQ(uhf_tag_get_user_size(tag_), 0u);
    EXPECT_EQ(uhf_tag_get_epc_pc(tag_), 0);
    EXPECT_EQ(uhf_tag_get_epc_crc(tag_), 0);
    EXPECT_EQ(0, std::memcmp(uhf_tag_get_epc(tag_), bytes.data(), 12));
    EXPECT_EQ(0, std::memcmp(uhf_tag_get_tid(tag_), bytes.data() + 20, 16));
    EXPECT_EQ(0, std::memcmp(uhf_tag_get_user(tag_), bytes.data() + 8, 64));
}

TEST_F(TagTest, LengthsAboveCapacityAreRefusedAndNothingIsOverwritten) {
    const auto old_bytes = pattern(1);
    const auto new_bytes = pattern(100);
    uhf_tag_set_epc(tag_, old_bytes.data(), 4);
    uhf_tag_set_tid(tag_, old_bytes.data(), 4);
    uhf_tag_set_user(tag_, old_bytes.data(), 4);
    // The parts sit in blocks of their own: writing past one would show up under ASan, and the
    // refused values must leave size and bytes as they were.
    uhf_tag_set_epc(tag_, new_bytes.data(), 19);
    uhf_tag_set_tid(tag_, new_bytes.data(), 17);
    uhf_tag_set_user(tag_, new_bytes.data(), 65);
    uhf_tag_set_epc_size(tag_, 62);
    uhf_tag_set_tid_size(tag_, 18);
    uhf_tag_set_user_size(tag_, 66);
    EXPECT_EQ(uhf_tag_get_epc_size(tag_), 4u);
    EXPECT_EQ(uhf_tag_get_tid_size(tag_), 4u);
    EXPECT_EQ(uhf_tag_get_user_size(tag_), 4u);
    EXPECT_EQ(0, std::memcmp(uhf_tag_get_epc(tag_), old_bytes.data(), 4));
    EXPECT_EQ(0, std::memcmp(uhf_tag_get_user(tag_), old_bytes.data(), 4));
}

TEST_F(TagTest, HolderOwnsOneTagAndKeepsTheTagItAlreadyHolds) {
    uhf_tag_free(nullptr);
    const auto before = host::memory::stats().live_blocks;
    UHFTagWrapper* holder = uhf_tag_wrapper_alloc();
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(holder->uhf_tag, nullptr);

    UHFTag* first = uhf_tag_alloc();
    UHFTag* second = uhf_tag_alloc();
    const uint8_t epc[] = {0xE2, 0x00};
    uhf_tag_set_epc(first, epc, 2);
    uhf_tag_wrapper_set_tag(holder, first);
    uhf_tag_wrapper_set_tag(holder, first); // the same tag again: still held and intact
    EXPECT_EQ(holder->uhf_tag, first);
    EXPECT_EQ(uhf_tag_get_epc_size(first), 2u);

    const auto with_two = host::memory::stats().live_blocks;
    uhf_tag_wrapper_set_tag(holder, second); // releases the first (5 blocks)
    EXPECT_EQ(holder->uhf_tag, second);
    EXPECT_EQ(host::memory::stats().live_blocks, with_two - 5);

    uhf_tag_wrapper_free(holder); // releases the second
    EXPECT_EQ(host::memory::stats().live_blocks, before);

    UHFTagWrapper* empty = uhf_tag_wrapper_alloc();
    uhf_tag_wrapper_free(empty);
    EXPECT_EQ(host::memory::stats().live_blocks, before);
}

TEST_F(TagTest, AllocReleasesEverythingWhenAPartCannotBeHad) {
    // The record and its four parts.
    test_support::for_each_failed_allocation(5, [](auto) { EXPECT_EQ(uhf_tag_alloc(), nullptr); });
}

} // namespace
