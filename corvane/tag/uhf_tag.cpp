#include "uhf_tag.h"

#include <furi.h>

#include <stdlib.h>
#include <string.h>

namespace {

constexpr size_t kSpareSize = 4;

template <typename T>
T* alloc_part() {
    return static_cast<T*>(malloc(sizeof(T)));
}

} // namespace

UHFTag* uhf_tag_alloc(void) {
    UHFTag* tag = static_cast<UHFTag*>(malloc(sizeof(UHFTag)));
    if(!tag) return nullptr;
    tag->spare = static_cast<uint8_t*>(malloc(kSpareSize));
    tag->epc = alloc_part<UHFTagEpc>();
    tag->tid = alloc_part<UHFTagTid>();
    tag->user = alloc_part<UHFTagUser>();
    if(!tag->spare || !tag->epc || !tag->tid || !tag->user) {
        uhf_tag_free(tag);
        return nullptr;
    }
    // The platform's allocator zero-fills; the explicit reset keeps the tag empty on any other.
    uhf_tag_reset(tag);
    return tag;
}

void uhf_tag_reset(UHFTag* tag) {
    furi_check(tag);
    tag->epc->size = 0;
    tag->epc->crc = 0;
    tag->epc->pc = 0;
    tag->tid->size = 0;
    tag->user->size = 0;
}

void uhf_tag_free(UHFTag* tag) {
    if(!tag) return;
    free(tag->spare);
    free(tag->epc);
    free(tag->tid);
    free(tag->user);
    free(tag);
}

void uhf_tag_set_epc(UHFTag* tag, const uint8_t* data, size_t length) {
    furi_check(tag);
    if(length > UHF_TAG_EPC_CAPACITY || (length && !data)) return;
    if(length) memcpy(tag->epc->data, data, length);
    tag->epc->size = static_cast<uint32_t>(length);
}

void uhf_tag_set_epc_size(UHFTag* tag, size_t size) {
    furi_check(tag);
    if(size > UHF_TAG_EPC_CAPACITY) return;
    tag->epc->size = static_cast<uint32_t>(size);
}

void uhf_tag_set_epc_pc(UHFTag* tag, uint16_t pc) {
    furi_check(tag);
    tag->epc->pc = pc;
}

void uhf_tag_set_epc_crc(UHFTag* tag, uint16_t crc) {
    furi_check(tag);
    tag->epc->crc = crc;
}

void uhf_tag_set_tid(UHFTag* tag, const uint8_t* data, size_t length) {
    furi_check(tag);
    if(length > UHF_TAG_TID_CAPACITY || (length && !data)) return;
    if(length) memcpy(tag->tid->data, data, length);
    tag->tid->size = static_cast<uint32_t>(length);
}

void uhf_tag_set_tid_size(UHFTag* tag, size_t size) {
    furi_check(tag);
    if(size > UHF_TAG_TID_CAPACITY) return;
    tag->tid->size = static_cast<uint32_t>(size);
}

void uhf_tag_set_user(UHFTag* tag, const uint8_t* data, size_t length) {
    furi_check(tag);
    if(length > UHF_TAG_USER_CAPACITY || (length && !data)) return;
    if(length) memcpy(tag->user->data, data, length);
    tag->user->size = static_cast<uint32_t>(length);
}

void uhf_tag_set_user_size(UHFTag* tag, size_t size) {
    furi_check(tag);
    if(size > UHF_TAG_USER_CAPACITY) return;
    tag->user->size = static_cast<uint32_t>(size);
}

uint8_t* uhf_tag_get_epc(UHFTag* tag) {
    furi_check(tag);
    return tag->epc->data;
}

uint32_t uhf_tag_get_epc_size(UHFTag* tag) {
    furi_check(tag);
    return tag->epc->size;
}

uint16_t uhf_tag_get_epc_pc(UHFTag* tag) {
    furi_check(tag);
    return tag->epc->pc;
}

uint16_t uhf_tag_get_epc_crc(UHFTag* tag) {
    furi_check(tag);
    return tag->epc->crc;
}

uint8_t* uhf_tag_get_tid(UHFTag* tag) {
    furi_check(tag);
    return tag->tid->data;
}

uint32_t uhf_tag_get_tid_size(UHFTag* tag) {
    furi_check(tag);
    return tag->tid->size;
}

uint8_t* uhf_tag_get_user(UHFTag* tag) {
    furi_check(tag);
    return tag->user->data;
}

uint32_t uhf_tag_get_user_size(UHFTag* tag) {
    furi_check(tag);
    return tag->user->size;
}

UHFTagWrapper* uhf_tag_wrapper_alloc(void) {
    UHFTagWrapper* wrapper = static_cast<UHFTagWrapper*>(malloc(sizeof(UHFTagWrapper)));
    if(wrapper) {
        wrapper->uhf_tag = nullptr;
        wrapper->generation = 0;
    }
    return wrapper;
}

void uhf_tag_wrapper_set_tag(UHFTagWrapper* wrapper, UHFTag* tag) {
    furi_check(wrapper);
    // Handing over the tag already held must not release it under the holder's feet.
    if(wrapper->uhf_tag == tag) return;
    uhf_tag_free(wrapper->uhf_tag);
    wrapper->uhf_tag = tag;
    ++wrapper->generation;
}

void uhf_tag_wrapper_free(UHFTagWrapper* wrapper) {
    furi_check(wrapper);
    uhf_tag_free(wrapper->uhf_tag);
    free(wrapper);
}
