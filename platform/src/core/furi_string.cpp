// FuriString on the host: a std::string whose object and character buffer both come from the
// runtime's counting allocator, so a string that is never freed shows up as a live block and
// peak-heap figures include string contents, as they do on the device.
//
// Semantics follow the platform's string library: searches work on the C view of the string and
// return FURI_STRING_FAILURE when nothing is found; left/right/mid clamp at the end of the string;
// indexing past the end and null pointers are furi_check failures (the device would fault).

#include <furi/core/check.h>
#include <furi/core/string.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "core/fatal.h"

extern "C" {
void* furi_host_malloc(size_t size);
void furi_host_free(void* ptr);
}

namespace host {

// Routes std::string's buffer through the counting allocator. Out of memory is fatal, as the
// platform's malloc is. (Named, not anonymous: FuriString, which has external linkage, holds a
// string of it.)
template <typename T>
struct StringAllocator {
    using value_type = T;

    StringAllocator() = default;
    template <typename U>
    StringAllocator(const StringAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        void* p = furi_host_malloc(n * sizeof(T));
        if(p == nullptr) host::fatal("out of memory for a string's text");
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t) noexcept { furi_host_free(p); }

    template <typename U>
    bool operator==(const StringAllocator<U>&) const noexcept {
        return true;
    }
};

using StringText = std::basic_string<char, std::char_traits<char>, StringAllocator<char>>;

} // namespace host

namespace {

using Text = host::StringText;

constexpr const char* kDefaultTrimChars = " \n\r\t";

} // namespace

struct FuriString {
    Text text;
};

namespace {

FuriString* make_string() {
    void* memory = furi_host_malloc(sizeof(FuriString));
    if(memory == nullptr) host::fatal("out of memory allocating a string");
    return new(memory) FuriString{};
}

void destroy_string(FuriString* string) {
    string->~FuriString();
    furi_host_free(string);
}

Text& text_of(FuriString* string) {
    furi_check(string != nullptr);
    return string->text;
}

const Text& text_of(const FuriString* string) {
    furi_check(string != nullptr);
    return string->text;
}

const char* checked(const char* cstr) {
    furi_check(cstr != nullptr);
    return cstr;
}

// Formats into a fresh buffer, so arguments may point into the destination string.
// Returns vsnprintf's result; on an encoding error the output is empty.
int format(Text& out, const char* format, va_list args) {
    furi_check(format != nullptr);
    char small[128];
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(small, sizeof small, format, args);
    if(length < 0) {
        va_end(again);
        out.clear();
        return length;
    }
    if(static_cast<std::size_t>(length) < sizeof small) {
        out.assign(small, static_cast<std::size_t>(length));
    } else {
        out.assign(static_cast<std::size_t>(length), '\0');
        std::vsnprintf(out.data(), out.size() + 1, format, again);
    }
    va_end(again);
    return length;
}

} // namespace

