// The view dispatcher: one view port showing the current view, and an event loop on the app's
// thread fed by a queue (input from the GUI thread, custom events from any thread, stop).

#include <gui/view_dispatcher.h>

#include <furi.h>

#include <map>

#include "api86/seam.h"
#include "core/fatal.h"
#include "gui/view_i.h"

namespace {

constexpr const char* kTag = "ViewDispatcher";
constexpr uint32_t kQueueLength = 16;
// After the loop ends, how long to wait for the releases of keys still held (virtual ms).
constexpr uint32_t kReleaseWaitMs = 1000;

struct Message {
    enum Type : uint32_t {
        Input,
        Custom,
        Stop
    } type;
    union {
        InputEvent input;
        uint32_t custom;
    };
};

} // namespace

struct ViewDispatcher {
    FuriMessageQueue* queue = nullptr;
    Gui* gui = nullptr;
    ViewPort* view_port = nullptr;
    std::map<uint32_t, View*> views;
    View* current_view = nullptr;

    // Keys pressed while some view was current: the rest of those presses belongs to that view.
    View* ongoing_input_view = nullptr;
    uint8_t ongoing_input = 0;

    ViewDispatcherCustomEventCallback custom_event_callback = nullptr;
    ViewDispatcherNavigationEventCallback navigation_event_callback = nullptr;
    ViewDispatcherTickEventCallback tick_event_callback = nullptr;
    uint32_t tick_period = 0; // read when the loop starts, as on the device
    void* event_context = nullptr;

    bool running = false;
    bool stop_pending = false;
    FuriThreadId loop_thread = nullptr;
};

