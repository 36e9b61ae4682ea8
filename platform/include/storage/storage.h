/* Storage service: the SD card ("/ext") and the app's data folder ("/data", which is
 * "/ext/apps_data/<appid>", created when first used). Record "storage". */
#pragma once
#include <stdbool.h>

#ifdef __cplusplus
extern "C" {
#endif

#define RECORD_STORAGE "storage"

#define STORAGE_INT_PATH_PREFIX "/int"
#define STORAGE_EXT_PATH_PREFIX "/ext"
#define STORAGE_ANY_PATH_PREFIX "/any"
#define STORAGE_APP_DATA_PATH_PREFIX "/data"

#define INT_PATH(path) STORAGE_INT_PATH_PREFIX "/" path
#define EXT_PATH(path) STORAGE_EXT_PATH_PREFIX "/" path
#define ANY_PATH(path) STORAGE_ANY_PATH_PREFIX "/" path
#define APP_DATA_PATH(path) STORAGE_APP_DATA_PATH_PREFIX "/" path

typedef struct Storage Storage;

/* True when `path` names a regular file. */
bool storage_file_exists(Storage* storage, const char* path);
/* Creates the folder (its parent must exist); true when it exists afterwards. */
bool storage_simply_mkdir(Storage* storage, const char* path);
/* Removes a file or an empty folder; true on success or when nothing was there. */
bool storage_simply_remove(Storage* storage, const char* path);

#ifdef __cplusplus
}
#endif
