/* View dispatcher: owns a view port, shows one of its registered views, and runs the app's event
 * loop on the caller's thread: input, custom events from any thread, ticks. */
#pragma once
#include <stdbool.h>
#include <stdint.h>

#include <furi/core/common_defines.h>

#include <gui/gui.h>
#include <gui/view.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    ViewDispatcherTypeDesktop = 0,
    ViewDispatcherTypeWindow = 1,
    ViewDispatcherTypeFullscreen = 2,
} ViewDispatcherType;

typedef struct ViewDispatcher ViewDispatcher;

/* A custom event that the current view did not consume; true when handled. */
typedef bool (*ViewDispatcherCustomEventCallback)(void* context, uint32_t event);
/* Back that neither the view nor its previous callback used; false stops the dispatcher. */
typedef bool (*ViewDispatcherNavigationEventCallback)(void* context);
/* Called every tick period while the loop runs. */
typedef void (*ViewDispatcherTickEventCallback)(void* context);

/* At 86.0 a new dispatcher has its event queue already. */
ViewDispatcher* view_dispatcher_alloc(void) FURI_HOST_API86(view_dispatcher_alloc);
/* Detaches from the GUI. Views still added are detached, not freed. */
void view_dispatcher_free(ViewDispatcher* view_dispatcher);
/* Deprecated at 86.0, and does nothing: the queue is always there. */
FURI_DEPRECATED void view_dispatcher_enable_queue(ViewDispatcher* view_dispatcher)
    FURI_HOST_API86(view_dispatcher_enable_queue);
/* Posts a custom event to the loop. Callable from any thread; from interrupt context it does not
 * wait and drops the event when the queue is full. */
void view_dispatcher_send_custom_event(ViewDispatcher* view_dispatcher, uint32_t event);
void view_dispatcher_set_custom_event_callback(
    ViewDispatcher* view_dispatcher,
    ViewDispatcherCustomEventCallback callback);
void view_dispatcher_set_navigation_event_callback(
    ViewDispatcher* view_dispatcher,
    ViewDispatcherNavigationEventCallback callback);
/* tick_period in ms; 0 or a null callback: no ticks. */
void view_dispatcher_set_tick_event_callback(
    ViewDispatcher* view_dispatcher,
    ViewDispatcherTickEventCallback callback,
    uint32_t tick_period);
void view_dispatcher_set_event_callback_context(ViewDispatcher* view_dispatcher, void* context);
/* Runs the loop on the calling thread until view_dispatcher_stop. */
void view_dispatcher_run(ViewDispatcher* view_dispatcher);
/* Ends the loop once the events already queued are handled. Callable from any thread. */
void view_dispatcher_stop(ViewDispatcher* view_dispatcher);
/* view_id must be unused and neither VIEW_NONE nor VIEW_IGNORE; a view joins one dispatcher. */
void view_dispatcher_add_view(ViewDispatcher* view_dispatcher, uint32_t view_id, View* view);
/* Removing the current view leaves no view shown. */
void view_dispatcher_remove_view(ViewDispatcher* view_dispatcher, uint32_t view_id);
/* view_id must have been added, or be VIEW_NONE (show nothing). */
void view_dispatcher_switch_to_view(ViewDispatcher* view_dispatcher, uint32_t view_id);
void view_dispatcher_send_to_front(ViewDispatcher* view_dispatcher);
void view_dispatcher_attach_to_gui(
    ViewDispatcher* view_dispatcher,
    Gui* gui,
    ViewDispatcherType type);

#ifdef __cplusplus
}
#endif