namespace {

constexpr host::NotNull<const ViewDispatcher> require_dispatcher{"view dispatcher"};

void require_queue(const ViewDispatcher* dispatcher, const char* what) {
    require_dispatcher(dispatcher, what);
    if(dispatcher->queue == nullptr) {
        host::fatal(
            "%s: the view dispatcher has no queue; call view_dispatcher_enable_queue first", what);
    }
}

// The device's queue put waits forever, which an interrupt cannot do: its furi_check fails.
void refuse_interrupt_context(const char* what) {
    if(furi_kernel_is_irq_or_masked()) {
        host::fatal(
            "%s: called from interrupt context; the device waits forever on the dispatcher's queue "
            "there and crashes. Hand the event to a thread (e.g. a thread flag or a message queue "
            "put with timeout 0) and send it from there",
            what);
    }
}

bool on_loop_thread(const ViewDispatcher* dispatcher) {
    return dispatcher->running && !furi_kernel_is_irq_or_masked() &&
           furi_thread_get_current_id() == dispatcher->loop_thread;
}

// Puts a message without ever waiting where waiting cannot end: on the loop's own thread (nobody
// else empties the queue). Returns false when the queue was full then.
bool post(ViewDispatcher* dispatcher, const Message& message) {
    if(on_loop_thread(dispatcher)) {
        return furi_message_queue_put(dispatcher->queue, &message, 0) == FuriStatusOk;
    }
    furi_check(
        furi_message_queue_put(dispatcher->queue, &message, FuriWaitForever) == FuriStatusOk);
    return true;
}

// No view (VIEW_NONE, or the current view removed) hides the view port and, with a queue, ends
// the loop; a stop sent before the loop runs ends the next run at once, as on the device.
void set_current_view(ViewDispatcher* dispatcher, View* view) {
    if(dispatcher->current_view != nullptr) view_exit(dispatcher->current_view);
    dispatcher->current_view = view;
    if(view != nullptr) {
        const ViewPortOrientation orientation = view_port_orientation_of(view);
        if(view_port_get_orientation(dispatcher->view_port) != orientation) {
            view_port_set_orientation(dispatcher->view_port, orientation);
            dispatcher->ongoing_input =
                0; // the keys turned with the screen: held ones are forgotten
        }
        view_enter(view);
        view_port_enabled_set(dispatcher->view_port, true);
        view_port_update(dispatcher->view_port);
    } else {
        view_port_enabled_set(dispatcher->view_port, false);
        if(dispatcher->queue != nullptr) view_dispatcher_stop(dispatcher);
    }
}

// An unconsumed Back: the view's previous callback, else the app's navigation callback, which
// ends the loop when it returns false.
void handle_navigation(ViewDispatcher* dispatcher) {
    const uint32_t view_id = dispatcher->current_view != nullptr ?
                                 view_previous(dispatcher->current_view) :
                                 VIEW_IGNORE;
    if(view_id == VIEW_IGNORE && dispatcher->navigation_event_callback != nullptr) {
        if(!dispatcher->navigation_event_callback(dispatcher->event_context))
            view_dispatcher_stop(dispatcher);
        return;
    }
    view_dispatcher_switch_to_view(dispatcher, view_id);
}

void handle_input(ViewDispatcher* dispatcher, InputEvent* event) {
    if(event->key >= InputKeyMAX || event->type >= InputTypeMAX) {
        FURI_LOG_W(kTag, "dropping an input event with key %d, type %d", event->key, event->type);
        return;
    }
    const uint8_t key_bit = static_cast<uint8_t>(1U << event->key);
    if(event->type == InputTypePress) {
        dispatcher->ongoing_input |= key_bit;
        dispatcher->ongoing_input_view = dispatcher->current_view;
    } else if(event->type == InputTypeRelease) {
        dispatcher->ongoing_input &= static_cast<uint8_t>(~key_bit);
    } else if((dispatcher->ongoing_input & key_bit) == 0) {
        // The rest of a press whose Press this dispatcher never saw (e.g. it began elsewhere).
        FURI_LOG_D(
            kTag,
            "dropping %s %s without its press",
            input_get_key_name(event->key),
            input_get_type_name(event->type));
        return;
    }

    View* view = dispatcher->current_view;
    if(view == dispatcher->ongoing_input_view) {
        const bool consumed = view != nullptr && view_input(view, event);
        const bool navigates = event->type == InputTypeShort || event->type == InputTypeLong;
        if(!consumed && navigates && event->key == InputKeyBack) handle_navigation(dispatcher);
    } else if(dispatcher->ongoing_input_view != nullptr && event->type == InputTypeRelease) {
        // The view changed during the press: the view that saw the press still gets its release.
        view_input(dispatcher->ongoing_input_view, event);
    }
}

void handle_custom(ViewDispatcher* dispatcher, uint32_t event) {
    bool consumed = false;
    if(dispatcher->current_view != nullptr)
        consumed = view_custom(dispatcher->current_view, event);
    if(!consumed && dispatcher->custom_event_callback != nullptr) {
        dispatcher->custom_event_callback(dispatcher->event_context, event);
    }
}

// View port callbacks (GUI thread).
void draw_callback(Canvas* canvas, void* context) {
    auto* dispatcher = static_cast<ViewDispatcher*>(context);
    if(dispatcher->current_view != nullptr) view_draw(dispatcher->current_view, canvas);
}

void input_callback(InputEvent* event, void* context) {
    auto* dispatcher = static_cast<ViewDispatcher*>(context);
    if(dispatcher->queue != nullptr) {
        Message message{};
        message.type = Message::Input;
        message.input = *event;
        if(!post(dispatcher, message)) FURI_LOG_W(kTag, "queue full, input event dropped");
    } else {
        handle_input(dispatcher, event);
    }
}

// A view's model changed: redraw when it is the one shown.
void view_update_callback(View* view, void* context) {
    auto* dispatcher = static_cast<ViewDispatcher*>(context);
    if(dispatcher->current_view == view) view_port_update(dispatcher->view_port);
}

} // namespace

