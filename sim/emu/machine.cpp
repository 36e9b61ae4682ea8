#include "machine.h"

#include <elf.h>
#include <unicorn/unicorn.h>

#include <furi.h>

#include "host/kernel.h"

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "cpu.h"
#include "debug_info.h"
#include "marshal.h"

namespace fap {

namespace {
std::atomic<Machine*> g_current{nullptr};
std::atomic<std::uint64_t> g_serial{0};
constexpr std::size_t kLastCalls = 16;
constexpr std::uint32_t kInterruptStack = 4096;
constexpr std::uint32_t kDefaultStack = 4096;
constexpr GuestAddr kMissingVariable = 0xB0000000; // unmapped: reading it faults

std::string hex(std::uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%08" PRIx32, v);
    return b;
}
} // namespace

struct Machine::ThreadCpus {
    std::string name;
    GuestStack stack;
    bool irq = false;
    std::vector<std::unique_ptr<Cpu>> levels;
    std::size_t depth = 0;
};

// --- reports ---------------------------------------------------------------------------------

std::string FaultReport::text() const {
    std::ostringstream o;
    o << "fsim: the package stopped: " << kind;
    if(!message.empty()) o << ": " << message;
    o << "\n";
    o << "  thread:    " << (thread.empty() ? "?" : thread) << "\n";
    if(address != 0 || kind == "memory fault") o << "  address:   " << hex(address) << "\n";
    if(!location.empty()) o << "  at:        " << location << "\n";
    if(has_registers) {
        static const char* names[17] = {"r0", "r1", "r2",  "r3", "r4", "r5", "r6", "r7", "r8",
                                        "r9", "r10", "r11", "r12", "sp", "lr", "pc", "xpsr"};
        o << "  registers:";
        for(int i = 0; i < 17; ++i) {
            if(i % 6 == 0 && i) o << "\n            ";
            o << " " << names[i] << "=" << hex(registers[static_cast<std::size_t>(i)]);
        }
        o << "\n";
    }
    if(!last_calls.empty()) {
        o << "  last API calls (oldest first):\n";
        for(const auto& c : last_calls) o << "    " << c << "\n";
    }
    return o.str();
}

// --- firmware --------------------------------------------------------------------------------

std::string Firmware::api_text() const {
    return std::to_string(api_major()) + "." + std::to_string(api_minor());
}

Firmware Firmware::api36() {
    return Firmware{api_table_version(), api_table()};
}

Firmware Firmware::api86() {
    return Firmware{api_table_version_api86(), api_table_api86()};
}

// --- life ------------------------------------------------------------------------------------

Machine::Machine(MachineOptions options) : options_(std::move(options)) {
    const char* trace = std::getenv("FSIM_TRACE_IMPORTS");
    trace_imports_ = options_.trace_imports || (trace != nullptr && *trace != '\0' && *trace != '0');
    Machine* expected = nullptr;
    if(!g_current.compare_exchange_strong(expected, this))
        throw std::logic_error("only one fap::Machine may exist at a time");
    g_serial.fetch_add(1);
}

Machine::~Machine() {
    threads_.clear();
    irq_.reset();
    g_current.store(nullptr);
}

Machine* Machine::current() {
    return g_current.load();
}

std::optional<LoadError> Machine::load(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if(!in) return LoadError{"Invalid file", true, {"cannot read " + path.string()}};
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if(options_.debug_elf.empty()) {
        auto beside = path;
        beside.replace_filename(path.stem().string() + "_d.elf");
        std::error_code ec;
        if(std::filesystem::is_regular_file(beside, ec)) options_.debug_elf = beside;
    }
    return load(bytes, path.string());
}

std::optional<LoadError> Machine::load(std::span<const std::uint8_t> bytes, std::string_view file_name) {
    auto result = load_fap(bytes, file_name, options_.firmware.api_major(), memory_, [this](std::string_view name) {
        return resolve(name);
    });
    if(result.error) return result.error;
    fap_ = std::move(result.fap);
    debug_ = std::make_unique<DebugInfo>(options_.debug_elf, bytes, *fap_);
    scan_code();
    return std::nullopt;
}

std::optional<GuestAddr> Machine::resolve(std::string_view name) {
    const auto table = options_.firmware.table;
    const std::uint32_t hash = elf_symbol_hash(name);
    auto it = std::lower_bound(table.begin(), table.end(), hash,
                               [](const ApiEntry& e, std::uint32_t h) { return e.hash < h; });
    if(it == table.end() || it->hash != hash) return std::nullopt;
    const ApiEntry& entry = *it;
    if(entry.variable) {
        if(entry.place == nullptr) return kMissingVariable;
        return entry.place(*this);
    }
    for(std::size_t i = 0; i < imports_.size(); ++i)
        if(imports_[i] == &entry) return kImportBase + static_cast<GuestAddr>(4 * i) + 1;
    const GuestAddr addr = kImportBase + static_cast<GuestAddr>(4 * imports_.size());
    if(addr >= kReturnAddr) return std::nullopt;
    imports_.push_back(&entry);
    if(entry.host_function != nullptr) {
        import_of_host_fn_[entry.host_function] = addr + 1;
        host_fn_of_import_[addr] = entry.host_function;
    }
    return addr + 1;
}

int32_t Machine::run_entry(void* machine) {
    auto& m = *static_cast<Machine*>(machine);
    for(GuestAddr fn : m.fap().init_array) {
        GuestCall call = m.begin_call();
        m.finish_call(call, fn);
    }
    GuestCall call = m.begin_call();
    call.word(0); // the launch arguments: none
    const auto r = m.finish_call(call, m.fap().entry);
    return static_cast<int32_t>(static_cast<std::uint32_t>(r));
}

void Machine::scan_code() {
    // A linear sweep of .text: literal pools decode as something too, which is harmless (a
    // check on an address never executed as code costs nothing).
    const LoadedSection* text = fap_->section(".text");
    if(text == nullptr) return;
    const std::uint8_t* code = memory_.host(text->address, text->size);
    for(std::uint32_t at = 0; at + 1 < text->size;) {
        const std::uint16_t hw = static_cast<std::uint16_t>(code[at] | (code[at + 1] << 8));
        const GuestAddr addr = text->address + at;
        if((hw >> 11) >= 0x1D) {
            if(at + 3 >= text->size) break;
            const std::uint32_t rn = hw & 0xF;
            if((hw & 0xEC00) == 0xEC00) {
                checked_.push_back({addr, true});
            } else if((hw & 0xFE40) == 0xE840) { // load/store dual or exclusive
                const std::uint32_t op1 = (hw >> 7) & 3, op2 = (hw >> 4) & 3;
                if(((op1 & 2) || (op2 & 2)) && rn != 15 && rn != 13) checked_.push_back({addr, false});
            } else if((hw & 0xFE40) == 0xE800) { // load/store multiple
                const std::uint32_t op = (hw >> 7) & 3;
                if((op == 1 || op == 2) && rn != 13) checked_.push_back({addr, false});
            }
            at += 4;
        } else {
            if((hw & 0xF000) == 0xC000) checked_.push_back({addr, false}); // LDM/STM T1
            at += 2;
        }
    }
}

// --- translation -------------------------------------------------------------------------------

GuestAddr Machine::to_guest(const void* host) {
    if(host == nullptr) return 0;
    if(memory_.owns_host(host)) return memory_.guest(host);
    if(auto it = mirror_of_host_.find(host); it != mirror_of_host_.end()) return it->second;
    if(auto it = copy_of_.find(host); it != copy_of_.end()) return it->second;
    if(auto it = import_of_host_fn_.find(host); it != import_of_host_fn_.end()) return it->second;
    if(auto it = guest_fn_of_host_.find(host); it != guest_fn_of_host_.end()) return it->second;
    std::lock_guard lock(mutex_);
    auto [it, fresh] = handle_of_.emplace(host, 0);
    if(fresh) {
        it->second = kHandleBase + static_cast<GuestAddr>(16 * handles_.size());
        handles_.push_back(const_cast<void*>(host));
    }
    return it->second;
}

void* Machine::to_host(GuestAddr guest, const char* what) {
    if(guest == 0) return nullptr;
    if(memory_.contains(guest)) {
        if(!memory_.mapped(guest))
            fault("bad pointer", std::string(what) + " was given " + hex(guest) +
                                     ", which is in no section, heap block or stack");
        return memory_.host(guest);
    }
    if(guest >= kHandleBase) {
        std::lock_guard lock(mutex_);
        const std::uint32_t off = guest - kHandleBase;
        if(off % 16 == 0 && off / 16 < handles_.size()) return handles_[off / 16];
    }
    if(auto it = host_fn_of_import_.find(guest & ~1u); it != host_fn_of_import_.end())
        return const_cast<void*>(it->second);
    fault("bad pointer", std::string(what) + " was given " + hex(guest) +
                             ", which is neither guest memory nor an object the runtime handed out");
}

GuestAddr Machine::string_to_guest(const char* s) {
    if(s == nullptr) return 0;
    if(memory_.owns_host(s)) return memory_.guest(s);
    std::lock_guard lock(mutex_);
    const auto len = static_cast<std::uint32_t>(std::strlen(s) + 1);
    auto& [addr, room] = strings_[s];
    if(room < len) {
        if(addr != 0) memory_.firmware().free(addr);
        room = std::max<std::uint32_t>(len, 32);
        addr = memory_.firmware().alloc(room);
        if(addr == 0) fault("out of memory", "no room in the firmware's data for a string");
    }
    std::memcpy(memory_.host(addr, len), s, len);
    return addr;
}

const char* Machine::string_to_host(GuestAddr guest, const char* what) {
    if(guest == 0) return nullptr;
    if(!memory_.cstring(guest)) {
        void* host = to_host(guest, what);
        if(!memory_.owns_host(host)) return static_cast<const char*>(host); // the runtime's own
        fault("bad string", std::string(what) + " was given a string at " + hex(guest) +
                                " that does not end inside its memory block");
    }
    return reinterpret_cast<const char*>(memory_.host(guest));
}

const void* Machine::host_function_for(GuestAddr fn, const void* const* pool, std::size_t pool_size,
                                       const void* pool_id) {
    if(fn == 0) return nullptr;
    if(fn >= kImportBase && fn < kImportBase + kImportSize) {
        if(auto it = host_fn_of_import_.find(fn & ~1u); it != host_fn_of_import_.end()) return it->second;
        fault("bad callback", "a callback is an import the runtime does not provide, at " + hex(fn));
    }
    const LoadedSection* s = fap_ ? fap_->section_at(fn & ~1u) : nullptr;
    if(s == nullptr || s->name != ".text" || (fn & 1) == 0)
        fault("bad callback", "a callback at " + hex(fn) + " is not Thumb code of the package");
    std::lock_guard lock(mutex_);
    auto& slots = pools_[pool_id];
    for(std::size_t i = 0; i < slots.size(); ++i)
        if(slots[i] == fn) return pool[i];
    if(slots.size() >= pool_size)
        fault("too many callbacks", "more than " + std::to_string(pool_size) +
                                        " distinct guest functions of one callback type");
    slots.push_back(fn);
    const void* host = pool[slots.size() - 1];
    guest_fn_of_host_[host] = fn;
    return host;
}

GuestAddr Machine::guest_function_of(const void* host_fn) const {
    if(host_fn == nullptr) return 0;
    std::lock_guard lock(mutex_);
    if(auto it = guest_fn_of_host_.find(host_fn); it != guest_fn_of_host_.end()) return it->second;
    if(auto it = import_of_host_fn_.find(host_fn); it != import_of_host_fn_.end()) return it->second;
    return 0;
}

GuestAddr Machine::trampoline_target(const void* pool_id, std::size_t index) const {
    std::lock_guard lock(mutex_);
    auto it = pools_.find(pool_id);
    return it != pools_.end() && index < it->second.size() ? it->second[index] : 0;
}

GuestAddr Machine::place_copy(const void* host_original, std::uint32_t size, std::uint32_t align,
                              const std::function<void(std::uint8_t*)>& fill) {
    if(auto it = copy_of_.find(host_original); it != copy_of_.end()) return it->second;
    (void)align; // the firmware heap's blocks are 8-aligned
    const GuestAddr addr = memory_.firmware().alloc(size);
    if(addr == 0) fault("out of memory", "no room in the firmware's data for an exported variable");
    copy_of_[host_original] = addr;
    original_[addr] = host_original;
    fill(memory_.host(addr, size));
    return addr;
}

const void* Machine::original_of(GuestAddr guest_copy) const {
    auto it = original_.find(guest_copy);
    return it != original_.end() ? it->second : nullptr;
}

GuestAddr Machine::gpio_port_address(void* host_port) {
    if(host_port == nullptr) return 0;
    for(std::size_t i = 0; i < gpio_ports_.size(); ++i)
        if(gpio_ports_[i] == host_port) return kGpioBase + static_cast<GuestAddr>(i * kGpioPortSize);
    gpio_ports_.push_back(host_port);
    return kGpioBase + static_cast<GuestAddr>((gpio_ports_.size() - 1) * kGpioPortSize);
}

void* Machine::gpio_port_host(GuestAddr guest_port) const {
    if(guest_port < kGpioBase) return nullptr;
    const std::size_t i = (guest_port - kGpioBase) / kGpioPortSize;
    return i < gpio_ports_.size() ? gpio_ports_[i] : nullptr;
}

// --- running ----------------------------------------------------------------------------------

Machine::ThreadCpus& Machine::cpus_for_this_thread(bool irq) {
    std::lock_guard lock(mutex_);
    if(irq) {
        if(!irq_) {
            irq_ = std::make_unique<ThreadCpus>();
            irq_->name = "interrupt";
            irq_->irq = true;
            irq_->stack = memory_.alloc_stack(kInterruptStack, "interrupt context");
        }
        return *irq_;
    }
    // Keyed on the platform thread: they all share one OS thread.
    FuriThreadId id = furi_thread_get_current_id();
    auto& slot = threads_[id];
    if(!slot) {
        slot = std::make_unique<ThreadCpus>();
        const char* name = id ? furi_thread_get_name(id) : nullptr;
        slot->name = name ? name : "main";
        std::uint32_t size = id ? furi_thread_get_stack_space(id) : 0;
        if(size == 0) size = kDefaultStack;
        slot->stack = memory_.alloc_stack(size, slot->name);
        if(id != nullptr) {
            // Its CPU contexts and stack go when the thread ends (unless this machine went first).
            host::at_thread_exit([this, id, serial = g_serial.load()] {
                if(g_current.load() == this && g_serial.load() == serial) release_thread(id);
            });
        }
    }
    return *slot;
}

Cpu& Machine::cpu_at(ThreadCpus& t, std::size_t depth) {
    std::lock_guard lock(mutex_);
    while(t.levels.size() <= depth) t.levels.push_back(std::make_unique<Cpu>(*this, t.name, t.irq));
    return *t.levels[depth];
}

void Machine::release_thread(void* id) {
    std::lock_guard lock(mutex_);
    auto it = threads_.find(id);
    if(it == threads_.end()) return;
    ThreadCpus& t = *it->second;
    ended_threads_.push_back(ThreadFigures{t.name, t.stack.size(), memory_.stack_high_water(t.stack)});
    memory_.release_stack(t.stack);
    threads_.erase(it);
}

std::vector<ThreadFigures> Machine::thread_figures() const {
    std::lock_guard lock(mutex_);
    std::map<std::string, ThreadFigures> by_name;
    auto add = [&](const ThreadFigures& f) {
        auto& slot = by_name[f.name];
        slot.name = f.name;
        slot.stack_size = std::max(slot.stack_size, f.stack_size);
        slot.high_water = std::max(slot.high_water, f.high_water);
    };
    for(const auto& f : ended_threads_) add(f);
    for(const auto& [id, t] : threads_) add({t->name, t->stack.size(), memory_.stack_high_water(t->stack)});
    if(irq_) add({irq_->name, irq_->stack.size(), memory_.stack_high_water(irq_->stack)});
    std::vector<ThreadFigures> out;
    for(auto& [name, f] : by_name) out.push_back(f);
    return out;
}

const std::string& Machine::thread_name_of(const Cpu& cpu) const {
    return cpu.thread();
}

GuestAddr Machine::GuestCall::push(const void* data, std::uint32_t size) {
    const std::uint32_t room = (size + 7) & ~7u;
    if(sp_ - room < stack_bottom_ || sp_ < room)
        m_.fault("stack overflow", "no room on " + cpu_->thread() + "'s stack for a callback's data");
    sp_ -= room;
    std::memcpy(m_.memory().host(sp_, size), data, size);
    return sp_;
}

Machine::GuestCall Machine::begin_call() {
    GuestCall g(*this);
    g.irq_ = furi_kernel_is_irq_or_masked();
    ThreadCpus& t = cpus_for_this_thread(g.irq_);
    g.threads_ = &t;
    g.depth_ = t.depth;
    g.cpu_ = &cpu_at(t, t.depth);
    g.stack_bottom_ = t.stack.bottom;
    // The first level starts at the stack's top; a nested one below the outer level's frame.
    g.sp_ = t.depth == 0 ? t.stack.top : (t.levels[t.depth - 1]->reg(UC_ARM_REG_SP) & ~7u);
    return g;
}

std::uint64_t Machine::finish_call(GuestCall& g, GuestAddr fn) {
    ThreadCpus& t = *g.threads_;
    ++t.depth;
    if(g.irq_) ++irq_calls_;
    const std::uint64_t r = g.cpu_->call(fn, g.sp_, g.words_);
    --t.depth;
    return r;
}

void Machine::dispatch_import(Cpu& cpu, GuestAddr address) {
    const std::size_t index = (address - kImportBase) / 4;
    if(index >= imports_.size()) fault("bad call", "a call to " + hex(address) + ", where no import is");
    const ApiEntry& entry = *imports_[index];
    Call c{*this, cpu, entry};
    for(int i = 0; i < 4; ++i) c.r[static_cast<std::size_t>(i)] = cpu.reg(UC_ARM_REG_R0 + i);
    c.sp = cpu.reg(UC_ARM_REG_SP);
    note_call(entry.name, c.r.data(), 4);
    if(trace_imports_) std::fprintf(stderr, "[%s] %s\n", cpu.thread().c_str(), last_calls_.back().c_str());
    if(entry.bridge == nullptr)
        fault("missing import", std::string(entry.name) +
                                    " is exported by the firmware but the runtime does not implement it");
    const GuestAddr lr = cpu.reg(UC_ARM_REG_LR);
    entry.bridge(c);
    if(c.has_result) {
        cpu.set_reg(UC_ARM_REG_R0, c.result[0]);
        cpu.set_reg(UC_ARM_REG_R1, c.result[1]);
    }
    cpu.set_reg(UC_ARM_REG_PC, lr | 1);
}

std::uint32_t Call::word(int i) const {
    if(i < 4) return r[static_cast<std::size_t>(i)];
    const auto v = m.memory().read32(sp + static_cast<GuestAddr>(4 * (i - 4)));
    if(!v) m.fault("bad call", std::string(entry.name) + ": its arguments are not on a stack");
    return *v;
}

// --- faults -----------------------------------------------------------------------------------

void Machine::note_call(const char* name, const std::uint32_t* args, int count) {
    std::string line = name;
    line += "(";
    for(int i = 0; i < count; ++i) line += (i ? ", " : "") + hex(args[i]);
    line += ")";
    if(last_calls_.size() == kLastCalls) last_calls_.pop_front();
    last_calls_.push_back(std::move(line));
}

std::string Machine::describe_code(GuestAddr addr) {
    if(!fap_ || !debug_) return {};
    return debug_->describe(addr);
}

void Machine::fault(std::string kind, std::string message) {
    FaultReport r;
    r.kind = std::move(kind);
    r.message = std::move(message);
    fault(std::move(r), nullptr);
}

void Machine::fault(FaultReport report, Cpu* cpu) {
    if(faulted_) std::_Exit(kFaultExitCode); // a fault while reporting one
    faulted_ = true;
    if(cpu == nullptr) {
        // A stop the host asked for inside an import: the innermost running CPU of this thread.
        std::lock_guard lock(mutex_);
        ThreadCpus* t = nullptr;
        if(furi_kernel_is_irq_or_masked()) {
            t = irq_.get();
        } else if(auto it = threads_.find(furi_thread_get_current_id()); it != threads_.end()) {
            t = it->second.get();
        }
        if(t != nullptr && t->depth > 0) cpu = t->levels[t->depth - 1].get();
    }
    if(cpu != nullptr) {
        if(report.thread.empty()) report.thread = cpu->thread();
        if(!report.has_registers) {
            report.registers = cpu->registers();
            report.has_registers = true;
            // Inside an import the caller is at LR.
            if((report.registers[15] & ~1u) >= kImportBase && (report.registers[15] & ~1u) < kImportBase + kImportSize)
                report.registers[15] = report.registers[14] & ~1u;
        }
    }
    if(report.kind == "memory fault") {
        if(auto s = memory_.stack_guarded_at(report.address)) {
            report.kind = "stack overflow";
            report.message = report.thread + " used more than its " + std::to_string(s->size()) +
                             "-byte stack";
        } else if(report.address >= kHandleBase) {
            report.message = std::string(cpu && cpu->trap.write ? "wrote" : "read") +
                             " through a handle (an object of the runtime, not guest memory)";
        } else if(report.address >= kMissingVariable && report.address < kHandleBase) {
            report.message = "read an exported variable the runtime does not provide";
        } else {
            report.message = std::string(cpu && cpu->trap.write ? "write to " : "read from ") +
                             "memory outside the package's sections, its heap and its stacks";
        }
    }
    if(report.has_registers) {
        std::string at = describe_code(report.registers[15] & ~1u);
        if(!at.empty()) report.location = at;
        const std::string caller = describe_code((report.registers[14] & ~1u) - 2);
        if(!caller.empty()) report.location += (report.location.empty() ? "" : ", ") +
                                               std::string("called from ") + caller;
    }
    report.last_calls.assign(last_calls_.begin(), last_calls_.end());
    if(options_.on_fault) options_.on_fault(report);
    const std::string text = report.text();
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
    std::fflush(stdout);
    std::_Exit(kFaultExitCode);
}

} // namespace fap
