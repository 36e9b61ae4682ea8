#pragma once
// The YRM100 reader module on USART1 at 115200 baud: the receive callback, the module handle
// with its identity queries, and the four tag commands. The frame layout, checksum and CRC are
// in frame.h.
//
// Every command runs one exchange: reset the buffer, register the receive callback, send the
// frame, wait 100 ms, then judge the N bytes received in that wait, and only those.
//
// The SDKs we build for differ in the UART's API. At 36.x (furi_hal_uart) USART1 is always
// there and the callback is registered per exchange. At 86.0 (the serial API, told apart by its
// header) the module takes the USART with furi_hal_serial_control_acquire when it is created,
// receives through furi_hal_serial_async_rx_start and gives the USART back when it is freed.

#if __has_include(<furi_hal_serial_control.h>)
#define M100_SERIAL_API 1
#include <furi_hal_serial.h>
#include <furi_hal_serial_control.h>
#else
#define M100_SERIAL_API 0
#include <furi_hal_uart.h>
#endif

#include <stddef.h>
#include <stdint.h>

#include "../tag/uhf_tag.h"
#include "buffer.h"
#include "frame.h"

#define M100_BAUDRATE 115200u
#define M100_BUFFER_CAPACITY 128u
#define M100_REPLY_WAIT_MS 100u

enum M100ResponseType {
    M100SuccessResponse = 0,
    M100ValidationFail = 1,
    M100NoTagResponse = 2,
    M100MemoryOverrun = 3,
};

enum BankType {
    ReservedBank = 0,
    EPCBank = 1,
    TIDBank = 2,
    UserBank = 3,
};

struct M100ModuleInfo {
    char* hw_version;   // owned, or null while unanswered
    char* sw_version;   // owned, or null
    char* manufacturer; // owned, or null
};

struct M100Module {
    M100ModuleInfo* info; // owned
    uint32_t baudrate;    // 115200 once created
    Buffer* buffer;       // owned; receive buffer of every exchange
#if M100_SERIAL_API
    FuriHalSerialHandle* serial; // the USART, or null while another owner holds it
#endif
};

/** UART receive callback (interrupt context): stores the byte in the context `Buffer` if it has
 *  room and closes the buffer once the reply's end byte, position 6 + PL, is stored; a 0x7E
 *  before it is data. Later bytes (a second frame in the same wait) and bytes beyond the
 *  capacity are dropped. Constant time; never allocates. With the serial API it reads the byte
 *  itself, on FuriHalSerialRxEventData. */
#if M100_SERIAL_API
void rx_callback(FuriHalSerialHandle* handle, FuriHalSerialRxEvent event, void* context);
#else
void rx_callback(UartIrqEvent event, uint8_t data, void* context);
#endif

M100ModuleInfo* m100_module_info_alloc(void);
void m100_module_info_free(M100ModuleInfo* info);

/** Creates the handle and sets USART1 to 115200 baud; null when out of memory. With the serial
 *  API it takes the USART first; when another owner holds it, the handle is made all the same
 *  and every exchange tries again, hearing nothing until it gets the USART (as from a missing
 *  module). */
M100Module* m100_module_alloc(void);
/** Unregisters the receive callback (with the serial API: stops receiving and gives the USART
 *  back), then releases the strings, the buffer and the handle. */
void m100_module_free(M100Module* module);

/** Identity queries (command 0x03). Each returns the new string, owned by `module->info`, or
 *  null when no byte arrived. */
char* m100_get_hardware_version(M100Module* module);
char* m100_get_software_version(M100Module* module);
char* m100_get_manufacturers(M100Module* module);

/** Single inventory (0x22). On success stores PC, CRC and EPC in `tag`. */
M100ResponseType m100_send_single_poll(M100Module* module, UHFTag* tag);
/** Set select (0x0C) on the tag's EPC. */
M100ResponseType m100_set_select(M100Module* module, UHFTag* tag);
/** Read `word_count` words from word 0 of `bank` (0x39). Fills the TID or USER part. */
M100ResponseType m100_read_label_data_storage(
    M100Module* module,
    UHFTag* tag,
    BankType bank,
    uint32_t access_pwd,
    uint16_t word_count);
/** Write the source tag's words into `bank` from `start_address` (0x49). */
M100ResponseType m100_write_label_data_storage(
    M100Module* module,
    UHFTag* source,
    BankType bank,
    uint16_t start_address,
    uint32_t access_pwd);
