#include "m100.h"

#include <furi.h>
#include <furi_hal.h>

#include <stdlib.h>
#include <string.h>

namespace {

constexpr FuriHalUartId kUart = FuriHalUartIdUSART1;
constexpr uint8_t kHeader = 0xBB;
constexpr uint8_t kEnd = 0x7E;
constexpr uint8_t kErrorCommand = 0xFF;
constexpr uint8_t kCommandInfo = 0x03;
constexpr uint8_t kCommandSelect = 0x0C;
constexpr uint8_t kCommandRead = 0x39;
constexpr uint8_t kCommandWrite = 0x49;
constexpr uint8_t kShortErrorLength = 8; // BB 01 FF 00 01 <err> <cs> 7E
constexpr uint32_t kFrameOverhead = 7;   // header, type, command, PL (2), checksum, end
constexpr const char* kLogModule = "m100";
constexpr const char* kLogWorker = "wkr";

// Info types of the identity query.
constexpr uint8_t kInfoHardware = 0x00;
constexpr uint8_t kInfoSoftware = 0x01;
constexpr uint8_t kInfoManufacturer = 0x02;

// The two words a Reserved-bank write sends: zero, the factory value of both Gen2 passwords.
// At word 0 they clear the kill password (a tag whose kill password is zero cannot be killed),
// at word 2 the access password (the tag no longer needs one).
constexpr uint8_t kReservedWords[4] = {0x00, 0x00, 0x00, 0x00};

// The longest frame is a USER write: 64 data bytes plus 16.
constexpr size_t kWriteFrameCapacity = UHF_TAG_USER_CAPACITY + 16;

/** The bytes received in one exchange. Every accessor is bounded by `size`: positions at or
 *  beyond it still hold earlier replies and are never read. */
struct Reply {
    const uint8_t* data;
    uint32_t size;

    uint8_t operator[](uint32_t position) const {
        furi_check(position < size);
        return data[position];
    }
    /** PL from positions 3 and 4; only when at least 5 bytes arrived. */
    uint32_t payload_length() const {
        return (uint32_t)((*this)[3] << 8) | (*this)[4];
    }
    /** True when the header, the length and all PL payload bytes arrived. */
    bool holds_payload() const {
        return size >= 5 && size >= 5 + payload_length();
    }
};

/** Fills checksum and end byte behind a payload of `payload_length` bytes. */
void seal_frame(uint8_t* frame, size_t payload_length) {
    frame[5 + payload_length] = checksum(frame + 1, 4 + payload_length);
    frame[6 + payload_length] = kEnd;
}

void put_u16(uint8_t* at, uint16_t value) {
    at[0] = (uint8_t)(value >> 8);
    at[1] = (uint8_t)value;
}

void put_u32(uint8_t* at, uint32_t value) {
    at[0] = (uint8_t)(value >> 24);
    at[1] = (uint8_t)(value >> 16);
    at[2] = (uint8_t)(value >> 8);
    at[3] = (uint8_t)value;
}

/** One exchange: reset, register, send, wait the fixed 100 ms, then take what arrived. */
Reply exchange(M100Module* module, uint8_t* frame, size_t length) {
    buffer_reset(module->buffer);
    furi_hal_uart_set_irq_cb(kUart, rx_callback, module->buffer);
    furi_hal_uart_tx(kUart, frame, length);
    furi_delay_ms(M100_REPLY_WAIT_MS);
    // Snapshot the count once: a byte arriving while the reply is judged lands behind it.
    return Reply{buffer_get_data(module->buffer), buffer_get_size(module->buffer)};
}

char* query_identity(M100Module* module, char** field, uint8_t info_type) {
    furi_check(module);
    if(*field) {
        free(*field);
        *field = nullptr;
    }

    uint8_t frame[8] = {kHeader, 0x00, kCommandInfo, 0x00, 0x01, info_type, 0x00, kEnd};
    seal_frame(frame, 1);
    const Reply reply = exchange(module, frame, sizeof(frame));
    if(reply.size == 0) return nullptr;

    // The text is the payload after its info-type byte, positions 6 ... 4+PL, bounded by what
    // actually arrived; a fragment too short to carry PL yields an empty text.
    uint32_t text_length = 0;
    if(reply.size >= 5) {
        const uint32_t promised = reply.payload_length() > 1 ? reply.payload_length() - 1 : 0;
        const uint32_t received = reply.size > 6 ? reply.size - 6 : 0;
        text_length = promised < received ? promised : received;
    }
    char* text = static_cast<char*>(malloc(text_length + 1));
    if(!text) return nullptr;
    if(text_length) memcpy(text, reply.data + 6, text_length);
    text[text_length] = '\0';
    *field = text;
    return text;
}

} // namespace

