// The counting, zero-filling allocator behind device code's malloc family.
#include "host/memory.h"

#include <furi.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/fatal.h"
#include "core/scheduler.h"

namespace {

// A header in front of every block: its size and a tag that tells our blocks from foreign ones.
struct alignas(16) BlockHeader {
    std::size_t size;
    std::uint64_t tag;
};
constexpr std::uint64_t kLiveTag = 0xF0C0A11C0B10C4EDull;
constexpr std::uint64_t kFreedTag = 0xDEADF4EEB10C4EDull;

std::atomic<std::size_t> live_blocks{0};
std::atomic<std::size_t> live_bytes{0};
std::atomic<std::size_t> peak_bytes{0};
std::atomic<std::uint64_t> allocations{0};
std::atomic<std::uint64_t> fail_at{0};
std::atomic<bool> fail_stops{false};

void note_allocation(std::size_t size) {
    live_blocks.fetch_add(1, std::memory_order_relaxed);
    const std::size_t now = live_bytes.fetch_add(size, std::memory_order_relaxed) + size;
    std::size_t peak = peak_bytes.load(std::memory_order_relaxed);
    while(now > peak && !peak_bytes.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
}

BlockHeader* header_of(void* ptr, const char* what) {
    auto* header = static_cast<BlockHeader*>(ptr) - 1;
    if(header->tag == kFreedTag) host::fatal("%s: block %p was already freed", what, ptr);
    if(header->tag != kLiveTag)
        host::fatal("%s: %p was not allocated by the platform allocator", what, ptr);
    return header;
}

bool should_fail() {
    const std::uint64_t n = allocations.fetch_add(1, std::memory_order_relaxed) + 1;
    const std::uint64_t target = fail_at.load(std::memory_order_relaxed);
    if(target != 0 && n == target) {
        fail_at.store(0, std::memory_order_relaxed);
        return true;
    }
    return false;
}

void* allocate(std::size_t size, const char* what) {
    if(host::Scheduler::in_interrupt()) host::fatal("%s called from interrupt context", what);
    if(should_fail()) {
        if(fail_stops.load(std::memory_order_relaxed))
            host::fatal("%s: out of memory (%zu bytes)", what, size);
        return nullptr;
    }
    auto* header = static_cast<BlockHeader*>(std::calloc(1, sizeof(BlockHeader) + size));
    if(header == nullptr) host::fatal("%s: out of memory (%zu bytes)", what, size);
    header->size = size;
    header->tag = kLiveTag;
    note_allocation(size);
    return header + 1;
}

} // namespace

extern "C" {

void* furi_host_malloc(std::size_t size) {
    return allocate(size, "malloc");
}

void* furi_host_calloc(std::size_t count, std::size_t size) {
    if(size != 0 && count > SIZE_MAX / size) return nullptr;
    return allocate(count * size, "calloc");
}

void furi_host_free(void* ptr) {
    if(ptr == nullptr) return;
    if(host::Scheduler::in_interrupt()) host::fatal("free called from interrupt context");
    BlockHeader* header = header_of(ptr, "free");
    live_blocks.fetch_sub(1, std::memory_order_relaxed);
    live_bytes.fetch_sub(header->size, std::memory_order_relaxed);
    header->tag = kFreedTag;
    std::free(header);
}

void* furi_host_realloc(void* ptr, std::size_t size) {
    if(ptr == nullptr) return allocate(size, "realloc");
    if(size == 0) {
        furi_host_free(ptr);
        return nullptr;
    }
    if(host::Scheduler::in_interrupt()) host::fatal("realloc called from interrupt context");
    const std::size_t old_size = header_of(ptr, "realloc")->size;
    void* grown = allocate(size, "realloc");
    if(grown == nullptr) return nullptr; // the old block stays valid, as with any realloc
    std::memcpy(grown, ptr, old_size < size ? old_size : size);
    furi_host_free(ptr);
    return grown;
}

char* furi_host_strdup(const char* s) {
    const std::size_t length = std::strlen(s);
    auto* copy = static_cast<char*>(allocate(length + 1, "strdup"));
    if(copy != nullptr) std::memcpy(copy, s, length + 1);
    return copy;
}

std::size_t memmgr_get_total_heap(void) {
    return 192 * 1024;
}

std::size_t memmgr_get_free_heap(void) {
    const std::size_t used = live_bytes.load(std::memory_order_relaxed);
    return used >= memmgr_get_total_heap() ? 0 : memmgr_get_total_heap() - used;
}

std::size_t memmgr_get_minimum_free_heap(void) {
    const std::size_t peak = peak_bytes.load(std::memory_order_relaxed);
    return peak >= memmgr_get_total_heap() ? 0 : memmgr_get_total_heap() - peak;
}

} // extern "C"

namespace host::memory {

Stats stats() {
    return Stats{live_blocks.load(), live_bytes.load(), peak_bytes.load(), allocations.load()};
}

void reset_peak() {
    peak_bytes.store(live_bytes.load());
}

void reset() {
    live_blocks.store(0);
    live_bytes.store(0);
    peak_bytes.store(0);
    allocations.store(0);
    fail_at.store(0);
}

void fail_nth_allocation(std::uint64_t n, Failure how) {
    fail_stops.store(how == Failure::Stop);
    fail_at.store(n == 0 ? 0 : allocations.load() + n);
}

} // namespace host::memory
