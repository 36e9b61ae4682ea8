#pragma once
// The package loader, as the firmware's: reads the manifest and refuses what the firmware
// refuses, with its messages; places every SHF_ALLOC section in guest memory, applies the
// relocations and resolves the imports through the firmware's export table. Nothing here runs
// guest code.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "guest_memory.h"

namespace fap {

/// The 85-byte `.fapmeta` section.
struct Manifest {
    std::uint32_t magic = 0;
    std::uint32_t version = 0;
    std::uint32_t api_version = 0; // major << 16 | minor
    std::uint16_t hardware_target = 0;
    std::uint16_t stack_size = 0;
    std::uint32_t app_version = 0;
    std::string name;
    bool has_icon = false;

    std::uint16_t api_major() const { return static_cast<std::uint16_t>(api_version >> 16); }
    std::uint16_t api_minor() const { return static_cast<std::uint16_t>(api_version & 0xFFFF); }

    static constexpr std::uint32_t kMagic = 0x52474448;
    static constexpr std::uint32_t kVersion = 1;
    static constexpr std::uint16_t kTarget = 7;
    static constexpr std::size_t kSize = 85;
};

/// What the firmware's loader says when it refuses a package.
struct LoadError {
    /// The firmware's status text: "Invalid file", "Invalid file manifest", "Hardware target
    /// mismatch", "API version mismatch", "Found unsatisfied imports".
    std::string status;
    /// The preload stage (manifest and section table) or the load stage (relocations).
    bool preload = true;
    /// Why, in more words (the missing symbol, the relocation type, the section).
    std::vector<std::string> details;

    /// "Preload failed, <path>: <status>" / "Load failed, <path>: <status>", as the loader shows it.
    std::string message(std::string_view path) const;
};

struct LoadedSection {
    std::string name;
    GuestAddr address = 0;
    std::uint32_t size = 0;
};

struct LoadedFap {
    Manifest manifest;
    std::string appid; // from the file name
    std::vector<LoadedSection> sections;
    GuestAddr text = 0;
    GuestAddr entry = 0; // with the Thumb bit
    std::vector<GuestAddr> init_array;
    std::vector<GuestAddr> fini_array;
    /// Names of the imports the package uses, in order of first use.
    std::vector<std::string> imports;

    const LoadedSection* section(std::string_view name) const;
    /// The section holding addr, if any.
    const LoadedSection* section_at(GuestAddr addr) const;
};

/// Resolves an import's name to its guest address, as the firmware's hashed table does; nothing
/// when the firmware does not export it.
using ImportResolver = std::function<std::optional<GuestAddr>(std::string_view name)>;

/// The firmware's name hash (h = 5381; h = h * 33 + c).
std::uint32_t elf_symbol_hash(std::string_view name);

/// Parses and checks the manifest alone.
std::optional<Manifest> parse_manifest(std::span<const std::uint8_t> bytes);
/// The manifest of the package file `bytes` (its `.fapmeta` section), unchecked; nothing when
/// the file has none that can be read (the loader then refuses it as an invalid file).
std::optional<Manifest> read_manifest(std::span<const std::uint8_t> bytes);

struct LoadResult {
    std::optional<LoadedFap> fap;
    std::optional<LoadError> error;
};

/// Loads `bytes` (a file named `file_name`) into `memory`. `firmware_api_major` is the major the
/// firmware was built with.
LoadResult load_fap(
    std::span<const std::uint8_t> bytes,
    std::string_view file_name,
    std::uint16_t firmware_api_major,
    GuestMemory& memory,
    const ImportResolver& resolve);

} // namespace fap
