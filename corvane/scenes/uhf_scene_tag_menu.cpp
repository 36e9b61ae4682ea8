// The menu for the tag in the holder: "Save" and "Change Key" (listed, leads nowhere).
#include "../app/uhf_app.h"

namespace {

enum TagMenuItem : uint32_t {
    TagMenuItemSave = 0,
    TagMenuItemChangeKey = 1,
};

} // namespace

void uhf_scene_tag_menu_submenu_callback(void* context, uint32_t index) {
    UHFApp* app = static_cast<UHFApp*>(context);
    view_dispatcher_send_custom_event(app->view_dispatcher, index);
}

void uhf_scene_tag_menu_on_enter(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    submenu_add_item(
        app->submenu, "Save", TagMenuItemSave, uhf_scene_tag_menu_submenu_callback, app);
    submenu_add_item(
        app->submenu, "Change Key", TagMenuItemChangeKey, uhf_scene_tag_menu_submenu_callback, app);
    submenu_set_selected_item(
        app->submenu, scene_manager_get_scene_state(app->scene_manager, UHFSceneTagMenu));
    view_dispatcher_switch_to_view(app->view_dispatcher, UHFViewMenu);
}

bool uhf_scene_tag_menu_on_event(void* context, SceneManagerEvent event) {
    UHFApp* app = static_cast<UHFApp*>(context);
    if(event.type == SceneManagerEventTypeBack) {
        return scene_manager_search_and_switch_to_previous_scene(
            app->scene_manager, UHFSceneStart);
    }
    if(event.type == SceneManagerEventTypeCustom && event.event == TagMenuItemSave) {
        scene_manager_set_scene_state(app->scene_manager, UHFSceneTagMenu, TagMenuItemSave);
        scene_manager_next_scene(app->scene_manager, UHFSceneSaveName);
        return true;
    }
    return false;
}

void uhf_scene_tag_menu_on_exit(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    submenu_reset(app->submenu);
}
