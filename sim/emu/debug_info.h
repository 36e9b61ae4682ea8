#pragma once
// Function names and source lines for addresses in the loaded package: functions from the
// symbol table of the unstripped `<appid>_d.elf` kept beside the package (else the package's
// own, which keeps only what relocations need), lines from its DWARF line table (libdw).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "fap_loader.h"

namespace fap {

class DebugInfo {
public:
    DebugInfo(const std::filesystem::path& debug_elf, std::span<const std::uint8_t> fap_bytes,
              const LoadedFap& fap);
    ~DebugInfo();

    /// "function+0x1a (file.cpp:42)", as much of it as is known; empty outside the package.
    std::string describe(GuestAddr addr) const;

private:
    struct Symbol {
        std::uint32_t offset; // in .text
        std::uint32_t size;
        std::string name;
    };
    void read_symbols(std::span<const std::uint8_t> elf);
    std::string source_line(std::uint32_t text_offset) const;

    GuestAddr text_ = 0;
    std::uint32_t text_size_ = 0;
    std::vector<Symbol> symbols_;
    std::filesystem::path debug_elf_;
    struct Lines;
    std::unique_ptr<Lines> lines_;
};

} // namespace fap