uint8_t checksum(const uint8_t* data, size_t length) {
    uint8_t sum = 0;
    for(size_t i = 0; i < length; i++) sum = (uint8_t)(sum + data[i]);
    return sum;
}

uint16_t crc16_genibus(const uint8_t* data, size_t length) {
    if(length == 0) return 0x0000;
    uint16_t crc = 0xFFFF;
    for(size_t i = 0; i < length; i++) {
        crc ^= (uint16_t)(data[i] << 8);
        for(int bit = 0; bit < 8; bit++) {
            crc = (crc & 0x8000) ? (uint16_t)((crc << 1) ^ 0x1021) : (uint16_t)(crc << 1);
        }
    }
    return (uint16_t)(crc ^ 0xFFFF);
}

void rx_callback(UartIrqEvent event, uint8_t data, void* context) {
    (void)event;
    Buffer* buffer = static_cast<Buffer*>(context);
    if(!buffer) return;
    // Interrupt context: never grow the block here (the worker may hold its pointer, and the
    // allocator must not run in an interrupt). A reply longer than the block loses its tail.
    buffer_append_within_capacity(buffer, data);
    if(data == kEnd) buffer_close(buffer);
}

M100ModuleInfo* m100_module_info_alloc(void) {
    M100ModuleInfo* info = static_cast<M100ModuleInfo*>(malloc(sizeof(M100ModuleInfo)));
    if(!info) return nullptr;
    info->hw_version = nullptr;
    info->sw_version = nullptr;
    info->manufacturer = nullptr;
    return info;
}

void m100_module_info_free(M100ModuleInfo* info) {
    furi_check(info);
    if(info->hw_version) free(info->hw_version);
    if(info->sw_version) free(info->sw_version);
    if(info->manufacturer) free(info->manufacturer);
    free(info);
}

M100Module* m100_module_alloc(void) {
    M100Module* module = static_cast<M100Module*>(malloc(sizeof(M100Module)));
    if(!module) return nullptr;
    module->info = m100_module_info_alloc();
    module->buffer = buffer_alloc(M100_BUFFER_CAPACITY);
    if(!module->info || !module->buffer) {
        if(module->info) m100_module_info_free(module->info);
        if(module->buffer) buffer_free(module->buffer);
        free(module);
        return nullptr;
    }
    furi_hal_uart_set_br(kUart, M100_BAUDRATE);
    module->baudrate = M100_BAUDRATE;
    return module;
}

void m100_module_free(M100Module* module) {
    furi_check(module);
    // The callback would otherwise keep writing received bytes into the released buffer.
    furi_hal_uart_set_irq_cb(kUart, nullptr, nullptr);
    m100_module_info_free(module->info);
    buffer_free(module->buffer);
    free(module);
}

char* m100_get_hardware_version(M100Module* module) {
    furi_check(module);
    return query_identity(module, &module->info->hw_version, kInfoHardware);
}

char* m100_get_software_version(M100Module* module) {
    furi_check(module);
    return query_identity(module, &module->info->sw_version, kInfoSoftware);
}

