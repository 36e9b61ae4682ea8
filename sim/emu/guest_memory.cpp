#include "guest_memory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace fap {

namespace {
constexpr std::uint32_t round_up(std::uint32_t v, std::uint32_t a) {
    return (v + a - 1) & ~(a - 1);
}
/// Room kept for the package's sections at the start of the block (the firmware's loader reads no
/// section of 64 KiB or more, and a package has a handful).
constexpr std::uint32_t kImageRoom = 256u << 10;
} // namespace

// --- GuestHeap ---------------------------------------------------------------------------------

GuestHeap::GuestHeap(GuestAddr base, std::uint32_t size) : base_(base), size_(size) {
    free_.emplace(base, size);
}

GuestAddr GuestHeap::alloc(std::uint32_t size) {
    const std::uint32_t need = round_up(std::max<std::uint32_t>(size, 1), 8);
    if(need < size) return 0; // wrapped
    for(auto it = free_.begin(); it != free_.end(); ++it) {
        if(it->second < need) continue;
        const GuestAddr at = it->first;
        const std::uint32_t left = it->second - need;
        free_.erase(it);
        if(left) free_.emplace(at + need, left);
        used_.emplace(at, need);
        live_ += need;
        peak_ = std::max(peak_, live_);
        return at;
    }
    return 0;
}

bool GuestHeap::free(GuestAddr addr) {
    auto it = used_.find(addr);
    if(it == used_.end()) return false;
    GuestAddr start = it->first;
    std::uint32_t size = it->second;
    live_ -= size;
    used_.erase(it);
    // Merge with the free neighbours.
    auto next = free_.lower_bound(start);
    if(next != free_.end() && start + size == next->first) {
        size += next->second;
        next = free_.erase(next);
    }
    if(next != free_.begin()) {
        auto prev = std::prev(next);
        if(prev->first + prev->second == start) {
            start = prev->first;
            size += prev->second;
            free_.erase(prev);
        }
    }
    free_.emplace(start, size);
    return true;
}

std::optional<std::uint32_t> GuestHeap::block_size(GuestAddr addr) const {
    auto it = used_.find(addr);
    if(it == used_.end()) return std::nullopt;
    return it->second;
}

// --- GuestMemory -------------------------------------------------------------------------------

void GuestMemory::Free::operator()(std::uint8_t* p) const {
    std::free(p);
}

GuestMemory::GuestMemory(Layout layout) : layout_(layout) {
    layout_.total = round_up(layout_.total, 4096);
    auto* p = static_cast<std::uint8_t*>(std::aligned_alloc(4096, layout_.total));
    if(p == nullptr) throw std::bad_alloc();
    std::memset(p, 0, layout_.total);
    block_.reset(p);
    next_ = kBase + kImageRoom + kGuard;
    const GuestAddr fw = bump(layout_.firmware_data, kPage);
    add_region(fw, round_up(layout_.firmware_data, kPage), "firmware data");
    firmware_ = GuestHeap(fw, layout_.firmware_data);
    next_ += kGuard;
    const GuestAddr heap = bump(layout_.heap, kPage);
    add_region(heap, round_up(layout_.heap, kPage), "heap");
    heap_ = GuestHeap(heap, layout_.heap);
}

GuestAddr GuestMemory::bump(std::uint32_t size, std::uint32_t align) {
    const GuestAddr at = round_up(next_, align);
    if(!contains(at, size)) throw std::bad_alloc();
    next_ = at + size;
    return at;
}

void GuestMemory::add_region(GuestAddr base, std::uint32_t size, std::string name) {
    regions_.push_back(Region{base, size, std::move(name)});
}

GuestAddr GuestMemory::reserve_image(std::uint32_t size) {
    if(image_placed_ || size > kImageRoom) return 0;
    image_placed_ = true;
    add_region(kBase, round_up(std::max<std::uint32_t>(size, 1), kPage), "package");
    return kBase;
}

GuestStack GuestMemory::alloc_stack(std::uint32_t size, std::string_view owner) {
    size = round_up(std::max<std::uint32_t>(size, 64), 8);
    GuestStack stack;
    if(auto it = spare_stacks_.find(size); it != spare_stacks_.end()) {
        stack = it->second;
        spare_stacks_.erase(it);
    } else {
        next_ = round_up(next_, kPage) + kGuard; // the guard: never mapped
        const GuestAddr bottom = bump(round_up(size, kPage), kPage);
        stack = GuestStack{bottom, bottom + size};
        add_region(bottom, round_up(size, kPage), "stack of " + std::string(owner));
        stacks_.push_back(stack);
    }
    std::memset(host(stack.bottom, stack.size()), kStackFill, stack.size());
    return stack;
}

void GuestMemory::release_stack(const GuestStack& stack) {
    spare_stacks_.emplace(stack.size(), stack);
}

std::uint32_t GuestMemory::stack_high_water(const GuestStack& stack) const {
    const std::uint8_t* p = host(stack.bottom, stack.size());
    std::uint32_t untouched = 0;
    while(untouched < stack.size() && p[untouched] == kStackFill) ++untouched;
    return stack.size() - untouched;
}

std::optional<GuestStack> GuestMemory::stack_guarded_at(GuestAddr addr) const {
    for(const auto& s : stacks_) {
        if(addr < s.bottom && s.bottom - addr <= kGuard) return s;
    }
    return std::nullopt;
}

const Region* GuestMemory::region_at(GuestAddr addr) const {
    for(const auto& r : regions_) {
        if(addr >= r.base && addr - r.base < r.size) return &r;
    }
    return nullptr;
}

bool GuestMemory::mapped(GuestAddr addr, std::uint32_t len) const {
    const Region* r = region_at(addr);
    return r != nullptr && len <= r->size - (addr - r->base);
}

std::optional<std::uint32_t> GuestMemory::read32(GuestAddr addr) const {
    if(!mapped(addr, 4)) return std::nullopt;
    std::uint32_t v;
    std::memcpy(&v, host(addr, 4), 4);
    return v;
}

bool GuestMemory::write32(GuestAddr addr, std::uint32_t value) {
    if(!mapped(addr, 4)) return false;
    std::memcpy(host(addr, 4), &value, 4);
    return true;
}

std::optional<std::string_view> GuestMemory::cstring(GuestAddr addr) const {
    const Region* r = region_at(addr);
    if(r == nullptr) return std::nullopt;
    const char* s = reinterpret_cast<const char*>(host(addr));
    const std::uint32_t room = r->size - (addr - r->base);
    const void* nul = std::memchr(s, 0, room);
    if(nul == nullptr) return std::nullopt;
    return std::string_view(s, static_cast<const char*>(nul) - s);
}

} // namespace fap
