// Key-value text files, read and written exactly as the platform's library does.
//
// Layout: "Key: value value ...\n" lines; '#' at the start of a line makes a comment. Reading
// searches forward from the current position for a line whose text before the first ':' is the
// key, skips the ':' and the character after it, then reads the values. A key that isn't found
// leaves the reader at the end, so every later read fails too; only key_exist searches from the
// start (and keeps the position), and get_value_count keeps the position.
//
// The readers work on 32-byte chunks and seek back to where they stopped, as the platform's do,
// and hold at most a bounded part of any line: a key is compared as it streams past, a value
// keeps its first kMaxToken bytes (enough for every number the parsers accept), and a string
// value longer than kMaxString fails instead of growing without bound. Any file content (binary,
// NULs, no newline, huge lines) ends each call after one pass over the file at most.

#include <flipper_format/flipper_format.h>

#include <furi.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "core/fatal.h"
#include "host/flipper_format.h"

namespace {

constexpr char kEoln = '\n';
constexpr char kEolr = '\r';
constexpr char kComment = '#';
constexpr char kDelimiter = ':';
constexpr const char* kFiletypeKey = "Filetype";
constexpr const char* kVersionKey = "Version";
constexpr size_t kChunk = 32;
constexpr size_t kMaxToken = 255;
constexpr size_t kMaxString = 8192;

} // namespace

// What a FlipperFormat reads and writes (named outside the anonymous namespace: FlipperFormat
// itself has external linkage).
enum class FlipperFormatKind {
    String,
    File
};

struct FlipperFormat {
    FlipperFormatKind kind;
    bool strict = false;
    // File
    File* file = nullptr;
    // String: the text lives in a FuriString so it counts against the app's heap
    FuriString* text = nullptr;
    size_t position = 0;
};

