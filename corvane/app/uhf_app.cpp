#include "uhf_app.h"

#include <furi_hal_power.h>
#include <notification/notification_messages.h>
// The module's header tells the SDKs apart (M100_SERIAL_API): 86.0 brought, besides the serial
// API, the expansion service on the USART and furi_timer_set_thread_priority; 36.x has the
// console switch and the timer task's FreeRTOS handle.
#if M100_SERIAL_API
#include <expansion/expansion.h>
#else
#include <furi_hal_console.h>
#include <task.h>
#endif

#include <stdio.h>
#include <stdlib.h>

namespace {

constexpr uint32_t kTickPeriodMs = 100;

// The timer service task drives the loading view's animation. While a file loads on the
// application thread it runs at the interrupt priority, so the animation keeps turning, and
// then goes back to its usual priority.
#if !M100_SERIAL_API
constexpr const char* kTimerTaskName = "TimersSrv";
constexpr UBaseType_t kTimerTaskLoadingPriority = 31;
constexpr UBaseType_t kTimerTaskUsualPriority = 2;
#endif

constexpr const NotificationMessage* const kBlinkStart[] = {
    &message_blink_start_10,
    &message_blink_set_color_cyan,
    &message_do_not_reset,
    nullptr,
};
constexpr const NotificationMessage* const kBlinkStop[] = {
    &message_blink_stop,
    nullptr,
};

/** The SDK takes a sequence as a pointer to an array of unknown bound, which C++17 does not
 *  convert a pointer to a sized array into. */
template <size_t N>
const NotificationSequence* as_sequence(const NotificationMessage* const (&messages)[N]) {
    return reinterpret_cast<const NotificationSequence*>(&messages);
}

#if !M100_SERIAL_API
void set_timer_task_priority(UBaseType_t priority) {
    // A null handle would mean the calling task to vTaskPrioritySet: never raise ourselves.
    TaskHandle_t timer_task = xTaskGetHandle(kTimerTaskName);
    if(timer_task) vTaskPrioritySet(timer_task, priority);
}
#endif

} // namespace

bool uhf_custom_event_callback(void* context, uint32_t event) {
    UHFApp* app = static_cast<UHFApp*>(context);
    return scene_manager_handle_custom_event(app->scene_manager, event);
}

bool uhf_back_event_callback(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    return scene_manager_handle_back_event(app->scene_manager);
}

void uhf_tick_event_callback(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    scene_manager_handle_tick_event(app->scene_manager);
}

UHFApp* uhf_alloc(void) {
    UHFApp* app = static_cast<UHFApp*>(malloc(sizeof(UHFApp)));

    app->view_dispatcher = view_dispatcher_alloc();
    app->scene_manager = scene_manager_alloc(&uhf_scene_handlers, app);
#if !M100_SERIAL_API
    // At 86.0 every dispatcher has its queue, and this call is deprecated.
    view_dispatcher_enable_queue(app->view_dispatcher);
#endif
    view_dispatcher_set_event_callback_context(app->view_dispatcher, app);
    view_dispatcher_set_custom_event_callback(app->view_dispatcher, uhf_custom_event_callback);
    view_dispatcher_set_navigation_event_callback(app->view_dispatcher, uhf_back_event_callback);
    view_dispatcher_set_tick_event_callback(
        app->view_dispatcher, uhf_tick_event_callback, kTickPeriodMs);

    app->gui = static_cast<Gui*>(furi_record_open(RECORD_GUI));
    view_dispatcher_attach_to_gui(app->view_dispatcher, app->gui, ViewDispatcherTypeFullscreen);

    app->worker = uhf_worker_alloc();
    app->uhf_device = uhf_device_alloc();
    UHFTagWrapper* holder = uhf_tag_wrapper_alloc();
    app->worker->uhf_tag_wrapper = holder;
    app->uhf_device->uhf_tag_wrapper = holder;

    app->notifications = static_cast<NotificationApp*>(furi_record_open(RECORD_NOTIFICATION));

    app->submenu = submenu_alloc();
    view_dispatcher_add_view(app->view_dispatcher, UHFViewMenu, submenu_get_view(app->submenu));
    app->popup = popup_alloc();
    view_dispatcher_add_view(app->view_dispatcher, UHFViewPopup, popup_get_view(app->popup));
    app->loading = loading_alloc();
    view_dispatcher_add_view(app->view_dispatcher, UHFViewLoading, loading_get_view(app->loading));
    app->text_input = text_input_alloc();
    view_dispatcher_add_view(
        app->view_dispatcher, UHFViewTextInput, text_input_get_view(app->text_input));
    app->widget = widget_alloc();
    view_dispatcher_add_view(app->view_dispatcher, UHFViewWidget, widget_get_view(app->widget));

    return app;
}

