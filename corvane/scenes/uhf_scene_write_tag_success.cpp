// The write result: "More" to the tag menu, "Exit" to the start menu; Back writes again.
#include "../app/uhf_app.h"

#include <dolphin/dolphin.h>
#include <notification/notification_messages.h>

void uhf_scene_write_tag_success_widget_callback(
    GuiButtonType result,
    InputType type,
    void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    if(type == InputTypeShort) view_dispatcher_send_custom_event(app->view_dispatcher, result);
}

void uhf_scene_write_tag_success_on_enter(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    dolphin_deed(DolphinDeedNfcReadSuccess);
    notification_message(app->notifications, &sequence_success);
    widget_add_string_element(
        app->widget, 32, 5, AlignLeft, AlignCenter, FontPrimary, "Write Success");
    widget_add_button_element(
        app->widget, GuiButtonTypeRight, "More", uhf_scene_write_tag_success_widget_callback, app);
    widget_add_button_element(
        app->widget, GuiButtonTypeLeft, "Exit", uhf_scene_write_tag_success_widget_callback, app);
    view_dispatcher_switch_to_view(app->view_dispatcher, UHFViewWidget);
}

bool uhf_scene_write_tag_success_on_event(void* context, SceneManagerEvent event) {
    UHFApp* app = static_cast<UHFApp*>(context);
    if(event.type == SceneManagerEventTypeBack) {
        // Back to the write popup, which writes anew; the job has ended already.
        uhf_worker_request_stop(app->worker);
        return false;
    }
    if(event.type != SceneManagerEventTypeCustom) return false;
    if(event.event == GuiButtonTypeLeft) {
        return scene_manager_search_and_switch_to_previous_scene(
            app->scene_manager, UHFSceneStart);
    }
    if(event.event == GuiButtonTypeRight) {
        scene_manager_next_scene(app->scene_manager, UHFSceneTagMenu);
        return true;
    }
    return false;
}

void uhf_scene_write_tag_success_on_exit(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    uhf_worker_stop(app->worker);
    popup_reset(app->popup);
    widget_reset(app->widget);
}