namespace {

constexpr host::NotNull<FlipperFormat> require_format{"flipper_format"};

constexpr host::NotNull<const char> require_key{"key"};

FlipperFormat* require_file(FlipperFormat* ff, const char* what) {
    require_format(ff, what);
    if(ff->kind != FlipperFormatKind::File)
        host::fatal("%s: the FlipperFormat was not allocated as a file", what);
    return ff;
}

// ---- The stream under the format: the platform's file stream or string stream ----

size_t stream_size(FlipperFormat& ff) {
    return ff.kind == FlipperFormatKind::File ? static_cast<size_t>(storage_file_size(ff.file)) :
                                                furi_string_size(ff.text);
}

size_t stream_tell(FlipperFormat& ff) {
    return ff.kind == FlipperFormatKind::File ? static_cast<size_t>(storage_file_tell(ff.file)) :
                                                ff.position;
}

bool stream_eof(FlipperFormat& ff) {
    return ff.kind == FlipperFormatKind::File ? storage_file_eof(ff.file) :
                                                ff.position >= furi_string_size(ff.text);
}

size_t stream_read(FlipperFormat& ff, uint8_t* data, size_t size) {
    if(ff.kind == FlipperFormatKind::File)
        return storage_file_read(ff.file, data, static_cast<uint16_t>(size));
    const size_t length = furi_string_size(ff.text);
    const size_t n = ff.position < length ? std::min(size, length - ff.position) : 0;
    std::memcpy(data, furi_string_get_cstr(ff.text) + ff.position, n);
    ff.position += n;
    return n;
}

bool stream_write(FlipperFormat& ff, const void* data, size_t size) {
    if(ff.kind == FlipperFormatKind::File) {
        const char* bytes = static_cast<const char*>(data);
        while(size > 0) {
            const uint16_t chunk = static_cast<uint16_t>(std::min<size_t>(size, UINT16_MAX));
            if(storage_file_write(ff.file, bytes, chunk) != chunk) return false;
            bytes += chunk;
            size -= chunk;
        }
        return true;
    }
    const char* bytes = static_cast<const char*>(data);
    for(size_t i = 0; i < size; ++i, ++ff.position) {
        if(ff.position < furi_string_size(ff.text)) {
            furi_string_set_char(ff.text, ff.position, bytes[i]);
        } else {
            furi_string_push_back(ff.text, bytes[i]);
        }
    }
    return true;
}

bool stream_write_str(FlipperFormat& ff, const char* text) {
    return stream_write(ff, text, std::strlen(text));
}

// Absolute seek with the stream's rules: past the end goes to the end and fails.
bool stream_seek_to(FlipperFormat& ff, int64_t target) {
    if(target < 0) return false;
    const size_t size = stream_size(ff);
    if(static_cast<uint64_t>(target) > size) {
        if(ff.kind == FlipperFormatKind::File) {
            storage_file_seek(ff.file, static_cast<uint32_t>(size), true);
        } else {
            ff.position = size;
        }
        return false;
    }
    if(ff.kind == FlipperFormatKind::File)
        return storage_file_seek(ff.file, static_cast<uint32_t>(target), true);
    ff.position = static_cast<size_t>(target);
    return true;
}

bool stream_seek_by(FlipperFormat& ff, int64_t offset) {
    return stream_seek_to(ff, static_cast<int64_t>(stream_tell(ff)) + offset);
}

// ---- Reading ----

bool is_space(uint8_t c) {
    return c == ' ' || c == '\t' || c == kEolr;
}

// Reads up to the next key delimiter that ends a key (the rest of a line that starts with ':' or
// '#' is skipped). On true the stream is at that ':' and `matched` says whether the key (its text
// up to a NUL, as a C string compares) is `key`.
bool read_valid_key(FlipperFormat& ff, std::string_view key, bool& matched) {
    size_t index = 0;      // characters of `key` matched so far
    bool mismatch = false; // the line's key can no longer be `key`
    bool cut = false;      // a NUL ended the key's C string
    bool accumulate = true;
    bool new_line = true;
    auto reset = [&] { index = 0, mismatch = false, cut = false; };
    uint8_t buffer[kChunk];
    while(true) {
        const size_t was_read = stream_read(ff, buffer, kChunk);
        if(was_read == 0) return false;
        for(size_t i = 0; i < was_read; ++i) {
            const uint8_t data = buffer[i];
            if(data == kEoln) {
                reset();
                accumulate = true;
                new_line = true;
            } else if(data == kEolr) {
                // ignored
            } else if(data == kComment && new_line) {
                accumulate = false;
                new_line = false;
            } else if(data == kDelimiter) {
                if(new_line) {
                    // Where the last call stopped, or a line with no key: skip the rest of it.
                    reset();
                    accumulate = false;
                    new_line = false;
                } else if(accumulate) {
                    if(!stream_seek_by(
                           ff, static_cast<int64_t>(i) - static_cast<int64_t>(was_read)))
                        return false;
                    matched = !mismatch && index == key.size();
                    return true;
                }
            } else {
                new_line = false;
                if(accumulate && !cut && !mismatch) {
                    if(data == '\0') {
                        cut = true;
                    } else if(index < key.size() && static_cast<uint8_t>(key[index]) == data) {
                        ++index;
                    } else {
                        mismatch = true;
                    }
                }
            }
        }
    }
}

bool seek_to_key(FlipperFormat& ff, const char* key, bool strict) {
    const std::string_view wanted(key);
    while(!stream_eof(ff)) {
        bool matched = false;
        if(!read_valid_key(ff, wanted, matched)) break;
        if(matched) return stream_seek_by(ff, 2); // ':' and the blank after it
        if(strict) return false;
    }
    return false;
}

// One value token: at most kMaxToken bytes kept (NULs included), its full length counted.
struct Token {
    char text[kMaxToken + 1];
    size_t stored = 0;
    size_t length = 0;

