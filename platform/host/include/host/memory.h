#pragma once
#include <cstddef>
#include <cstdint>

// Heap accounting for device code. Device sources built for the host route malloc/free/realloc/
// calloc/strdup here (see furi_host_alloc.h); runtime objects handed to device code (threads,
// queues, strings, views, ...) are allocated here too, so a forgotten free shows up as a live block.
extern "C" {
void* furi_host_malloc(std::size_t size);
void* furi_host_calloc(std::size_t count, std::size_t size);
void* furi_host_realloc(void* ptr, std::size_t size);
void furi_host_free(void* ptr);
char* furi_host_strdup(const char* s);
}

namespace host::memory {

struct Stats {
    std::size_t live_blocks = 0;   ///< blocks allocated and not yet freed
    std::size_t live_bytes = 0;    ///< bytes in those blocks
    std::size_t peak_bytes = 0;    ///< highest live_bytes since the last reset_peak()
    std::uint64_t allocations = 0; ///< allocations since the process started or reset()
};

Stats stats();
/// Peak := current live bytes.
void reset_peak();
/// Clears every counter (live blocks included); call only when nothing is allocated.
void reset();
enum class Failure {
    ReturnNull, ///< the allocation returns null: tests of code that copes
    Stop, ///< the run stops with "out of memory", as the firmware's allocator stops the device
};
/// Makes the n-th allocation from now on (1 = the next one), and only it, fail. 0 disarms.
void fail_nth_allocation(std::uint64_t n, Failure how = Failure::ReturnNull);

} // namespace host::memory
