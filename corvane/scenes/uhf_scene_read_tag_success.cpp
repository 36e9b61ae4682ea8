// The read result: PC, CRC and EPC of the tag just read, "More" to the tag menu, "Exit" to the
// start menu. Back reads again.
#include "../app/uhf_app.h"

#include <dolphin/dolphin.h>
#include <notification/notification_messages.h>

#include <stdlib.h>

void uhf_scene_read_card_success_widget_callback(
    GuiButtonType result,
    InputType type,
    void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    if(type == InputTypeShort) view_dispatcher_send_custom_event(app->view_dispatcher, result);
}

void uhf_scene_read_tag_success_on_enter(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    UHFTag* tag = app->worker->uhf_tag_wrapper->uhf_tag;
    FuriString* temp_str = furi_string_alloc();

    dolphin_deed(DolphinDeedNfcReadSuccess);
    notification_message(app->notifications, &sequence_success);

    widget_add_string_element(
        app->widget, 32, 5, AlignLeft, AlignCenter, FontPrimary, "Read Success");
    widget_add_string_element(app->widget, 3, 18, AlignLeft, AlignCenter, FontPrimary, "PC :");
    widget_add_string_element(app->widget, 66, 18, AlignLeft, AlignCenter, FontPrimary, "CRC :");
    widget_add_string_element(app->widget, 3, 32, AlignLeft, AlignCenter, FontPrimary, "EPC :");

    const unsigned pc = tag ? uhf_tag_get_epc_pc(tag) : 0u;
    const unsigned crc = tag ? uhf_tag_get_epc_crc(tag) : 0u;
    furi_string_cat_printf(temp_str, "%04X", pc);
    widget_add_string_element(
        app->widget, 26, 19, AlignLeft, AlignCenter, FontKeyboard, furi_string_get_cstr(temp_str));
    furi_string_reset(temp_str);
    furi_string_cat_printf(temp_str, "%04X", crc);
    widget_add_string_element(
        app->widget, 96, 19, AlignLeft, AlignCenter, FontKeyboard, furi_string_get_cstr(temp_str));

    char* epc = tag ? convertToHexString(uhf_tag_get_epc(tag), uhf_tag_get_epc_size(tag)) :
                      convertToHexString(nullptr, 0);
    if(epc) {
        widget_add_string_multiline_element(
            app->widget, 34, 29, AlignLeft, AlignTop, FontKeyboard, epc);
    }

    widget_add_button_element(
        app->widget, GuiButtonTypeRight, "More", uhf_scene_read_card_success_widget_callback, app);
    widget_add_button_element(
        app->widget, GuiButtonTypeLeft, "Exit", uhf_scene_read_card_success_widget_callback, app);
    view_dispatcher_switch_to_view(app->view_dispatcher, UHFViewWidget);

    free(epc);
    furi_string_free(temp_str);
}

bool uhf_scene_read_tag_success_on_event(void* context, SceneManagerEvent event) {
    UHFApp* app = static_cast<UHFApp*>(context);
    if(event.type == SceneManagerEventTypeBack) {
        // Back to the read popup, which reads anew; the job has ended already.
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

void uhf_scene_read_tag_success_on_exit(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    uhf_worker_stop(app->worker);
    popup_reset(app->popup);
    widget_reset(app->widget);
}
