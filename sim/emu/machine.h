#pragma once
// A package running on emulated Cortex-M4s against the host runtime: the guest memory, the
// loaded package, a CPU context per platform thread that runs guest code (and one for interrupt
// context), the firmware's exports as bridges into the runtime, and the translation of
// pointers, contexts and callbacks between the two worlds. See docs/emulator.md.
//
// Only one machine exists at a time (as only one runtime does); callbacks from the runtime find
// it through Machine::current().

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "fap_loader.h"
#include "guest_memory.h"

struct uc_struct;

namespace fap {

class Machine;
class Cpu;
class DebugInfo;
struct Call;

/// An export of the firmware's table: a function with its bridge, or a variable with a guest
/// copy made on first use.
struct ApiEntry {
    const char* name;
    std::uint32_t hash;
    bool variable;
    void (*bridge)(Call&);                        // functions: null when the runtime lacks it
    const void* host_function;                    // the runtime's function, for callbacks
    GuestAddr (*place)(Machine&);                 // variables: makes the guest copy
};
/// The export table of the firmware at API 36.1, sorted by hash (generated from the SDK headers
/// and the firmware's table).
std::span<const ApiEntry> api_table();
/// The API version the table is the firmware's (36.1).
std::uint32_t api_table_version();
/// The same for the firmware at API 86.0 (the 86.0 headers, platform/include-86.0).
std::span<const ApiEntry> api_table_api86();
std::uint32_t api_table_version_api86();

/// A firmware the emulator plays: its API version (major << 16 | minor) and export table.
struct Firmware {
    std::uint32_t api_version = 0;
    std::span<const ApiEntry> table;

    std::uint16_t api_major() const { return static_cast<std::uint16_t>(api_version >> 16); }
    std::uint16_t api_minor() const { return static_cast<std::uint16_t>(api_version & 0xFFFF); }
    /// "36.1"
    std::string api_text() const;

    /// The firmware at API 36.1 (the default), or at 86.0 (release 1.3.x).
    static Firmware api36();
    static Firmware api86();
};

/// What stopped a run: the report a fault gives.
struct FaultReport {
    std::string kind;    // "stack overflow", "memory fault", "furi_crash", ...
    std::string message; // one line
    std::string thread;
    GuestAddr address = 0;
    std::array<std::uint32_t, 17> registers{}; // r0-r12, sp, lr, pc, xpsr
    bool has_registers = false;
    std::string location; // function and source line, when known
    std::vector<std::string> last_calls;

    std::string text() const;
};

/// Per-thread figures.
struct ThreadFigures {
    std::string name;
    std::uint32_t stack_size = 0;
    std::uint32_t high_water = 0;
};

struct MachineOptions {
    /// The firmware the package runs on: its API (the loader checks the package's against it)
    /// and its exports.
    Firmware firmware = Firmware::api36();
    /// Called with the report when the guest faults; must not return. Default: prints the report
    /// on stderr and ends the process with exit code kFaultExitCode.
    std::function<void(const FaultReport&)> on_fault;
    /// The unstripped ELF kept beside the package, for function names and source lines.
    std::filesystem::path debug_elf;
    /// Count the instructions executed (per basic block; costs a little).
    bool count_instructions = true;
    /// Print every import call on stderr (also with FSIM_TRACE_IMPORTS=1 in the environment).
    bool trace_imports = false;
};

inline constexpr int kFaultExitCode = 3;

class Machine {
    struct ThreadCpus;

public:
    // The guest address map.
    static constexpr GuestAddr kImportBase = 0x10000000;
    static constexpr std::uint32_t kImportSize = 0x10000;
    static constexpr GuestAddr kReturnAddr = kImportBase + kImportSize - 16;
    static constexpr GuestAddr kGpioBase = 0x48000000;
    static constexpr std::uint32_t kGpioPortSize = 0x400;
    static constexpr GuestAddr kHandleBase = 0xC0000000;

    explicit Machine(MachineOptions options = {});
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    /// The machine callbacks from the runtime run on (null when none exists).
    static Machine* current();

