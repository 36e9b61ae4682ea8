#include "m100.h"

#include <furi.h>
#include <furi_hal.h>

#include <stdlib.h>
#include <string.h>

namespace {

#if !M100_SERIAL_API
constexpr FuriHalUartId kUart = FuriHalUartIdUSART1;
#endif
constexpr uint8_t kCommandInfo = 0x03;
constexpr uint8_t kCommandPoll = 0x22;
constexpr uint8_t kCommandSelect = 0x0C;
constexpr uint8_t kCommandRead = 0x39;
constexpr uint8_t kCommandWrite = 0x49;
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

// Payload of a read or write before the write's data: password (4), bank, start word (2),
// word count (2).
constexpr uint32_t kAccessParameters = 9;
// The longest frame is a USER write: 64 data bytes plus 16.
constexpr size_t kWriteFrameCapacity = UHF_TAG_USER_CAPACITY + kAccessParameters + FRAME_OVERHEAD;
static_assert(kWriteFrameCapacity == 80, "a USER write of 64 bytes is 80 bytes long");
static_assert(kWriteFrameCapacity <= M100_BUFFER_CAPACITY, "replies as long as a write fit");

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
        furi_check(size >= FRAME_POS_PAYLOAD);
        return frame_get_payload_length(data);
    }
    /** True when the header, the length and all PL payload bytes arrived. */
    bool holds_payload() const {
        return size >= FRAME_POS_PAYLOAD && size >= FRAME_POS_PAYLOAD + payload_length();
    }
    /** True when the whole frame arrived, through its checksum and end byte. */
    bool holds_frame() const { return frame_is_complete(data, size); }
};

#if M100_SERIAL_API
/** Takes the USART, sets it to 115200 baud and starts receiving into the buffer; false (with a
 *  log line) while another owner holds it. */
bool acquire_serial(M100Module* module) {
    if(module->serial) return true;
    module->serial = furi_hal_serial_control_acquire(FuriHalSerialIdUsart);
    if(!module->serial) {
        FURI_LOG_E(kLogModule, "USART held by another owner");
        return false;
    }
    furi_hal_serial_init(module->serial, M100_BAUDRATE);
    furi_hal_serial_async_rx_start(module->serial, rx_callback, module->buffer, false);
    return true;
}
#endif

/** One exchange: reset, register, send, wait the fixed 100 ms, then take what arrived. */
Reply exchange(M100Module* module, uint8_t* frame, size_t length) {
    buffer_reset(module->buffer);
#if M100_SERIAL_API
    // Without the USART nothing is sent and nothing comes back, as from a missing module.
    if(acquire_serial(module)) furi_hal_serial_tx(module->serial, frame, length);
#else
    furi_hal_uart_set_irq_cb(kUart, rx_callback, module->buffer);
    furi_hal_uart_tx(kUart, frame, length);
#endif
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

    uint8_t frame[FRAME_OVERHEAD + 1];
    frame_begin(frame, kCommandInfo, 1)[0] = info_type;
    const Reply reply = exchange(module, frame, frame_seal(frame));
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

void receive(Buffer* buffer, uint8_t data) {
    if(!buffer) return;
    // Interrupt context: never grow the block here (the worker may hold its pointer, and the
    // allocator must not run in an interrupt). A reply longer than the block loses its tail and
    // then never closes; the bytes after it are dropped all the same.
    if(!buffer_append_within_capacity(buffer, data)) return;
    // The reply ends at its end byte, position 6 + PL, whatever bytes came before: the module
    // escapes nothing, so a 0x7E in the payload or checksum is data. The size grows by one per
    // stored byte, so it meets the frame's length exactly once.
    if(frame_is_complete(buffer->data, buffer->size)) buffer_close(buffer);
}

} // namespace

#if M100_SERIAL_API
void rx_callback(FuriHalSerialHandle* handle, FuriHalSerialRxEvent event, void* context) {
    // The byte must be read even when it is dropped: it is what clears the interrupt.
    if(!(event & FuriHalSerialRxEventData)) return;
    receive(static_cast<Buffer*>(context), furi_hal_serial_async_rx(handle));
}
#else
void rx_callback(UartIrqEvent event, uint8_t data, void* context) {
    (void)event;
    receive(static_cast<Buffer*>(context), data);
}
#endif

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
#if M100_SERIAL_API
    module->serial = nullptr;
    acquire_serial(module);
#else
    furi_hal_uart_set_br(kUart, M100_BAUDRATE);
#endif
    module->baudrate = M100_BAUDRATE;
    return module;
}

