// The package loader refuses what the firmware's loader refuses, with its messages: each case
// breaks corvane's 36.0 package one way, or offers a package to the firmware of another API.
#include <gtest/gtest.h>

#include <elf.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "emu/machine.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const char* const kPackage = SOURCE_ROOT "/dist/36.0/corvane.fap";

Bytes read_package(const char* path = kPackage) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// The header of the section named `name`.
Elf32_Shdr* section(Bytes& b, const char* name) {
    Elf32_Ehdr eh;
    std::memcpy(&eh, b.data(), sizeof eh);
    auto* sh = reinterpret_cast<Elf32_Shdr*>(b.data() + eh.e_shoff);
    const char* names = reinterpret_cast<const char*>(b.data() + sh[eh.e_shstrndx].sh_offset);
    for(int i = 0; i < eh.e_shnum; ++i)
        if(std::strcmp(names + sh[i].sh_name, name) == 0) return &sh[i];
    return nullptr;
}

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    std::memcpy(b.data() + at, &v, 4);
}

struct Broken {
    const char* what;
    std::function<void(Bytes&)> breaks;
    const char* message; // as the loader shows it
    const char* detail;  // one of the details, or ""
    fap::Firmware firmware = fap::Firmware::api36();
};

TEST(FapLoader, RefusesWhatTheFirmwareRefusesWithItsMessage) {
    const Bytes good = read_package();
    ASSERT_GT(good.size(), 1000u) << kPackage << " is missing: run tools/package.sh --api 36.0";
    const std::vector<Broken> cases = {
        {"not an ELF file", [](Bytes& b) { b.resize(10); }, "Preload failed, corvane.fap: Invalid file", "not an ELF32 file"},
        {"a manifest shorter than 85 bytes",
         [](Bytes& b) { section(b, ".fapmeta")->sh_size = 84; },
         "Preload failed, corvane.fap: Invalid file", ".fapmeta is shorter than 85 bytes"},
        {"wrong magic",
         [](Bytes& b) { put32(b, section(b, ".fapmeta")->sh_offset, 0x12345678); },
         "Preload failed, corvane.fap: Invalid file manifest", ""},
        {"another hardware target",
         [](Bytes& b) { b[section(b, ".fapmeta")->sh_offset + 12] = 8; },
         "Preload failed, corvane.fap: Hardware target mismatch", ""},
        {"API major 37",
         [](Bytes& b) { put32(b, section(b, ".fapmeta")->sh_offset + 8, 0x00250000); },
         "Preload failed, corvane.fap: API version mismatch", "the package was built for API 37.0, the firmware has API 36"},
        {"a 36.0 package on the firmware at 86.0",
         [](Bytes&) {},
         "Preload failed, corvane.fap: API version mismatch", "the package was built for API 36.0, the firmware has API 86",
         fap::Firmware::api86()},
        {"an 86.0 package on the firmware at 36.1",
         [](Bytes& b) { b = read_package(SOURCE_ROOT "/dist/86.0/corvane.fap"); },
         "Preload failed, corvane.fap: API version mismatch", "the package was built for API 86.0, the firmware has API 36"},
        {"an import the firmware does not export",
         [](Bytes& b) {
             const Elf32_Shdr* strtab = section(b, ".strtab");
             char* names = reinterpret_cast<char*>(b.data() + strtab->sh_offset);
             char* at = static_cast<char*>(memmem(names, strtab->sh_size, "furi_delay_ms", 14));
             ASSERT_NE(at, nullptr);
             at[12] = 'z';
         },
         "Load failed, corvane.fap: Found unsatisfied imports", "no export for furi_delay_mz"},
        {"an unsupported relocation type (R_ARM_REL32)",
         [](Bytes& b) { b[section(b, ".rel.text")->sh_offset + 4] = R_ARM_REL32; },
         "Load failed, corvane.fap: Found unsatisfied imports", "unsupported relocation type 3 in .rel.text"},
        {"a section of 64 KiB",
         [](Bytes& b) { section(b, ".text")->sh_size = 0x10000; },
         "Preload failed, corvane.fap: Invalid file", ".text is 65536 bytes; the firmware reads sections of at most 65535"},
    };
    for(const Broken& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes bytes = good;
        c.breaks(bytes);
        fap::MachineOptions options;
        options.firmware = c.firmware;
        fap::Machine machine(options);
        const auto error = machine.load(bytes, "corvane.fap");
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->message("corvane.fap"), c.message);
        if(*c.detail) {
            bool found = false;
            for(const auto& d : error->details) found = found || d == c.detail;
            EXPECT_TRUE(found) << "details: " << ::testing::PrintToString(error->details);
        }
        EXPECT_FALSE(machine.loaded());
    }
}

TEST(FapLoader, LoadsEachPackageOnTheFirmwareOfItsApiAndResolvesEveryImport) {
    struct Package {
        const char* path;
        fap::Firmware firmware;
        const char* name;
        std::uint16_t stack;
    };
    const Package packages[] = {
        {kPackage, fap::Firmware::api36(), "[YRM100] Corvane", 4096},
        {SOURCE_ROOT "/dist/86.0/corvane.fap", fap::Firmware::api86(), "[YRM100] Corvane", 4096},
        {SOURCE_ROOT "/dist/86.0/pacewick.fap", fap::Firmware::api86(), "[Mx2125] Pacewick", 2048},
    };
    for(const Package& p : packages) {
        SCOPED_TRACE(p.path);
        const Bytes good = read_package(p.path);
        ASSERT_GT(good.size(), 1000u) << p.path << " is missing: run tools/package.sh";
        const auto manifest = fap::read_manifest(good);
        ASSERT_TRUE(manifest.has_value());
        EXPECT_EQ(manifest->api_major(), p.firmware.api_major());
        fap::MachineOptions options;
        options.firmware = p.firmware;
        fap::Machine machine(options);
        const std::string file = std::filesystem::path(p.path).filename().string();
        const auto error = machine.load(good, file);
        ASSERT_FALSE(error.has_value()) << error->message(file);
        const fap::LoadedFap& fap = machine.fap();
        EXPECT_EQ(fap.appid, std::filesystem::path(p.path).stem().string());
        EXPECT_EQ(fap.manifest.stack_size, p.stack);
        EXPECT_EQ(fap.manifest.name, p.name);
        ASSERT_NE(fap.section(".text"), nullptr);
        EXPECT_EQ(fap.entry & 1u, 1u) << "Thumb";
        EXPECT_EQ(fap.section_at(fap.entry & ~1u), fap.section(".text"));
        // Every import has a bridge into the runtime.
        for(const auto& name : fap.imports) {
            bool bridged = false;
            for(const auto& e : p.firmware.table)
                if(name == e.name) bridged = e.variable ? e.place != nullptr : e.bridge != nullptr;
            EXPECT_TRUE(bridged) << name;
        }
    }
}

} // namespace
