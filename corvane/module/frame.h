#pragma once
// Frame codec of the YRM100 serial protocol: the one layout that commands and replies share,
// the checksum that closes every frame and the CRC with which an EPC Gen2 tag guards its PC word
// and EPC. It touches neither the UART nor the firmware, so it builds and runs anywhere.
//
//   position   0        1       2         3-4       5 ... 4+PL   5+PL       6+PL
//   field      header   type    command   PL        payload      checksum   end
//   value      BB       00 host, 01 reply, 02 notice             see below  7E
//
// Every number of more than one byte is big-endian. The checksum is the low byte of the sum of
// positions 1 ... 4+PL (type through the last payload byte), without complement. A reply whose
// command is FF is an error reply: BB 01 FF 00 01 <code> <cs> 7E in its short form.
//
// The module escapes nothing: the RSSI, PC, EPC, CRC, bank data, a length byte or the checksum
// may each be 0x7E, so a frame ends at position 6 + PL and a 0x7E before it is data.

#include <stddef.h>
#include <stdint.h>

#define FRAME_HEADER 0xBBu
#define FRAME_END 0x7Eu
#define FRAME_ERROR_COMMAND 0xFFu
#define FRAME_POS_TYPE 1u
#define FRAME_POS_COMMAND 2u
#define FRAME_POS_PL 3u // two bytes
#define FRAME_POS_PAYLOAD 5u
#define FRAME_OVERHEAD 7u // header, type, command, PL (2), checksum, end
#define FRAME_SHORT_ERROR_LENGTH 8u

/** Low byte of the sum of the bytes (no complement); 0 for an empty range. */
uint8_t checksum(const uint8_t* data, size_t length);

/** CRC-16/GENIBUS (poly 0x1021, init 0xFFFF, MSB first, final XOR 0xFFFF): the CRC an EPC Gen2
 *  tag keeps over its PC word and EPC. 0x0000 for an empty range. */
uint16_t crc16_genibus(const uint8_t* data, size_t length);

inline uint16_t frame_get_u16(const uint8_t* at) {
    return (uint16_t)((at[0] << 8) | at[1]);
}

inline void frame_put_u16(uint8_t* at, uint16_t value) {
    at[0] = (uint8_t)(value >> 8);
    at[1] = (uint8_t)value;
}

inline void frame_put_u32(uint8_t* at, uint32_t value) {
    at[0] = (uint8_t)(value >> 24);
    at[1] = (uint8_t)(value >> 16);
    at[2] = (uint8_t)(value >> 8);
    at[3] = (uint8_t)value;
}

/** Bytes in a frame with `payload_length` payload bytes. */
inline uint32_t frame_length(uint32_t payload_length) {
    return payload_length + FRAME_OVERHEAD;
}

/** PL of a frame of which at least the first five bytes are at `frame`. */
inline uint16_t frame_get_payload_length(const uint8_t* frame) {
    return frame_get_u16(frame + FRAME_POS_PL);
}

/** Whether the `received` bytes at `frame` hold the whole frame, through its end byte: false
 *  while PL has not arrived. Reads no byte at or past `received`. */
inline bool frame_is_complete(const uint8_t* frame, uint32_t received) {
    return received >= FRAME_POS_PAYLOAD &&
           received >= frame_length(frame_get_payload_length(frame));
}

/** Starts a host frame: header, type 00, the command and PL. Returns where the payload goes. */
uint8_t* frame_begin(uint8_t* frame, uint8_t command, uint16_t payload_length);

/** Closes a frame whose header, PL and payload are in place: writes the checksum over positions
 *  1 ... 4+PL and the end byte. Returns the frame's length. */
uint32_t frame_seal(uint8_t* frame);