void uhf_free(UHFApp* app) {
    view_dispatcher_remove_view(app->view_dispatcher, UHFViewMenu);
    submenu_free(app->submenu);
    view_dispatcher_remove_view(app->view_dispatcher, UHFViewPopup);
    popup_free(app->popup);
    view_dispatcher_remove_view(app->view_dispatcher, UHFViewLoading);
    loading_free(app->loading);
    view_dispatcher_remove_view(app->view_dispatcher, UHFViewTextInput);
    text_input_free(app->text_input);
    view_dispatcher_remove_view(app->view_dispatcher, UHFViewWidget);
    widget_free(app->widget);

    // A running read job writes into the holder: it ends before the holder goes.
    uhf_worker_stop(app->worker);
    uhf_tag_wrapper_free(app->worker->uhf_tag_wrapper);
    uhf_worker_free(app->worker);
    uhf_device_free(app->uhf_device);

    view_dispatcher_free(app->view_dispatcher);
    scene_manager_free(app->scene_manager);

    furi_record_close(RECORD_GUI);
    furi_record_close(RECORD_NOTIFICATION);
    free(app);
}

extern "C" int32_t uhf_app_main(void* p) {
    UNUSED(p);
#if M100_SERIAL_API
    // The expansion service listens on the USART; it lets go before the module takes the USART
    // (in uhf_alloc) and listens again once the module has given it back (in uhf_free).
    Expansion* expansion = static_cast<Expansion*>(furi_record_open(RECORD_EXPANSION));
    expansion_disable(expansion);
#endif
    UHFApp* app = uhf_alloc();

#if !M100_SERIAL_API
    // USART1 is the firmware's console too: with the module powered, every log line would reach
    // the module's receive line. The console stays off for as long as the module is on. (With
    // the serial API, taking the USART detached the log.)
    furi_hal_console_disable();
#endif
    furi_hal_power_enable_otg();

    scene_manager_next_scene(app->scene_manager, UHFSceneVerify);
    view_dispatcher_run(app->view_dispatcher);

    furi_hal_power_disable_otg();
#if !M100_SERIAL_API
    furi_hal_console_enable();
#endif

    uhf_free(app);
#if M100_SERIAL_API
    expansion_enable(expansion);
    furi_record_close(RECORD_EXPANSION);
#endif
    return 0;
}

void uhf_blink_start(UHFApp* app) {
    notification_message(app->notifications, as_sequence(kBlinkStart));
}

void uhf_blink_stop(UHFApp* app) {
    notification_message(app->notifications, as_sequence(kBlinkStop));
}

void uhf_show_loading_popup(void* context, bool show) {
    UHFApp* app = static_cast<UHFApp*>(context);
    if(show) {
#if M100_SERIAL_API
        furi_timer_set_thread_priority(FuriTimerThreadPriorityElevated);
#else
        set_timer_task_priority(kTimerTaskLoadingPriority);
#endif
        view_dispatcher_switch_to_view(app->view_dispatcher, UHFViewLoading);
    } else {
#if M100_SERIAL_API
        furi_timer_set_thread_priority(FuriTimerThreadPriorityNormal);
#else
        set_timer_task_priority(kTimerTaskUsualPriority);
#endif
    }
}

char* convertToHexString(const uint8_t* data, size_t length) {
    if(data == nullptr || length == 0) {
        char* blank = static_cast<char*>(malloc(2));
        if(blank) {
            blank[0] = ' ';
            blank[1] = '\0';
        }
        return blank;
    }
    char* text = static_cast<char*>(malloc(3 * length + 1));
    if(!text) return nullptr;
    for(size_t i = 0; i < length; i++) {
        snprintf(text + 3 * i, 4, "%02X ", data[i]);
    }
    text[3 * length] = '\0';
    return text;
}