    /// Loads a package file; the firmware's refusal when it refuses it.
    std::optional<LoadError> load(const std::filesystem::path& path);
    std::optional<LoadError> load(std::span<const std::uint8_t> bytes, std::string_view file_name);
    const LoadedFap& fap() const { return *fap_; }
    bool loaded() const { return fap_.has_value(); }

    /// The app's entry point as a FuriThreadCallback: runs the package's constructors, then its
    /// entry with `context` (the launch arguments; null here). Start it on the app's thread with
    /// the manifest's stack size; `entry_context()` is what to pass as its context.
    static int32_t run_entry(void* machine);
    void* entry_context() { return this; }

    GuestMemory& memory() { return memory_; }
    const GuestMemory& memory() const { return memory_; }
    /// The firmware the machine plays.
    const Firmware& firmware() const { return options_.firmware; }

    // --- translation between host and guest values --------------------------------------------
    /// A host pointer as the guest sees it: NULL, an address in guest memory, or a handle.
    GuestAddr to_guest(const void* host);
    /// A guest word as a host pointer: NULL, a pointer into guest memory, or a handle's object.
    /// Stops the run when it is none of them.
    void* to_host(GuestAddr guest, const char* what);
    /// A C string the runtime hands the guest: guest memory as is, else a copy in the firmware's
    /// data that follows the string's changes (one copy per host string).
    GuestAddr string_to_guest(const char* s);
    /// The guest's NUL-terminated string (stops the run when it is not one).
    const char* string_to_host(GuestAddr guest, const char* what);

    /// A guest function pointer as a host function of the right type: a trampoline bound to it,
    /// or the runtime's own function when the guest passes an import's address.
    const void* host_function_for(GuestAddr fn, const void* const* pool, std::size_t pool_size,
                                  const void* pool_id);
    GuestAddr guest_function_of(const void* host_fn) const;
    /// The guest function trampoline `index` of pool `pool_id` is bound to.
    GuestAddr trampoline_target(const void* pool_id, std::size_t index) const;

    /// The guest copy of an exported variable's host original, and back.
    GuestAddr place_copy(const void* host_original, std::uint32_t size, std::uint32_t align,
                         const std::function<void(std::uint8_t*)>& fill);
    const void* original_of(GuestAddr guest_copy) const;
    /// The guest address of a GPIO port's register block.
    GuestAddr gpio_port_address(void* host_port);
    void* gpio_port_host(GuestAddr guest_port) const;

    /// A host mirror of a guest object that needs one (an Icon, a sequence, a scene table),
    /// made once per guest address and kept for the run.
    template <class T>
    T* mirror(GuestAddr guest, const std::function<std::unique_ptr<T>()>& make) {
        auto& slot = mirrors_[guest];
        if(!slot) {
            auto made = make();
            T* raw = made.get();
            slot = std::shared_ptr<void>(made.release(), [](void* p) { delete static_cast<T*>(p); });
            return raw;
        }
        return static_cast<T*>(slot.get());
    }

    /// Records that `host` (a mirror) stands for the guest object at `guest`, so handing it
    /// back to the guest gives that address.
    void remember_mirror(const void* host, GuestAddr guest) { mirror_of_host_[host] = guest; }

    // --- running guest code ------------------------------------------------------------------
    /// A call into the guest being prepared on the calling platform thread (or interrupt).
    class GuestCall {
    public:
        /// Copies bytes onto the guest stack below the arguments; their guest address.
        GuestAddr push(const void* data, std::uint32_t size);
        void word(std::uint32_t w) { words_.push_back(w); }
        Machine& machine() { return m_; }

    private:
        friend class Machine;
        GuestCall(Machine& m) : m_(m) {}
        Machine& m_;
        Cpu* cpu_ = nullptr;
        GuestAddr sp_ = 0;
        std::vector<std::uint32_t> words_;
        bool irq_ = false;
        std::size_t depth_ = 0;
        ThreadCpus* threads_ = nullptr;
        GuestAddr stack_bottom_ = 0;
    };
    GuestCall begin_call();
    /// Runs guest function `fn` (Thumb bit set) with the words pushed; r0 and r1 after it.
    std::uint64_t finish_call(GuestCall& call, GuestAddr fn);