extern "C" {

FuriString* furi_string_alloc(void) {
    return make_string();
}

FuriString* furi_string_alloc_set_str(const char cstr_source[]) {
    checked(cstr_source);
    FuriString* string = make_string();
    string->text.assign(cstr_source);
    return string;
}

FuriString* furi_string_alloc_printf(const char format[], ...) {
    va_list args;
    va_start(args, format);
    FuriString* string = furi_string_alloc_vprintf(format, args);
    va_end(args);
    return string;
}

FuriString* furi_string_alloc_vprintf(const char format[], va_list args) {
    FuriString* string = make_string();
    ::format(string->text, format, args);
    return string;
}

FuriString* furi_string_alloc_move(FuriString* source) {
    Text& from = text_of(source);
    FuriString* string = make_string();
    string->text = std::move(from);
    destroy_string(source);
    return string;
}

void furi_string_free(FuriString* string) {
    furi_check(string != nullptr);
    destroy_string(string);
}

void furi_string_reserve(FuriString* string, size_t size) {
    text_of(string).reserve(size);
}

void furi_string_reset(FuriString* string) {
    text_of(string).clear();
}

void furi_string_swap(FuriString* string_1, FuriString* string_2) {
    text_of(string_1).swap(text_of(string_2));
}

void furi_string_move(FuriString* string_1, FuriString* string_2) {
    furi_check(string_1 != string_2);
    text_of(string_1) = std::move(text_of(string_2));
    destroy_string(string_2);
}

size_t furi_string_hash(const FuriString* string) {
    // FNV-1a over the bytes: stable across runs, so hashes can appear in test expectations.
    std::uint64_t hash = 14695981039346656037ull;
    for(const char c : text_of(string)) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return static_cast<size_t>(hash);
}

size_t furi_string_size(const FuriString* string) {
    return text_of(string).size();
}

bool furi_string_empty(const FuriString* string) {
    return text_of(string).empty();
}

char furi_string_get_char(const FuriString* string, size_t index) {
    const Text& text = text_of(string);
    furi_check(index < text.size());
    return text[index];
}

void furi_string_set_char(FuriString* string, size_t index, const char c) {
    Text& text = text_of(string);
    furi_check(index < text.size());
    text[index] = c;
}

const char* furi_string_get_cstr(const FuriString* string) {
    return text_of(string).c_str();
}

void furi_string_set_str(FuriString* string, const char cstr[]) {
    text_of(string).assign(checked(cstr));
}

void furi_string_set_strn(FuriString* string, const char cstr[], size_t n) {
    // At most n characters, stopping early at a NUL.
    checked(cstr);
    text_of(string).assign(cstr, strnlen(cstr, n));
}

void furi_string_set_n(FuriString* string, const FuriString* source, size_t offset, size_t length) {
    const Text& from = text_of(source);
    furi_check(offset <= from.size());
    Text part = from.substr(offset, length);
    text_of(string) = std::move(part);
}

int furi_string_printf(FuriString* string, const char format[], ...) {
    va_list args;
    va_start(args, format);
    const int result = furi_string_vprintf(string, format, args);
    va_end(args);
    return result;
}

int furi_string_vprintf(FuriString* string, const char format[], va_list args) {
    Text& text = text_of(string);
    Text formatted;
    const int result = ::format(formatted, format, args);
    text = std::move(formatted);
    return result;
}

void furi_string_push_back(FuriString* string, char c) {
    text_of(string).push_back(c);
}

void furi_string_cat_str(FuriString* string_1, const char cstring_2[]) {
    text_of(string_1).append(checked(cstring_2));
}

int furi_string_cat_printf(FuriString* string, const char format[], ...) {
    va_list args;
    va_start(args, format);
    const int result = furi_string_cat_vprintf(string, format, args);
    va_end(args);
    return result;
}

int furi_string_cat_vprintf(FuriString* string, const char format[], va_list args) {
    Text& text = text_of(string);
    Text formatted;
    const int result = ::format(formatted, format, args);
    if(result >= 0) text.append(formatted);
    return result;
}

int furi_string_cmp_str(const FuriString* string_1, const char cstring_2[]) {
    return std::strcmp(text_of(string_1).c_str(), checked(cstring_2));
}

int furi_string_cmpi_str(const FuriString* string_1, const char cstring_2[]) {
    const char* a = text_of(string_1).c_str();
    const char* b = checked(cstring_2);
    for(;; ++a, ++b) {
        const int ca = std::tolower(static_cast<unsigned char>(*a));
        const int cb = std::tolower(static_cast<unsigned char>(*b));
        if(ca != cb || ca == 0) return ca - cb;
    }
}

bool furi_string_equal_str(const FuriString* string_1, const char cstring_2[]) {
    return std::strcmp(text_of(string_1).c_str(), checked(cstring_2)) == 0;
}

size_t furi_string_search_str(const FuriString* string, const char cstring[], size_t start) {
    const Text& text = text_of(string);
    checked(cstring);
    furi_check(start <= text.size());
    const char* found = std::strstr(text.c_str() + start, cstring);
    return found ? static_cast<size_t>(found - text.c_str()) : FURI_STRING_FAILURE;
}

size_t furi_string_search_char(const FuriString* string, char c, size_t start) {
    const Text& text = text_of(string);
    furi_check(start <= text.size());
    const char* found = std::strchr(text.c_str() + start, c);
    return found ? static_cast<size_t>(found - text.c_str()) : FURI_STRING_FAILURE;
}

size_t furi_string_search_rchar(const FuriString* string, char c, size_t start) {
    // The last occurrence at or after start (not a backward search from start).
    const Text& text = text_of(string);
    furi_check(start <= text.size());
    const char* found = std::strrchr(text.c_str() + start, c);
    return found ? static_cast<size_t>(found - text.c_str()) : FURI_STRING_FAILURE;
}

void furi_string_replace_at(FuriString* string, size_t pos, size_t len, const char replace[]) {
    Text& text = text_of(string);
    checked(replace);
    furi_check(pos <= text.size() && len <= text.size() - pos);
    text.replace(pos, len, replace);
}

void furi_string_replace_all_str(FuriString* string, const char needle[], const char replace[]) {
    Text& text = text_of(string);
    const std::string_view from{checked(needle)};
    const std::string_view to{checked(replace)};
    furi_check(!from.empty());
    Text result;
    std::size_t pos = 0;
    for(std::size_t hit; (hit = text.find(from.data(), pos, from.size())) != Text::npos;
        pos = hit + from.size()) {
        result.append(text, pos, hit - pos);
        result.append(to.data(), to.size());
    }
    result.append(text, pos);
    text = std::move(result);
}

bool furi_string_start_with_str(const FuriString* string, const char start[]) {
    return std::string_view{text_of(string)}.starts_with(checked(start));
}

bool furi_string_end_with_str(const FuriString* string, const char end[]) {
    return std::string_view{text_of(string)}.ends_with(checked(end));
}

void furi_string_left(FuriString* string, size_t index) {
    Text& text = text_of(string);
    if(index < text.size()) text.resize(index);
}

void furi_string_right(FuriString* string, size_t index) {
    Text& text = text_of(string);
    text.erase(0, std::min(index, text.size()));
}

void furi_string_mid(FuriString* string, size_t index, size_t size) {
    furi_string_right(string, index);
    furi_string_left(string, size);
}

void furi_string_trim(FuriString* string, const char chars[]) {
    Text& text = text_of(string);
    const char* set = chars ? chars : kDefaultTrimChars;
    const std::size_t first = text.find_first_not_of(set);
    if(first == Text::npos) {
        text.clear();
        return;
    }
    text.erase(text.find_last_not_of(set) + 1);
    text.erase(0, first);
}

size_t furi_string_utf8_length(FuriString* str) {
    const Text& text = text_of(str);
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

} // extern "C"
