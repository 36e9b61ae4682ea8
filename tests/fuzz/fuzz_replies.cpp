// libFuzzer target: arbitrary bytes as the module's reply to each command, delivered through
// the real receive path (UART byte by byte into rx_callback), in virtual time.
//
// Input: byte 0 picks the command (low nibble) and the size of the EPC, USER data and password
// the tag brings along (high nibble); the rest is the reply, sent exactly as given. After every
// command the tag's sizes must be within their capacities, the receive buffer must not have
// grown and must hold exactly the reply's first bytes up to its end byte (position 6 + PL) or its
// capacity, the result must be a known code, and nothing may have leaked.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <optional>

#include <furi.h>
#include <furi_hal.h>

#include "devices/scripted_peer.h"
#include "host/memory.h"
#include "host/runtime.h"
#include "module/m100.h"
#include "tag/uhf_tag.h"

namespace {

constexpr std::size_t kMaxReply = 512;

struct Harness {
    host::Runtime runtime{host::RuntimeOptions{.virtual_time_limit = 0, .log_to_stderr = false}};
    M100Module* module = nullptr;
    UHFTag* tag = nullptr;

    Harness() {
        module = m100_module_alloc();
        tag = uhf_tag_alloc();
        if(!module || !tag) std::abort();
        // As the app does while the module is on: USART1 is the console too, and the log lines
        // of each command would otherwise reach the module's receive line (and take most of a
        // run, a byte at a time).
        furi_hal_console_disable();
    }
};

Harness& harness() {
    static Harness* h = new Harness(); // lives for the whole run, like the device's worker
    return *h;
}

void check(bool ok) {
    if(!ok) __builtin_trap();
}

std::size_t identity_strings(const M100ModuleInfo* info) {
    return (info->hw_version != nullptr) + (info->sw_version != nullptr) +
           (info->manufacturer != nullptr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if(size < 1 || size > kMaxReply + 1) return 0;
    Harness& h = harness();
    const uint8_t selector = data[0];
    const unsigned variant = selector >> 4;

    // The tag the command works on: an EPC of 0 ... 18 bytes and some USER data.
    uhf_tag_reset(h.tag);
    uint8_t fill[UHF_TAG_USER_CAPACITY];
    for(std::size_t i = 0; i < sizeof fill; ++i) fill[i] = static_cast<uint8_t>(i * 37 + variant);
    const std::size_t epc_size = (variant * 2) % (UHF_TAG_EPC_CAPACITY + 2);
    uhf_tag_set_epc(h.tag, fill, epc_size);
    uhf_tag_set_epc_pc(h.tag, static_cast<uint16_t>(epc_size / 2 << 11));
    uhf_tag_set_user(h.tag, fill, (variant * 5) % (UHF_TAG_USER_CAPACITY + 1));
    const uint32_t password = variant & 1 ? 0x12345678u : 0u;

    const std::size_t blocks_before =
        host::memory::stats().live_blocks - identity_strings(h.module->info);
    {
        sim::ScriptedPeer peer{h.runtime};
        const unsigned command = selector & 0x0F;
        // An identity query asks once more after a reply that is not a whole frame for it; the
        // module sends the same bytes again, so the checks below hold for either attempt.
        const int replies = command <= 2 ? 2 : 1;
        for(int i = 0; i < replies; ++i) peer.push_reply(sim::yrm100::Bytes(data + 1, data + size));

        int result = M100SuccessResponse;
        switch(command) {
        case 0:
            m100_get_hardware_version(h.module);
            break;
        case 1:
            m100_get_software_version(h.module);
            break;
        case 2:
            m100_get_manufacturers(h.module);
            break;
        case 3:
            result = m100_send_single_poll(h.module, h.tag);
            break;
        case 4:
            result = m100_set_select(h.module, h.tag);
            break;
        case 5:
            result = m100_read_label_data_storage(h.module, h.tag, TIDBank, password, 8);
            break;
        case 6:
            result = m100_read_label_data_storage(h.module, h.tag, UserBank, password, 32);
            break;
        case 7:
            result = m100_read_label_data_storage(h.module, h.tag, ReservedBank, password, 4);
            break;
        case 8:
            result = m100_write_label_data_storage(h.module, h.tag, EPCBank, 0, password);
            break;
        case 9:
            result = m100_write_label_data_storage(h.module, h.tag, UserBank, 2, password);
            break;
        case 10:
            result = m100_write_label_data_storage(h.module, h.tag, ReservedBank, 2, password);
            break;
        default:
            result = m100_read_label_data_storage(h.module, h.tag, EPCBank, password, 6);
            break;
        }
        check(result >= M100SuccessResponse && result <= M100MemoryOverrun);

        // The receive path stores the reply as sent, closes exactly at its end byte and keeps
        // nothing behind it. Commands 11-15 read the EPC bank, which sends nothing.
        const Buffer* buf = h.module->buffer;
        if(command <= 10) {
            const std::size_t reply_size = size - 1;
            check(buf->size <= reply_size);
            check(buf->size == 0 || std::memcmp(buf->data, data + 1, buf->size) == 0);
            const bool has_length = buf->size >= FRAME_POS_PAYLOAD;
            const uint32_t end = has_length ? frame_length(frame_get_payload_length(buf->data)) :
                                              0;
            if(buf->closed) {
                check(has_length && buf->size == end);
            } else {
                check(!has_length || buf->size < end);
                // Open and short of the end: every byte sent was stored, unless the block is full.
                check(buf->size == reply_size || buf->size == buf->capacity);
            }
        }
    }
    // Whatever the reply still had in flight does not reach the next input.
    h.runtime.uart(FuriHalUartIdUSART1).drop_pending_to_device();
    h.runtime.uart(FuriHalUartIdUSART1).clear_transmitted();
    h.runtime.log().clear();

    check(uhf_tag_get_epc_size(h.tag) <= UHF_TAG_EPC_CAPACITY);
    check(uhf_tag_get_tid_size(h.tag) <= UHF_TAG_TID_CAPACITY);
    check(uhf_tag_get_user_size(h.tag) <= UHF_TAG_USER_CAPACITY);
    check(h.module->buffer->capacity == M100_BUFFER_CAPACITY);
    check(buffer_get_size(h.module->buffer) <= h.module->buffer->capacity);
    for(char* text :
        {h.module->info->hw_version, h.module->info->sw_version, h.module->info->manufacturer}) {
        if(text) check(std::strlen(text) < M100_BUFFER_CAPACITY);
    }
    check(host::memory::stats().live_blocks - identity_strings(h.module->info) == blocks_before);
    return 0;
}
