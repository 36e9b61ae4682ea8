// The write popup: the write job writes the held tag's EPC bank to the tag in the field while the
// LED blinks cyan.
#include "../app/uhf_app.h"

#include <dolphin/dolphin.h>

#include "corvane_icons.h"

void uhf_write_tag_worker_callback(UHFWorkerEvent event, void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    // A failed select or a stop leaves the popup as it is; Back is the way out.
    if(event == UHFWorkerEventSuccess) {
        view_dispatcher_send_custom_event(app->view_dispatcher, UHFCustomEventWorkerExit);
    }
}

void uhf_scene_write_tag_on_enter(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    dolphin_deed(DolphinDeedNfcRead);
    popup_set_header(app->popup, "Writing\n[UHF] RFID\nTag", 68, 30, AlignLeft, AlignTop);
    popup_set_icon(app->popup, 0, 3, &I_RFIDDolphinSend_97x61);
    view_dispatcher_switch_to_view(app->view_dispatcher, UHFViewPopup);
    uhf_worker_start(app->worker, UHFWorkerStateWriteSingle, uhf_write_tag_worker_callback, app);
    uhf_blink_start(app);
}

bool uhf_scene_write_tag_on_event(void* context, SceneManagerEvent event) {
    UHFApp* app = static_cast<UHFApp*>(context);
    if(event.type == SceneManagerEventTypeCustom && event.event == UHFCustomEventWorkerExit) {
        scene_manager_next_scene(app->scene_manager, UHFSceneWriteTagSuccess);
        return true;
    }
    return false;
}

void uhf_scene_write_tag_on_exit(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    uhf_worker_stop(app->worker);
    popup_reset(app->popup);
    uhf_blink_stop(app);
}
