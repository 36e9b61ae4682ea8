// "Deleted": leaves by itself after 1500 ms, back to the start menu.
#include "../app/uhf_app.h"

#include "corvane_icons.h"

void uhf_scene_delete_success_popup_callback(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    view_dispatcher_send_custom_event(app->view_dispatcher, UHFCustomEventSceneDone);
}

void uhf_scene_delete_success_on_enter(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    popup_set_icon(app->popup, 0, 2, &I_DolphinMafia_115x62);
    popup_set_header(app->popup, "Deleted", 83, 19, AlignLeft, AlignBottom);
    popup_set_timeout(app->popup, 1500);
    popup_set_context(app->popup, app);
    popup_set_callback(app->popup, uhf_scene_delete_success_popup_callback);
    popup_enable_timeout(app->popup);
    view_dispatcher_switch_to_view(app->view_dispatcher, UHFViewPopup);
}

bool uhf_scene_delete_success_on_event(void* context, SceneManagerEvent event) {
    UHFApp* app = static_cast<UHFApp*>(context);
    if(event.type == SceneManagerEventTypeCustom && event.event == UHFCustomEventSceneDone) {
        return scene_manager_search_and_switch_to_previous_scene(
            app->scene_manager, UHFSceneStart);
    }
    return false;
}

void uhf_scene_delete_success_on_exit(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    popup_reset(app->popup);
}
