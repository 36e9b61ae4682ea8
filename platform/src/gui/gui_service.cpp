// The GUI service: the "gui" record, its thread "GuiSrv", layers of view ports, input routing and
// the committed frames.
#include <furi.h>
#include <gui/gui.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>
#include <vector>

#include "canvas_i.h"
#include "fonts.h"
#include "host/gui.h"
#include "host/runtime.h"
#include "view_port_i.h"

namespace {

constexpr const char* kTag = "GuiSrv";
constexpr std::uint32_t kQueueLength = 32;

enum class MessageKind : std::uint8_t {
    Redraw,
    Input,
    Stop
};

struct Message {
    MessageKind kind;
    InputEvent event;
};

} // namespace

struct Gui {
    host::Runtime* runtime = nullptr;
    FuriMutex* mutex = nullptr; // recursive: callbacks on the GUI thread may call gui_* again
    FuriMessageQueue* queue = nullptr;
    FuriThread* thread = nullptr;
    std::atomic<bool> redraw_pending{false};
    std::atomic<std::uint64_t> dropped_inputs{0};
    std::array<std::vector<ViewPort*>, GuiLayerMAX> layers; // back() is the top
    std::array<ViewPort*, InputKeyMAX> ongoing{};           // where each held key's Press went
    bool lockdown = false;
    Canvas canvas;

    mutable std::mutex frame_mutex; // guards the fields below, read by host code on any thread
    host::Screen last_frame;
    std::uint64_t frames = 0;
    host::GuiService::FrameCallback frame_callback;
};

namespace gui_host {

void gui_request_redraw(Gui* gui) {
    // Coalesce: one pending redraw message is enough. If the queue is full, the messages in it
    // wake the thread, which checks the flag after each one.
    if(!gui->redraw_pending.exchange(true)) {
        const Message message{MessageKind::Redraw, {}};
        furi_message_queue_put(gui->queue, &message, 0);
    }
}

} // namespace gui_host

namespace {

class GuiLock {
public:
    explicit GuiLock(Gui* gui)
        : gui_(gui) {
        furi_check(furi_mutex_acquire(gui_->mutex, FuriWaitForever) == FuriStatusOk);
    }
    ~GuiLock() { furi_mutex_release(gui_->mutex); }
    GuiLock(const GuiLock&) = delete;
    GuiLock& operator=(const GuiLock&) = delete;

private:
    Gui* gui_;
};

ViewPort* top_enabled(const Gui* gui, GuiLayer layer) {
    const auto& ports = gui->layers[layer];
    for(auto it = ports.rbegin(); it != ports.rend(); ++it)
        if((*it)->is_enabled) return *it;
    return nullptr;
}

ViewPort* input_target(const Gui* gui) {
    for(const GuiLayer layer : {GuiLayerFullscreen, GuiLayerWindow, GuiLayerDesktop})
        if(ViewPort* vp = top_enabled(gui, layer)) return vp;
    return nullptr;
}

bool attached(const Gui* gui, const ViewPort* view_port) {
    return view_port != nullptr && view_port->gui == gui;
}

void redraw(Gui* gui) {
    {
        GuiLock lock(gui);
        canvas_reset(&gui->canvas);
        if(ViewPort* full = top_enabled(gui, GuiLayerFullscreen)) {
            gui_host::view_port_draw(full, &gui->canvas);
        } else {
            if(ViewPort* desktop = top_enabled(gui, GuiLayerDesktop))
                gui_host::view_port_draw(desktop, &gui->canvas);
            if(ViewPort* window = top_enabled(gui, GuiLayerWindow))
                gui_host::view_port_draw(window, &gui->canvas);
        }
        gui_host::canvas_reset_state(&gui->canvas);
    }
    host::Screen frame = gui->canvas.screen;
    host::GuiService::FrameCallback callback;
    {
        std::lock_guard lock(gui->frame_mutex);
        frame.set_frame_info(++gui->frames, gui->runtime->now());
        gui->last_frame = frame;
        callback = gui->frame_callback;
    }
    if(callback) callback(frame);
}

void dispatch_input(Gui* gui, InputEvent event) {
    if(static_cast<unsigned>(event.key) >= InputKeyMAX) return;
    ViewPort* target = nullptr;
    {
        GuiLock lock(gui);
        ViewPort* top = input_target(gui);
        ViewPort*& ongoing = gui->ongoing[event.key];
        if(event.type == InputTypePress) {
            ongoing = top;
            target = top;
        } else if(ongoing != nullptr && ongoing == top) {
            target = top;
        } else if(ongoing != nullptr && attached(gui, ongoing) && event.type == InputTypeRelease) {
            // The screen changed during the press: the view port that saw the Press still gets its
            // Release, so it does not think the key is held; nothing else of that press reaches it.
            target = ongoing;
        }
        if(event.type == InputTypeRelease) ongoing = nullptr;
    }
    if(target != nullptr) gui_host::view_port_input(target, &event);
}

int32_t gui_thread(void* context) {
    Gui* gui = static_cast<Gui*>(context);
    for(;;) {
        Message message{};
        if(furi_message_queue_get(gui->queue, &message, FuriWaitForever) != FuriStatusOk) continue;
        if(message.kind == MessageKind::Stop) break;
        if(message.kind == MessageKind::Input) dispatch_input(gui, message.event);
        if(gui->redraw_pending.exchange(false)) redraw(gui);
    }
    return 0;
}

} // namespace

