// The tag file store against the host SD card, the key-value library and the real dialogs: file
// layout, paths, the load's rules and outcomes, card faults, and the dialogs that block until a key.
#include "store/uhf_device.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <sstream>
#include <vector>

#include "dialogs_fixture.h"

namespace store_test {
namespace {

using dialogs_test::DialogsFixture;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

constexpr const char* kParse = "Can not parse\nfile";
constexpr const char* kDeprecated = "File format deprecated";
constexpr const char* kSave = "Can not save\nfile";
constexpr const char* kRemove = "Can not remove file";
constexpr const char* kData = "apps_data/corvane";

const std::string kExample = "Filetype: Flipper UHF RFID device\n"
                             "Version: 1\n"
                             "PC: 30 00\n"
                             "CRC: F9 83\n"
                             "EPC_LENGTH: 12\n"
                             "EPC: E2 00 00 17 22 10 01 23 45 67 89 AB\n"
                             "TID_LENGTH: 12\n"
                             "TID: E2 00 34 12 01 23 45 67 89 AB CD EF\n"
                             "USER_LENGTH: 10\n"
                             "USER: 00 11 22 33 44 55 66 77 88 99\n";

struct TagValue {
    uint16_t pc = 0;
    uint16_t crc = 0;
    Bytes epc;
    Bytes tid;
    Bytes user;
    bool operator==(const TagValue&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TagValue& tag) {
    auto bytes = [&](const Bytes& b) {
        out << "[";
        for(uint8_t v : b) out << " " << std::hex << int(v) << std::dec;
        out << " ]";
    };
    out << "pc " << std::hex << tag.pc << " crc " << tag.crc << std::dec << " epc";
    bytes(tag.epc);
    out << " tid";
    bytes(tag.tid);
    out << " user";
    bytes(tag.user);
    return out;
}

const TagValue kExampleTag = {
    0x3000,
    0xF983,
    {0xE2, 0x00, 0x00, 0x17, 0x22, 0x10, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB},
    {0xE2, 0x00, 0x34, 0x12, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF},
    {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99}};

Bytes counting(std::size_t n, uint8_t from) {
    Bytes bytes(n);
    for(std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(from + i);
    return bytes;
}

// " 00 01 02 ..." with n bytes.
std::string hex_run(std::size_t n) {
    std::string text;
    char byte[4];
    for(std::size_t i = 0; i < n; ++i) {
        std::snprintf(byte, sizeof byte, " %02X", static_cast<unsigned>(i & 0xFF));
        text += byte;
    }
    return text;
}

std::string replace(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    if(at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

class StoreTest : public DialogsFixture {
protected:
    StoreTest() {
        wrapper_ = uhf_tag_wrapper_alloc();
        dev_ = uhf_device_alloc();
        dev_->uhf_tag_wrapper = wrapper_;
    }

    ~StoreTest() override {
        finish_app();
        uhf_device_free(dev_);
        uhf_tag_wrapper_free(wrapper_);
    }

    void hold(const TagValue& value) {
        UHFTag* tag = uhf_tag_alloc();
        uhf_tag_set_epc_pc(tag, value.pc);
        uhf_tag_set_epc_crc(tag, value.crc);
        uhf_tag_set_epc(tag, value.epc.data(), value.epc.size());
        uhf_tag_set_tid(tag, value.tid.data(), value.tid.size());
        uhf_tag_set_user(tag, value.user.data(), value.user.size());
        uhf_tag_wrapper_set_tag(wrapper_, tag);
    }

    TagValue held() const {
        UHFTag* tag = wrapper_->uhf_tag;
        TagValue value;
        if(tag == nullptr) return value;
        value.pc = uhf_tag_get_epc_pc(tag);
        value.crc = uhf_tag_get_epc_crc(tag);
        value.epc.assign(uhf_tag_get_epc(tag), uhf_tag_get_epc(tag) + uhf_tag_get_epc_size(tag));
        value.tid.assign(uhf_tag_get_tid(tag), uhf_tag_get_tid(tag) + uhf_tag_get_tid_size(tag));
        value.user.assign(
            uhf_tag_get_user(tag), uhf_tag_get_user(tag) + uhf_tag_get_user_size(tag));
        return value;
    }

    /// Runs fn on the app thread, answers every dialog that shows with Back and returns the
    /// message texts shown meanwhile.
    std::vector<std::string> answering(std::function<void()> fn) {
        const std::size_t before = dialogs_.messages().size();
        run_app(std::move(fn));
        for(int i = 0; i < 10 && app_running(); ++i) {
            if(dialogs_.showing())
                press(InputKeyBack);
            else
                settle();
        }
        EXPECT_FALSE(app_running()) << "the call did not return";
        join_app();
        const std::vector<std::string> all = dialogs_.messages();
        return {all.begin() + static_cast<std::ptrdiff_t>(before), all.end()};
    }

    std::vector<std::string> save(const char* name, bool* result) {
        return answering([=, this] { *result = uhf_device_save(dev_, name); });
    }

    std::vector<std::string> load(const std::string& path, bool* result) {
        return answering([=, this] { *result = uhf_device_load(dev_, path.c_str()); });
    }

    std::vector<std::string> remove(bool use_load_path, bool* result) {
        return answering([=, this] { *result = uhf_device_delete(dev_, use_load_path); });
    }

    /// uhf_file_select, choosing the browser's entry `presses` Downs below ". ." in /data (after
    /// entering `folder_presses` Downs + OK first when >= 0).
    std::vector<std::string> select(int presses, bool* result, int folder_presses = -1) {
        const std::size_t before = dialogs_.messages().size();
        run_app([=, this] { *result = uhf_file_select(dev_); });
        if(folder_presses >= 0) {
            for(int i = 0; i < folder_presses; ++i) press(InputKeyDown);
            press(InputKeyOk);
        }
        for(int i = 0; i < presses; ++i) press(InputKeyDown);
        press(InputKeyOk);
        for(int i = 0; i < 10 && app_running(); ++i) {
            if(dialogs_.showing())
                press(InputKeyBack);
            else
                settle();
        }
        join_app();
        const std::vector<std::string> all = dialogs_.messages();
        return {all.begin() + static_cast<std::ptrdiff_t>(before), all.end()};
    }

    std::optional<std::string> card_file(const std::string& sd_path) const {
        std::ifstream in(root_ / sd_path, std::ios::binary);
        if(!in) return std::nullopt;
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::vector<std::string> files_in(const std::string& sd_folder) const {
        std::vector<std::string> names;
        std::error_code error;
        for(const auto& entry : fs::directory_iterator(root_ / sd_folder, error))
            names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    UHFTagWrapper* wrapper_ = nullptr;
    UHFDevice* dev_ = nullptr;
};

// ---- Saving -------------------------------------------------------------------------------------

TEST_F(StoreTest, SavesTheExampleTagByteForByteAndReadsItBack) {
    hold(kExampleTag);
    bool ok = false;
    EXPECT_TRUE(save("Tag1", &ok).empty());
    EXPECT_TRUE(ok);
    EXPECT_EQ(card_file(std::string(kData) + "/Tag1.uhf"), kExample);
    EXPECT_EQ(files_in(kData), std::vector<std::string>{"Tag1.uhf"}); // no temporary file left
    // The name belongs to the saved tag for as long as the holder keeps it.
    EXPECT_STREQ(uhf_device_get_own_name(dev_), "Tag1");

    hold({});
    EXPECT_EQ(uhf_device_get_own_name(dev_), nullptr);
    EXPECT_TRUE(load("/data/Tag1.uhf", &ok).empty());
    EXPECT_TRUE(ok);
    EXPECT_EQ(held(), kExampleTag);
    EXPECT_STREQ(uhf_device_get_own_name(dev_), "Tag1");
}

TEST_F(StoreTest, RoundTripsOfEmptyAndFullBanks) {
    const struct {
        const char* name;
        TagValue tag;
        const char* tid_line; // as written
    } cases[] = {
        {"empty", {0, 0, {}, {}, {}}, "TID: \n"},
        {"epc only", {0x3000, 0x1234, counting(12, 0xE0), {}, {}}, "TID: \n"},
        {"full",
         {0xFFFF, 0xABCD, counting(18, 1), counting(16, 0x80), counting(64, 0xC0)},
         "TID: 80 81 82 83 84 85 86 87 88 89 8A 8B 8C 8D 8E 8F\n"},
    };
    for(const auto& c : cases) {
        SCOPED_TRACE(c.name);
        hold(c.tag);
        bool ok = false;
        EXPECT_TRUE(save("Round", &ok).empty());
        ASSERT_TRUE(ok);
        const std::string text = *card_file(std::string(kData) + "/Round.uhf");
        EXPECT_NE(text.find(c.tid_line), std::string::npos) << text;
        hold({1, 1, {1}, {1}, {1}});
        EXPECT_TRUE(load("/data/Round.uhf", &ok).empty());
        EXPECT_TRUE(ok);
        EXPECT_EQ(held(), c.tag);
    }
}

TEST_F(StoreTest, SavingReplacesAnExistingFile) {
    touch(std::string(kData) + "/Tag1.uhf", std::string(500, 'x'));
    hold(kExampleTag);
    bool ok = false;
    EXPECT_TRUE(save("Tag1", &ok).empty());
    EXPECT_TRUE(ok);
    EXPECT_EQ(card_file(std::string(kData) + "/Tag1.uhf"), kExample);
}

TEST_F(StoreTest, SavesGoToDataUntilAFileWasLoadedThenNextToIt) {
    touch(std::string(kData) + "/sub/Old.uhf", kExample);
    hold(kExampleTag);
    bool ok = false;
    save("Tag1", &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(card_file(std::string(kData) + "/Tag1.uhf"), kExample);
    fs::remove(root_ / kData / "Tag1.uhf");

    EXPECT_TRUE(select(1, &ok, 1).empty()); // ". .", "sub": enter it, choose Old
    ASSERT_EQ(
        std::string(furi_string_get_cstr(dev_->load_path)), "/ext/apps_data/corvane/sub/Old.uhf");
    EXPECT_TRUE(ok);
    EXPECT_STREQ(dev_->dev_name, "Old");
    save("Tag2", &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(card_file(std::string(kData) + "/sub/Tag2.uhf"), kExample);
    EXPECT_FALSE(card_file(std::string(kData) + "/Tag2.uhf"));
}

// Card faults during a save over an existing file: the old file survives byte for byte and no
// temporary file is left; the user sees "Can not save\nfile".
TEST_F(StoreTest, AFailedSaveKeepsTheOldFileIntact) {
    const std::string old = replace(kExample, "PC: 30 00", "PC: 11 11");
    const struct {
        const char* name;
        std::function<void(host::StorageService&)> fault;
    } cases[] = {
        {"full card", [](host::StorageService& s) { s.set_space_left(100); }},
        {"full card, nothing left", [](host::StorageService& s) { s.set_space_left(0); }},
        {"I/O error at the first write", [](host::StorageService& s) { s.fail_write(1); }},
        {"I/O error at the 9th write", [](host::StorageService& s) { s.fail_write(9); }},
        {"read-only card", [](host::StorageService& s) { s.set_read_only(true); }},
    };
    for(const auto& c : cases) {
        SCOPED_TRACE(c.name);
        touch(std::string(kData) + "/Tag1.uhf", old);
        hold(kExampleTag);
        c.fault(storage_);
        bool ok = true;
        EXPECT_EQ(save("Tag1", &ok), std::vector<std::string>{kSave});
        EXPECT_FALSE(ok);
        storage_.clear_faults();
        EXPECT_EQ(card_file(std::string(kData) + "/Tag1.uhf"), old);
        EXPECT_EQ(files_in(kData), std::vector<std::string>{"Tag1.uhf"});
        EXPECT_EQ(storage_.open_count(), 0u);
    }
}

TEST_F(StoreTest, NoCardAndPathsOutOfTheCardFailWithTheirMessages) {
    hold(kExampleTag);
    bool ok = true;
    EXPECT_EQ(save("../../../../outside", &ok), std::vector<std::string>{kSave});
    EXPECT_FALSE(ok);
    EXPECT_FALSE(fs::exists(root_.parent_path() / "outside.uhf"));
    EXPECT_EQ(load("/ext/../../etc/passwd", &ok), std::vector<std::string>{kParse});
    EXPECT_FALSE(ok);

    touch(std::string(kData) + "/Tag1.uhf", kExample);
    storage_.set_card_inserted(false);
    EXPECT_EQ(save("Tag1", &ok), std::vector<std::string>{kSave});
    EXPECT_FALSE(ok);
    EXPECT_EQ(load("/data/Tag1.uhf", &ok), std::vector<std::string>{kParse});
    EXPECT_FALSE(ok);
    uhf_device_set_name(dev_, "Tag1");
    EXPECT_EQ(remove(true, &ok), std::vector<std::string>{kRemove});
    EXPECT_FALSE(ok);
    storage_.set_card_inserted(true);
    EXPECT_EQ(card_file(std::string(kData) + "/Tag1.uhf"), kExample);
}

// ---- Loading ------------------------------------------------------------------------------------

TEST_F(StoreTest, LoadOutcomes) {
    TagValue epc_only = kExampleTag;
    epc_only.tid.clear();
    epc_only.user.clear();
    TagValue pc_crc = {0x3000, 0xF983, {}, {}, {}};
    TagValue epc_tid = kExampleTag;
    epc_tid.user.clear();
    TagValue cut_user = kExampleTag; // the USER size is set before its bytes are read
    cut_user.user = {0x00, 0x11, 0x22, 0, 0, 0, 0, 0, 0, 0};

    std::string crlf;
    for(char ch : kExample) {
        if(ch == '\n') crlf += '\r';
        crlf += ch;
    }
    // Every value after the header in lower case.
    std::string lower;
    std::istringstream lines(kExample);
    for(std::string line; std::getline(lines, line);) {
        const std::size_t colon = line.find(':');
        if(line.rfind("Filetype", 0) != 0)
            for(std::size_t i = colon; i < line.size(); ++i)
                line[i] = static_cast<char>(std::tolower(line[i]));
        lower += line + "\n";
    }

    const struct {
        const char* name;
        std::string content;
        const char* message; // null: no dialog
        TagValue tag;
    } cases[] = {
        {"example", kExample, nullptr, kExampleTag},
        {"CRLF line ends", crlf, nullptr, kExampleTag},
        {"lower-case hex", lower, nullptr, kExampleTag},
        {"comment between keys",
         replace(kExample, "TID_LENGTH", "# read 2024\nTID_LENGTH"),
         nullptr,
         kExampleTag},
        {"extra values ignored",
         replace(kExample, "PC: 30 00", "PC: 30 00 77 88"),
         nullptr,
         kExampleTag},
        {"no final newline", kExample.substr(0, kExample.size() - 1), nullptr, kExampleTag},
        {"no TID and USER",
         replace(
             replace(
                 replace(
                     replace(kExample, "TID_LENGTH: 12", "TID_LENGTH: 0"),
                     "TID: E2 00 34 12 01 23 45 67 89 AB CD EF",
                     "TID: "),
                 "USER_LENGTH: 10",
                 "USER_LENGTH: 0"),
             "USER: 00 11 22 33 44 55 66 77 88 99",
             "USER: "),
         nullptr,
         epc_only},
        {"version 2", replace(kExample, "Version: 1", "Version: 2"), kDeprecated, {}},
        {"other file type", replace(kExample, "UHF RFID", "NFC"), kDeprecated, {}},
        {"keys out of order",
         replace(replace(kExample, "PC: 30 00\n", ""), "CRC: F9 83\n", "CRC: F9 83\nPC: 30 00\n"),
         kParse,
         {0x3000, 0, {}, {}, {}}},
        {"no TID_LENGTH", replace(kExample, "TID_LENGTH: 12\n", ""), kParse, epc_only},
        {"truncated last line", kExample.substr(0, kExample.find("33 44")), kParse, cut_user},
        {"EPC_LENGTH 19", replace(kExample, "EPC_LENGTH: 12", "EPC_LENGTH: 19"), kParse, pc_crc},
        {"EPC_LENGTH 19 with 19 bytes",
         replace(
             replace(kExample, "EPC_LENGTH: 12", "EPC_LENGTH: 19"),
             "89 AB\nTID_LENGTH",
             "89 AB 01 02 03 04 05 06 07\nTID_LENGTH"),
         kParse,
         pc_crc},
        {"EPC_LENGTH -1", replace(kExample, "EPC_LENGTH: 12", "EPC_LENGTH: -1"), kParse, pc_crc},
        {"TID_LENGTH 17", replace(kExample, "TID_LENGTH: 12", "TID_LENGTH: 17"), kParse, epc_only},
        {"USER_LENGTH 65",
         replace(kExample, "USER_LENGTH: 10", "USER_LENGTH: 65"),
         kParse,
         epc_tid},
        {"USER_LENGTH 65 with 65 bytes",
         replace(
             replace(kExample, "USER_LENGTH: 10", "USER_LENGTH: 65"),
             "USER: 00 11 22 33 44 55 66 77 88 99",
             "USER:" + hex_run(65)),
         kParse,
         epc_tid},
        {"USER_LENGTH 100000",
         replace(kExample, "USER_LENGTH: 10", "USER_LENGTH: 100000"),
         kParse,
         epc_tid},
        {"empty file", "", kParse, {}},
        {"no header", kExample.substr(kExample.find("PC:")), kParse, {}},
        {"binary", std::string("\x00\xff\x01:\n\n:::\x7f", 10), kParse, {}},
    };
    for(const auto& c : cases) {
        SCOPED_TRACE(c.name);
        touch(std::string(kData) + "/t.uhf", c.content);
        hold({9, 9, {9}, {9}, {9}}); // the load replaces it in every case
        bool ok = !c.message;
        const std::vector<std::string> shown = load("/data/t.uhf", &ok);
        EXPECT_EQ(ok, c.message == nullptr);
        EXPECT_EQ(
            shown, c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
        EXPECT_EQ(held(), c.tag);
        // Only a tag loaded whole is the file's own.
        EXPECT_EQ(uhf_device_get_own_name(dev_) != nullptr, c.message == nullptr);
    }
}

TEST_F(StoreTest, AMissingFileIsAParseError) {
    hold(kExampleTag);
    bool ok = true;
    EXPECT_EQ(load("/data/none.uhf", &ok), std::vector<std::string>{kParse});
    EXPECT_FALSE(ok);
    EXPECT_EQ(held(), TagValue{}); // the earlier tag is gone
}

struct CallbackLog {
    struct Call {
        bool state;
        bool dialog_showing;
    };
    host::DialogsService* dialogs = nullptr;
    std::vector<Call> calls;

    static void record(void* context, bool state) {
        auto* log = static_cast<CallbackLog*>(context);
        log->calls.push_back({state, log->dialogs->showing()});
    }
};

// The chosen file's name goes into dev_name (21 characters at most); the loading callback runs
// with true before the file is read and with false before the error dialog, which blocks the
// select until a key.
TEST_F(StoreTest, SelectNamesTheDeviceAndCallsBackBeforeTheBlockingErrorDialog) {
    touch(
        std::string(kData) + "/ABCDEFGHIJKLMNOPQRSTUVWXYZ.uhf",
        replace(kExample, "Version: 1", "Version: 2"));
    CallbackLog log{&dialogs_, {}};
    uhf_device_set_loading_callback(dev_, CallbackLog::record, &log);
    std::optional<bool> result;
    run_app([&] { result = uhf_file_select(dev_); });
    press(InputKeyDown);
    press(InputKeyOk);
    EXPECT_TRUE(dialogs_.showing());
    EXPECT_TRUE(screen().contains("File format"));
    EXPECT_FALSE(result.has_value());
    ASSERT_EQ(log.calls.size(), 2u);
    EXPECT_TRUE(log.calls[0].state);
    EXPECT_FALSE(log.calls[1].state);
    EXPECT_FALSE(log.calls[0].dialog_showing || log.calls[1].dialog_showing);
    press(InputKeyOk); // the error message waits for Back or Left
    EXPECT_FALSE(result.has_value());
    press(InputKeyBack);
    join_app();
    EXPECT_EQ(result, false);
    EXPECT_STREQ(dev_->dev_name, "ABCDEFGHIJKLMNOPQRSTU");
    EXPECT_EQ(
        std::string(furi_string_get_cstr(dev_->load_path)),
        "/ext/apps_data/corvane/ABCDEFGHIJKLMNOPQRSTUVWXYZ.uhf");
    EXPECT_EQ(held(), TagValue{});
}

TEST_F(StoreTest, LeavingTheBrowserChangesNothing) {
    touch(std::string(kData) + "/Tag1.uhf", kExample);
    hold(kExampleTag);
    UHFTag* before = wrapper_->uhf_tag;
    uhf_device_set_name(dev_, "Kept");
    CallbackLog log{&dialogs_, {}};
    uhf_device_set_loading_callback(dev_, CallbackLog::record, &log);
    std::optional<bool> result;
    run_app([&] { result = uhf_file_select(dev_); });
    press(InputKeyDown);
    press(InputKeyBack);
    join_app();
    EXPECT_EQ(result, false);
    EXPECT_EQ(wrapper_->uhf_tag, before);
    EXPECT_STREQ(dev_->dev_name, "Kept");
    EXPECT_TRUE(furi_string_empty(dev_->load_path));
    EXPECT_TRUE(log.calls.empty());
    EXPECT_TRUE(dialogs_.messages().empty());
}

// ---- Names and deleting -------------------------------------------------------------------------

TEST_F(StoreTest, SetNameKeepsAtMost21Characters) {
    const struct {
        const char* name;
        const char* want;
    } cases[] = {
        {"", ""},
        {"Tag1", "Tag1"},
        {"ABCDEFGHIJKLMNOPQRSTU", "ABCDEFGHIJKLMNOPQRSTU"},
        {"ABCDEFGHIJKLMNOPQRSTUV", "ABCDEFGHIJKLMNOPQRSTU"}};
    for(const auto& c : cases) {
        uhf_device_set_name(dev_, c.name);
        EXPECT_STREQ(dev_->dev_name, c.want);
    }
}

TEST_F(StoreTest, DeletePathRules) {
    const struct {
        const char* name;
        bool loaded_from_sub; // load_path names sub/Old.uhf
        bool use_load_path;
        const char* removed; // below /data
    } cases[] = {
        {"load path used", true, true, "sub/Old.uhf"},
        {"load path ignored", true, false, "Tag1.uhf"},
        {"no load path", false, true, "Tag1.uhf"},
        {"no load path, not used", false, false, "Tag1.uhf"},
    };
    for(const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for(const char* file : {"Tag1.uhf", "sub/Old.uhf", "sub/Tag1.uhf"})
            touch(std::string(kData) + "/" + file, kExample);
        furi_string_set_str(
            dev_->load_path, c.loaded_from_sub ? "/ext/apps_data/corvane/sub/Old.uhf" : "");
        uhf_device_set_name(dev_, "Tag1");
        bool ok = false;
        EXPECT_TRUE(remove(c.use_load_path, &ok).empty());
        EXPECT_TRUE(ok);
        for(const char* file : {"Tag1.uhf", "sub/Old.uhf", "sub/Tag1.uhf"}) {
            EXPECT_EQ(
                card_file(std::string(kData) + "/" + file).has_value(),
                std::string(file) != c.removed)
                << file;
        }
    }
}

} // namespace
} // namespace store_test
