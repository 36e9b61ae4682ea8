#include "special_bridges.h"

#include "cpu.h"

#include <furi.h>

#include <unicorn/unicorn.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fap {

namespace {

std::uint8_t* range(Call& c, GuestAddr addr, std::uint32_t len, const char* what) {
    if(len == 0) return c.m.memory().host(c.m.memory().contains(addr) ? addr : GuestMemory::kBase);
    if(!c.m.memory().mapped(addr, len))
        c.m.fault("bad pointer", std::string(c.entry.name) + ": " + what + " [" + std::to_string(addr) + ", +" +
                                     std::to_string(len) + ") is outside guest memory");
    return c.m.memory().host(addr, len);
}

const char* str(Call& c, int slot) {
    const GuestAddr a = c.word(slot);
    if(a == 0) c.m.fault("null pointer", std::string(c.entry.name) + " was given a NULL string");
    return c.m.string_to_host(a, c.entry.name);
}

GuestAddr guest_of(Call& c, const void* p) {
    return c.m.memory().guest(p);
}

} // namespace

std::string format_guest(Call& c, const char* format, int first) {
    std::string out;
    int arg = first;
    auto next32 = [&]() { return c.word(arg++); };
    auto next64 = [&]() {
        arg = (arg + 1) & ~1;
        const std::uint64_t v = c.dword(arg);
        arg += 2;
        return v;
    };
    for(const char* p = format; *p;) {
        if(*p != '%') {
            out += *p++;
            continue;
        }
        const char* start = p++;
        if(*p == '%') {
            out += '%';
            ++p;
            continue;
        }
        std::string spec = "%";
        while(*p && std::strchr("-+ #0", *p)) spec += *p++;
        if(*p == '*') {
            spec += std::to_string(static_cast<std::int32_t>(next32()));
            ++p;
        } else {
            while(std::isdigit(static_cast<unsigned char>(*p))) spec += *p++;
        }
        if(*p == '.') {
            spec += *p++;
            if(*p == '*') {
                spec += std::to_string(static_cast<std::int32_t>(next32()));
                ++p;
            } else {
                while(std::isdigit(static_cast<unsigned char>(*p))) spec += *p++;
            }
        }
        int longs = 0;
        bool half = false;
        while(*p && std::strchr("hlLzjt", *p)) {
            if(*p == 'l' || *p == 'j') ++longs;
            if(*p == 'j') ++longs;
            if(*p == 'h') half = true;
            ++p;
        }
        const char conv = *p ? *p++ : '\0';
        char buf[512];
        switch(conv) {
        case 'd':
        case 'i': {
            long long v = longs >= 2 ? static_cast<long long>(static_cast<std::int64_t>(next64())) :
                                       static_cast<long long>(static_cast<std::int32_t>(next32()));
            (void)half;
            std::snprintf(buf, sizeof buf, (spec + "lld").c_str(), v);
            out += buf;
            break;
        }
        case 'u':
        case 'x':
        case 'X':
        case 'o': {
            unsigned long long v = longs >= 2 ? next64() : next32();
            std::snprintf(buf, sizeof buf, (spec + "ll" + conv).c_str(), v);
            out += buf;
            break;
        }
        case 'c':
            std::snprintf(buf, sizeof buf, (spec + "c").c_str(), static_cast<int>(next32() & 0xFF));
            out += buf;
            break;
        case 'p':
            std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(next32()));
            out += buf;
            break;
        case 's': {
            const GuestAddr a = next32();
            const char* s = a == 0 ? "(null)" : c.m.string_to_host(a, c.entry.name);
            const int n = std::snprintf(nullptr, 0, (spec + "s").c_str(), s);
            std::string piece(static_cast<std::size_t>(n) + 1, '\0');
            std::snprintf(piece.data(), piece.size(), (spec + "s").c_str(), s);
            piece.resize(static_cast<std::size_t>(n));
            out += piece;
            break;
        }
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            c.m.fault("floating point", std::string(c.entry.name) + ": the format \"" + format +
                                            "\" prints a floating-point value, which the emulator does not run");
        default:
            // An unknown or cut conversion is printed as it stands, as newlib-nano does.
            out.append(start, p);
            break;
        }
    }
    return out;
}

void require(Call& c, const void* function) {
    if(function == nullptr)
        c.m.fault("missing import", std::string(c.entry.name) +
                                        " is exported by the firmware but the runtime does not implement it");
}

