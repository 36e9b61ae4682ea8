// The file browser over the saved tags. It lives only inside its enter handler: a loaded file
// leads on to the saved menu, a cancel or a failed load back to the start menu.
#include "../app/uhf_app.h"

void uhf_scene_file_select_on_enter(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    uhf_device_set_loading_callback(app->uhf_device, uhf_show_loading_popup, app);
    if(uhf_file_select(app->uhf_device)) {
        scene_manager_next_scene(app->scene_manager, UHFSceneSavedMenu);
    } else {
        scene_manager_search_and_switch_to_previous_scene(app->scene_manager, UHFSceneStart);
    }
    uhf_device_set_loading_callback(app->uhf_device, nullptr, app);
}

bool uhf_scene_file_select_on_event(void* context, SceneManagerEvent event) {
    UNUSED(context);
    UNUSED(event);
    return false;
}

void uhf_scene_file_select_on_exit(void* context) {
    UNUSED(context);
}
