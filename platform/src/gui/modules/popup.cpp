// Popup: icon, header (FontPrimary) and text (FontSecondary), each placed by the app, and a
// one-shot timeout on the timer service.
//
// As on the device: the texts are the caller's pointers (not copies); with a callback set, any
// short key press calls it and is consumed, so Back does not navigate while such a popup shows;
// the timeout runs only from the view's enter (restarted on every enter), so enabling it while
// shown starts nothing, and neither disabling nor resetting stops a countdown already running.

#include <gui/modules/popup.h>

#include <gui/elements.h>

#include <furi.h>

#include <atomic>

#include "core/fatal.h"
#include "gui/modules/module_model_i.h"

namespace {

constexpr uint32_t kDefaultTimeoutMs = 1000;

struct TextElement {
    const char* text = nullptr; // the caller's
    uint8_t x = 0;
    uint8_t y = 0;
    Align horizontal = AlignLeft;
    Align vertical = AlignTop;
};

struct PopupModel {
    TextElement header;
    TextElement text;
    const Icon* icon = nullptr;
    uint8_t icon_x = 0;
    uint8_t icon_y = 0;
};

void draw_text(Canvas* canvas, const TextElement& element, Font font) {
    if(element.text == nullptr) return;
    canvas_set_font(canvas, font);
    elements_multiline_text_aligned(
        canvas, element.x, element.y, element.horizontal, element.vertical, element.text);
}

void popup_draw(Canvas* canvas, void* model_memory) {
    const auto& model = *static_cast<PopupModel*>(model_memory);
    canvas_clear(canvas);
    if(model.icon != nullptr) canvas_draw_icon(canvas, model.icon_x, model.icon_y, model.icon);
    draw_text(canvas, model.header, FontPrimary);
    draw_text(canvas, model.text, FontSecondary);
}

} // namespace

struct Popup {
    View* view = nullptr;
    FuriTimer* timer = nullptr;
    // Read by the timer service and the dispatcher's thread.
    std::atomic<PopupCallback> callback = nullptr;
    std::atomic<void*> context = nullptr;
    std::atomic<uint32_t> timeout_ms = kDefaultTimeoutMs;
    std::atomic<bool> timeout_enabled = false;
};

namespace {

constexpr host::NotNull<Popup> require_popup{"popup"};

void call_back(Popup* popup) {
    const PopupCallback callback = popup->callback.load();
    if(callback != nullptr) callback(popup->context.load());
}

// Timer service thread.
void timer_callback(void* context) {
    call_back(static_cast<Popup*>(context));
}

void enter_callback(void* context) {
    auto* popup = static_cast<Popup*>(context);
    if(!popup->timeout_enabled) return;
    const uint32_t ms = popup->timeout_ms;
    furi_check(furi_timer_start(popup->timer, furi_ms_to_ticks(ms == 0 ? 1 : ms)) == FuriStatusOk);
}

void exit_callback(void* context) {
    furi_timer_stop(static_cast<Popup*>(context)->timer);
}

bool popup_input(InputEvent* event, void* context) {
    auto* popup = static_cast<Popup*>(context);
    if(event->type != InputTypeShort || popup->callback.load() == nullptr) return false;
    call_back(popup);
    return true;
}

void set_text(
    Popup* popup,
    bool header,
    const char* text,
    uint8_t x,
    uint8_t y,
    Align horizontal,
    Align vertical) {
    gui_modules::with_model<PopupModel>(popup->view, true, [&](PopupModel& m) {
        (header ? m.header : m.text) = TextElement{text, x, y, horizontal, vertical};
    });
}

} // namespace

extern "C" {

Popup* popup_alloc(void) {
    auto* popup = host::make_tracked<Popup>();
    popup->view = view_alloc();
    popup->timer = furi_timer_alloc(timer_callback, FuriTimerTypeOnce, popup);
    view_set_context(popup->view, popup);
    gui_modules::model_construct<PopupModel>(popup->view);
    view_set_draw_callback(popup->view, popup_draw);
    view_set_input_callback(popup->view, popup_input);
    view_set_enter_callback(popup->view, enter_callback);
    view_set_exit_callback(popup->view, exit_callback);
    return popup;
}

void popup_free(Popup* popup) {
    require_popup(popup, "popup_free");
    furi_timer_stop(popup->timer);
    furi_timer_free(popup->timer);
    gui_modules::model_destroy<PopupModel>(popup->view);
    view_free(popup->view);
    host::destroy_tracked(popup);
}

View* popup_get_view(Popup* popup) {
    return require_popup(popup, "popup_get_view")->view;
}

void popup_set_callback(Popup* popup, PopupCallback callback) {
    require_popup(popup, "popup_set_callback")->callback = callback;
}

void popup_set_context(Popup* popup, void* context) {
    require_popup(popup, "popup_set_context")->context = context;
}

void popup_set_header(
    Popup* popup,
    const char* text,
    uint8_t x,
    uint8_t y,
    Align horizontal,
    Align vertical) {
    set_text(require_popup(popup, "popup_set_header"), true, text, x, y, horizontal, vertical);
}

void popup_set_text(
    Popup* popup,
    const char* text,
    uint8_t x,
    uint8_t y,
    Align horizontal,
    Align vertical) {
    set_text(require_popup(popup, "popup_set_text"), false, text, x, y, horizontal, vertical);
}

void popup_set_icon(Popup* popup, uint8_t x, uint8_t y, const Icon* icon) {
    require_popup(popup, "popup_set_icon");
    gui_modules::with_model<PopupModel>(popup->view, true, [&](PopupModel& m) {
        m.icon = icon;
        m.icon_x = x;
        m.icon_y = y;
    });
}

void popup_set_timeout(Popup* popup, uint32_t timeout_in_ms) {
    require_popup(popup, "popup_set_timeout")->timeout_ms = timeout_in_ms;
}

// Takes effect at the next enter of the view.
void popup_enable_timeout(Popup* popup) {
    require_popup(popup, "popup_enable_timeout")->timeout_enabled = true;
}

// Takes effect at the next enter of the view: a countdown already running still fires.
void popup_disable_timeout(Popup* popup) {
    require_popup(popup, "popup_disable_timeout")->timeout_enabled = false;
}

void popup_reset(Popup* popup) {
    require_popup(popup, "popup_reset");
    gui_modules::with_model<PopupModel>(popup->view, false, [](PopupModel& m) {
        m = PopupModel();
    });
    popup->callback = nullptr;
    popup->context = nullptr;
    popup->timeout_enabled = false;
    popup->timeout_ms = 0;
}

} // extern "C"
