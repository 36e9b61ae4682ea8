#include "fap_loader.h"

#include <elf.h>

#include <algorithm>
#include <cstring>
#include <map>

namespace fap {

namespace {

// The firmware's status texts.
constexpr const char* kInvalidFile = "Invalid file";
constexpr const char* kInvalidManifest = "Invalid file manifest";
constexpr const char* kApiMismatch = "API version mismatch";
constexpr const char* kTargetMismatch = "Hardware target mismatch";
constexpr const char* kMissingImports = "Found unsatisfied imports";
constexpr const char* kNoMemory = "Out of memory";

/// The firmware reads sections with a 16-bit byte count.
constexpr std::uint32_t kMaxSection = 0xFFFF;

template <class T>
std::optional<T> read_at(std::span<const std::uint8_t> bytes, std::size_t offset) {
    if(offset > bytes.size() || bytes.size() - offset < sizeof(T)) return std::nullopt;
    T v;
    std::memcpy(&v, bytes.data() + offset, sizeof(T));
    return v;
}

std::uint16_t get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
void put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

bool starts_with(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

struct Section {
    Elf32_Shdr header{};
    std::string name;
    GuestAddr address = 0; // loaded sections only
    bool loaded = false;
};

LoadResult fail(const char* status, bool preload, std::vector<std::string> details = {}) {
    return LoadResult{std::nullopt, LoadError{status, preload, std::move(details)}};
}

/// Patches a Thumb BL/B.W at p so it reaches `target` from `place`.
bool relocate_branch(std::uint8_t* p, GuestAddr place, GuestAddr target) {
    std::uint16_t upper = get16(p);
    std::uint16_t lower = get16(p + 2);
    const std::uint32_t s = (upper >> 10) & 1;
    const std::uint32_t i1 = ~(((lower >> 13) & 1) ^ s) & 1;
    const std::uint32_t i2 = ~(((lower >> 11) & 1) ^ s) & 1;
    std::int32_t addend = static_cast<std::int32_t>(
        (s << 24) | (i1 << 23) | (i2 << 22) | ((upper & 0x3FFu) << 12) | ((lower & 0x7FFu) << 1));
    if(addend & (1 << 24)) addend -= (1 << 25);
    const std::int64_t offset =
        static_cast<std::int64_t>(addend) + (target & ~1u) - static_cast<std::int64_t>(place);
    if(offset < -(1 << 24) || offset >= (1 << 24)) return false;
    const std::uint32_t o = static_cast<std::uint32_t>(offset);
    const std::uint32_t ns = (o >> 24) & 1;
    const std::uint32_t j1 = ((~(o >> 23)) ^ ns) & 1;
    const std::uint32_t j2 = ((~(o >> 22)) ^ ns) & 1;
    upper = static_cast<std::uint16_t>((upper & 0xF800) | (ns << 10) | ((o >> 12) & 0x3FF));
    lower = static_cast<std::uint16_t>((lower & 0xD000) | (j1 << 13) | (j2 << 11) | ((o >> 1) & 0x7FF));
    put16(p, upper);
    put16(p + 2, lower);
    return true;
}

/// Patches a Thumb MOVW (low half) or MOVT (high half) at p with symbol + its addend.
void relocate_mov(std::uint8_t* p, GuestAddr symbol, bool high) {
    std::uint16_t upper = get16(p);
    std::uint16_t lower = get16(p + 2);
    const std::uint32_t imm16 = ((upper & 0xFu) << 12) | (((upper >> 10) & 1u) << 11) |
                                (((lower >> 12) & 7u) << 8) | (lower & 0xFFu);
    const std::int32_t addend = static_cast<std::int16_t>(imm16);
    const std::uint32_t value = symbol + static_cast<std::uint32_t>(addend);
    const std::uint32_t v = high ? value >> 16 : value & 0xFFFF;
    upper = static_cast<std::uint16_t>((upper & 0xFBF0) | ((v >> 12) & 0xF) | (((v >> 11) & 1) << 10));
    lower = static_cast<std::uint16_t>((lower & 0x8F00) | (((v >> 8) & 7) << 12) | (v & 0xFF));
    put16(p, upper);
    put16(p + 2, lower);
}

} // namespace

std::string LoadError::message(std::string_view path) const {
    return std::string(preload ? "Preload failed, " : "Load failed, ") + std::string(path) + ": " +
           status;
}

const LoadedSection* LoadedFap::section(std::string_view name) const {
    for(const auto& s : sections)
        if(s.name == name) return &s;
    return nullptr;
}

const LoadedSection* LoadedFap::section_at(GuestAddr addr) const {
    for(const auto& s : sections)
        if(addr >= s.address && addr - s.address < s.size) return &s;
    return nullptr;
}

std::uint32_t elf_symbol_hash(std::string_view name) {
    std::uint32_t h = 5381;
    for(unsigned char c : name) h = h * 33 + c;
    return h;
}

std::optional<Manifest> parse_manifest(std::span<const std::uint8_t> meta) {
    if(meta.size() < Manifest::kSize) return std::nullopt;
    Manifest m;
    std::memcpy(&m.magic, meta.data() + 0, 4);
    std::memcpy(&m.version, meta.data() + 4, 4);
    std::memcpy(&m.api_version, meta.data() + 8, 4);
    std::memcpy(&m.hardware_target, meta.data() + 12, 2);
    std::memcpy(&m.stack_size, meta.data() + 14, 2);
    std::memcpy(&m.app_version, meta.data() + 16, 4);
    const char* name = reinterpret_cast<const char*>(meta.data() + 20);
    m.name.assign(name, strnlen(name, 32));
    m.has_icon = meta[52] != 0;
    return m;
}

std::optional<Manifest> read_manifest(std::span<const std::uint8_t> bytes) {
    const auto eh = read_at<Elf32_Ehdr>(bytes, 0);
    if(!eh || eh->e_shentsize != sizeof(Elf32_Shdr) || eh->e_shstrndx >= eh->e_shnum) return std::nullopt;
    const auto names = read_at<Elf32_Shdr>(bytes, eh->e_shoff + std::size_t{eh->e_shstrndx} * sizeof(Elf32_Shdr));
    if(!names || names->sh_offset > bytes.size() || bytes.size() - names->sh_offset < names->sh_size)
        return std::nullopt;
    constexpr std::string_view kMeta = ".fapmeta";
    for(std::size_t i = 0; i < eh->e_shnum; ++i) {
        const auto sh = read_at<Elf32_Shdr>(bytes, eh->e_shoff + i * sizeof(Elf32_Shdr));
        if(!sh) return std::nullopt;
        if(sh->sh_name >= names->sh_size || names->sh_size - sh->sh_name <= kMeta.size()) continue;
        const char* n = reinterpret_cast<const char*>(bytes.data() + names->sh_offset + sh->sh_name);
        if(std::string_view(n, kMeta.size()) != kMeta || n[kMeta.size()] != '\0') continue;
        if(sh->sh_offset > bytes.size() || bytes.size() - sh->sh_offset < sh->sh_size) return std::nullopt;
        return parse_manifest(bytes.subspan(sh->sh_offset, sh->sh_size));
    }
    return std::nullopt;
}

LoadResult load_fap(
    std::span<const std::uint8_t> bytes,
    std::string_view file_name,
    std::uint16_t firmware_api_major,
    GuestMemory& memory,
    const ImportResolver& resolve) {
    // --- the section table ------------------------------------------------------------------
    const auto eh = read_at<Elf32_Ehdr>(bytes, 0);
    if(!eh || eh->e_shentsize != sizeof(Elf32_Shdr) || eh->e_shnum == 0 ||
       eh->e_shstrndx >= eh->e_shnum)
        return fail(kInvalidFile, true, {"not an ELF32 file"});
    std::vector<Section> sections(eh->e_shnum);
    for(std::size_t i = 0; i < sections.size(); ++i) {
        const auto sh = read_at<Elf32_Shdr>(bytes, eh->e_shoff + i * sizeof(Elf32_Shdr));
        if(!sh) return fail(kInvalidFile, true, {"section table cut short"});
        sections[i].header = *sh;
    }
    const Elf32_Shdr& names = sections[eh->e_shstrndx].header;
    if(names.sh_offset > bytes.size() || bytes.size() - names.sh_offset < names.sh_size)
        return fail(kInvalidFile, true, {"section names cut short"});
    for(auto& s : sections) {
        if(s.header.sh_name >= names.sh_size) return fail(kInvalidFile, true, {"bad section name"});
        const char* n = reinterpret_cast<const char*>(bytes.data() + names.sh_offset + s.header.sh_name);
        s.name.assign(n, strnlen(n, names.sh_size - s.header.sh_name));
    }
    auto data_of = [&](const Section& s) -> std::optional<std::span<const std::uint8_t>> {
        if(s.header.sh_type == SHT_NOBITS) return std::span<const std::uint8_t>{};
        if(s.header.sh_offset > bytes.size() || bytes.size() - s.header.sh_offset < s.header.sh_size)
            return std::nullopt;
        return bytes.subspan(s.header.sh_offset, s.header.sh_size);
    };

    // --- the manifest -----------------------------------------------------------------------
    const Section* meta = nullptr;
    for(const auto& s : sections)
        if(s.name == ".fapmeta") meta = &s;
    if(meta == nullptr) return fail(kInvalidFile, true, {"no .fapmeta section"});
    const auto meta_data = data_of(*meta);
    if(!meta_data) return fail(kInvalidFile, true, {".fapmeta cut short"});
    const auto manifest = parse_manifest(*meta_data);
    if(!manifest) return fail(kInvalidFile, true, {".fapmeta is shorter than 85 bytes"});
    if(manifest->magic != Manifest::kMagic || manifest->version != Manifest::kVersion)
        return fail(kInvalidManifest, true);
    if(manifest->hardware_target != Manifest::kTarget) return fail(kTargetMismatch, true);
    if(manifest->api_major() != firmware_api_major)
        return fail(
            kApiMismatch,
            true,
            {"the package was built for API " + std::to_string(manifest->api_major()) + "." +
             std::to_string(manifest->api_minor()) + ", the firmware has API " +
             std::to_string(firmware_api_major)});

    // --- which sections the loader reads ----------------------------------------------------
    const Section* symtab = nullptr;
    const Section* strtab = nullptr;
    std::vector<std::size_t> alloc;
    std::map<std::string, std::size_t> rel_for; // target section name -> rel section
    int init_arrays[3] = {0, 0, 0};
    for(std::size_t i = 1; i < sections.size(); ++i) {
        const Section& s = sections[i];
        if(starts_with(s.name, ".ARM.") || starts_with(s.name, ".rel.ARM.") ||
           starts_with(s.name, ".fast.rel.ARM."))
            continue;
        bool reads = false;
        if(s.header.sh_flags & SHF_ALLOC) {
            alloc.push_back(i);
            reads = true;
            const int which = s.name == ".preinit_array" ? 0 : s.name == ".init_array" ? 1 :
                              s.name == ".fini_array"    ? 2 :
                                                           -1;
            if(which >= 0 && ++init_arrays[which] > 1)
                return fail(kInvalidFile, true, {"more than one " + s.name});
        } else if(starts_with(s.name, ".rel") && s.header.sh_type == SHT_REL &&
                  (s.header.sh_flags & SHF_INFO_LINK)) {
            rel_for[s.name.substr(4)] = i;
            reads = true;
        } else if(starts_with(s.name, ".rela")) {
            return fail(kInvalidFile, true, {s.name + ": RELA relocations are not supported"});
        } else if(s.name == ".symtab") {
            symtab = &s;
            reads = true;
        } else if(s.name == ".strtab") {
            strtab = &s;
            reads = true;
        }
        if(reads && s.header.sh_type != SHT_NOBITS && s.header.sh_size > kMaxSection)
            return fail(
                kInvalidFile,
                true,
                {s.name + " is " + std::to_string(s.header.sh_size) +
                 " bytes; the firmware reads sections of at most 65535"});
        if(reads && !data_of(s)) return fail(kInvalidFile, true, {s.name + " cut short"});
    }
    if(symtab == nullptr || strtab == nullptr)
        return fail(kInvalidFile, true, {"no .symtab or .strtab"});

    // --- placing the sections ---------------------------------------------------------------
    std::uint32_t total = 0;
    for(std::size_t i : alloc) {
        const std::uint32_t align = std::clamp<std::uint32_t>(sections[i].header.sh_addralign, 4, 8);
        total = (total + align - 1) & ~(align - 1);
        total += sections[i].header.sh_size;
    }
    const GuestAddr image = memory.reserve_image(total);
    if(image == 0) return fail(kNoMemory, false);
    LoadedFap fap;
    fap.manifest = *manifest;
    std::string appid(file_name);
    if(auto slash = appid.find_last_of('/'); slash != std::string::npos) appid.erase(0, slash + 1);
    if(auto dot = appid.rfind(".fap"); dot != std::string::npos && dot + 4 == appid.size())
        appid.erase(dot);
    fap.appid = appid;
    GuestAddr at = image;
    for(std::size_t i : alloc) {
        Section& s = sections[i];
        const std::uint32_t align = std::clamp<std::uint32_t>(s.header.sh_addralign, 4, 8);
        at = (at + align - 1) & ~(align - 1);
        s.address = at;
        s.loaded = true;
        if(s.header.sh_type != SHT_NOBITS && s.header.sh_size) {
            const auto d = data_of(s);
            std::memcpy(memory.host(at, s.header.sh_size), d->data(), d->size());
        }
        fap.sections.push_back(LoadedSection{s.name, at, s.header.sh_size});
        at += s.header.sh_size;
    }

    // --- relocations ------------------------------------------------------------------------
    const auto syms = *data_of(*symtab);
    const auto strs = *data_of(*strtab);
    const std::size_t symbol_count = syms.size() / sizeof(Elf32_Sym);
    auto symbol_name = [&](const Elf32_Sym& sym) -> std::string_view {
        if(sym.st_name >= strs.size()) return {};
        const char* n = reinterpret_cast<const char*>(strs.data() + sym.st_name);
        return std::string_view(n, strnlen(n, strs.size() - sym.st_name));
    };
    std::map<std::string, GuestAddr, std::less<>> resolved;
    std::vector<std::string> problems;
    for(auto& [target_name, rel_index] : rel_for) {
        const Section* target = nullptr;
        for(const auto& s : sections)
            if(s.name == target_name && s.loaded) target = &s;
        const Section& rel = sections[rel_index];
        if(target == nullptr) {
            problems.push_back(rel.name + ": relocations for a section that is not loaded");
            continue;
        }
        const auto entries = *data_of(rel);
        for(std::size_t k = 0; k + sizeof(Elf32_Rel) <= entries.size(); k += sizeof(Elf32_Rel)) {
            Elf32_Rel r;
            std::memcpy(&r, entries.data() + k, sizeof r);
            const std::uint32_t type = ELF32_R_TYPE(r.r_info);
            const std::uint32_t sym_index = ELF32_R_SYM(r.r_info);
            if(sym_index >= symbol_count || r.r_offset > target->header.sh_size ||
               target->header.sh_size - r.r_offset < 4) {
                problems.push_back(rel.name + ": relocation outside its section");
                continue;
            }
            Elf32_Sym sym;
            std::memcpy(&sym, syms.data() + sym_index * sizeof(Elf32_Sym), sizeof sym);
            GuestAddr value = 0;
            const bool import = sym.st_shndx == SHN_UNDEF;
            if(import) {
                const std::string_view name = symbol_name(sym);
                auto it = resolved.find(name);
                if(it == resolved.end()) {
                    const auto addr = resolve(name);
                    if(!addr) {
                        problems.push_back("no export for " + std::string(name));
                        resolved.emplace(std::string(name), 0);
                        continue;
                    }
                    it = resolved.emplace(std::string(name), *addr).first;
                    fap.imports.emplace_back(name);
                }
                if(it->second == 0) continue;
                value = it->second;
            } else if(sym.st_shndx == SHN_ABS) {
                value = sym.st_value;
            } else if(sym.st_shndx < sections.size() && sections[sym.st_shndx].loaded) {
                value = sections[sym.st_shndx].address + sym.st_value;
            } else {
                problems.push_back(
                    rel.name + ": symbol '" + std::string(symbol_name(sym)) +
                    "' is in a section that is not loaded");
                continue;
            }
            const GuestAddr place = target->address + r.r_offset;
            std::uint8_t* p = memory.host(place, 4);
            switch(type) {
            case R_ARM_ABS32:
            case R_ARM_TARGET1: {
                std::uint32_t word;
                std::memcpy(&word, p, 4);
                word += value;
                std::memcpy(p, &word, 4);
                break;
            }
            case R_ARM_THM_PC22: // R_ARM_THM_CALL
            case R_ARM_THM_JUMP24:
            case R_ARM_CALL:
                if(!relocate_branch(p, place, value))
                    problems.push_back(
                        "call to " + std::string(symbol_name(sym)) + " is out of a branch's reach");
                break;
            case R_ARM_THM_MOVW_ABS_NC: relocate_mov(p, value, false); break;
            case R_ARM_THM_MOVT_ABS: relocate_mov(p, value, true); break;
            default:
                problems.push_back("unsupported relocation type " + std::to_string(type) + " in " + rel.name);
                break;
            }
        }
    }
    if(!problems.empty()) return fail(kMissingImports, false, problems);

    // --- entry and constructors -------------------------------------------------------------
    const LoadedSection* text = fap.section(".text");
    if(text == nullptr) return fail(kInvalidFile, true, {"no .text section"});
    fap.text = text->address;
    fap.entry = text->address + eh->e_entry;
    auto read_array = [&](const char* name, std::vector<GuestAddr>& out) {
        if(const LoadedSection* s = fap.section(name)) {
            for(std::uint32_t off = 0; off + 4 <= s->size; off += 4) {
                const auto v = memory.read32(s->address + off);
                if(v && *v != 0 && *v != 0xFFFFFFFF) out.push_back(*v);
            }
        }
    };
    std::vector<GuestAddr> pre;
    read_array(".preinit_array", pre);
    read_array(".init_array", fap.init_array);
    fap.init_array.insert(fap.init_array.begin(), pre.begin(), pre.end());
    read_array(".fini_array", fap.fini_array);
    return LoadResult{std::move(fap), std::nullopt};
}

} // namespace fap
