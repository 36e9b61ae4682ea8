// The key-value file library: the reading rules as a table of file texts and the results of a
// series of reads (run on a file on the card and on a string), and the exact bytes it writes.
#include <flipper_format/flipper_format.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/flipper_format.h"
#include "storage_fixture.h"

namespace storage_test {
namespace {

enum class Op {
    Header,
    String,
    Uint32,
    Hex,
    Int32,
    Bool,
    KeyExist,
    Count,
    Rewind,
    Strict
};

struct Step {
    Op op;
    const char* key;
    uint16_t n; // values asked for
    bool ok;
    std::vector<uint32_t> values =
        {};                // after the call, the n slots (0xEE: untouched), or the count
    std::string text = {}; // string value / file type
};

struct Case {
    const char* name;
    std::string file;
    std::vector<Step> steps;
};

constexpr uint32_t U = 0xEE; // a slot the read left alone

// Runs the steps on an open FlipperFormat and reports the first difference.
void run_steps(FlipperFormat* ff, const Case& c) {
    for(size_t s = 0; s < c.steps.size(); ++s) {
        const Step& step = c.steps[s];
        SCOPED_TRACE(
            testing::Message()
            << c.name << ", step " << s << " (" << (step.key ? step.key : "") << ")");
        FuriString* text = furi_string_alloc();
        std::vector<uint32_t> got;
        bool ok = false;
        switch(step.op) {
        case Op::Header: {
            uint32_t version = U;
            ok = flipper_format_read_header(ff, text, &version);
            got = {version};
        } break;
        case Op::String:
            ok = flipper_format_read_string(ff, step.key, text);
            break;
        case Op::Uint32: {
            std::vector<uint32_t> v(step.n, U);
            ok = flipper_format_read_uint32(ff, step.key, v.data(), step.n);
            got = v;
        } break;
        case Op::Int32: {
            std::vector<int32_t> v(step.n, static_cast<int32_t>(U));
            ok = flipper_format_read_int32(ff, step.key, v.data(), step.n);
            got.assign(v.begin(), v.end());
        } break;
        case Op::Hex: {
            std::vector<uint8_t> v(step.n, static_cast<uint8_t>(U));
            ok = flipper_format_read_hex(ff, step.key, v.data(), step.n);
            got.assign(v.begin(), v.end());
        } break;
        case Op::Bool: {
            bool v[8];
            std::memset(v, 0, sizeof v);
            ok = flipper_format_read_bool(ff, step.key, v, step.n);
            got.assign(v, v + step.n);
        } break;
        case Op::KeyExist:
            ok = flipper_format_key_exist(ff, step.key);
            break;
        case Op::Count: {
            uint32_t count = U;
            ok = flipper_format_get_value_count(ff, step.key, &count);
            got = {count};
        } break;
        case Op::Rewind:
            ok = flipper_format_rewind(ff);
            break;
        case Op::Strict:
            flipper_format_set_strict_mode(ff, step.n != 0);
            ok = true;
            break;
        }
        EXPECT_EQ(ok, step.ok);
        if(!step.values.empty()) {
            EXPECT_EQ(got, step.values);
        }
        EXPECT_EQ(std::string(furi_string_get_cstr(text), furi_string_size(text)), step.text);
        furi_string_free(text);
    }
}

const std::vector<Case>& cases() {
    static const std::vector<Case> all = {
        {"a tag file",
         "Filetype: Flipper UHF RFID device\nVersion: 1\nPC: 30 00\nCRC: F9 83\nEPC_LENGTH: 12\n"
         "EPC: E2 00 00 17 22 10 01 23 45 67 89 AB\nTID_LENGTH: 0\nTID: \nUSER_LENGTH: 0\nUSER: \n",
         {{Op::Header, nullptr, 0, true, {1}, "Flipper UHF RFID device"},
          {Op::Hex, "PC", 2, true, {0x30, 0x00}},
          {Op::Hex, "CRC", 2, true, {0xF9, 0x83}},
          {Op::Count, "EPC", 0, true, {12}},
          {Op::Uint32, "EPC_LENGTH", 1, true, {12}},
          {Op::Hex,
           "EPC",
           12,
           true,
           {0xE2, 0, 0, 0x17, 0x22, 0x10, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB}},
          {Op::Uint32, "TID_LENGTH", 1, true, {0}},
          {Op::Count, "TID", 0, false, {0}}, // an empty array has no values to count
          {Op::Hex, "TID", 0, true},         // but reading none of them works
          {Op::Uint32, "USER_LENGTH", 1, true, {0}},
          {Op::Hex, "USER", 0, true}}},
        {"forward search only; a missing key leaves the reader at the end",
         "A: 1\nB: 2\nC: 3\n",
         {{Op::Uint32, "B", 1, true, {2}},
          {Op::Uint32, "A", 1, false, {U}}, // behind the reader
          {Op::Uint32, "C", 1, false, {U}}, // the failed search ran to the end
          {Op::KeyExist, "A", 0, true},     // from the start, keeping the position (the end)
          {Op::Uint32, "C", 1, false, {U}},
          {Op::Rewind, nullptr, 0, true},
          {Op::Uint32, "C", 1, true, {3}}}},
        {"key_exist and get_value_count keep the position",
         "A: 1\nB: 2 3\nC: 4\n",
         {{Op::Uint32, "A", 1, true, {1}},
          {Op::KeyExist, "C", 0, true},
          {Op::KeyExist, "Z", 0, false},
          {Op::Count, "B", 0, true, {2}},
          {Op::Uint32, "B", 2, true, {2, 3}},
          {Op::Count, "A", 0, false, {U}},
          {Op::Uint32, "C", 1, true, {4}}}},
        {"comments, lines without ':' and lines starting with ':' are skipped",
         "# A: 1\nA 2\n: A: 3\n #A: 4\nA: 5\n",
         {{Op::Uint32, "A", 1, true, {5}}}},
        {"keys match exactly, case and all",
         "AB: 1\na: 2\nA : 3\nA: 4\n",
         {{Op::Uint32, "A", 1, true, {4}}}},
        {"CR is ignored in keys, values and strings",
         "Filetype: Test\r\nVersion: 2\r\nK\rey: AB\r CD\r\nS: x\ry\r\n",
         {{Op::Header, nullptr, 0, true, {2}, "Test"},
          {Op::Hex, "Key", 2, true, {0xAB, 0xCD}},
          {Op::String, "S", 0, true, {}, "xy"}}},
        {"hex: two characters at least, only the first two count, either case",
         "H: ABC de 0f\nH: A 01\nH: 0G\nH: 1\n",
         {{Op::Hex, "H", 3, true, {0xAB, 0xDE, 0x0F}},
          {Op::Hex, "H", 2, false, {U, U}},
          {Op::Hex, "H", 1, false, {U}},
          {Op::Hex, "H", 1, false, {U}}}},
        {"uint32 reads like sscanf %lu",
         "N: 12abc -1 4294967296 +7 0x10 007\nN: abc\nN: -\n",
         {{Op::Uint32, "N", 6, true, {12, 4294967295u, 4294967295u, 7, 0, 7}},
          {Op::Uint32, "N", 1, false, {U}},
          {Op::Uint32, "N", 1, false, {U}}}},
        {"int32 reads like sscanf %li",
         "I: 0x10 -5 010 99999999999 -99999999999\n",
         {{Op::Int32, "I", 5, true, {16, static_cast<uint32_t>(-5), 8, 2147483647u, 0x80000000u}}}},
        {"bool is \"true\" in any case, anything else false",
         "B: TRUE false yes\n",
         {{Op::Bool, "B", 3, true, {1, 0, 0}}}},
        {"too few values fail, keeping what was read; extra values are ignored",
         "H: 01 02\nH: 01 ZZ 03\nH: 01 02 03 04\nN: 1\tx\n",
         {{Op::Hex, "H", 4, false, {0x01, 0x02, U, U}},
          {Op::Hex, "H", 3, false, {0x01, U, U}},
          {Op::Hex, "H", 2, true, {0x01, 0x02}},
          {Op::Uint32, "N", 1, true, {1}}}},
        {"empty arrays: true for none when the key exists, false for one",
         "E: \nE: \nF:",
         {{Op::Hex, "E", 0, true},
          {Op::Hex, "E", 1, false, {U}},
          {Op::Hex, "F", 0, false}}}, // "F:" at the very end: nothing after the ':' to skip
        {"strings: the rest of the line after ': ', empty is false",
         "S: \nS:  two spaces \nS:x\nS: last",
         {{Op::String, "S", 0, false},
          {Op::String, "S", 0, true, {}, " two spaces "},
          {Op::String, "S", 0, false}, // ":x" skips the 'x' too, leaving nothing
          {Op::String, "S", 0, true, {}, "last"}}},
        {"the character after ':' is skipped whatever it is",
         "Key:value\nN:12\n",
         {{Op::String, "Key", 0, true, {}, "alue"}, {Op::Uint32, "N", 1, true, {2}}}},
        {"a value right before the end of the file",
         "V: 7",
         {{Op::Uint32, "V", 1, true, {7}}, {Op::Uint32, "V", 1, false, {U}}}},
        {"a NUL ends a key as a C string",
         std::string("A\0junk: 5\n", 10),
         {{Op::Uint32, "A", 1, true, {5}}}},
        {"strict mode stops at the first other key",
         "A: 1\nB: 2\n",
         {{Op::Strict, nullptr, 1, true},
          {Op::Uint32, "B", 1, false, {U}},
          {Op::Rewind, nullptr, 0, true},
          {Op::Uint32, "A", 1, true, {1}},
          {Op::Uint32, "B", 1, true, {2}}}},
        {"a header needs Filetype then Version",
         "Version: 1\nFiletype: X\n",
         {{Op::Header, nullptr, 0, false, {U}, "X"}}},
    };
    return all;
}

class KeyValueFiles : public StorageFixture {};

TEST_F(KeyValueFiles, ReadRulesOnAFile) {
    for(const Case& c : cases()) {
        host_write("apps_data/corvane/case.txt", c.file);
        FlipperFormat* ff = flipper_format_file_alloc(storage_);
        ASSERT_TRUE(flipper_format_file_open_existing(ff, "/data/case.txt"));
        run_steps(ff, c);
        flipper_format_free(ff);
    }
    EXPECT_EQ(service_.open_count(), 0u);
}

TEST_F(KeyValueFiles, ReadRulesOnAString) {
    for(const Case& c : cases()) {
        FlipperFormat* ff = flipper_format_string_alloc();
        host::flipper_format_set_text(ff, c.file);
        run_steps(ff, c);
        flipper_format_free(ff);
    }
}

TEST_F(KeyValueFiles, WritesTheExactBytes) {
    FlipperFormat* ff = flipper_format_file_alloc(storage_);
    ASSERT_TRUE(flipper_format_file_open_always(ff, "/data/out.txt"));
    const uint8_t pc[] = {0x30, 0x0a};
    const uint32_t numbers[] = {0, 4294967295u};
    const int32_t signed_numbers[] = {-5, 7};
    const bool flags[] = {true, false};
    const float reals[] = {1.5f};
    const uint64_t wide[] = {0x0123456789ABCDEFull};
    FuriString* type = furi_string_alloc_set_str("Flipper UHF RFID device");
    EXPECT_TRUE(flipper_format_write_header(ff, type, 1));
    EXPECT_TRUE(flipper_format_write_comment_cstr(ff, "a comment"));
    EXPECT_TRUE(flipper_format_write_hex(ff, "PC", pc, 2));
    EXPECT_TRUE(flipper_format_write_hex(ff, "TID", pc, 0));
    EXPECT_TRUE(flipper_format_write_uint32(ff, "N", numbers, 2));
    EXPECT_TRUE(flipper_format_write_int32(ff, "I", signed_numbers, 2));
    EXPECT_TRUE(flipper_format_write_bool(ff, "B", flags, 2));
    EXPECT_TRUE(flipper_format_write_float(ff, "F", reals, 1));
    EXPECT_TRUE(flipper_format_write_hex_uint64(ff, "W", wide, 1));
    EXPECT_TRUE(flipper_format_write_string_cstr(ff, "S", "two words"));
    EXPECT_TRUE(flipper_format_write_string(ff, "T", type));
    EXPECT_TRUE(flipper_format_write_comment(ff, type));
    EXPECT_TRUE(flipper_format_file_close(ff));
    flipper_format_free(ff);
    furi_string_free(type);
    EXPECT_EQ(
        host_read("apps_data/corvane/out.txt"),
        "Filetype: Flipper UHF RFID device\nVersion: 1\n# a comment\nPC: 30 0A\nTID: \nN: 0 4294967295\n"
        "I: -5 7\nB: true false\nF: 1.500000\nW: 0123456789ABCDEF\nS: two words\n"
        "T: Flipper UHF RFID device\n# Flipper UHF RFID device\n");

    // Read back: every value as written.
    ff = flipper_format_file_alloc(storage_);
    ASSERT_TRUE(flipper_format_file_open_existing(ff, "/data/out.txt"));
    uint32_t n[2] = {};
    float f = 0;
    uint64_t w = 0;
    EXPECT_TRUE(flipper_format_read_uint32(ff, "N", n, 2));
    EXPECT_EQ(n[1], 4294967295u);
    EXPECT_TRUE(flipper_format_read_float(ff, "F", &f, 1));
    EXPECT_EQ(f, 1.5f);
    EXPECT_TRUE(flipper_format_read_hex_uint64(ff, "W", &w, 1));
    EXPECT_EQ(w, wide[0]);
    EXPECT_TRUE(flipper_format_seek_to_end(ff));
    EXPECT_FALSE(flipper_format_key_exist(ff, "Missing"));
    flipper_format_free(ff);
}

TEST_F(KeyValueFiles, OpenModes) {
    FlipperFormat* ff = flipper_format_file_alloc(storage_);
    EXPECT_FALSE(flipper_format_file_open_existing(ff, "/data/missing.txt"));
    EXPECT_TRUE(flipper_format_file_close(ff)); // closing after a failed open is harmless
    host_write("apps_data/corvane/f.txt", "A: 1");
    EXPECT_FALSE(flipper_format_file_open_new(ff, "/data/f.txt"));
    ASSERT_TRUE(flipper_format_file_open_append(ff, "/data/f.txt")); // adds the missing newline
    const uint32_t two = 2;
    EXPECT_TRUE(flipper_format_write_uint32(ff, "B", &two, 1));
    EXPECT_TRUE(flipper_format_file_close(ff));
    EXPECT_EQ(host_read("apps_data/corvane/f.txt"), "A: 1\nB: 2\n");
    ASSERT_TRUE(flipper_format_file_open_always(ff, "/data/f.txt")); // empties it
    EXPECT_TRUE(flipper_format_file_close(ff));
    EXPECT_EQ(host_read("apps_data/corvane/f.txt"), "");
    flipper_format_free(ff);

    // The string variant writes the same text.
    ff = flipper_format_string_alloc();
    EXPECT_TRUE(flipper_format_write_header_cstr(ff, "T", 3));
    EXPECT_EQ(host::flipper_format_text(ff), "Filetype: T\nVersion: 3\n");
    flipper_format_free(ff);
}

TEST_F(KeyValueFiles, WritesFailOnAFullOrFailingCard) {
    const uint8_t bytes[] = {1, 2, 3};
    service_.set_space_left(20);
    FlipperFormat* ff = flipper_format_file_alloc(storage_);
    ASSERT_TRUE(flipper_format_file_open_always(ff, "/ext/f.txt"));
    EXPECT_FALSE(flipper_format_write_header_cstr(ff, "T", 1)); // 23 bytes do not fit in 20
    flipper_format_free(ff);
    EXPECT_EQ(host_read("f.txt")->size(), 20u);

    service_.set_space_left(std::nullopt);
    ff = flipper_format_file_alloc(storage_);
    ASSERT_TRUE(flipper_format_file_open_always(ff, "/ext/f.txt"));
    service_.fail_write(3); // the key and ':' go out, the blank after them fails
    EXPECT_FALSE(flipper_format_write_hex(ff, "H", bytes, 3));
    EXPECT_FALSE(flipper_format_write_hex(ff, "H", bytes, 3)); // the file object stays spoilt
    flipper_format_free(ff);
    EXPECT_EQ(host_read("f.txt"), "H:");

    service_.set_read_only(true);
    ff = flipper_format_file_alloc(storage_);
    EXPECT_FALSE(flipper_format_file_open_existing(ff, "/ext/f.txt")); // it opens for writing too
    flipper_format_free(ff);
}

TEST_F(KeyValueFiles, HostileFilesEndEveryReadSafely) {
    struct Hostile {
        const char* name;
        std::string text;
        bool string_read; // what read_string("S") gives
    };
    const std::vector<Hostile> files = {
        {"one huge line, no newline", std::string(300000, 'x'), false},
        {"a huge key", std::string(70000, 'S') + ": 1\nS: ok\n", true},
        {"a string value over the limit", "S: " + std::string(20000, 'y') + "\n", false},
        {"a huge value token", "H: " + std::string(100000, 'A') + "\nS: ok", true},
        {"binary", std::string("\xff\x00\n:\r#\x01S\x00: \x80\n", 13), false},
        {"only colons", std::string(5000, ':'), false},
        {"only newlines", std::string(5000, '\n'), false},
    };
    for(const Hostile& h : files) {
        SCOPED_TRACE(h.name);
        host_write("hostile.txt", h.text);
        FlipperFormat* ff = flipper_format_file_alloc(storage_);
        ASSERT_TRUE(flipper_format_file_open_existing(ff, "/ext/hostile.txt"));
        FuriString* s = furi_string_alloc();
        uint32_t version = 0;
        uint8_t hex[4] = {};
        uint32_t count = 0;
        EXPECT_FALSE(flipper_format_read_header(ff, s, &version));
        EXPECT_TRUE(flipper_format_rewind(ff));
        EXPECT_EQ(flipper_format_read_string(ff, "S", s), h.string_read);
        EXPECT_LE(furi_string_size(s), 8192u);
        EXPECT_TRUE(flipper_format_rewind(ff));
        flipper_format_read_hex(ff, "H", hex, 4);
        flipper_format_get_value_count(ff, "H", &count);
        flipper_format_key_exist(ff, "S");
        furi_string_free(s);
        flipper_format_free(ff);
    }
}

} // namespace
} // namespace storage_test
