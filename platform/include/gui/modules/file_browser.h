/* File browser: a full-screen list of one folder's entries (folders, and files with the chosen
 * extension) with a ". ." row below a top-level root, entered and left with OK, Left and Back.
 * The dialogs service shows it for dialog_file_browser_show. */
#pragma once
#include <stdbool.h>
#include <stdint.h>

#include <furi.h>
#include <gui/view.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct FileBrowser FileBrowser;
typedef void (*FileBrowserCallback)(void* context);

/* Called for each file shown: may replace the shown name (item_name) and the 10x10 icon (*icon,
 * one bit per pixel, rows of two bytes). */
typedef bool (*FileBrowserLoadItemCallback)(
    FuriString* path,
    void* context,
    uint8_t** icon,
    FuriString* item_name);

/* The chosen file's path is written to result_path, which the browser keeps using until freed. */
FileBrowser* file_browser_alloc(FuriString* result_path);

void file_browser_free(FileBrowser* browser);

View* file_browser_get_view(FileBrowser* browser);

void file_browser_configure(
    FileBrowser* browser,
    const char* extension,
    const char* base_path,
    bool skip_assets,
    bool hide_dot_files,
    const Icon* file_icon,
    bool hide_ext);

/* Lists the folder of path (a file there is selected; a missing folder walks up). */
void file_browser_start(FileBrowser* browser, FuriString* path);

void file_browser_stop(FileBrowser* browser);

/* Called when a file was chosen (result_path holds it). */
void file_browser_set_callback(FileBrowser* browser, FileBrowserCallback callback, void* context);

void file_browser_set_item_callback(
    FileBrowser* browser,
    FileBrowserLoadItemCallback callback,
    void* context);

#ifdef __cplusplus
}
#endif
