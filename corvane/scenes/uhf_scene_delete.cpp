// The delete question for the loaded file.
#include "../app/uhf_app.h"

#include <stdio.h>

void uhf_scene_delete_widget_callback(GuiButtonType result, InputType type, void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    if(type == InputTypeShort) view_dispatcher_send_custom_event(app->view_dispatcher, result);
}

void uhf_scene_delete_on_enter(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    // ESC '#' switches the text box's bold on and off: the whole question is bold.
    char question[64];
    snprintf(question, sizeof question, "\x1b#Delete %s?\x1b#", app->uhf_device->dev_name);
    widget_add_text_box_element(
        app->widget, 0, 0, 128, 23, AlignCenter, AlignCenter, question, false);
    widget_add_button_element(
        app->widget, GuiButtonTypeLeft, "Back", uhf_scene_delete_widget_callback, app);
    widget_add_button_element(
        app->widget, GuiButtonTypeRight, "Delete", uhf_scene_delete_widget_callback, app);
    view_dispatcher_switch_to_view(app->view_dispatcher, UHFViewWidget);
}

bool uhf_scene_delete_on_event(void* context, SceneManagerEvent event) {
    UHFApp* app = static_cast<UHFApp*>(context);
    if(event.type != SceneManagerEventTypeCustom) return false;
    if(event.event == GuiButtonTypeLeft) return scene_manager_previous_scene(app->scene_manager);
    if(event.event == GuiButtonTypeRight) {
        if(uhf_device_delete(app->uhf_device, true)) {
            scene_manager_next_scene(app->scene_manager, UHFSceneDeleteSuccess);
        } else {
            // The store has shown its error already.
            scene_manager_search_and_switch_to_previous_scene(app->scene_manager, UHFSceneStart);
        }
        return true;
    }
    return false;
}

void uhf_scene_delete_on_exit(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    widget_reset(app->widget);
}
