// libFuzzer target: arbitrary bytes as a tag file's content, loaded by the tag file store the way
// uhf_file_select loads a chosen file (uhf_device_load: loading callback, key-value parse, error
// dialog, holder update), from a file on the host SD card.
//
// After every load: the callback ran true then false; the holder holds a tag whose sizes are
// within the record's capacities; success shows no dialog and failure exactly one of the two load
// messages; a tag that loaded saves and loads back unchanged; nothing leaks, no file stays open.
// Message dialogs answer at once (no user), so nothing blocks.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include <furi.h>

#include "host/dialogs.h"
#include "host/memory.h"
#include "host/runtime.h"
#include "host/storage.h"
#include "store/uhf_device.h"

namespace {

constexpr std::size_t kMaxInput = 4096;

std::filesystem::path card_folder() {
    const std::filesystem::path shm("/dev/shm");
    const std::filesystem::path base =
        std::filesystem::is_directory(shm) ? shm : std::filesystem::temp_directory_path();
    return base / ("fuzz_tag_file_" + std::to_string(::getpid()));
}

void check(bool ok) {
    if(!ok) __builtin_trap();
}

struct Calls {
    int count = 0;
    bool last = false;
    bool order_ok = true;
    static void record(void* context, bool state) {
        auto* calls = static_cast<Calls*>(context);
        if(state == calls->last || (calls->count == 0 && !state)) calls->order_ok = false;
        calls->last = state;
        ++calls->count;
    }
};

struct Harness {
    host::Runtime runtime{host::RuntimeOptions{.virtual_time_limit = 0, .log_to_stderr = false}};
    host::StorageService storage{runtime, card_folder(), "corvane"};
    host::DialogsService dialogs{runtime};
    UHFTagWrapper* wrapper = nullptr;
    UHFDevice* dev = nullptr;
    std::filesystem::path file;

    Harness() {
        dialogs.answer_messages_with(DialogMessageButtonBack);
        wrapper = uhf_tag_wrapper_alloc();
        uhf_tag_wrapper_set_tag(wrapper, uhf_tag_alloc()); // a held tag, as after a read
        dev = uhf_device_alloc();
        dev->uhf_tag_wrapper = wrapper;
        file = *storage.resolve("/ext/fuzz.uhf");
    }
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

struct Snapshot {
    uint16_t pc, crc;
    std::vector<uint8_t> epc, tid, user;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(UHFTag* tag) {
    check(uhf_tag_get_epc_size(tag) <= UHF_TAG_EPC_CAPACITY);
    check(uhf_tag_get_tid_size(tag) <= UHF_TAG_TID_CAPACITY);
    check(uhf_tag_get_user_size(tag) <= UHF_TAG_USER_CAPACITY);
    return {
        uhf_tag_get_epc_pc(tag),
        uhf_tag_get_epc_crc(tag),
        {uhf_tag_get_epc(tag), uhf_tag_get_epc(tag) + uhf_tag_get_epc_size(tag)},
        {uhf_tag_get_tid(tag), uhf_tag_get_tid(tag) + uhf_tag_get_tid_size(tag)},
        {uhf_tag_get_user(tag), uhf_tag_get_user(tag) + uhf_tag_get_user_size(tag)}};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if(size > kMaxInput) return 0;
    Harness& h = harness();
    {
        std::ofstream out(h.file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        check(out.good());
    }
    const std::size_t blocks_before = host::memory::stats().live_blocks;
    h.dialogs.clear_history();

    Calls calls;
    uhf_device_set_loading_callback(h.dev, Calls::record, &calls);
    const bool loaded = uhf_device_load(h.dev, "/ext/fuzz.uhf");
    check(calls.count == 2 && calls.order_ok && !calls.last);
    check(h.wrapper->uhf_tag != nullptr);
    const Snapshot tag = snapshot(h.wrapper->uhf_tag);

    const std::vector<std::string> messages = h.dialogs.messages();
    if(loaded) {
        check(messages.empty());
        // What loaded saves and loads back unchanged.
        check(uhf_device_save(h.dev, "round_trip"));
        uhf_device_set_loading_callback(h.dev, nullptr, nullptr);
        check(uhf_device_load(h.dev, "/data/round_trip.uhf"));
        check(snapshot(h.wrapper->uhf_tag) == tag);
    } else {
        check(messages.size() == 1);
        check(messages[0] == "Can not parse\nfile" || messages[0] == "File format deprecated");
    }
    uhf_device_set_loading_callback(h.dev, nullptr, nullptr);

    check(host::memory::stats().live_blocks == blocks_before);
    check(h.storage.open_count() == 0);
    return 0;
}
