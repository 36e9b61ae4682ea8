#pragma once
// The tag file store: saves the held tag as a ".uhf" key-value text file on the SD card, loads a
// file chosen in the platform's file browser into the tag holder, and deletes a file. Everything
// here runs on the GUI thread and may block in a platform dialog.
//
// File layout (key-value text file, file type "Flipper UHF RFID device", version 1):
//     PC, CRC (2 hex bytes each, high byte first), EPC_LENGTH (uint32), EPC (hex bytes),
//     TID_LENGTH, TID, USER_LENGTH, USER
// in exactly this order. A save goes to "/data/<name>.uhf", or next to the file loaded last.

#include <dialogs/dialogs.h>
#include <furi.h>
#include <storage/storage.h>

#include <stdbool.h>

#include "../tag/uhf_tag.h"

#define UHF_DEVICE_NAME_MAX_LEN 22 // 21 characters and the terminator
#define UHF_APP_EXTENSION ".uhf"
#define UHF_APP_FOLDER STORAGE_APP_DATA_PATH_PREFIX
#define UHF_FILE_TYPE "Flipper UHF RFID device"
#define UHF_FILE_VERSION 1

/** Called with true just before a chosen file is opened and with false when the parse is done
 * (before any error dialog). */
typedef void (*UHFLoadingCallback)(void* context, bool state);

struct UHFDevice {
    Storage* storage;                       // record "storage", open for the record's life
    DialogsApp* dialogs;                    // record "dialogs", open for the record's life
    UHFTagWrapper* uhf_tag_wrapper;         // the application's tag holder; not owned
    char dev_name[UHF_DEVICE_NAME_MAX_LEN]; // current file's name, no folder, no extension
    FuriString* load_path;                  // the file last chosen in the browser; "" until then
    uint32_t name_generation; // the holder's generation whose tag dev_name's file holds; 0: none
    UHFLoadingCallback loading_cb;
    void* loading_cb_ctx;
};

/** Opens the "storage" and "dialogs" records; everything else empty or null. */
UHFDevice* uhf_device_alloc(void);
/** Closes both records and releases load_path and the record; the tag holder is not touched. */
void uhf_device_free(UHFDevice* dev);
/** Copies at most 21 characters of name into dev_name, always terminated. */
void uhf_device_set_name(UHFDevice* dev, const char* name);
/** dev_name while the held tag is the one loaded from or saved to that file, else null: the one
 * taken name the name screen may accept, so that only that tag is saved over its own file. A
 * new read and a load that failed end it. */
const char* uhf_device_get_own_name(UHFDevice* dev);
/** Writes the held tag to "<folder>/<name>.uhf" (see above); saved, the name is dev_name and
 * belongs to the held tag. On failure shows the storage-error dialog "Can not save\nfile" and
 * returns false; a file that was there keeps its old content. */
bool uhf_device_save(UHFDevice* dev, const char* name);
/** Lets the user choose a ".uhf" file (starting in "/data") and loads it into the tag holder.
 * False when the browser was left without a choice (nothing changes) or the file did not parse
 * (an error dialog was shown; the holder then holds what was read up to the failure). */
bool uhf_file_select(UHFDevice* dev);
/** Loads the file at path (a platform path) into the tag holder as uhf_file_select does after the
 * choice: loading callback, parse, error dialog, the holder gets the new tag in any case. */
bool uhf_device_load(UHFDevice* dev, const char* path);
/** Removes load_path (use_load_path and a file was chosen) or "/data/<dev_name>.uhf"; shows
 * "Can not remove file" and returns false when the removal fails. */
bool uhf_device_delete(UHFDevice* dev, bool use_load_path);
void uhf_device_set_loading_callback(UHFDevice* dev, UHFLoadingCallback callback, void* context);
