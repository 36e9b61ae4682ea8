/* Key-value text files ("Flipper File Format"): "Key: value" lines, '#' comments, searched
 * forward from the current position. Declarations as the firmware exports them; only the
 * functions the runtime implements. */
#pragma once
#include <stdint.h>
#include <storage/storage.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct FlipperFormat FlipperFormat;

/**
 * Allocate FlipperFormat as string.
 * @return FlipperFormat* pointer to a FlipperFormat instance
 */
FlipperFormat* flipper_format_string_alloc();

/**
 * Allocate FlipperFormat as file.
 * @return FlipperFormat* pointer to a FlipperFormat instance
 */
FlipperFormat* flipper_format_file_alloc(Storage* storage);

/**
 * Allocate FlipperFormat as file, buffered mode.
 * @return FlipperFormat* pointer to a FlipperFormat instance
 */
FlipperFormat* flipper_format_buffered_file_alloc(Storage* storage);

/**
 * Open existing file. 
 * Use only if FlipperFormat allocated as a file.
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param path File path
 * @return True on success
 */
bool flipper_format_file_open_existing(FlipperFormat* flipper_format, const char* path);

/**
 * Open existing file, buffered mode.
 * Use only if FlipperFormat allocated as a buffered file.
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param path File path
 * @return True on success
 */
bool flipper_format_buffered_file_open_existing(FlipperFormat* flipper_format, const char* path);

/**
 * Open existing file for writing and add values to the end of file. 
 * Use only if FlipperFormat allocated as a file.
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param path File path
 * @return True on success
 */
bool flipper_format_file_open_append(FlipperFormat* flipper_format, const char* path);

/**
 * Open file. Creates a new file, or deletes the contents of the file if it already exists. 
 * Use only if FlipperFormat allocated as a file.
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param path File path
 * @return True on success
 */
bool flipper_format_file_open_always(FlipperFormat* flipper_format, const char* path);

/**
 * Open file. Creates a new file, or deletes the contents of the file if it already exists, buffered mode.
 * Use only if FlipperFormat allocated as a buffered file.
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param path File path
 * @return True on success
 */
bool flipper_format_buffered_file_open_always(FlipperFormat* flipper_format, const char* path);

/**
 * Open file. Creates a new file, fails if file already exists.
 * Use only if FlipperFormat allocated as a file.
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param path File path
 * @return True on success
 */
bool flipper_format_file_open_new(FlipperFormat* flipper_format, const char* path);

/**
 * Closes the file, use only if FlipperFormat allocated as a file.
 * @param flipper_format 
 * @return true 
 * @return false 
 */
bool flipper_format_file_close(FlipperFormat* flipper_format);

/**
 * Closes the file, use only if FlipperFormat allocated as a buffered file.
 * @param flipper_format
 * @return true
 * @return false
 */
bool flipper_format_buffered_file_close(FlipperFormat* flipper_format);

/**
 * Free FlipperFormat.
 * @param flipper_format Pointer to a FlipperFormat instance
 */
void flipper_format_free(FlipperFormat* flipper_format);

/**
 * Set FlipperFormat mode.
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param strict_mode True obligates not to skip valid fields. False by default.
 */
void flipper_format_set_strict_mode(FlipperFormat* flipper_format, bool strict_mode);

/**
 * Rewind the RW pointer.
 * @param flipper_format Pointer to a FlipperFormat instance
 * @return True on success
 */
bool flipper_format_rewind(FlipperFormat* flipper_format);

/**
 * Move the RW pointer at the end. Can be useful if you want to add some data after reading.
 * @param flipper_format Pointer to a FlipperFormat instance
 * @return True on success
 */
bool flipper_format_seek_to_end(FlipperFormat* flipper_format);

/**
 * Check if the key exists.
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param key Key
 * @return true key exists
 * @return false key is not exists
 */
bool flipper_format_key_exist(FlipperFormat* flipper_format, const char* key);

/**
 * Read the header (file type and version).
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param filetype File type string
 * @param version Version Value
 * @return True on success
 */
bool flipper_format_read_header(
    FlipperFormat* flipper_format,
    FuriString* filetype,
    uint32_t* version);

/**
 * Write the header (file type and version).
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param filetype File type string
 * @param version Version Value
 * @return True on success
 */
bool flipper_format_write_header(
    FlipperFormat* flipper_format,
    FuriString* filetype,
    const uint32_t version);

/**
 * Write the header (file type and version). Plain C string version.
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param filetype File type string
 * @param version Version Value
 * @return True on success
 */
bool flipper_format_write_header_cstr(
    FlipperFormat* flipper_format,
    const char* filetype,
    const uint32_t version);

