#include "uhf_device.h"

#include <corvane_icons.h>
#include <flipper_format/flipper_format.h>
#include <toolbox/path.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

constexpr const char* kTempSuffix = ".tmp";
constexpr const char* kSaveError = "Can not save\nfile";
constexpr const char* kParseError = "Can not parse\nfile";
constexpr const char* kDeprecatedError = "File format deprecated";
constexpr const char* kRemoveError = "Can not remove file";

bool write_word(FlipperFormat* file, const char* key, uint16_t word) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word & 0xFF)};
    return flipper_format_write_hex(file, key, bytes, sizeof(bytes));
}

bool read_word(FlipperFormat* file, const char* key, uint16_t* word) {
    uint8_t bytes[2] = {0, 0};
    if(!flipper_format_read_hex(file, key, bytes, sizeof(bytes))) return false;
    *word = static_cast<uint16_t>(bytes[0] * 256 + bytes[1]);
    return true;
}

// A bank as its length and its bytes.
bool write_bank(
    FlipperFormat* file,
    const char* length_key,
    const char* key,
    const uint8_t* data,
    uint32_t size) {
    return flipper_format_write_uint32(file, length_key, &size, 1) &&
           flipper_format_write_hex(file, key, data, static_cast<uint16_t>(size));
}

bool write_tag(FlipperFormat* file, UHFTag* tag) {
    return flipper_format_write_header_cstr(file, UHF_FILE_TYPE, UHF_FILE_VERSION) &&
           write_word(file, "PC", uhf_tag_get_epc_pc(tag)) &&
           write_word(file, "CRC", uhf_tag_get_epc_crc(tag)) &&
           write_bank(
               file, "EPC_LENGTH", "EPC", uhf_tag_get_epc(tag), uhf_tag_get_epc_size(tag)) &&
           write_bank(
               file, "TID_LENGTH", "TID", uhf_tag_get_tid(tag), uhf_tag_get_tid_size(tag)) &&
           write_bank(
               file, "USER_LENGTH", "USER", uhf_tag_get_user(tag), uhf_tag_get_user_size(tag));
}

enum class LoadResult {
    Ok,
    Deprecated,
    ParseError
};

LoadResult read_tag(FlipperFormat* file, const char* path, UHFTag* tag) {
    if(!flipper_format_file_open_existing(file, path)) return LoadResult::ParseError;
    FuriString* file_type = furi_string_alloc();
    uint32_t version = 0;
    LoadResult result = LoadResult::ParseError;
    do {
        if(!flipper_format_read_header(file, file_type, &version)) break;
        if(!furi_string_equal_str(file_type, UHF_FILE_TYPE) || version != UHF_FILE_VERSION) {
            result = LoadResult::Deprecated;
            break;
        }
        uint16_t word = 0;
        if(!read_word(file, "PC", &word)) break;
        uhf_tag_set_epc_pc(tag, word);
        if(!read_word(file, "CRC", &word)) break;
        uhf_tag_set_epc_crc(tag, word);

        // A declared length above the record's capacity is refused before anything is read.
        uint32_t size = 0;
        if(!flipper_format_read_uint32(file, "EPC_LENGTH", &size, 1) ||
           size > UHF_TAG_EPC_CAPACITY)
            break;
        uhf_tag_set_epc_size(tag, size);
        if(!flipper_format_read_hex(file, "EPC", uhf_tag_get_epc(tag), static_cast<uint16_t>(size)))
            break;

        if(!flipper_format_read_uint32(file, "TID_LENGTH", &size, 1) ||
           size > UHF_TAG_TID_CAPACITY)
            break;
        uhf_tag_set_tid_size(tag, size);
        if(!flipper_format_read_hex(file, "TID", uhf_tag_get_tid(tag), static_cast<uint16_t>(size)))
            break;

        if(!flipper_format_read_uint32(file, "USER_LENGTH", &size, 1) ||
           size > UHF_TAG_USER_CAPACITY)
            break;
        uhf_tag_set_user_size(tag, size);
        if(!flipper_format_read_hex(
               file, "USER", uhf_tag_get_user(tag), static_cast<uint16_t>(size)))
            break;

        result = LoadResult::Ok;
    } while(false);
    furi_string_free(file_type);
    return result;
}

void set_name_from_path(UHFDevice* dev, FuriString* path) {
    FuriString* name = furi_string_alloc();
    path_extract_filename(path, name, true);
    uhf_device_set_name(dev, furi_string_get_cstr(name));
    furi_string_free(name);
}

} // namespace

UHFDevice* uhf_device_alloc(void) {
    UHFDevice* dev = static_cast<UHFDevice*>(malloc(sizeof(UHFDevice)));
    dev->storage = static_cast<Storage*>(furi_record_open(RECORD_STORAGE));
    dev->dialogs = static_cast<DialogsApp*>(furi_record_open(RECORD_DIALOGS));
    dev->uhf_tag_wrapper = nullptr;
    dev->dev_name[0] = '\0';
    dev->load_path = furi_string_alloc();
    dev->name_generation = 0;
    dev->loading_cb = nullptr;
    dev->loading_cb_ctx = nullptr;
    return dev;
}

void uhf_device_free(UHFDevice* dev) {
    furi_record_close(RECORD_STORAGE);
    furi_record_close(RECORD_DIALOGS);
    furi_string_free(dev->load_path);
    free(dev);
}

void uhf_device_set_name(UHFDevice* dev, const char* name) {
    // strlcpy's result (at most 21 characters, always terminated) without needing strlcpy.
    snprintf(dev->dev_name, sizeof(dev->dev_name), "%s", name != nullptr ? name : "");
}

