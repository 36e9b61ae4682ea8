#include "buffer.h"

#include <furi.h>

#include <stdlib.h>

Buffer* buffer_alloc(uint32_t initial_capacity) {
    Buffer* buf = static_cast<Buffer*>(malloc(sizeof(Buffer)));
    if(!buf) return nullptr;
    buf->data = static_cast<uint8_t*>(malloc(initial_capacity));
    if(!buf->data) {
        free(buf);
        return nullptr;
    }
    buf->size = 0;
    buf->capacity = initial_capacity;
    buf->closed = 0;
    return buf;
}

bool buffer_append_single(Buffer* buf, uint8_t value) {
    furi_check(buf);
    if(buf->closed) return false;
    if(buf->size + 1 > buf->capacity) {
        // Double the block; an empty block grows to one byte, and a block that cannot double
        // within 32 bits stays as it is.
        if(buf->capacity > UINT32_MAX / 2) return false;
        const uint32_t grown = buf->capacity ? buf->capacity * 2 : 1;
        uint8_t* data = static_cast<uint8_t*>(realloc(buf->data, grown));
        if(!data) return false;
        buf->data = data;
        buf->capacity = grown;
    }
    buf->data[buf->size] = value;
    buf->size++;
    return true;
}

bool buffer_append_within_capacity(Buffer* buf, uint8_t value) {
    if(buf->closed || buf->size >= buf->capacity) return false;
    buf->data[buf->size] = value;
    buf->size++;
    return true;
}

uint8_t* buffer_get_data(Buffer* buf) {
    furi_check(buf);
    return buf->data;
}

uint32_t buffer_get_size(Buffer* buf) {
    furi_check(buf);
    return buf->size;
}

void buffer_close(Buffer* buf) {
    furi_check(buf);
    buf->closed = 1;
}

void buffer_reset(Buffer* buf) {
    furi_check(buf);
    // Size first: a late byte of the previous reply that interrupts between the two stores finds
    // the buffer still closed and is dropped rather than stored at a stale position.
    buf->size = 0;
    buf->closed = 0;
}

void buffer_free(Buffer* buf) {
    furi_check(buf);
    free(buf->data);
    free(buf);
}