extern "C" {

ViewDispatcher* view_dispatcher_alloc(void) {
    auto* dispatcher = host::make_tracked<ViewDispatcher>();
    dispatcher->view_port = view_port_alloc();
    view_port_enabled_set(dispatcher->view_port, false);
    view_port_draw_callback_set(dispatcher->view_port, draw_callback, dispatcher);
    view_port_input_callback_set(dispatcher->view_port, input_callback, dispatcher);
    return dispatcher;
}

void view_dispatcher_free(ViewDispatcher* view_dispatcher) {
    require_dispatcher(view_dispatcher, "view_dispatcher_free");
    if(view_dispatcher->running)
        host::fatal("view_dispatcher_free: the dispatcher's loop is still running");
    if(view_dispatcher->gui != nullptr)
        gui_remove_view_port(view_dispatcher->gui, view_dispatcher->view_port);
    view_port_free(view_dispatcher->view_port);
    for(auto& [id, view] : view_dispatcher->views) {
        view->update_callback = nullptr;
        view->update_callback_context = nullptr;
        view->dispatcher = nullptr;
    }
    if(view_dispatcher->queue != nullptr) furi_message_queue_free(view_dispatcher->queue);
    host::destroy_tracked(view_dispatcher);
}

void view_dispatcher_enable_queue(ViewDispatcher* view_dispatcher) {
    require_dispatcher(view_dispatcher, "view_dispatcher_enable_queue");
    if(view_dispatcher->queue != nullptr)
        host::fatal("view_dispatcher_enable_queue: the queue is already enabled");
    view_dispatcher->queue = furi_message_queue_alloc(kQueueLength, sizeof(Message));
}

void view_dispatcher_send_custom_event(ViewDispatcher* view_dispatcher, uint32_t event) {
    require_queue(view_dispatcher, "view_dispatcher_send_custom_event");
    refuse_interrupt_context("view_dispatcher_send_custom_event");
    Message message{};
    message.type = Message::Custom;
    message.custom = event;
    if(!post(view_dispatcher, message)) {
        host::fatal(
            "view_dispatcher_send_custom_event: the queue is full (%lu events) and the caller is the "
            "dispatcher's own thread, which would wait for itself forever",
            static_cast<unsigned long>(kQueueLength));
    }
}

void view_dispatcher_set_custom_event_callback(
    ViewDispatcher* view_dispatcher,
    ViewDispatcherCustomEventCallback callback) {
    require_dispatcher(view_dispatcher, "view_dispatcher_set_custom_event_callback");
    view_dispatcher->custom_event_callback = callback;
}

void view_dispatcher_set_navigation_event_callback(
    ViewDispatcher* view_dispatcher,
    ViewDispatcherNavigationEventCallback callback) {
    require_dispatcher(view_dispatcher, "view_dispatcher_set_navigation_event_callback");
    view_dispatcher->navigation_event_callback = callback;
}

void view_dispatcher_set_tick_event_callback(
    ViewDispatcher* view_dispatcher,
    ViewDispatcherTickEventCallback callback,
    uint32_t tick_period) {
    require_dispatcher(view_dispatcher, "view_dispatcher_set_tick_event_callback");
    view_dispatcher->tick_event_callback = callback;
    view_dispatcher->tick_period = tick_period;
}

void view_dispatcher_set_event_callback_context(ViewDispatcher* view_dispatcher, void* context) {
    require_dispatcher(view_dispatcher, "view_dispatcher_set_event_callback_context");
    view_dispatcher->event_context = context;
}

void view_dispatcher_run(ViewDispatcher* view_dispatcher) {
    require_queue(view_dispatcher, "view_dispatcher_run");
    if(view_dispatcher->running) host::fatal("view_dispatcher_run: the loop is already running");
    if(furi_kernel_is_irq_or_masked())
        host::fatal("view_dispatcher_run: called from interrupt context");
    view_dispatcher->running = true;
    view_dispatcher->loop_thread = furi_thread_get_current_id();

    // A tick is a whole tick period without any message: every event restarts the wait. The
    // period is the one set when the loop starts.
    const uint32_t timeout = view_dispatcher->tick_period == 0 ? FuriWaitForever :
                                                                 view_dispatcher->tick_period;
    Message message{};
    while(!view_dispatcher->stop_pending) {
        if(furi_message_queue_get(view_dispatcher->queue, &message, timeout) != FuriStatusOk) {
            if(view_dispatcher->tick_event_callback != nullptr) {
                view_dispatcher->tick_event_callback(view_dispatcher->event_context);
            }
            continue;
        }
        if(message.type == Message::Stop) break;
        if(message.type == Message::Input) {
            handle_input(view_dispatcher, &message.input);
        } else if(message.type == Message::Custom) {
            handle_custom(view_dispatcher, message.custom);
        }
    }

    // Swallow the releases of keys still held, so they do not reach whatever comes next.
    while(view_dispatcher->ongoing_input != 0 &&
          furi_message_queue_get(view_dispatcher->queue, &message, kReleaseWaitMs) ==
              FuriStatusOk) {
        if(message.type != Message::Input || message.input.key >= InputKeyMAX) continue;
        const uint8_t key_bit = static_cast<uint8_t>(1U << message.input.key);
        if(message.input.type == InputTypePress) view_dispatcher->ongoing_input |= key_bit;
        if(message.input.type == InputTypeRelease)
            view_dispatcher->ongoing_input &= static_cast<uint8_t>(~key_bit);
    }
    view_dispatcher->ongoing_input = 0;
    view_dispatcher->ongoing_input_view = nullptr;
    view_dispatcher->running = false;
    view_dispatcher->stop_pending = false;
    view_dispatcher->loop_thread = nullptr;
}

void view_dispatcher_stop(ViewDispatcher* view_dispatcher) {
    require_queue(view_dispatcher, "view_dispatcher_stop");
    refuse_interrupt_context("view_dispatcher_stop");
    Message message{};
    message.type = Message::Stop;
    if(!post(view_dispatcher, message)) {
        // Full queue on the loop's own thread: the loop checks this flag after each message.
        view_dispatcher->stop_pending = true;
    }
}

void view_dispatcher_add_view(ViewDispatcher* view_dispatcher, uint32_t view_id, View* view) {
    require_dispatcher(view_dispatcher, "view_dispatcher_add_view");
    if(view == nullptr)
        host::fatal(
            "view_dispatcher_add_view: view %lu is null", static_cast<unsigned long>(view_id));
    if(view_id == VIEW_NONE || view_id == VIEW_IGNORE) {
        host::fatal(
            "view_dispatcher_add_view: %lu is reserved (VIEW_NONE / VIEW_IGNORE)",
            static_cast<unsigned long>(view_id));
    }
    if(view_dispatcher->views.contains(view_id)) {
        host::fatal(
            "view_dispatcher_add_view: view id %lu is already in use",
            static_cast<unsigned long>(view_id));
    }
    if(view->dispatcher != nullptr) {
        host::fatal(
            "view_dispatcher_add_view: the view (id %lu) is already added to a view dispatcher",
            static_cast<unsigned long>(view_id));
    }
    view_dispatcher->views[view_id] = view;
    view->dispatcher = view_dispatcher;
    view->update_callback = view_update_callback;
    view->update_callback_context = view_dispatcher;
}

void view_dispatcher_remove_view(ViewDispatcher* view_dispatcher, uint32_t view_id) {
    require_dispatcher(view_dispatcher, "view_dispatcher_remove_view");
    auto it = view_dispatcher->views.find(view_id);
    if(it == view_dispatcher->views.end()) {
        host::fatal(
            "view_dispatcher_remove_view: view id %lu was never added",
            static_cast<unsigned long>(view_id));
    }
    View* view = it->second;
    if(view_dispatcher->current_view == view) set_current_view(view_dispatcher, nullptr);
    if(view_dispatcher->ongoing_input_view == view) view_dispatcher->ongoing_input_view = nullptr;
    view->update_callback = nullptr;
    view->update_callback_context = nullptr;
    view->dispatcher = nullptr;
    view_dispatcher->views.erase(it);
}

void view_dispatcher_switch_to_view(ViewDispatcher* view_dispatcher, uint32_t view_id) {
    require_dispatcher(view_dispatcher, "view_dispatcher_switch_to_view");
    if(view_id == VIEW_IGNORE) return;
    if(view_id == VIEW_NONE) {
        set_current_view(view_dispatcher, nullptr);
        return;
    }
    auto it = view_dispatcher->views.find(view_id);
    if(it == view_dispatcher->views.end()) {
        host::fatal(
            "view_dispatcher_switch_to_view: view id %lu was never added",
            static_cast<unsigned long>(view_id));
    }
    set_current_view(view_dispatcher, it->second);
}

void view_dispatcher_send_to_front(ViewDispatcher* view_dispatcher) {
    require_dispatcher(view_dispatcher, "view_dispatcher_send_to_front");
    if(view_dispatcher->gui == nullptr)
        host::fatal("view_dispatcher_send_to_front: not attached to a GUI");
    gui_view_port_send_to_front(view_dispatcher->gui, view_dispatcher->view_port);
}

void view_dispatcher_attach_to_gui(
    ViewDispatcher* view_dispatcher,
    Gui* gui,
    ViewDispatcherType type) {
    require_dispatcher(view_dispatcher, "view_dispatcher_attach_to_gui");
    if(gui == nullptr) host::fatal("view_dispatcher_attach_to_gui: gui is null");
    if(view_dispatcher->gui != nullptr)
        host::fatal("view_dispatcher_attach_to_gui: already attached to a GUI");
    GuiLayer layer = GuiLayerDesktop;
    switch(type) {
    case ViewDispatcherTypeDesktop:
        layer = GuiLayerDesktop;
        break;
    case ViewDispatcherTypeWindow:
        layer = GuiLayerWindow;
        break;
    case ViewDispatcherTypeFullscreen:
        layer = GuiLayerFullscreen;
        break;
    default:
        host::fatal("view_dispatcher_attach_to_gui: unknown dispatcher type %d", type);
    }
    gui_add_view_port(gui, view_dispatcher->view_port, layer);
    view_dispatcher->gui = gui;
}

} // extern "C"

ViewDispatcher* host::seam::view_dispatcher_alloc_queued() {
    ViewDispatcher* dispatcher = view_dispatcher_alloc();
    view_dispatcher_enable_queue(dispatcher);
    return dispatcher;
}
