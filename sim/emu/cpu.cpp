#include "cpu.h"

#include <unicorn/unicorn.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "machine.h"

namespace fap {

namespace {

void check(uc_err err, const char* what) {
    if(err != UC_ERR_OK)
        throw std::runtime_error(std::string("unicorn: ") + what + ": " + uc_strerror(err));
}

constexpr int kRegs[17] = {
    UC_ARM_REG_R0, UC_ARM_REG_R1, UC_ARM_REG_R2,  UC_ARM_REG_R3,  UC_ARM_REG_R4, UC_ARM_REG_R5,
    UC_ARM_REG_R6, UC_ARM_REG_R7, UC_ARM_REG_R8,  UC_ARM_REG_R9,  UC_ARM_REG_R10, UC_ARM_REG_R11,
    UC_ARM_REG_R12, UC_ARM_REG_SP, UC_ARM_REG_LR, UC_ARM_REG_PC, UC_ARM_REG_XPSR};

/// Instructions in a Thumb-2 block: a halfword starting with 0b11101, 0b11110 or 0b11111 opens a
/// 32-bit instruction.
std::uint32_t thumb_instructions(const std::uint8_t* code, std::uint32_t size) {
    std::uint32_t n = 0;
    for(std::uint32_t at = 0; at + 1 < size; ++n) {
        const std::uint16_t h = static_cast<std::uint16_t>(code[at] | (code[at + 1] << 8));
        at += (h >> 11) >= 0x1D ? 4 : 2;
    }
    return n;
}

} // namespace

struct CpuHooks {
    static bool unmapped(uc_engine*, uc_mem_type type, std::uint64_t address, int size,
                         std::int64_t, void* user) {
        auto* cpu = static_cast<Cpu*>(user);
        cpu->trap.memory = true;
        cpu->trap.write = type == UC_MEM_WRITE_UNMAPPED || type == UC_MEM_WRITE_PROT;
        cpu->trap.address = static_cast<GuestAddr>(address);
        cpu->trap.size = static_cast<std::uint32_t>(size);
        cpu->trap.pc = cpu->reg(UC_ARM_REG_PC);
        if(type == UC_MEM_FETCH_UNMAPPED || type == UC_MEM_FETCH_PROT) cpu->trap.pc = cpu->trap.address;
        return false;
    }
    static void interrupt(uc_engine* uc, std::uint32_t intno, void* user) {
        auto* cpu = static_cast<Cpu*>(user);
        cpu->trap.interrupt = static_cast<int>(intno);
        cpu->trap.pc = cpu->reg(UC_ARM_REG_PC);
        uc_emu_stop(uc);
    }
    static void import(uc_engine*, std::uint64_t address, std::uint32_t, void* user) {
        auto* cpu = static_cast<Cpu*>(user);
        cpu->m_.dispatch_import(*cpu, static_cast<GuestAddr>(address));
    }
    static void block(uc_engine*, std::uint64_t address, std::uint32_t size, void* user) {
        auto* cpu = static_cast<Cpu*>(user);
        const std::uint8_t* code = cpu->m_.memory().host(static_cast<GuestAddr>(address), size);
        if(code == nullptr) return;
        const std::uint32_t n = thumb_instructions(code, size);
        cpu->m_.instructions_ += n;
        if(cpu->irq_) cpu->m_.irq_instructions_ += n;
    }
    /// A checked instruction is about to run: stop on floating point, or on LDRD/STRD/LDM/STM
    /// with an address that is not word-aligned (the Cortex-M4 raises a UsageFault).
    static void checked(uc_engine* uc, std::uint64_t address, std::uint32_t, void* user) {
        auto* cpu = static_cast<Cpu*>(user);
        const std::uint8_t* p = cpu->m_.memory().host(static_cast<GuestAddr>(address), 4);
        if(p == nullptr) return;
        const std::uint16_t hw = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
        const std::uint16_t hw2 = static_cast<std::uint16_t>(p[2] | (p[3] << 8));
        char what[160];
        if((hw >> 11) >= 0x1D && (hw & 0xEC00) == 0xEC00) {
            std::snprintf(what, sizeof what,
                          "a floating-point or coprocessor instruction (%04x %04x): the emulator does not run the FPU",
                          hw, hw2);
            cpu->trap.kind = "floating point";
        } else {
            GuestAddr ea = 0;
            const char* name = "LDM/STM";
            if((hw >> 11) < 0x1D) {
                ea = cpu->reg(UC_ARM_REG_R0 + ((hw >> 8) & 7));
                name = (hw & 0x0800) ? "LDM" : "STM";
            } else if((hw & 0xFE40) == 0xE840) {
                const GuestAddr base = cpu->reg(UC_ARM_REG_R0 + (hw & 0xF));
                const std::uint32_t offset = 4u * (hw2 & 0xFF);
                const bool pre = (hw >> 8) & 1, up = (hw >> 7) & 1;
                ea = pre ? (up ? base + offset : base - offset) : base;
                name = (hw & 0x0010) ? "LDRD" : "STRD";
            } else {
                const GuestAddr base = cpu->reg(UC_ARM_REG_R0 + (hw & 0xF));
                const bool db = ((hw >> 7) & 3) == 2;
                ea = db ? base - 4u * static_cast<std::uint32_t>(__builtin_popcount(hw2)) : base;
                name = (hw & 0x0010) ? "LDM" : "STM";
            }
            if((ea & 3) == 0) return;
            std::snprintf(what, sizeof what,
                          "%s at the unaligned address 0x%08x, which the Cortex-M4 refuses (UsageFault)", name, ea);
            cpu->trap.address = ea;
            cpu->trap.kind = "unaligned access";
        }
        cpu->trap.message = what;
        cpu->trap.pc = static_cast<GuestAddr>(address);
        uc_emu_stop(uc);
    }
    static std::uint64_t gpio_read(uc_engine*, std::uint64_t offset, unsigned size, void* user) {
        auto* cpu = static_cast<Cpu*>(user);
        const GuestAddr port = Machine::kGpioBase + static_cast<GuestAddr>(offset / Machine::kGpioPortSize) *
                                                        Machine::kGpioPortSize;
        const std::uint32_t reg = static_cast<std::uint32_t>(offset % Machine::kGpioPortSize);
        auto* host = static_cast<std::uint8_t*>(cpu->m_.gpio_port_host(port));
        if(host == nullptr || reg + size > 44) return 0;
        std::uint32_t v = 0;
        std::memcpy(&v, host + reg, size);
        return v;
    }
    static void gpio_write(uc_engine*, std::uint64_t offset, unsigned size, std::uint64_t value, void* user) {
        auto* cpu = static_cast<Cpu*>(user);
        const GuestAddr port = Machine::kGpioBase + static_cast<GuestAddr>(offset / Machine::kGpioPortSize) *
                                                        Machine::kGpioPortSize;
        const std::uint32_t reg = static_cast<std::uint32_t>(offset % Machine::kGpioPortSize);
        auto* host = static_cast<std::uint8_t*>(cpu->m_.gpio_port_host(port));
        if(host == nullptr || reg + size > 44) return;
        const std::uint32_t v = static_cast<std::uint32_t>(value);
        std::memcpy(host + reg, &v, size);
    }
};

Cpu::Cpu(Machine& machine, std::string thread, bool irq)
    : m_(machine), thread_(std::move(thread)), irq_(irq) {
    check(uc_open(UC_ARCH_ARM, static_cast<uc_mode>(UC_MODE_THUMB | UC_MODE_MCLASS), &uc_), "open");
    check(uc_ctl_set_cpu_model(uc_, UC_CPU_ARM_CORTEX_M4), "Cortex-M4 model");
    // The import region: one Thumb `bx lr` per import; the hook performs the call before it runs.
    check(uc_mem_map(uc_, Machine::kImportBase, Machine::kImportSize, UC_PROT_READ | UC_PROT_EXEC), "map imports");
    std::vector<std::uint8_t> bx_lr(Machine::kImportSize);
    for(std::size_t i = 0; i + 1 < bx_lr.size(); i += 2) {
        bx_lr[i] = 0x70;
        bx_lr[i + 1] = 0x47;
    }
    check(uc_mem_write(uc_, Machine::kImportBase, bx_lr.data(), bx_lr.size()), "fill imports");
    check(uc_mmio_map(uc_, Machine::kGpioBase, 8 * Machine::kGpioPortSize, CpuHooks::gpio_read, this,
                      CpuHooks::gpio_write, this),
          "map GPIO");
    uc_hook h;
    check(uc_hook_add(uc_, &h, UC_HOOK_CODE, reinterpret_cast<void*>(CpuHooks::import), this,
                      Machine::kImportBase, Machine::kReturnAddr - 2),
          "import hook");
    check(uc_hook_add(uc_, &h, UC_HOOK_MEM_UNMAPPED | UC_HOOK_MEM_PROT,
                      reinterpret_cast<void*>(CpuHooks::unmapped), this, 1, 0),
          "memory hook");
    check(uc_hook_add(uc_, &h, UC_HOOK_INTR, reinterpret_cast<void*>(CpuHooks::interrupt), this, 1, 0),
          "interrupt hook");
    if(m_.options_.count_instructions && m_.loaded()) {
        const auto& regions = m_.memory().regions();
        for(const auto& r : regions) {
            if(r.name == "package")
                check(uc_hook_add(uc_, &h, UC_HOOK_BLOCK, reinterpret_cast<void*>(CpuHooks::block), this,
                                  r.base, r.base + r.size - 1),
                      "block hook");
        }
    }
    for(const auto& c : m_.checked_instructions())
        check(uc_hook_add(uc_, &h, UC_HOOK_CODE, reinterpret_cast<void*>(CpuHooks::checked), this,
                          c.address, c.address),
              "instruction check");
    map_new_regions();
}

Cpu::~Cpu() {
    if(uc_ != nullptr) uc_close(uc_);
}

void Cpu::map_new_regions() {
    const auto& regions = m_.memory().regions();
    for(; mapped_regions_ < regions.size(); ++mapped_regions_) {
        const Region& r = regions[mapped_regions_];
        check(uc_mem_map_ptr(uc_, r.base, r.size, UC_PROT_ALL, m_.memory().host(r.base, r.size)),
              "map guest memory");
    }
}

std::uint32_t Cpu::reg(int uc_reg) const {
    std::uint32_t v = 0;
    uc_reg_read(uc_, uc_reg, &v);
    return v;
}

void Cpu::set_reg(int uc_reg, std::uint32_t value) {
    uc_reg_write(uc_, uc_reg, &value);
}

std::array<std::uint32_t, 17> Cpu::registers() const {
    std::array<std::uint32_t, 17> r{};
    for(std::size_t i = 0; i < r.size(); ++i) r[i] = reg(kRegs[i]);
    return r;
}

std::uint64_t Cpu::call(GuestAddr fn, GuestAddr sp, const std::vector<std::uint32_t>& words) {
    map_new_regions();
    trap = Trap{};
    const std::size_t stacked = words.size() > 4 ? words.size() - 4 : 0;
    sp = (sp - static_cast<GuestAddr>(4 * stacked)) & ~7u;
    for(std::size_t i = 0; i < stacked; ++i) {
        if(!m_.memory().write32(sp + static_cast<GuestAddr>(4 * i), words[4 + i]))
            m_.fault("stack overflow", "no room on the stack for a call's arguments");
    }
    for(std::size_t i = 0; i < 4; ++i) set_reg(kRegs[i], i < words.size() ? words[i] : 0);
    set_reg(UC_ARM_REG_SP, sp);
    set_reg(UC_ARM_REG_LR, Machine::kReturnAddr | 1);
    running_ = true;
    const uc_err err = uc_emu_start(uc_, fn | 1, Machine::kReturnAddr, 0, 0);
    running_ = false;
    if(err != UC_ERR_OK || trap.memory || trap.interrupt >= 0 || !trap.message.empty() ||
       reg(UC_ARM_REG_PC) != Machine::kReturnAddr) {
        FaultReport report;
        report.has_registers = true;
        report.registers = registers();
        report.thread = thread_;
        if(!trap.message.empty()) {
            report.kind = trap.kind;
            report.message = trap.message;
            report.address = trap.address;
            report.registers[15] = trap.pc;
        } else if(trap.memory) {
            report.address = trap.address;
            report.kind = "memory fault";
            report.registers[15] = trap.pc;
        } else if(trap.interrupt >= 0) {
            report.address = trap.pc;
            report.registers[15] = trap.pc;
            switch(trap.interrupt) {
            case 1: report.kind = "undefined instruction"; break;
            case 2: report.kind = "supervisor call"; break;
            case 7: report.kind = "breakpoint"; break;
            case 17: report.kind = "floating-point instruction"; break;
            default: report.kind = "exception " + std::to_string(trap.interrupt); break;
            }
        } else if(err == UC_ERR_INSN_INVALID) {
            report.kind = "undefined instruction";
            report.address = report.registers[15];
        } else {
            report.kind = "stopped";
            report.address = report.registers[15];
            report.message = err != UC_ERR_OK ? uc_strerror(err) : "the guest did not return";
        }
        m_.fault(std::move(report), this);
    }
    return static_cast<std::uint64_t>(reg(UC_ARM_REG_R0)) |
           (static_cast<std::uint64_t>(reg(UC_ARM_REG_R1)) << 32);
}

} // namespace fap