extern "C" {

void gui_add_view_port(Gui* gui, ViewPort* view_port, GuiLayer layer) {
    furi_check(gui != nullptr);
    furi_check(view_port != nullptr);
    furi_check(static_cast<unsigned>(layer) < GuiLayerMAX);
    {
        GuiLock lock(gui);
        // A view port lives on one GUI layer at a time.
        furi_check(view_port->gui == nullptr);
        gui->layers[layer].push_back(view_port);
        view_port->gui = gui;
    }
    gui_host::gui_request_redraw(gui);
}

void gui_remove_view_port(Gui* gui, ViewPort* view_port) {
    furi_check(gui != nullptr);
    furi_check(view_port != nullptr);
    {
        GuiLock lock(gui);
        furi_check(view_port->gui == gui);
        for(auto& ports : gui->layers)
            ports.erase(std::remove(ports.begin(), ports.end(), view_port), ports.end());
        for(auto& ongoing : gui->ongoing)
            if(ongoing == view_port) ongoing = nullptr;
        view_port->gui = nullptr;
    }
    gui_host::gui_request_redraw(gui);
}

void gui_view_port_send_to_front(Gui* gui, ViewPort* view_port) {
    furi_check(gui != nullptr);
    furi_check(view_port != nullptr);
    {
        GuiLock lock(gui);
        furi_check(view_port->gui == gui);
        for(auto& ports : gui->layers) {
            const auto it = std::find(ports.begin(), ports.end(), view_port);
            if(it != ports.end()) {
                ports.erase(it);
                ports.push_back(view_port);
                break;
            }
        }
    }
    gui_host::gui_request_redraw(gui);
}

size_t gui_get_framebuffer_size(const Gui* gui) {
    (void)gui;
    return host::Screen::kWidth * host::Screen::kHeight / 8;
}

void gui_set_lockdown(Gui* gui, bool lockdown) {
    furi_check(gui != nullptr);
    {
        GuiLock lock(gui);
        gui->lockdown = lockdown;
    }
    gui_host::gui_request_redraw(gui);
}

} // extern "C"

namespace host {

GuiService::GuiService(Runtime& runtime) {
    std::string error;
    if(!gui_host::fonts_load(&error)) furi_crash(error.c_str());
    furi_check(!furi_record_exists(RECORD_GUI));

    gui_ = new Gui;
    gui_->runtime = &runtime;
    gui_->mutex = furi_mutex_alloc(FuriMutexTypeRecursive);
    gui_->queue = furi_message_queue_alloc(kQueueLength, sizeof(Message));
    gui_host::canvas_reset_state(&gui_->canvas);

    input_ = std::make_unique<InputDevice>(runtime);
    Gui* gui = gui_;
    input_->set_sink([gui](const InputEvent& event) {
        const Message message{MessageKind::Input, event};
        if(furi_message_queue_put(gui->queue, &message, 0) != FuriStatusOk) ++gui->dropped_inputs;
    });

    gui_->thread = furi_thread_alloc_ex(kTag, 2048, gui_thread, gui_);
    furi_thread_start(gui_->thread);
    furi_record_create(RECORD_GUI, gui_);
}

GuiService::~GuiService() {
    input_.reset(); // no more events into the queue
    if(!host::record_destroy(RECORD_GUI))
        gui_host::gui_warn(kTag, "record \"gui\" still open while the GUI service stops");
    const Message stop{MessageKind::Stop, {}};
    furi_check(furi_message_queue_put(gui_->queue, &stop, FuriWaitForever) == FuriStatusOk);
    furi_thread_join(gui_->thread);
    furi_thread_free(gui_->thread);
    for(auto& ports : gui_->layers)
        for(ViewPort* vp : ports) {
            gui_host::gui_warn(
                kTag,
                "view port %p still on the GUI at shutdown; detached",
                static_cast<void*>(vp));
            vp->gui = nullptr;
        }
    furi_message_queue_free(gui_->queue);
    furi_mutex_free(gui_->mutex);
    delete gui_;
}

Screen GuiService::screen() const {
    std::lock_guard lock(gui_->frame_mutex);
    return gui_->last_frame;
}

std::uint64_t GuiService::frame_count() const {
    std::lock_guard lock(gui_->frame_mutex);
    return gui_->frames;
}

void GuiService::set_frame_callback(FrameCallback callback) {
    std::lock_guard lock(gui_->frame_mutex);
    gui_->frame_callback = std::move(callback);
}

std::uint64_t GuiService::dropped_inputs() const {
    return gui_->dropped_inputs.load();
}

} // namespace host
