#pragma once
// Receive buffer of the reader-module link: the UART receive interrupt appends the bytes of one
// reply here, the command that sent the frame reads them after its reply wait.

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

struct Buffer {
    uint8_t* data;     // the storage block, owned
    uint32_t size;     // bytes stored since the last reset
    uint32_t capacity; // bytes the block can hold
    uint8_t closed;    // set once the end byte 0x7E was stored; no byte is stored while set
};

/** A buffer with a block of `initial_capacity` bytes, empty and open; null when out of memory. */
Buffer* buffer_alloc(uint32_t initial_capacity);

/** Stores one byte; doubles the block when it is full. False when closed or when it cannot grow.
 *  Allocates: never call it from interrupt context. */
bool buffer_append_single(Buffer* buf, uint8_t value);

/** Stores one byte only if the block has room for it; never allocates, so it is the append that
 *  the receive interrupt uses. False when closed or full (the byte is dropped). */
bool buffer_append_within_capacity(Buffer* buf, uint8_t value);

uint8_t* buffer_get_data(Buffer* buf);
uint32_t buffer_get_size(Buffer* buf);
void buffer_close(Buffer* buf);
/** Empties and reopens the buffer; the block, its capacity and its old bytes stay. */
void buffer_reset(Buffer* buf);
/** Releases the block, then the record. `buf` must not be null. */
void buffer_free(Buffer* buf);