    void clear() { stored = length = 0; }
    void push(uint8_t c) {
        if(stored < kMaxToken) text[stored++] = static_cast<char>(c);
        ++length;
    }
    const char* c_str() {
        text[stored] = '\0';
        return text;
    }
};

// The next value on the line. `last` says it was the line's last one.
bool read_value(FlipperFormat& ff, Token& value, bool& last) {
    enum {
        LeadingSpace,
        ReadValue,
        TrailingSpace
    } state = LeadingSpace;
    value.clear();
    uint8_t buffer[kChunk];
    while(true) {
        const size_t was_read = stream_read(ff, buffer, kChunk);
        if(was_read == 0) {
            if(state != LeadingSpace && stream_eof(ff)) {
                last = true;
                return true;
            }
            return false;
        }
        const int64_t back_from = -static_cast<int64_t>(was_read);
        for(size_t i = 0; i < was_read; ++i) {
            const uint8_t data = buffer[i];
            if(state == LeadingSpace) {
                if(is_space(data)) continue;
                if(data == kEoln) {
                    stream_seek_by(ff, back_from + static_cast<int64_t>(i));
                    return false;
                }
                state = ReadValue;
                value.push(data);
            } else if(state == ReadValue) {
                if(is_space(data)) {
                    state = TrailingSpace;
                } else if(data == kEoln) {
                    if(!stream_seek_by(ff, back_from + static_cast<int64_t>(i))) return false;
                    last = true;
                    return true;
                } else {
                    value.push(data);
                }
            } else {
                if(is_space(data)) continue;
                if(!stream_seek_by(ff, back_from + static_cast<int64_t>(i))) return false;
                last = data == kEoln;
                return true;
            }
        }
    }
}

// The rest of the line, '\r' dropped; the stream stops at the '\n'. False when empty or too long.
bool read_line(FlipperFormat& ff, FuriString* out) {
    furi_string_reset(out);
    size_t length = 0;
    uint8_t buffer[kChunk];
    while(true) {
        const size_t was_read = stream_read(ff, buffer, kChunk);
        if(was_read == 0) break;
        bool done = false;
        for(size_t i = 0; i < was_read; ++i) {
            const uint8_t data = buffer[i];
            if(data == kEoln) {
                stream_seek_by(ff, static_cast<int64_t>(i) - static_cast<int64_t>(was_read));
                done = true;
                break;
            }
            if(data == kEolr) continue;
            if(length < kMaxString) furi_string_push_back(out, static_cast<char>(data));
            ++length;
        }
        if(done) break;
    }
    return length != 0 && length <= kMaxString;
}

int hex_nibble(char c) {
    if(c >= '0' && c <= '9') return c - '0';
    if(c >= 'A' && c <= 'F') return c - 'A' + 10;
    if(c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// sscanf "%lu" with a 32-bit unsigned long: optional blanks and sign, decimal digits, saturating
// at ULONG_MAX on overflow, a '-' negating modulo 2^32. False when no digit comes.
bool scan_u32(const char* text, uint32_t& out) {
    while(*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    bool negative = false;
    if(*text == '+' || *text == '-') negative = *text++ == '-';
    if(!(*text >= '0' && *text <= '9')) return false;
    uint64_t value = 0;
    bool overflow = false;
    for(; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + static_cast<uint64_t>(*text - '0');
        if(value > UINT32_MAX) overflow = true, value = UINT32_MAX;
    }
    if(overflow) {
        out = UINT32_MAX;
    } else {
        out = negative ? static_cast<uint32_t>(0u - static_cast<uint32_t>(value)) :
                         static_cast<uint32_t>(value);
    }
    return true;
}

// sscanf "%li" with a 32-bit long: the base from the prefix (0x hex, 0 octal), saturating.
bool scan_i32(const char* text, int32_t& out) {
    while(*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    bool negative = false;
    if(*text == '+' || *text == '-') negative = *text++ == '-';
    int base = 10;
    if(text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && hex_nibble(text[2]) >= 0) {
        base = 16;
        text += 2;
    } else if(text[0] == '0') {
        base = 8;
    }
    auto digit = [base](char c) {
        const int d = hex_nibble(c);
        return d >= 0 && d < base ? d : -1;
    };
    if(digit(*text) < 0) return false;
    const uint64_t limit = negative ? 2147483648ull : 2147483647ull;
    uint64_t value = 0;
    for(; digit(*text) >= 0; ++text) {
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit(*text));
        if(value > limit) value = limit;
    }
    out = negative ? static_cast<int32_t>(-static_cast<int64_t>(value)) :
                     static_cast<int32_t>(value);
    return true;
}

enum class Type {
    Hex,
    Float,
    Int32,
    Uint32,
    HexUint64,
    Bool
};

bool parse_value(Type type, Token& value, void* data, size_t i) {
    switch(type) {
    case Type::Hex: {
        if(value.length < 2) return false;
        const int hi = hex_nibble(value.text[0]);
        const int lo = hex_nibble(value.text[1]);
        if(hi < 0 || lo < 0) return false;
        static_cast<uint8_t*>(data)[i] = static_cast<uint8_t>(hi << 4 | lo);
        return true;
    }
    case Type::Float: {
        char* end = nullptr;
        static_cast<float*>(data)[i] =
            std::strtof(value.c_str(), &end); // stored even when it fails
        return *end == '\0';
    }
    case Type::Int32: {
        int32_t v = 0;
        if(!scan_i32(value.c_str(), v)) return false;
        static_cast<int32_t*>(data)[i] = v;
        return true;
    }
    case Type::Uint32: {
        uint32_t v = 0;
        if(!scan_u32(value.c_str(), v)) return false;
        static_cast<uint32_t*>(data)[i] = v;
        return true;
    }
    case Type::HexUint64: {
        if(value.length < 16) return false;
        uint64_t v = 0;
        for(size_t k = 0; k < 16; ++k) {
            const int n = hex_nibble(value.text[k]);
            if(n < 0) return false;
            v = v << 4 | static_cast<uint64_t>(n);
        }
        static_cast<uint64_t*>(data)[i] = v;
        return true;
    }
    case Type::Bool:
        static_cast<bool*>(data)[i] = strcasecmp(value.c_str(), "true") == 0;
        return true;
    }
    return false;
}

// Values already parsed stay in `data` when a later one fails.
bool read_values(
    FlipperFormat* ff,
    const char* key,
    Type type,
    void* data,
    uint16_t count,
    const char* what) {
    require_format(ff, what);
    require_key(key, what);
    if(data == nullptr && count > 0) host::fatal("%s: data is null", what);
    if(!seek_to_key(*ff, key, ff->strict)) return false;
    Token value;
    for(uint16_t i = 0; i < count; ++i) {
        bool last = false;
        if(!read_value(*ff, value, last)) return false;
        if(!parse_value(type, value, data, i)) return false;
        if(last && i != count - 1) return false; // too few values
    }
    return true;
}

// ---- Writing ----

bool write_key(FlipperFormat& ff, const char* key) {
    return stream_write_str(ff, key) && stream_write(ff, &kDelimiter, 1) &&
           stream_write(ff, " ", 1);
}

bool format_value(Type type, const void* data, size_t i, char* out, size_t size) {
    switch(type) {
    case Type::Hex:
        return std::snprintf(out, size, "%02X", static_cast<const uint8_t*>(data)[i]) > 0;
    case Type::Float:
        return std::snprintf(
                   out, size, "%f", static_cast<double>(static_cast<const float*>(data)[i])) > 0;
    case Type::Int32:
        return std::snprintf(out, size, "%" PRIi32, static_cast<const int32_t*>(data)[i]) > 0;
    case Type::Uint32:
        return std::snprintf(out, size, "%" PRIu32, static_cast<const uint32_t*>(data)[i]) > 0;
    case Type::HexUint64: {
        const uint64_t v = static_cast<const uint64_t*>(data)[i];
        return std::snprintf(
                   out,
                   size,
                   "%08" PRIX32 "%08" PRIX32,
                   static_cast<uint32_t>(v >> 32),
                   static_cast<uint32_t>(v)) > 0;
    }
    case Type::Bool:
        return std::snprintf(
                   out, size, "%s", static_cast<const bool*>(data)[i] ? "true" : "false") > 0;
    }
    return false;
}

bool write_values(
    FlipperFormat* ff,
    const char* key,
    Type type,
    const void* data,
    uint16_t count,
    const char* what) {
    require_format(ff, what);
    require_key(key, what);
    if(data == nullptr && count > 0) host::fatal("%s: data is null", what);
    if(!write_key(*ff, key)) return false;
    char value[64]; // "%f" of FLT_MAX is 46 characters
    for(uint16_t i = 0; i < count; ++i) {
        if(!format_value(type, data, i, value, sizeof value - 1)) return false;
        if(i + 1 < count) std::strcat(value, " ");
        if(!stream_write_str(*ff, value)) return false;
    }
    return stream_write(*ff, &kEoln, 1);
}

bool write_string(FlipperFormat* ff, const char* key, const char* data, const char* what) {
    require_format(ff, what);
    require_key(key, what);
    if(data == nullptr) host::fatal("%s: data is null", what);
    return write_key(*ff, key) && stream_write_str(*ff, data) && stream_write(*ff, &kEoln, 1);
}

bool write_comment(FlipperFormat* ff, const char* text, const char* what) {
    require_format(ff, what);
    if(text == nullptr) host::fatal("%s: data is null", what);
    return stream_write(*ff, "# ", 2) && stream_write_str(*ff, text) &&
           stream_write(*ff, &kEoln, 1);
}

bool open_file(
    FlipperFormat* ff,
    const char* path,
    FS_AccessMode access,
    FS_OpenMode mode,
    const char* what) {
    require_file(ff, what);
    host::NotNull<const char>{"path"}(path, what);
    return storage_file_open(ff->file, path, access, mode);
}

FlipperFormat* alloc_file(Storage* storage, const char* what) {
    host::NotNull<Storage>{"storage"}(storage, what);
    FlipperFormat* ff = host::make_tracked<FlipperFormat>();
    ff->kind = FlipperFormatKind::File;
    ff->file = storage_file_alloc(storage);
    return ff;
}

} // namespace

extern "C" {

FlipperFormat* flipper_format_string_alloc() {
    FlipperFormat* ff = host::make_tracked<FlipperFormat>();
    ff->kind = FlipperFormatKind::String;
    ff->text = furi_string_alloc();
    return ff;
}

FlipperFormat* flipper_format_file_alloc(Storage* storage) {
    return alloc_file(storage, "flipper_format_file_alloc");
}

// The buffered variants behave like the plain ones here: every write goes straight to the file.
FlipperFormat* flipper_format_buffered_file_alloc(Storage* storage) {
    return alloc_file(storage, "flipper_format_buffered_file_alloc");
}

bool flipper_format_file_open_existing(FlipperFormat* flipper_format, const char* path) {
    return open_file(
        flipper_format,
        path,
        FSAM_READ_WRITE,
        FSOM_OPEN_EXISTING,
        "flipper_format_file_open_existing");
}

bool flipper_format_buffered_file_open_existing(FlipperFormat* flipper_format, const char* path) {
    return open_file(
        flipper_format,
        path,
        FSAM_READ_WRITE,
        FSOM_OPEN_EXISTING,
        "flipper_format_buffered_file_open_existing");
}

bool flipper_format_file_open_append(FlipperFormat* flipper_format, const char* path) {
    if(!open_file(
           flipper_format,
           path,
           FSAM_READ_WRITE,
           FSOM_OPEN_APPEND,
           "flipper_format_file_open_append"))
        return false;
    // A file that doesn't end with a newline gets one, so the next key starts its own line.
    FlipperFormat& ff = *flipper_format;
    const size_t size = stream_size(ff);
    if(size == 0) return true;
    uint8_t last = 0;
    if(!stream_seek_to(ff, static_cast<int64_t>(size) - 1) || stream_read(ff, &last, 1) != 1)
        return false;
    return last == kEoln || stream_write(ff, &kEoln, 1);
}

bool flipper_format_file_open_always(FlipperFormat* flipper_format, const char* path) {
    return open_file(
        flipper_format,
        path,
        FSAM_READ_WRITE,
        FSOM_CREATE_ALWAYS,
        "flipper_format_file_open_always");
}

bool flipper_format_buffered_file_open_always(FlipperFormat* flipper_format, const char* path) {
    return open_file(
        flipper_format,
        path,
        FSAM_READ_WRITE,
        FSOM_CREATE_ALWAYS,
        "flipper_format_buffered_file_open_always");
}

bool flipper_format_file_open_new(FlipperFormat* flipper_format, const char* path) {
    return open_file(
        flipper_format, path, FSAM_READ_WRITE, FSOM_CREATE_NEW, "flipper_format_file_open_new");
}

bool flipper_format_file_close(FlipperFormat* flipper_format) {
    return storage_file_close(require_file(flipper_format, "flipper_format_file_close")->file);
}

bool flipper_format_buffered_file_close(FlipperFormat* flipper_format) {
    return storage_file_close(
        require_file(flipper_format, "flipper_format_buffered_file_close")->file);
}

void flipper_format_free(FlipperFormat* flipper_format) {
    require_format(flipper_format, "flipper_format_free");
    if(flipper_format->file != nullptr) {
        storage_file_close(flipper_format->file);
        storage_file_free(flipper_format->file);
    }
    if(flipper_format->text != nullptr) furi_string_free(flipper_format->text);
    host::destroy_tracked(flipper_format);
}

void flipper_format_set_strict_mode(FlipperFormat* flipper_format, bool strict_mode) {
    require_format(flipper_format, "flipper_format_set_strict_mode")->strict = strict_mode;
}

bool flipper_format_rewind(FlipperFormat* flipper_format) {
    return stream_seek_to(*require_format(flipper_format, "flipper_format_rewind"), 0);
}

bool flipper_format_seek_to_end(FlipperFormat* flipper_format) {
    FlipperFormat& ff = *require_format(flipper_format, "flipper_format_seek_to_end");
    return stream_seek_to(ff, static_cast<int64_t>(stream_size(ff)));
}

bool flipper_format_key_exist(FlipperFormat* flipper_format, const char* key) {
    FlipperFormat& ff = *require_format(flipper_format, "flipper_format_key_exist");
    require_key(key, "flipper_format_key_exist");
    const size_t position = stream_tell(ff);
    stream_seek_to(ff, 0);
    const bool found = seek_to_key(ff, key, false);
    stream_seek_to(ff, static_cast<int64_t>(position));
    return found;
}

bool flipper_format_read_header(
    FlipperFormat* flipper_format,
    FuriString* filetype,
    uint32_t* version) {
    return flipper_format_read_string(flipper_format, kFiletypeKey, filetype) &&
           flipper_format_read_uint32(flipper_format, kVersionKey, version, 1);
}

bool flipper_format_write_header(
    FlipperFormat* flipper_format,
    FuriString* filetype,
    const uint32_t version) {
    if(filetype == nullptr) host::fatal("flipper_format_write_header: filetype is null");
    return flipper_format_write_header_cstr(
        flipper_format, furi_string_get_cstr(filetype), version);
}

bool flipper_format_write_header_cstr(
    FlipperFormat* flipper_format,
    const char* filetype,
    const uint32_t version) {
    return flipper_format_write_string_cstr(flipper_format, kFiletypeKey, filetype) &&
           flipper_format_write_uint32(flipper_format, kVersionKey, &version, 1);
}

bool flipper_format_get_value_count(
    FlipperFormat* flipper_format,
    const char* key,
    uint32_t* count) {
    FlipperFormat& ff = *require_format(flipper_format, "flipper_format_get_value_count");
    require_key(key, "flipper_format_get_value_count");
    if(count == nullptr) host::fatal("flipper_format_get_value_count: count is null");
    const size_t position = stream_tell(ff);
    bool result = false;
    if(seek_to_key(ff, key, ff.strict)) {
        *count = 0;
        result = true;
        Token value;
        while(true) {
            bool last = false;
            if(!read_value(ff, value, last)) {
                result = false; // an empty line has no values: false
                break;
            }
            ++*count;
            if(last) break;
        }
    }
    if(!stream_seek_to(ff, static_cast<int64_t>(position))) result = false;
    return result;
}

bool flipper_format_read_string(FlipperFormat* flipper_format, const char* key, FuriString* data) {
    FlipperFormat& ff = *require_format(flipper_format, "flipper_format_read_string");
    require_key(key, "flipper_format_read_string");
    if(data == nullptr) host::fatal("flipper_format_read_string: data is null");
    return seek_to_key(ff, key, ff.strict) && read_line(ff, data);
}

bool flipper_format_write_string(FlipperFormat* flipper_format, const char* key, FuriString* data) {
    if(data == nullptr) host::fatal("flipper_format_write_string: data is null");
    return write_string(
        flipper_format, key, furi_string_get_cstr(data), "flipper_format_write_string");
}

bool flipper_format_write_string_cstr(
    FlipperFormat* flipper_format,
    const char* key,
    const char* data) {
    return write_string(flipper_format, key, data, "flipper_format_write_string_cstr");
}

bool flipper_format_read_hex_uint64(
    FlipperFormat* flipper_format,
    const char* key,
    uint64_t* data,
    const uint16_t data_size) {
    return read_values(
        flipper_format, key, Type::HexUint64, data, data_size, "flipper_format_read_hex_uint64");
}

bool flipper_format_write_hex_uint64(
    FlipperFormat* flipper_format,
    const char* key,
    const uint64_t* data,
    const uint16_t data_size) {
    return write_values(
        flipper_format, key, Type::HexUint64, data, data_size, "flipper_format_write_hex_uint64");
}

bool flipper_format_read_uint32(
    FlipperFormat* flipper_format,
    const char* key,
    uint32_t* data,
    const uint16_t data_size) {
    return read_values(
        flipper_format, key, Type::Uint32, data, data_size, "flipper_format_read_uint32");
}

bool flipper_format_write_uint32(
    FlipperFormat* flipper_format,
    const char* key,
    const uint32_t* data,
    const uint16_t data_size) {
    return write_values(
        flipper_format, key, Type::Uint32, data, data_size, "flipper_format_write_uint32");
}

bool flipper_format_read_int32(
    FlipperFormat* flipper_format,
    const char* key,
    int32_t* data,
    const uint16_t data_size) {
    return read_values(
        flipper_format, key, Type::Int32, data, data_size, "flipper_format_read_int32");
}

bool flipper_format_write_int32(
    FlipperFormat* flipper_format,
    const char* key,
    const int32_t* data,
    const uint16_t data_size) {
    return write_values(
        flipper_format, key, Type::Int32, data, data_size, "flipper_format_write_int32");
}

bool flipper_format_read_bool(
    FlipperFormat* flipper_format,
    const char* key,
    bool* data,
    const uint16_t data_size) {
    return read_values(
        flipper_format, key, Type::Bool, data, data_size, "flipper_format_read_bool");
}

bool flipper_format_write_bool(
    FlipperFormat* flipper_format,
    const char* key,
    const bool* data,
    const uint16_t data_size) {
    return write_values(
        flipper_format, key, Type::Bool, data, data_size, "flipper_format_write_bool");
}

bool flipper_format_read_float(
    FlipperFormat* flipper_format,
    const char* key,
    float* data,
    const uint16_t data_size) {
    return read_values(
        flipper_format, key, Type::Float, data, data_size, "flipper_format_read_float");
}

bool flipper_format_write_float(
    FlipperFormat* flipper_format,
    const char* key,
    const float* data,
    const uint16_t data_size) {
    return write_values(
        flipper_format, key, Type::Float, data, data_size, "flipper_format_write_float");
}

bool flipper_format_read_hex(
    FlipperFormat* flipper_format,
    const char* key,
    uint8_t* data,
    const uint16_t data_size) {
    return read_values(flipper_format, key, Type::Hex, data, data_size, "flipper_format_read_hex");
}

bool flipper_format_write_hex(
    FlipperFormat* flipper_format,
    const char* key,
    const uint8_t* data,
    const uint16_t data_size) {
    return write_values(
        flipper_format, key, Type::Hex, data, data_size, "flipper_format_write_hex");
}

bool flipper_format_write_comment(FlipperFormat* flipper_format, FuriString* data) {
    if(data == nullptr) host::fatal("flipper_format_write_comment: data is null");
    return write_comment(
        flipper_format, furi_string_get_cstr(data), "flipper_format_write_comment");
}

bool flipper_format_write_comment_cstr(FlipperFormat* flipper_format, const char* data) {
    return write_comment(flipper_format, data, "flipper_format_write_comment_cstr");
}

} // extern "C"

namespace host {

void flipper_format_set_text(FlipperFormat* flipper_format, std::string_view text) {
    FlipperFormat& ff = *require_format(flipper_format, "flipper_format_set_text");
    if(ff.kind != FlipperFormatKind::String)
        host::fatal("flipper_format_set_text: the FlipperFormat was not allocated as a string");
    furi_string_reset(ff.text);
    for(char c : text) furi_string_push_back(ff.text, c);
    ff.position = 0;
}

std::string flipper_format_text(FlipperFormat* flipper_format) {
    FlipperFormat& ff = *require_format(flipper_format, "flipper_format_text");
    if(ff.kind != FlipperFormatKind::String)
        host::fatal("flipper_format_text: the FlipperFormat was not allocated as a string");
    return std::string(furi_string_get_cstr(ff.text), furi_string_size(ff.text));
}

} // namespace host