void m100_module_free(M100Module* module) {
    furi_check(module);
    // The callback would otherwise keep writing received bytes into the released buffer.
#if M100_SERIAL_API
    if(module->serial) {
        furi_hal_serial_async_rx_stop(module->serial);
        furi_hal_serial_deinit(module->serial);
        furi_hal_serial_control_release(module->serial);
        module->serial = nullptr;
    }
#else
    furi_hal_uart_set_irq_cb(kUart, nullptr, nullptr);
#endif
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
    uint8_t frame[FRAME_OVERHEAD] = {
        FRAME_HEADER, 0x00, kCommandPoll, 0x00, 0x00, 0x22, FRAME_END};
    const Reply reply = exchange(module, frame, sizeof(frame));
    const uint32_t n = reply.size;

    // Nothing, or not even a command byte: no tag answered in this exchange.
    if(n < 3) return M100NoTagResponse;
    // The module's short error reply ("inventory failed").
    if(n <= FRAME_SHORT_ERROR_LENGTH && reply[FRAME_POS_COMMAND] == FRAME_ERROR_COMMAND) {
        return M100NoTagResponse;
    }
    // A notice cut short before its checksum and end byte.
    if(!reply.holds_frame()) return M100NoTagResponse;

    // Notice payload: RSSI, PC (2), EPC (L), CRC (2). The checksum sits at 5 + PL.
    const uint32_t payload_length = reply.payload_length();
    if(checksum(reply.data + FRAME_POS_TYPE, 4 + payload_length) !=
       reply[FRAME_POS_PAYLOAD + payload_length]) {
        return M100ValidationFail;
    }
    // Smallest notice: RSSI, PC and CRC around an EPC of zero words.
    if(payload_length < 5) return M100ValidationFail;
    const uint32_t epc_length = (uint32_t)(reply[6] >> 3) * 2;
    if(epc_length > UHF_TAG_EPC_CAPACITY) return M100ValidationFail;
    // The PC announces more EPC than the notice carries before its CRC.
    if(payload_length < 5 + epc_length) return M100ValidationFail;

    const uint16_t reported_crc = frame_get_u16(reply.data + 8 + epc_length);
    if(crc16_genibus(reply.data + 6, epc_length + 2) != reported_crc) return M100ValidationFail;

    uhf_tag_set_epc_pc(tag, frame_get_u16(reply.data + 6));
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
    uint8_t frame[FRAME_OVERHEAD + 7 + UHF_TAG_EPC_CAPACITY];
    uint8_t* payload = frame_begin(frame, kCommandSelect, (uint16_t)(epc_length + 7));
    payload[0] = 0x01;
    frame_put_u32(payload + 1, 0x00000020);
    payload[5] = (uint8_t)(epc_length * 8);
    payload[6] = 0x00;
    if(epc_length) memcpy(payload + 7, uhf_tag_get_epc(tag), epc_length);

    const Reply reply = exchange(module, frame, frame_seal(frame));
    // The reply's status byte and checksum must have arrived; an error reply is no acceptance,
    // whatever its code byte says.
    if(reply.size < 7 || reply[FRAME_POS_COMMAND] == FRAME_ERROR_COMMAND) {
        return M100ValidationFail;
    }
    if(checksum(reply.data + FRAME_POS_TYPE, 5) == reply[6] && reply[5] == 0x00) {
        return M100SuccessResponse;
    }
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

    uint8_t frame[FRAME_OVERHEAD + kAccessParameters];
    uint8_t* payload = frame_begin(frame, kCommandRead, kAccessParameters);
    frame_put_u32(payload, access_pwd);
    payload[4] = (uint8_t)bank;
    frame_put_u16(payload + 5, 0x0000);
    frame_put_u16(payload + 7, word_count);

    const Reply reply = exchange(module, frame, frame_seal(frame));
    if(reply.size < FRAME_POS_PAYLOAD) return M100NoTagResponse;
    const uint32_t payload_length = reply.payload_length();
    if(reply[FRAME_POS_COMMAND] == FRAME_ERROR_COMMAND) {
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
    uint8_t frame[kWriteFrameCapacity];
    uint8_t* data = frame + FRAME_POS_PAYLOAD + kAccessParameters;
    size_t data_length = 0;

    switch(bank) {
    case EPCBank: {
        // The EPC bank from word 0: StoredCRC as the tag holds it, PC, EPC.
        const uint32_t epc_length = uhf_tag_get_epc_size(source);
        if(epc_length > UHF_TAG_EPC_CAPACITY) return M100ValidationFail;
        frame_put_u16(data, uhf_tag_get_epc_crc(source));
        frame_put_u16(data + 2, uhf_tag_get_epc_pc(source));
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

    uint8_t* payload =
        frame_begin(frame, kCommandWrite, (uint16_t)(data_length + kAccessParameters));
    frame_put_u32(payload, access_pwd);
    payload[4] = (uint8_t)bank;
    frame_put_u16(payload + 5, start_address);
    frame_put_u16(payload + 7, (uint16_t)(data_length / 2));
    const uint32_t length = frame_seal(frame);

    for(uint32_t i = 0; i < length; i++) {
        furi_log_print_format(
            FuriLogLevelError, kLogModule, "cmd[%d]=%02X", (int)i, (unsigned)frame[i]);
    }

    const Reply reply = exchange(module, frame, length);
    if(reply.size < 3) return M100NoTagResponse;
    if(reply[FRAME_POS_COMMAND] == FRAME_ERROR_COMMAND) {
        return reply.size == FRAME_SHORT_ERROR_LENGTH ? M100NoTagResponse : M100ValidationFail;
    }
    // A success reply cut short is no confirmation; the worker's retry writes the same words.
    if(!reply.holds_payload()) return M100NoTagResponse;
    return M100SuccessResponse;
}