char* m100_get_manufacturers(M100Module* module) {
    furi_check(module);
    return query_identity(module, &module->info->manufacturer, kInfoManufacturer);
}

M100ResponseType m100_send_single_poll(M100Module* module, UHFTag* tag) {
    furi_check(module && tag);
    uint8_t frame[7] = {kHeader, 0x00, 0x22, 0x00, 0x00, 0x22, kEnd};
    const Reply reply = exchange(module, frame, sizeof(frame));
    const uint32_t n = reply.size;

    // Nothing, or not even a command byte: no tag answered in this exchange.
    if(n < 3) return M100NoTagResponse;
    // The module's short error reply ("inventory failed").
    if(n <= kShortErrorLength && reply[2] == kErrorCommand) return M100NoTagResponse;
    // A reply cut short before the end of its payload.
    if(!reply.holds_payload()) return M100NoTagResponse;

    if(checksum(reply.data + 1, n - 3) != reply[n - 2]) return M100ValidationFail;

    // Smallest notice: RSSI, PC, CRC (an EPC of zero words) plus the frame overhead.
    if(n < 12) return M100ValidationFail;
    const uint32_t epc_length = (uint32_t)(reply[6] >> 3) * 2;
    if(epc_length > UHF_TAG_EPC_CAPACITY) return M100ValidationFail;
    // The PC announces more EPC than the reply carries before its checksum.
    if(n < 12 + epc_length) return M100ValidationFail;

    const uint16_t reported_crc = (uint16_t)((reply[8 + epc_length] << 8) | reply[9 + epc_length]);
    if(crc16_genibus(reply.data + 6, epc_length + 2) != reported_crc) return M100ValidationFail;

    uhf_tag_set_epc_pc(tag, (uint16_t)((reply[6] << 8) | reply[7]));
    uhf_tag_set_epc_crc(tag, reported_crc);
    uhf_tag_set_epc(tag, reply.data + 8, epc_length);
    return M100SuccessResponse;
}

M100ResponseType m100_set_select(M100Module* module, UHFTag* tag) {
    furi_check(module && tag);
    const uint32_t epc_length = uhf_tag_get_epc_size(tag);
    if(epc_length > UHF_TAG_EPC_CAPACITY) return M100ValidationFail;

    // Select parameter 0x01 (target S0, action 0, bank EPC), pointer bit 32 (the first EPC bit,
    // behind StoredCRC and PC), mask length in bits, no truncation, then the EPC as the mask.
    uint8_t frame[14 + UHF_TAG_EPC_CAPACITY] = {
        kHeader, 0x00, kCommandSelect, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00};
    const size_t payload_length = epc_length + 7;
    put_u16(frame + 3, (uint16_t)payload_length);
    frame[10] = (uint8_t)(epc_length * 8);
    if(epc_length) memcpy(frame + 12, uhf_tag_get_epc(tag), epc_length);
    seal_frame(frame, payload_length);

    const Reply reply = exchange(module, frame, epc_length + 14);
    // The reply's status byte and checksum must have arrived; an error reply is no acceptance.
    if(reply.size < 7 || reply[2] == kErrorCommand) return M100ValidationFail;
    if(checksum(reply.data + 1, 5) == reply[6] && reply[5] == 0x00) return M100SuccessResponse;
    return M100ValidationFail;
}

