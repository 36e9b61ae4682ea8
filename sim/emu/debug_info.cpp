#include "debug_info.h"

#include <elf.h>
#include <elfutils/libdwfl.h>
#include <gelf.h>

#include <cxxabi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace fap {

namespace {
/// A C++ symbol's readable name ("uhf_file_select(UHFDevice*)"); a C name as it is.
std::string demangle(const std::string& name) {
    int status = 0;
    char* readable = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
    if(readable == nullptr) return name;
    std::string out = status == 0 ? readable : name;
    std::free(readable);
    return out;
}
} // namespace

/// The DWARF line table through libdwfl, which lays out and relocates the sections of a
/// relocatable (-Ur) ELF itself.
struct DebugInfo::Lines {
    Dwfl_Callbacks callbacks{};
    Dwfl* dwfl = nullptr;
    Dwfl_Module* module = nullptr;
    GElf_Addr text = 0;

    explicit Lines(const std::filesystem::path& path) {
        callbacks.find_debuginfo = dwfl_standard_find_debuginfo;
        callbacks.section_address = dwfl_offline_section_address;
        dwfl = dwfl_begin(&callbacks);
        if(dwfl == nullptr) return;
        module = dwfl_report_offline(dwfl, "package", path.c_str(), -1);
        dwfl_report_end(dwfl, nullptr, nullptr);
        if(module == nullptr) return;
        GElf_Addr bias = 0;
        Elf* elf = dwfl_module_getelf(module, &bias);
        if(elf == nullptr) {
            module = nullptr;
            return;
        }
        std::size_t names = 0;
        elf_getshdrstrndx(elf, &names);
        for(Elf_Scn* scn = elf_nextscn(elf, nullptr); scn != nullptr; scn = elf_nextscn(elf, scn)) {
            GElf_Shdr shdr;
            if(gelf_getshdr(scn, &shdr) == nullptr) continue;
            const char* name = elf_strptr(elf, names, shdr.sh_name);
            if(name != nullptr && std::strcmp(name, ".text") == 0) text = shdr.sh_addr + bias;
        }
    }
    ~Lines() {
        if(dwfl != nullptr) dwfl_end(dwfl);
    }
    std::string at(std::uint32_t offset) const {
        if(module == nullptr) return {};
        Dwfl_Line* line = dwfl_module_getsrc(module, text + offset);
        if(line == nullptr) return {};
        int lineno = 0;
        const char* file = dwfl_lineinfo(line, nullptr, &lineno, nullptr, nullptr, nullptr);
        if(file == nullptr) return {};
        std::string f = file;
        // Show the path from the app's folder down.
        for(const char* root : {"/corvane/", "/pacewick/", "/tests/"}) {
            if(auto p = f.rfind(root); p != std::string::npos) {
                f.erase(0, p + 1);
                break;
            }
        }
        return f + ":" + std::to_string(lineno);
    }
};

DebugInfo::DebugInfo(const std::filesystem::path& debug_elf, std::span<const std::uint8_t> fap_bytes,
                     const LoadedFap& fap)
    : debug_elf_(debug_elf) {
    if(const LoadedSection* text = fap.section(".text")) {
        text_ = text->address;
        text_size_ = text->size;
    }
    std::vector<std::uint8_t> debug_bytes;
    if(!debug_elf.empty()) {
        std::ifstream in(debug_elf, std::ios::binary);
        debug_bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    read_symbols(debug_bytes.empty() ? fap_bytes : std::span<const std::uint8_t>(debug_bytes));
    if(!debug_bytes.empty()) {
        elf_version(EV_CURRENT);
        lines_ = std::make_unique<Lines>(debug_elf);
    }
}

DebugInfo::~DebugInfo() = default;

void DebugInfo::read_symbols(std::span<const std::uint8_t> elf) {
    auto get = [&](std::size_t off, void* out, std::size_t n) {
        if(off > elf.size() || elf.size() - off < n) return false;
        std::memcpy(out, elf.data() + off, n);
        return true;
    };
    Elf32_Ehdr eh;
    if(!get(0, &eh, sizeof eh) || eh.e_shentsize != sizeof(Elf32_Shdr)) return;
    std::vector<Elf32_Shdr> sh(eh.e_shnum);
    for(std::size_t i = 0; i < sh.size(); ++i)
        if(!get(eh.e_shoff + i * sizeof(Elf32_Shdr), &sh[i], sizeof(Elf32_Shdr))) return;
    if(eh.e_shstrndx >= sh.size()) return;
    auto section_name = [&](const Elf32_Shdr& s) -> std::string {
        const Elf32_Shdr& names = sh[eh.e_shstrndx];
        if(s.sh_name >= names.sh_size || names.sh_offset + s.sh_name >= elf.size()) return {};
        const char* p = reinterpret_cast<const char*>(elf.data() + names.sh_offset + s.sh_name);
        return std::string(p, strnlen(p, elf.size() - names.sh_offset - s.sh_name));
    };
    std::size_t text_index = 0;
    for(std::size_t i = 0; i < sh.size(); ++i)
        if(section_name(sh[i]) == ".text") text_index = i;
    for(const auto& s : sh) {
        if(s.sh_type != SHT_SYMTAB || s.sh_link >= sh.size()) continue;
        const Elf32_Shdr& strs = sh[s.sh_link];
        for(std::size_t off = 0; off + sizeof(Elf32_Sym) <= s.sh_size; off += sizeof(Elf32_Sym)) {
            Elf32_Sym sym;
            if(!get(s.sh_offset + off, &sym, sizeof sym)) break;
            if(ELF32_ST_TYPE(sym.st_info) != STT_FUNC || sym.st_shndx != text_index) continue;
            if(sym.st_name >= strs.sh_size || strs.sh_offset + sym.st_name >= elf.size()) continue;
            const char* p = reinterpret_cast<const char*>(elf.data() + strs.sh_offset + sym.st_name);
            symbols_.push_back(Symbol{sym.st_value & ~1u, sym.st_size,
                                      demangle(std::string(p, strnlen(p, elf.size() - strs.sh_offset - sym.st_name)))});
        }
    }
    std::sort(symbols_.begin(), symbols_.end(), [](const Symbol& a, const Symbol& b) { return a.offset < b.offset; });
}

std::string DebugInfo::describe(GuestAddr addr) const {
    if(addr < text_ || addr - text_ >= text_size_) return {};
    const std::uint32_t off = addr - text_;
    std::string out;
    auto it = std::upper_bound(symbols_.begin(), symbols_.end(), off,
                               [](std::uint32_t o, const Symbol& s) { return o < s.offset; });
    if(it != symbols_.begin()) {
        --it;
        if(off - it->offset < std::max<std::uint32_t>(it->size, 1) || it->size == 0) {
            char b[32];
            std::snprintf(b, sizeof b, "+0x%x", off - it->offset);
            out = it->name + b;
        }
    }
    if(out.empty()) {
        char b[32];
        std::snprintf(b, sizeof b, ".text+0x%x", off);
        out = b;
    }
    if(lines_) {
        const std::string line = lines_->at(off);
        if(!line.empty()) out += " (" + line + ")";
    }
    return out;
}

} // namespace fap
