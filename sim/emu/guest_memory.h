#pragma once
// The guest's memory: one host allocation that every CPU context maps with uc_mem_map_ptr, so a
// guest address is a bounds-checked offset into host memory. The runtime can then be handed a
// guest string or buffer as a host pointer into the block, and pointers it keeps (a popup's
// text) stay valid for the whole run.
//
// The block is cut into regions: the package's sections, the firmware's own data (guest copies
// of exported variables, strings the runtime hands the app), the app's heap, and one stack per
// thread that runs guest code. Only regions are mapped into the CPU contexts; the gaps between
// them (a guard below every stack, one between the other regions) are not, so a stray access or a
// stack that outgrows its thread's size faults.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fap {

using GuestAddr = std::uint32_t;

/// A first-fit allocator over one guest range: 8-byte aligned, zero-filled blocks, as the
/// firmware's heap hands them out.
class GuestHeap {
public:
    GuestHeap() = default;
    GuestHeap(GuestAddr base, std::uint32_t size);

    /// 0 when the range has no room.
    GuestAddr alloc(std::uint32_t size);
    /// False for an address that is not a live block's start.
    bool free(GuestAddr addr);
    /// The size of the live block starting at addr.
    std::optional<std::uint32_t> block_size(GuestAddr addr) const;
    bool owns(GuestAddr addr) const { return addr >= base_ && addr - base_ < size_; }

    std::uint32_t live_bytes() const { return live_; }
    std::uint32_t peak_bytes() const { return peak_; }
    std::size_t live_blocks() const { return used_.size(); }

private:
    GuestAddr base_ = 0;
    std::uint32_t size_ = 0;
    std::map<GuestAddr, std::uint32_t> free_; // start -> size
    std::map<GuestAddr, std::uint32_t> used_; // start -> size (rounded)
    std::uint32_t live_ = 0;
    std::uint32_t peak_ = 0;
};

/// A mapped piece of the block, with what it holds (for fault reports).
struct Region {
    GuestAddr base;
    std::uint32_t size;
    std::string name;
};

/// A thread's stack: [bottom, top), with an unmapped guard below `bottom`.
struct GuestStack {
    GuestAddr bottom = 0;
    GuestAddr top = 0;
    std::uint32_t size() const { return top - bottom; }
};

class GuestMemory {
public:
    static constexpr GuestAddr kBase = 0x20000000;
    static constexpr std::uint32_t kPage = 1024; // the Cortex-M model's page
    static constexpr std::uint32_t kGuard = 1024;
    static constexpr std::uint8_t kStackFill = 0xA5;

    struct Layout {
        std::uint32_t total = 2u << 20;
        std::uint32_t firmware_data = 128u << 10;
        std::uint32_t heap = 512u << 10;
    };

    explicit GuestMemory(Layout layout);
    GuestMemory() : GuestMemory(Layout{}) {}
    GuestMemory(const GuestMemory&) = delete;
    GuestMemory& operator=(const GuestMemory&) = delete;

    std::uint8_t* host_base() const { return block_.get(); }
    std::uint32_t size() const { return layout_.total; }

    /// Places the package's sections: one mapped range of `size` bytes at the start of the block.
    GuestAddr reserve_image(std::uint32_t size);

    GuestHeap& heap() { return heap_; }
    const GuestHeap& heap() const { return heap_; }
    /// The firmware's own allocations (exported variables, strings handed to the app).
    GuestHeap& firmware() { return firmware_; }

    /// A stack of `size` bytes (rounded up to 8) with a guard below it, filled with kStackFill so
    /// its high-water mark can be measured; reuses a released stack of the same size.
    GuestStack alloc_stack(std::uint32_t size, std::string_view owner);
    void release_stack(const GuestStack& stack);
    /// Bytes of the stack ever used: from the top down to the lowest byte that lost its fill.
    std::uint32_t stack_high_water(const GuestStack& stack) const;
    /// The stack whose guard holds addr, if any.
    std::optional<GuestStack> stack_guarded_at(GuestAddr addr) const;

    /// Mapped regions, in the order they were made; grows as stacks are made (`generation`
    /// counts changes so CPU contexts can map what is new).
    const std::vector<Region>& regions() const { return regions_; }
    std::uint64_t generation() const { return regions_.size(); }
    const Region* region_at(GuestAddr addr) const;

    // --- access -------------------------------------------------------------------------
    bool contains(GuestAddr addr, std::uint32_t len = 1) const {
        return addr >= kBase && addr - kBase <= layout_.total && len <= layout_.total - (addr - kBase);
    }
    /// True when [addr, addr+len) lies inside one mapped region.
    bool mapped(GuestAddr addr, std::uint32_t len = 1) const;
    /// A host pointer to [addr, addr+len), or null when that is not all guest memory.
    std::uint8_t* host(GuestAddr addr, std::uint32_t len = 1) const {
        return contains(addr, len) ? block_.get() + (addr - kBase) : nullptr;
    }
    bool owns_host(const void* p) const {
        const auto* b = static_cast<const std::uint8_t*>(p);
        return b >= block_.get() && b < block_.get() + layout_.total;
    }
    GuestAddr guest(const void* p) const {
        return kBase + static_cast<GuestAddr>(static_cast<const std::uint8_t*>(p) - block_.get());
    }
    std::optional<std::uint32_t> read32(GuestAddr addr) const;
    bool write32(GuestAddr addr, std::uint32_t value);
    /// The NUL-terminated string at addr, when it ends inside a mapped region.
    std::optional<std::string_view> cstring(GuestAddr addr) const;

private:
    GuestAddr bump(std::uint32_t size, std::uint32_t align);
    void add_region(GuestAddr base, std::uint32_t size, std::string name);

    Layout layout_;
    struct Free {
        void operator()(std::uint8_t* p) const;
    };
    std::unique_ptr<std::uint8_t, Free> block_;
    GuestAddr next_ = kBase; // bump pointer for images, the firmware data, the heap, stacks
    bool image_placed_ = false;
    GuestHeap heap_;
    GuestHeap firmware_;
    std::vector<Region> regions_;
    std::vector<GuestStack> stacks_;       // every stack ever made
    std::multimap<std::uint32_t, GuestStack> spare_stacks_; // by size, for reuse
};

} // namespace fap
