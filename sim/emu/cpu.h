#pragma once
// One Cortex-M4 context (a Unicorn engine in Thumb mode) over the machine's guest memory. Each
// platform thread that runs guest code has one per nesting level (a callback from the runtime
// while the thread is inside an import runs on the next level, with its stack pointer below the
// outer level's), and interrupt context has its own.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "guest_memory.h"

struct uc_struct;

namespace fap {

class Machine;

class Cpu {
public:
    Cpu(Machine& machine, std::string thread, bool irq);
    ~Cpu();
    Cpu(const Cpu&) = delete;
    Cpu& operator=(const Cpu&) = delete;

    /// Calls fn (Thumb bit set) with `words` as its arguments (r0-r3, then the stack below sp);
    /// returns r0 | r1 << 32. A fault stops the run through the machine.
    std::uint64_t call(GuestAddr fn, GuestAddr sp, const std::vector<std::uint32_t>& words);

    std::uint32_t reg(int uc_reg) const;
    void set_reg(int uc_reg, std::uint32_t value);
    /// r0-r12, sp, lr, pc, xpsr.
    std::array<std::uint32_t, 17> registers() const;

    const std::string& thread() const { return thread_; }
    bool irq() const { return irq_; }
    bool running() const { return running_; }
    uc_struct* engine() { return uc_; }

    // Set by the hooks when the guest faults.
    struct Trap {
        bool memory = false;
        bool write = false;
        GuestAddr address = 0;
        std::uint32_t size = 0;
        int interrupt = -1;
        GuestAddr pc = 0;
        std::string kind;    // a stop a checked instruction asked for: "floating point", "unaligned access"
        std::string message; // and what it says
    };
    Trap trap;

private:
    void map_new_regions();
    friend struct CpuHooks;

    Machine& m_;
    uc_struct* uc_ = nullptr;
    std::string thread_;
    bool irq_;
    bool running_ = false;
    std::size_t mapped_regions_ = 0;
};

} // namespace fap
