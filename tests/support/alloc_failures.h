#pragma once
// Out-of-memory tests: make one allocation fail and check that nothing was left behind.

#include <gtest/gtest.h>

#include <cstdint>

#include "host/memory.h"

namespace test_support {

/// Makes the n-th allocation from now fail while in scope (1: the next one); disarms on exit,
/// so a failed assertion inside does not leave the allocator armed for the next test.
class FailNthAllocation {
public:
    explicit FailNthAllocation(std::uint64_t n) { host::memory::fail_nth_allocation(n); }
    ~FailNthAllocation() { host::memory::fail_nth_allocation(0); }
    FailNthAllocation(const FailNthAllocation&) = delete;
    FailNthAllocation& operator=(const FailNthAllocation&) = delete;
};

/// Runs `attempt(n)` once for each n = 1 ... `allocations`, with the n-th allocation from the
/// attempt's start failing, and checks after each run that the live blocks are what they were
/// before it: an operation that gives up half-way must release what it already had.
template <typename Attempt>
void for_each_failed_allocation(std::uint64_t allocations, Attempt&& attempt) {
    for(std::uint64_t n = 1; n <= allocations; ++n) {
        SCOPED_TRACE(testing::Message() << "allocation " << n << " fails");
        const auto before = host::memory::stats().live_blocks;
        {
            FailNthAllocation fail(n);
            attempt(n);
        }
        EXPECT_EQ(host::memory::stats().live_blocks, before);
    }
}

} // namespace test_support
