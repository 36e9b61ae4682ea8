#pragma once
// The in-memory form of one EPC Gen2 tag and the holder that owns the application's current tag.

#include <stddef.h>
#include <stdint.h>

// Capacities of the record's parts, in bytes.
#define UHF_TAG_EPC_CAPACITY 18u  // 9 words
#define UHF_TAG_TID_CAPACITY 16u  // 8 words
#define UHF_TAG_USER_CAPACITY 64u // 32 words

struct UHFTagEpc {
    uint32_t size;                      // EPC bytes held
    uint8_t data[UHF_TAG_EPC_CAPACITY]; // the EPC
    uint16_t pc;                        // the PC word
    uint16_t crc;                       // CRC over PC and EPC as the tag or a file gave it
};

struct UHFTagTid {
    uint32_t size;
    uint8_t data[UHF_TAG_TID_CAPACITY];
};

struct UHFTagUser {
    uint32_t size;
    uint8_t data[UHF_TAG_USER_CAPACITY];
};

struct UHFTag {
    uint8_t* spare; // 4 bytes that live with the tag and are never used
    UHFTagEpc* epc;
    UHFTagTid* tid;
    UHFTagUser* user;
};

struct UHFTagWrapper {
    UHFTag* uhf_tag;     // the held tag, owned, or null
    uint32_t generation; // tags handed over so far: 0 until the first
};

/** An empty tag (all sizes, PC and CRC 0); null when out of memory. */
UHFTag* uhf_tag_alloc(void);
/** Sets every size, the PC and the CRC to 0; the data bytes stay. */
void uhf_tag_reset(UHFTag* tag);
/** Releases the tag; null is accepted. */
void uhf_tag_free(UHFTag* tag);

// The setters refuse a length above the part's capacity: the part then stays as it was, so a
// caller that needs to know checks the length against the capacity first.
void uhf_tag_set_epc(UHFTag* tag, const uint8_t* data, size_t length);
void uhf_tag_set_epc_size(UHFTag* tag, size_t size);
void uhf_tag_set_epc_pc(UHFTag* tag, uint16_t pc);
void uhf_tag_set_epc_crc(UHFTag* tag, uint16_t crc);
void uhf_tag_set_tid(UHFTag* tag, const uint8_t* data, size_t length);
void uhf_tag_set_tid_size(UHFTag* tag, size_t size);
void uhf_tag_set_user(UHFTag* tag, const uint8_t* data, size_t length);
void uhf_tag_set_user_size(UHFTag* tag, size_t size);

uint8_t* uhf_tag_get_epc(UHFTag* tag);
uint32_t uhf_tag_get_epc_size(UHFTag* tag);
uint16_t uhf_tag_get_epc_pc(UHFTag* tag);
uint16_t uhf_tag_get_epc_crc(UHFTag* tag);
uint8_t* uhf_tag_get_tid(UHFTag* tag);
uint32_t uhf_tag_get_tid_size(UHFTag* tag);
uint8_t* uhf_tag_get_user(UHFTag* tag);
uint32_t uhf_tag_get_user_size(UHFTag* tag);

/** An empty holder; null when out of memory. */
UHFTagWrapper* uhf_tag_wrapper_alloc(void);
/** Releases the held tag (unless it is `tag` itself) and holds `tag` from now on; a tag other
 * than the held one counts as a new generation, so a tag's file name can tell it is still held. */
void uhf_tag_wrapper_set_tag(UHFTagWrapper* wrapper, UHFTag* tag);
/** Releases the held tag, then the holder; `wrapper` must not be null. */
void uhf_tag_wrapper_free(UHFTagWrapper* wrapper);
