// The start menu. Its remembered item is the scene state: 0 "Read Tag", 1 "Saved".
#include "../app/uhf_app.h"

namespace {

enum StartItem : uint32_t {
    StartItemReadTag = 0,
    StartItemSaved = 1,
    StartItemSettings = 2, // listed, leads nowhere
};

} // namespace

void uhf_scene_start_submenu_callback(void* context, uint32_t index) {
    UHFApp* app = static_cast<UHFApp*>(context);
    view_dispatcher_send_custom_event(app->view_dispatcher, index);
}

void uhf_scene_start_on_enter(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    submenu_add_item(
        app->submenu, "Read Tag", StartItemReadTag, uhf_scene_start_submenu_callback, app);
    submenu_add_item(app->submenu, "Saved", StartItemSaved, uhf_scene_start_submenu_callback, app);
    submenu_add_item(
        app->submenu, "Settings", StartItemSettings, uhf_scene_start_submenu_callback, app);
    submenu_set_selected_item(
        app->submenu, scene_manager_get_scene_state(app->scene_manager, UHFSceneStart));
    view_dispatcher_switch_to_view(app->view_dispatcher, UHFViewMenu);
}

bool uhf_scene_start_on_event(void* context, SceneManagerEvent event) {
    UHFApp* app = static_cast<UHFApp*>(context);
    if(event.type != SceneManagerEventTypeCustom) return false;
    if(event.event == StartItemReadTag) {
        scene_manager_set_scene_state(app->scene_manager, UHFSceneStart, StartItemReadTag);
        scene_manager_next_scene(app->scene_manager, UHFSceneReadTag);
        return true;
    }
    if(event.event == StartItemSaved) {
        scene_manager_set_scene_state(app->scene_manager, UHFSceneStart, StartItemSaved);
        scene_manager_next_scene(app->scene_manager, UHFSceneFileSelect);
        return true;
    }
    return false;
}

void uhf_scene_start_on_exit(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    submenu_reset(app->submenu);
}
