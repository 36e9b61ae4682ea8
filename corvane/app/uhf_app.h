#pragma once
// corvane's application record and the services its screens share: the status-LED blink, the
// loading view shown while a tag file loads, and the byte-to-hex text of the result screens.
//
// Threads: everything here runs on the application thread, inside the view dispatcher's loop,
// except the worker callbacks of the screens, which only post a custom event. Every scene handler
// and view callback gets the UHFApp as its context.

#include <furi.h>
#include <gui/gui.h>
#include <gui/modules/loading.h>
#include <gui/modules/popup.h>
#include <gui/modules/submenu.h>
#include <gui/modules/text_input.h>
#include <gui/modules/widget.h>
#include <gui/scene_manager.h>
#include <gui/view_dispatcher.h>
#include <notification/notification.h>

#include <stddef.h>
#include <stdint.h>

#include "../scenes/uhf_scene.h"
#include "../store/uhf_device.h"
#include "../worker/uhf_worker.h"

/** Characters of `text_store` without its terminator. */
#define UHF_TEXT_STORE_SIZE 128
/** What the name screen's text input holds: 21 characters and the terminator. */
#define UHF_NAME_INPUT_SIZE 22

/** The module views, each registered once for the whole run. */
enum UHFView {
    UHFViewMenu = 0,
    UHFViewPopup = 1,
    UHFViewLoading = 2,
    UHFViewTextInput = 3,
    UHFViewWidget = 4,
};

/** Application events. The small numbers below them belong to the views: a submenu item's index
 *  and a widget button's position (GuiButtonTypeLeft 0, Center 1, Right 2). */
enum UHFCustomEvent {
    UHFCustomEventVerifyDone = 101,    // the module check ended; its outcome is in verify_success
    UHFCustomEventSceneDone = 102,     // a popup timed out
    UHFCustomEventWorkerExit = 103,    // a read or write job succeeded
    UHFCustomEventTextInputDone = 105, // the name was confirmed
};

struct UHFApp {
    UHFWorker* worker;                        // owned; its uhf_tag_wrapper is the app's tag holder
    ViewDispatcher* view_dispatcher;          // owned; the event loop
    Gui* gui;                                 // record "gui"
    NotificationApp* notifications;           // record "notification"
    SceneManager* scene_manager;              // owned; over uhf_scene_handlers
    UHFDevice* uhf_device;                    // owned; the tag-file store, sharing the holder
    char text_store[UHF_TEXT_STORE_SIZE + 1]; // the name being entered
    Submenu* submenu;                         // UHFViewMenu
    Popup* popup;                             // UHFViewPopup
    Loading* loading;                         // UHFViewLoading
    TextInput* text_input;                    // UHFViewTextInput
    Widget* widget;                           // UHFViewWidget
};

/** The package's entry point, on the application thread. Always returns 0. */
extern "C" int32_t uhf_app_main(void* p);

/** Builds the record, its services and views; no scene is entered yet. */
UHFApp* uhf_alloc(void);
/** Tears everything down; a job that still runs is stopped and waited for first. */
void uhf_free(UHFApp* app);

// The view dispatcher's callbacks: every event goes to the scene manager.
bool uhf_custom_event_callback(void* context, uint32_t event);
bool uhf_back_event_callback(void* context);
void uhf_tick_event_callback(void* context);

/** The status LED blinks cyan until uhf_blink_stop. */
void uhf_blink_start(UHFApp* app);
void uhf_blink_stop(UHFApp* app);

/** The store's loading callback: true shows the loading view with the timer service raised so
 *  its animation keeps running while the application thread parses; false only lowers it again
 *  (the next scene shows its own view). */
void uhf_show_loading_popup(void* context, bool show);

/** Each byte as "%02X " (3 * length characters), or " " for no bytes; the caller frees it with
 *  free. Null only when out of memory. */
char* convertToHexString(const uint8_t* data, size_t length);
