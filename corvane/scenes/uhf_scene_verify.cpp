// The module check: the bottom scene. It runs the verify job and shows the module's identity, or
// a not-found screen with Retry and Skip. Back here ends the application.
#include "../app/uhf_app.h"

void uhf_scene_verify_callback_event(UHFWorkerEvent event, void* context);
void uhf_scene_verify_widget_callback(GuiButtonType result, InputType type, void* context);

namespace {

// Outcome of the latest check, written by the worker callback before it posts
// UHFCustomEventVerifyDone, read on the application thread once that event has arrived.
bool verify_success = false;
// Each identity line is composed here before the widget copies it.
FuriString* temp_str = nullptr;

// The help line of the not-found screen.
constexpr const char* kHelpText = "Wiring and help: see\nREADME.md of corvane";

void add_identity_line(UHFApp* app, const char* label, const char* value, uint8_t y) {
    furi_string_cat_str(temp_str, label);
    furi_string_cat_str(temp_str, value ? value : "");
    widget_add_string_element(
        app->widget, 1, y, AlignLeft, AlignTop, FontSecondary, furi_string_get_cstr(temp_str));
    furi_string_reset(temp_str);
}

void show_found(UHFApp* app) {
    const M100ModuleInfo* info = app->worker->module->info;
    widget_reset(app->widget);
    furi_string_reset(temp_str);
    widget_add_string_element(
        app->widget, 64, 5, AlignCenter, AlignCenter, FontPrimary, "Module Info");
    add_identity_line(app, "HW Version: ", info->hw_version, 15);
    add_identity_line(app, "SW Version: ", info->sw_version, 27);
    add_identity_line(app, "Manufacturer: ", info->manufacturer, 39);
    widget_add_button_element(
        app->widget, GuiButtonTypeRight, "Continue", uhf_scene_verify_widget_callback, app);
}

void show_not_found(UHFApp* app) {
    widget_add_string_element(
        app->widget, 64, 5, AlignCenter, AlignCenter, FontPrimary, "No UHF Module found");
    widget_add_string_multiline_element(
        app->widget, 64, 30, AlignCenter, AlignCenter, FontSecondary, kHelpText);
    widget_add_button_element(
        app->widget, GuiButtonTypeLeft, "Retry", uhf_scene_verify_widget_callback, app);
    widget_add_button_element(
        app->widget, GuiButtonTypeRight, "Skip", uhf_scene_verify_widget_callback, app);
}

} // namespace

void uhf_scene_verify_callback_event(UHFWorkerEvent event, void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    verify_success = event == UHFWorkerEventSuccess;
    view_dispatcher_send_custom_event(app->view_dispatcher, UHFCustomEventVerifyDone);
}

void uhf_scene_verify_widget_callback(GuiButtonType result, InputType type, void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    if(type == InputTypeShort) view_dispatcher_send_custom_event(app->view_dispatcher, result);
}

void uhf_scene_verify_on_enter(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    uhf_worker_start(app->worker, UHFWorkerStateVerify, uhf_scene_verify_callback_event, app);
    temp_str = furi_string_alloc();
    view_dispatcher_switch_to_view(app->view_dispatcher, UHFViewWidget);
}

bool uhf_scene_verify_on_event(void* context, SceneManagerEvent event) {
    UHFApp* app = static_cast<UHFApp*>(context);
    if(event.type == SceneManagerEventTypeBack) {
        // The check has no stop point; the exit handler waits for it.
        uhf_worker_request_stop(app->worker);
        return false;
    }
    if(event.type != SceneManagerEventTypeCustom) return false;

    if(event.event == UHFCustomEventVerifyDone) {
        if(verify_success) {
            show_found(app);
        } else {
            show_not_found(app);
        }
    } else if(event.event == GuiButtonTypeLeft && !verify_success) {
        widget_reset(app->widget);
        furi_string_reset(temp_str);
        uhf_worker_stop(app->worker);
        uhf_worker_start(app->worker, UHFWorkerStateVerify, uhf_scene_verify_callback_event, app);
    } else if(event.event == GuiButtonTypeRight) {
        scene_manager_next_scene(app->scene_manager, UHFSceneStart);
        return true;
    }
    return false;
}

void uhf_scene_verify_on_exit(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    furi_string_free(temp_str);
    temp_str = nullptr;
    uhf_worker_stop(app->worker);
    widget_reset(app->widget);
}