    // --- faults ------------------------------------------------------------------------------
    [[noreturn]] void fault(FaultReport report, Cpu* cpu = nullptr);
    [[noreturn]] void fault(std::string kind, std::string message);
    /// Where addr is in the package: "function+0x12 (file.cpp:34)".
    std::string describe_code(GuestAddr addr);
    void note_call(const char* name, const std::uint32_t* args, int count);

    // --- figures -----------------------------------------------------------------------------
    std::uint64_t instructions() const { return instructions_; }
    void add_instructions(std::uint64_t n) { instructions_ += n; }
    std::uint32_t heap_peak() const { return memory_.heap().peak_bytes(); }
    /// Each thread that ran guest code, with its stack's size and high-water mark.
    std::vector<ThreadFigures> thread_figures() const;
    /// Instructions run by interrupt handlers, and how many handler calls.
    std::uint64_t interrupt_instructions() const { return irq_instructions_; }
    std::uint64_t interrupt_calls() const { return irq_calls_; }

    /// Instructions found in the package's code that the CPU model does not check as the
    /// Cortex-M4 does: LDRD/STRD/LDM/STM (which fault on an unaligned address) and
    /// floating-point or coprocessor instructions (which the emulator does not run).
    struct CheckedInstruction {
        GuestAddr address;
        bool floating_point;
    };
    const std::vector<CheckedInstruction>& checked_instructions() const { return checked_; }

    // Internal: the import hook and the CPU's fault hooks.
    void dispatch_import(Cpu& cpu, GuestAddr address);
    const std::string& thread_name_of(const Cpu& cpu) const;

private:
    ThreadCpus& cpus_for_this_thread(bool irq);
    Cpu& cpu_at(ThreadCpus& t, std::size_t depth);
    void release_thread(void* thread); // a FuriThreadId
    std::optional<GuestAddr> resolve(std::string_view name);
    void scan_code();

    MachineOptions options_;
    GuestMemory memory_;
    std::optional<LoadedFap> fap_;
    mutable std::recursive_mutex mutex_;
    std::map<void*, std::unique_ptr<ThreadCpus>> threads_; // per platform thread (FuriThreadId)
    std::unique_ptr<ThreadCpus> irq_;
    std::vector<ThreadFigures> ended_threads_;

    // Handles: host objects behind unmapped guest addresses.
    std::unordered_map<const void*, GuestAddr> handle_of_;
    std::vector<void*> handles_;
    // Strings the runtime handed out: host pointer -> guest copy and its room.
    std::unordered_map<const char*, std::pair<GuestAddr, std::uint32_t>> strings_;
    // Trampolines: pool -> guest function per index.
    std::map<const void*, std::vector<GuestAddr>> pools_;
    std::unordered_map<const void*, GuestAddr> guest_fn_of_host_;
    // Exported variables' guest copies.
    std::unordered_map<const void*, GuestAddr> copy_of_;
    std::unordered_map<GuestAddr, const void*> original_;
    std::vector<void*> gpio_ports_;
    std::map<GuestAddr, std::shared_ptr<void>> mirrors_;
    std::unordered_map<const void*, GuestAddr> mirror_of_host_;
    // Imports: index in the API table by import slot.
    std::vector<const ApiEntry*> imports_;
    std::unordered_map<const void*, GuestAddr> import_of_host_fn_;
    std::unordered_map<GuestAddr, const void*> host_fn_of_import_;

    std::vector<CheckedInstruction> checked_;
    std::deque<std::string> last_calls_;
    std::uint64_t instructions_ = 0;
    std::uint64_t irq_instructions_ = 0;
    std::uint64_t irq_calls_ = 0;

    std::unique_ptr<DebugInfo> debug_;
    bool faulted_ = false;
    bool trace_imports_ = false;

    friend class Cpu;
    friend struct CpuHooks;
};

} // namespace fap