M100ResponseType m100_read_label_data_storage(
    M100Module* module,
    UHFTag* tag,
    BankType bank,
    uint32_t access_pwd,
    uint16_t word_count) {
    furi_check(module && tag);
    // The EPC bank's words arrive with every poll; there is nothing to read.
    if(bank == EPCBank) return M100SuccessResponse;

    uint8_t frame[16] = {kHeader, 0x00, kCommandRead, 0x00, 0x09};
    put_u32(frame + 5, access_pwd);
    frame[9] = (uint8_t)bank;
    put_u16(frame + 10, 0x0000);
    put_u16(frame + 12, word_count);
    seal_frame(frame, 9);

    const Reply reply = exchange(module, frame, sizeof(frame));
    if(reply.size < 5) return M100NoTagResponse;
    const uint32_t payload_length = reply.payload_length();
    if(reply[2] == kErrorCommand) {
        return payload_length == 1 ? M100NoTagResponse : M100MemoryOverrun;
    }
    if(!reply.holds_payload()) return M100NoTagResponse;

    // Payload: UL, PC (2), the EPC the tag already holds, then the data.
    const uint32_t epc_length = uhf_tag_get_epc_size(tag);
    if(epc_length > UHF_TAG_EPC_CAPACITY || payload_length < epc_length + 3) {
        return M100ValidationFail;
    }
    const uint32_t data_length = payload_length - epc_length - 3;
    const uint8_t* data = reply.data + 8 + epc_length;
    if(bank == TIDBank) {
        if(data_length > UHF_TAG_TID_CAPACITY) return M100ValidationFail;
        uhf_tag_set_tid(tag, data, data_length);
    } else if(bank == UserBank) {
        if(data_length > UHF_TAG_USER_CAPACITY) return M100ValidationFail;
        uhf_tag_set_user(tag, data, data_length);
    }
    return M100SuccessResponse;
}

M100ResponseType m100_write_label_data_storage(
    M100Module* module,
    UHFTag* source,
    BankType bank,
    uint16_t start_address,
    uint32_t access_pwd) {
    furi_check(module && source);
    uint8_t frame[kWriteFrameCapacity] = {kHeader, 0x00, kCommandWrite};
    uint8_t* data = frame + 14;
    size_t data_length = 0;

    switch(bank) {
    case EPCBank: {
        // The EPC bank from word 0: StoredCRC as the tag holds it, PC, EPC.
        const uint32_t epc_length = uhf_tag_get_epc_size(source);
        if(epc_length > UHF_TAG_EPC_CAPACITY) return M100ValidationFail;
        put_u16(data, uhf_tag_get_epc_crc(source));
        put_u16(data + 2, uhf_tag_get_epc_pc(source));
        if(epc_length) memcpy(data + 4, uhf_tag_get_epc(source), epc_length);
        data_length = epc_length + 4;
        break;
    }
    case UserBank: {
        const uint32_t user_length = uhf_tag_get_user_size(source);
        if(user_length > UHF_TAG_USER_CAPACITY) return M100ValidationFail;
        if(user_length) memcpy(data, uhf_tag_get_user(source), user_length);
        data_length = user_length;
        break;
    }
    case ReservedBank:
        memcpy(data, kReservedWords, sizeof(kReservedWords));
        data_length = sizeof(kReservedWords);
        break;
    default:
        return M100MemoryOverrun;
    }

    if(bank == EPCBank) {
        furi_log_print_format(
            FuriLogLevelError, kLogWorker, "%04X", (unsigned)uhf_tag_get_epc_pc(source));
    }

    const size_t payload_length = data_length + 9;
    put_u16(frame + 3, (uint16_t)payload_length);
    put_u32(frame + 5, access_pwd);
    frame[9] = (uint8_t)bank;
    put_u16(frame + 10, start_address);
    put_u16(frame + 12, (uint16_t)(data_length / 2));
    seal_frame(frame, payload_length);
    const size_t frame_length = payload_length + kFrameOverhead;

    for(size_t i = 0; i < frame_length; i++) {
        furi_log_print_format(
            FuriLogLevelError, kLogModule, "cmd[%d]=%02X", (int)i, (unsigned)frame[i]);
    }

    const Reply reply = exchange(module, frame, frame_length);
    if(reply.size < 3) return M100NoTagResponse;
    if(reply[2] == kErrorCommand) {
        return reply.size == kShortErrorLength ? M100NoTagResponse : M100ValidationFail;
    }
    // A success reply cut short is no confirmation; the worker's retry writes the same words.
    if(!reply.holds_payload()) return M100NoTagResponse;
    return M100SuccessResponse;
}