void bridge_furi_crash(Call& c) {
    const GuestAddr message = c.cpu.reg(UC_ARM_REG_R12);
    std::string text = "(no message)";
    // From API 86.0 furi_check and furi_assert pass a flag instead of their message.
    if(message == 0x01) {
        text = "furi_assert failed";
    } else if(message == 0x02) {
        text = "furi_check failed";
    } else if(message != 0) {
        if(auto s = c.m.memory().cstring(message)) text = std::string(*s);
    }
    while(!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    c.m.fault("furi_crash", text);
}

void bridge_snprintf(Call& c) {
    const GuestAddr buf = c.word(0);
    const std::uint32_t size = c.word(1);
    const std::string s = format_guest(c, str(c, 2), 3);
    if(size > 0) {
        std::uint8_t* out = range(c, buf, size, "the buffer");
        const std::size_t n = std::min<std::size_t>(s.size(), size - 1);
        std::memcpy(out, s.data(), n);
        out[n] = 0;
    }
    c.ret(static_cast<std::uint32_t>(s.size()));
}

void bridge_furi_string_printf(Call& c) {
    FuriString* s = Marshal<FuriString*>::from(c, 0);
    const std::string text = format_guest(c, str(c, 1), 2);
    furi_string_set_str(s, text.c_str());
    c.ret(static_cast<std::uint32_t>(text.size()));
}

void bridge_furi_string_cat_printf(Call& c) {
    FuriString* s = Marshal<FuriString*>::from(c, 0);
    const std::string text = format_guest(c, str(c, 1), 2);
    furi_string_cat_str(s, text.c_str());
    c.ret(static_cast<std::uint32_t>(text.size()));
}

void bridge_furi_string_alloc_printf(Call& c) {
    const std::string text = format_guest(c, str(c, 0), 1);
    c.ret(c.m.to_guest(furi_string_alloc_set_str(text.c_str())));
}

void bridge_furi_log_print_format(Call& c) {
    const auto level = static_cast<FuriLogLevel>(c.word(0));
    const char* tag = c.m.string_to_host(c.word(1), c.entry.name);
    const std::string text = format_guest(c, str(c, 2), 3);
    furi_log_print_format(level, tag, "%s", text.c_str());
}

void bridge_furi_log_print_raw_format(Call& c) {
    const auto level = static_cast<FuriLogLevel>(c.word(0));
    const std::string text = format_guest(c, str(c, 1), 2);
    furi_log_print_raw_format(level, "%s", text.c_str());
}

// --- the heap: zero-filled blocks; the firmware stops when it has none left ----------------------

void bridge_malloc(Call& c) {
    const std::uint32_t size = c.word(0);
    const GuestAddr p = c.m.memory().heap().alloc(size);
    if(p == 0) c.m.fault("out of memory", "malloc(" + std::to_string(size) + ") found no room in the heap");
    std::memset(c.m.memory().host(p, size), 0, size);
    c.ret(p);
}

void bridge_free(Call& c) {
    const GuestAddr p = c.word(0);
    if(p != 0 && !c.m.memory().heap().free(p))
        c.m.fault("bad free", "free() of an address that is no live heap block");
}

void bridge_realloc(Call& c) {
    const GuestAddr old = c.word(0);
    const std::uint32_t size = c.word(1);
    auto& heap = c.m.memory().heap();
    if(old != 0 && !heap.block_size(old)) c.m.fault("bad free", "realloc() of an address that is no live heap block");
    if(size == 0) {
        heap.free(old);
        c.ret(0);
        return;
    }
    const GuestAddr p = heap.alloc(size);
    if(p == 0) c.m.fault("out of memory", "realloc(" + std::to_string(size) + ") found no room in the heap");
    std::memset(c.m.memory().host(p, size), 0, size);
    if(old != 0) {
        const std::uint32_t keep = std::min(size, *heap.block_size(old));
        std::memcpy(c.m.memory().host(p, keep), c.m.memory().host(old, keep), keep);
        heap.free(old);
    }
    c.ret(p);
}

// --- memory and strings ----------------------------------------------------------------------

void bridge_memcpy(Call& c) {
    const std::uint32_t n = c.word(2);
    std::memmove(range(c, c.word(0), n, "the destination"), range(c, c.word(1), n, "the source"), n);
    c.ret(c.word(0));
}
void bridge_memmove(Call& c) {
    bridge_memcpy(c);
}
void bridge_memset(Call& c) {
    const std::uint32_t n = c.word(2);
    std::memset(range(c, c.word(0), n, "the destination"), static_cast<int>(c.word(1) & 0xFF), n);
    c.ret(c.word(0));
}
void bridge_memcmp(Call& c) {
    const std::uint32_t n = c.word(2);
    c.ret(static_cast<std::uint32_t>(std::memcmp(range(c, c.word(0), n, "the first block"),
                                                 range(c, c.word(1), n, "the second block"), n)));
}
void bridge_strlen(Call& c) {
    c.ret(static_cast<std::uint32_t>(std::strlen(str(c, 0))));
}
void bridge_strcmp(Call& c) {
    c.ret(static_cast<std::uint32_t>(std::strcmp(str(c, 0), str(c, 1))));
}
void bridge_strncmp(Call& c) {
    const std::uint32_t n = c.word(2);
    const GuestAddr a = c.word(0), b = c.word(1);
    // Either side may be an unterminated buffer of at least n bytes.
    auto view = [&](GuestAddr g) {
        if(auto s = c.m.memory().cstring(g)) return std::string(*s).substr(0, n);
        const char* p = reinterpret_cast<const char*>(range(c, g, n, "a string"));
        return std::string(p, strnlen(p, n));
    };
    c.ret(static_cast<std::uint32_t>(std::strncmp(view(a).c_str(), view(b).c_str(), n)));
}
void bridge_strcpy(Call& c) {
    const char* s = str(c, 1);
    const auto n = static_cast<std::uint32_t>(std::strlen(s) + 1);
    std::memmove(range(c, c.word(0), n, "the destination"), s, n);
    c.ret(c.word(0));
}
void bridge_strncpy(Call& c) {
    const std::uint32_t n = c.word(2);
    const char* s = str(c, 1);
    const std::size_t len = strnlen(s, n);
    std::uint8_t* d = range(c, c.word(0), n, "the destination");
    std::memmove(d, s, len);
    std::memset(d + len, 0, n - len);
    c.ret(c.word(0));
}
void bridge_strchr(Call& c) {
    const char* s = str(c, 0);
    const char* r = std::strchr(s, static_cast<int>(c.word(1) & 0xFF));
    c.ret(r ? guest_of(c, r) : 0);
}
void bridge_strrchr(Call& c) {
    const char* s = str(c, 0);
    const char* r = std::strrchr(s, static_cast<int>(c.word(1) & 0xFF));
    c.ret(r ? guest_of(c, r) : 0);
}
void bridge_strstr(Call& c) {
    const char* r = std::strstr(str(c, 0), str(c, 1));
    c.ret(r ? guest_of(c, r) : 0);
}
void bridge_strcat(Call& c) {
    const char* d = str(c, 0);
    const char* s = str(c, 1);
    const std::size_t dl = std::strlen(d), sl = std::strlen(s);
    std::memmove(range(c, c.word(0) + static_cast<GuestAddr>(dl), static_cast<std::uint32_t>(sl + 1), "the destination"), s, sl + 1);
    c.ret(c.word(0));
}
void bridge_strtol(Call& c) {
    const char* s = str(c, 0);
    char* end = nullptr;
    const long v = std::strtol(s, &end, static_cast<int>(c.word(2)));
    if(c.word(1) != 0) {
        const GuestAddr e = guest_of(c, end);
        std::memcpy(range(c, c.word(1), 4, "the end pointer"), &e, 4);
    }
    c.ret(static_cast<std::uint32_t>(std::clamp<long>(v, INT32_MIN, INT32_MAX)));
}
void bridge_strtoul(Call& c) {
    const char* s = str(c, 0);
    char* end = nullptr;
    const unsigned long v = std::strtoul(s, &end, static_cast<int>(c.word(2)));
    if(c.word(1) != 0) {
        const GuestAddr e = guest_of(c, end);
        std::memcpy(range(c, c.word(1), 4, "the end pointer"), &e, 4);
    }
    c.ret(static_cast<std::uint32_t>(std::min<unsigned long>(v, UINT32_MAX)));
}
void bridge_atoi(Call& c) {
    c.ret(static_cast<std::uint32_t>(std::atoi(str(c, 0))));
}

#define FAP_CTYPE(name)                                                                    \
    void bridge_##name(Call& c) {                                                          \
        const int v = static_cast<int>(c.word(0));                                        \
        c.ret(static_cast<std::uint32_t>(v >= -1 && v < 256 ? std::name(v) : v));          \
    }
FAP_CTYPE(toupper)
FAP_CTYPE(tolower)
#undef FAP_CTYPE
#define FAP_CTYPE(name)                                                                    \
    void bridge_##name(Call& c) {                                                          \
        const int v = static_cast<int>(c.word(0));                                        \
        c.ret(v >= 0 && v < 256 && std::name(v) ? 1u : 0u);                                \
    }
FAP_CTYPE(isalnum)
FAP_CTYPE(isalpha)
FAP_CTYPE(isdigit)
FAP_CTYPE(isspace)
FAP_CTYPE(isxdigit)
FAP_CTYPE(isprint)
#undef FAP_CTYPE

} // namespace fap
