// The menu for a loaded file: "Delete", "Info", "Write". Its remembered item is the scene state.
#include "../app/uhf_app.h"

namespace {

enum SavedMenuItem : uint32_t {
    SavedMenuItemDelete = 0,
    SavedMenuItemInfo = 1,
    SavedMenuItemWrite = 2,
};

} // namespace

void uhf_scene_saved_menu_submenu_callback(void* context, uint32_t index) {
    UHFApp* app = static_cast<UHFApp*>(context);
    view_dispatcher_send_custom_event(app->view_dispatcher, index);
}

void uhf_scene_saved_menu_on_enter(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    submenu_add_item(
        app->submenu, "Delete", SavedMenuItemDelete, uhf_scene_saved_menu_submenu_callback, app);
    submenu_add_item(
        app->submenu, "Info", SavedMenuItemInfo, uhf_scene_saved_menu_submenu_callback, app);
    submenu_add_item(
        app->submenu, "Write", SavedMenuItemWrite, uhf_scene_saved_menu_submenu_callback, app);
    submenu_set_selected_item(
        app->submenu, scene_manager_get_scene_state(app->scene_manager, UHFSceneSavedMenu));
    view_dispatcher_switch_to_view(app->view_dispatcher, UHFViewMenu);
}

bool uhf_scene_saved_menu_on_event(void* context, SceneManagerEvent event) {
    UHFApp* app = static_cast<UHFApp*>(context);
    if(event.type != SceneManagerEventTypeCustom) return false;
    scene_manager_set_scene_state(app->scene_manager, UHFSceneSavedMenu, event.event);
    switch(event.event) {
    case SavedMenuItemDelete:
        scene_manager_next_scene(app->scene_manager, UHFSceneDelete);
        return true;
    case SavedMenuItemInfo:
        scene_manager_next_scene(app->scene_manager, UHFSceneDeviceInfo);
        return true;
    case SavedMenuItemWrite:
        scene_manager_next_scene(app->scene_manager, UHFSceneWriteTag);
        return true;
    default:
        return false;
    }
}

void uhf_scene_saved_menu_on_exit(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    submenu_reset(app->submenu);
}
