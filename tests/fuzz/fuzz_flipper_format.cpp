// libFuzzer target: arbitrary file content read through the key-value library the way a tag file
// is read (header, hex arrays sized by uint32 lengths, strings, key_exist, get_value_count), plus
// the other value types.
//
// Input: byte 0 chooses where the text lives (low nibble 1: a file on the card through the storage
// service; else a string, which reads the same through the same parser, several times faster) and
// strict mode (bit 4); the rest is the text. Every read must stay
// within its buffer (guard bytes around each), strings within the library's bound, and nothing
// may leak.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include <flipper_format/flipper_format.h>
#include <furi.h>
#include <storage/storage.h>

#include "host/flipper_format.h"
#include "host/memory.h"
#include "host/runtime.h"
#include "host/storage.h"

namespace {

constexpr std::size_t kMaxInput = 4096;
constexpr std::size_t kMaxString = 8192;
constexpr uint8_t kGuard = 0xA5;

std::filesystem::path card_folder() {
    const std::filesystem::path shm("/dev/shm");
    const std::filesystem::path base =
        std::filesystem::is_directory(shm) ? shm : std::filesystem::temp_directory_path();
    return base / ("fuzz_flipper_format_" + std::to_string(::getpid()));
}

struct Harness {
    host::Runtime runtime{host::RuntimeOptions{.virtual_time_limit = 0, .log_to_stderr = false}};
    host::StorageService service{runtime, card_folder(), "fuzz"};
    Storage* storage = static_cast<Storage*>(furi_record_open(RECORD_STORAGE));
};

Harness& harness() {
    static Harness* h = [] {
        std::atexit([] {
            std::error_code error;
            std::filesystem::remove_all(card_folder(), error);
        });
        return new Harness(); // lives for the whole run
    }();
    return *h;
}

void check(bool ok) {
    if(!ok) __builtin_trap();
}

// A buffer of n values with guard bytes on both sides.
template <typename T, std::size_t N>
struct Guarded {
    uint8_t before[16];
    T values[N];
    uint8_t after[16];
    Guarded() {
        std::memset(before, kGuard, sizeof before);
        std::memset(values, 0, sizeof values);
        std::memset(after, kGuard, sizeof after);
    }
    ~Guarded() {
        for(uint8_t b : before) check(b == kGuard);
        for(uint8_t b : after) check(b == kGuard);
    }
};

void read_like_a_tag_file(FlipperFormat* ff) {
    FuriString* text = furi_string_alloc();
    uint32_t version = 0;
    flipper_format_read_header(ff, text, &version);
    check(furi_string_size(text) <= kMaxString);

    uint32_t count = 0;
    flipper_format_key_exist(ff, "PC");
    flipper_format_get_value_count(ff, "EPC", &count);
    {
        Guarded<uint8_t, 2> pc;
        flipper_format_read_hex(ff, "PC", pc.values, 2);
        flipper_format_read_hex(ff, "CRC", pc.values, 2);
    }
    const char* banks[][2] = {
        {"EPC_LENGTH", "EPC"}, {"TID_LENGTH", "TID"}, {"USER_LENGTH", "USER"}};
    for(const auto& bank : banks) {
        Guarded<uint32_t, 1> length;
        if(!flipper_format_read_uint32(ff, bank[0], length.values, 1)) break;
        Guarded<uint8_t, 64> bytes;
        if(length.values[0] > 64) break; // more than the record holds: refused
        if(!flipper_format_read_hex(
               ff, bank[1], bytes.values, static_cast<uint16_t>(length.values[0])))
            break;
    }

    // The other readers, from the start.
    flipper_format_rewind(ff);
    flipper_format_read_string(ff, "Filetype", text);
    check(furi_string_size(text) <= kMaxString);
    {
        Guarded<int32_t, 4> i;
        flipper_format_read_int32(ff, "I", i.values, 4);
        Guarded<float, 3> f;
        flipper_format_read_float(ff, "F", f.values, 3);
        Guarded<bool, 3> b;
        flipper_format_read_bool(ff, "B", b.values, 3);
        Guarded<uint64_t, 2> w;
        flipper_format_read_hex_uint64(ff, "W", w.values, 2);
        Guarded<uint8_t, 8> h;
        flipper_format_read_hex(ff, "H", h.values, 8);
    }
    flipper_format_key_exist(ff, "USER");
    flipper_format_get_value_count(ff, "USER", &count);
    flipper_format_read_string(ff, "S", text);
    check(furi_string_size(text) <= kMaxString);
    flipper_format_seek_to_end(ff);
    furi_string_free(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if(size < 1 || size > kMaxInput + 1) return 0;
    Harness& h = harness();
    const bool on_card = (data[0] & 0x0F) == 1;
    const bool strict = data[0] & 0x10;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t blocks_before = host::memory::stats().live_blocks;

    FlipperFormat* ff = nullptr;
    if(on_card) {
        File* file = storage_file_alloc(h.storage);
        check(storage_file_open(file, "/ext/fuzz.txt", FSAM_WRITE, FSOM_CREATE_ALWAYS));
        check(
            storage_file_write(file, text.data(), static_cast<uint16_t>(text.size())) ==
            text.size());
        check(storage_file_close(file));
        storage_file_free(file);
        ff = flipper_format_file_alloc(h.storage);
        check(flipper_format_file_open_existing(ff, "/ext/fuzz.txt"));
    } else {
        ff = flipper_format_string_alloc();
        host::flipper_format_set_text(ff, text);
    }
    flipper_format_set_strict_mode(ff, strict);
    read_like_a_tag_file(ff);
    if(!on_card) check(host::flipper_format_text(ff) == text); // reading never changes the text
    flipper_format_free(ff);

    check(host::memory::stats().live_blocks == blocks_before);
    check(h.service.open_count() == 0);
    return 0;
}