namespace {

/** dev_name's file holds the tag the holder holds now. */
void bind_name_to_held_tag(UHFDevice* dev) {
    dev->name_generation = dev->uhf_tag_wrapper != nullptr ? dev->uhf_tag_wrapper->generation : 0;
}

} // namespace

const char* uhf_device_get_own_name(UHFDevice* dev) {
    const UHFTagWrapper* holder = dev->uhf_tag_wrapper;
    const bool held = holder != nullptr && holder->uhf_tag != nullptr &&
                      dev->name_generation != 0 && dev->name_generation == holder->generation;
    return held ? dev->dev_name : nullptr;
}

// The file is written in full to "<target>.tmp" next to the target and only then renamed over
// it, so a failed save never leaves a half-written tag file or destroys the one it replaces.
bool uhf_device_save(UHFDevice* dev, const char* name) {
    UHFTag* tag = dev->uhf_tag_wrapper != nullptr ? dev->uhf_tag_wrapper->uhf_tag : nullptr;
    FuriString* path = furi_string_alloc();
    if(furi_string_empty(dev->load_path)) {
        furi_string_printf(path, "%s/%s%s", UHF_APP_FOLDER, name, UHF_APP_EXTENSION);
    } else {
        path_extract_dirname(furi_string_get_cstr(dev->load_path), path);
        furi_string_cat_printf(path, "/%s%s", name, UHF_APP_EXTENSION);
    }
    FuriString* temp_path = furi_string_alloc_set_str(furi_string_get_cstr(path));
    furi_string_cat_str(temp_path, kTempSuffix);
    const char* target = furi_string_get_cstr(path);
    const char* temp = furi_string_get_cstr(temp_path);

    FlipperFormat* file = flipper_format_file_alloc(dev->storage);
    bool written = tag != nullptr && flipper_format_file_open_always(file, temp) &&
                   write_tag(file, tag);
    // Closing flushes the last bytes; a failure there is a failed save too.
    written = flipper_format_file_close(file) && written;
    flipper_format_free(file);

    bool saved = false;
    if(written) {
        const bool replaces = storage_file_exists(dev->storage, target);
        saved = storage_common_rename(dev->storage, temp, target) == FSE_OK;
        // The platform removes the target before renaming: when that happened and the rename
        // still failed, the temporary file holds the only complete copy and stays on the card.
        if(!saved && (!replaces || storage_file_exists(dev->storage, target))) {
            storage_simply_remove(dev->storage, temp);
        }
    } else {
        storage_simply_remove(dev->storage, temp);
    }
    if(saved) {
        uhf_device_set_name(dev, name);
        bind_name_to_held_tag(dev);
    } else {
        dialog_message_show_storage_error(dev->dialogs, kSaveError);
    }

    furi_string_free(temp_path);
    furi_string_free(path);
    return saved;
}

bool uhf_device_load(UHFDevice* dev, const char* path) {
    FlipperFormat* file = flipper_format_file_alloc(dev->storage);
    UHFTag* tag = uhf_tag_alloc();
    if(tag != nullptr) uhf_tag_reset(tag);

    if(dev->loading_cb != nullptr) dev->loading_cb(dev->loading_cb_ctx, true);
    const LoadResult result = tag != nullptr ? read_tag(file, path, tag) : LoadResult::ParseError;
    if(dev->loading_cb != nullptr) dev->loading_cb(dev->loading_cb_ctx, false);

    if(result == LoadResult::Deprecated) {
        dialog_message_show_storage_error(dev->dialogs, kDeprecatedError);
    } else if(result != LoadResult::Ok) {
        dialog_message_show_storage_error(dev->dialogs, kParseError);
    }
    // The holder takes the new tag whatever the outcome: after a failure it holds what was read.
    if(tag != nullptr && dev->uhf_tag_wrapper != nullptr) {
        uhf_tag_wrapper_set_tag(dev->uhf_tag_wrapper, tag);
    } else {
        uhf_tag_free(tag);
    }
    // Only a tag loaded whole is the file's: a partly read one must not be saved over it.
    if(result == LoadResult::Ok) {
        bind_name_to_held_tag(dev);
    } else {
        dev->name_generation = 0;
    }
    flipper_format_free(file);
    return result == LoadResult::Ok;
}

bool uhf_file_select(UHFDevice* dev) {
    DialogsFileBrowserOptions options;
    dialog_file_browser_set_basic_options(&options, UHF_APP_EXTENSION, &I_Nfc_10px);
    options.base_path = UHF_APP_FOLDER;
    // The browser resolves its strings in place; the start folder gets a string of its own, so a
    // cancelled browser leaves load_path as it was.
    FuriString* start = furi_string_alloc_set_str(UHF_APP_FOLDER);
    const bool chosen = dialog_file_browser_show(dev->dialogs, dev->load_path, start, &options);
    furi_string_free(start);
    if(!chosen) return false;
    set_name_from_path(dev, dev->load_path);
    return uhf_device_load(dev, furi_string_get_cstr(dev->load_path));
}

bool uhf_device_delete(UHFDevice* dev, bool use_load_path) {
    FuriString* path = furi_string_alloc();
    if(use_load_path && !furi_string_empty(dev->load_path)) {
        furi_string_set_str(path, furi_string_get_cstr(dev->load_path));
    } else {
        furi_string_printf(path, "%s/%s%s", UHF_APP_FOLDER, dev->dev_name, UHF_APP_EXTENSION);
    }
    const bool removed = storage_simply_remove(dev->storage, furi_string_get_cstr(path));
    if(!removed) dialog_message_show_storage_error(dev->dialogs, kRemoveError);
    furi_string_free(path);
    return removed;
}

void uhf_device_set_loading_callback(UHFDevice* dev, UHFLoadingCallback callback, void* context) {
    dev->loading_cb = callback;
    dev->loading_cb_ctx = context;
}