/**
 * Get the count of values by key
 * @param flipper_format Pointer to a FlipperFormat instance 
 * @param key 
 * @param count 
 * @return bool 
 */
bool flipper_format_get_value_count(
    FlipperFormat* flipper_format,
    const char* key,
    uint32_t* count);

/**
 * Read a string by key
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param key Key
 * @param data Value
 * @return True on success
 */
bool flipper_format_read_string(FlipperFormat* flipper_format, const char* key, FuriString* data);

/**
 * Write key and string
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param key Key
 * @param data Value
 * @return True on success
 */
bool flipper_format_write_string(FlipperFormat* flipper_format, const char* key, FuriString* data);

/**
 * Write key and string. Plain C string version.
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param key Key
 * @param data Value
 * @return True on success
 */
bool flipper_format_write_string_cstr(
    FlipperFormat* flipper_format,
    const char* key,
    const char* data);

/**
 * Read array of uint64 in hex format by key
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param key Key
 * @param data Value
 * @param data_size Values count
 * @return True on success
 */
bool flipper_format_read_hex_uint64(
    FlipperFormat* flipper_format,
    const char* key,
    uint64_t* data,
    const uint16_t data_size);

/**
 * Write key and array of uint64 in hex format
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param key Key
 * @param data Value
 * @param data_size Values count
 * @return True on success
 */
bool flipper_format_write_hex_uint64(
    FlipperFormat* flipper_format,
    const char* key,
    const uint64_t* data,
    const uint16_t data_size);

/**
 * Read array of uint32 by key
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param key Key
 * @param data Value
 * @param data_size Values count
 * @return True on success
 */
bool flipper_format_read_uint32(
    FlipperFormat* flipper_format,
    const char* key,
    uint32_t* data,
    const uint16_t data_size);

/**
 * Write key and array of uint32
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param key Key
 * @param data Value
 * @param data_size Values count
 * @return True on success
 */
bool flipper_format_write_uint32(
    FlipperFormat* flipper_format,
    const char* key,
    const uint32_t* data,
    const uint16_t data_size);

/**
 * Read array of int32 by key
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param key Key
 * @param data Value
 * @param data_size Values count
 * @return True on success
 */
bool flipper_format_read_int32(
    FlipperFormat* flipper_format,
    const char* key,
    int32_t* data,
    const uint16_t data_size);

/**
 * Write key and array of int32
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param key Key
 * @param data Value
 * @param data_size Values count
 * @return True on success
 */
bool flipper_format_write_int32(
    FlipperFormat* flipper_format,
    const char* key,
    const int32_t* data,
    const uint16_t data_size);

/**
 * Read array of bool by key
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param key Key
 * @param data Value
 * @param data_size Values count
 * @return True on success
 */
bool flipper_format_read_bool(
    FlipperFormat* flipper_format,
    const char* key,
    bool* data,
    const uint16_t data_size);

/**
 * Write key and array of bool
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param key Key
 * @param data Value
 * @param data_size Values count
 * @return True on success
 */
bool flipper_format_write_bool(
    FlipperFormat* flipper_format,
    const char* key,
    const bool* data,
    const uint16_t data_size);

/**
 * Read array of float by key
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param key Key
 * @param data Value
 * @param data_size Values count
 * @return True on success
 */
bool flipper_format_read_float(
    FlipperFormat* flipper_format,
    const char* key,
    float* data,
    const uint16_t data_size);

/**
 * Write key and array of float
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param key Key
 * @param data Value
 * @param data_size Values count
 * @return True on success
 */
bool flipper_format_write_float(
    FlipperFormat* flipper_format,
    const char* key,
    const float* data,
    const uint16_t data_size);

/**
 * Read array of hex-formatted bytes by key
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param key Key
 * @param data Value
 * @param data_size Values count
 * @return True on success
 */
bool flipper_format_read_hex(
    FlipperFormat* flipper_format,
    const char* key,
    uint8_t* data,
    const uint16_t data_size);

/**
 * Write key and array of hex-formatted bytes
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param key Key
 * @param data Value
 * @param data_size Values count
 * @return True on success
 */
bool flipper_format_write_hex(
    FlipperFormat* flipper_format,
    const char* key,
    const uint8_t* data,
    const uint16_t data_size);

/**
 * Write comment
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param data Comment text
 * @return True on success
 */
bool flipper_format_write_comment(FlipperFormat* flipper_format, FuriString* data);

/**
 * Write comment. Plain C string version.
 * @param flipper_format Pointer to a FlipperFormat instance
 * @param data Comment text
 * @return True on success
 */
bool flipper_format_write_comment_cstr(FlipperFormat* flipper_format, const char* data);

#ifdef __cplusplus
}
#endif
