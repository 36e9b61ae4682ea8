// Loading: the canvas cleared and an hourglass animation (24x24, 7 frames at 5 frames a second)
// at the screen's centre, no frame around it. The animation runs from the view's enter and starts
// over at its first frame on each enter. Every key is swallowed.

#include <gui/modules/loading.h>

#include <gui/elements.h>

#include <furi.h>

#include "core/fatal.h"
#include "gui/modules/module_model_i.h"
#include "gui/modules/pictures_i.h"

namespace {

const Icon& hourglass() {
    return gui_modules::pictures::hourglass_24x24;
}

struct LoadingModel {
    uint8_t frame = 0;
};

void loading_draw(Canvas* canvas, void* model_memory) {
    const auto& model = *static_cast<LoadingModel*>(model_memory);
    canvas_set_color(canvas, ColorWhite);
    canvas_draw_box(canvas, 0, 0, canvas_width(canvas), canvas_height(canvas));
    canvas_set_color(canvas, ColorBlack);
    const Icon& icon = hourglass();
    const auto x = static_cast<uint8_t>(canvas_width(canvas) / 2 - icon.width / 2);
    const auto y = static_cast<uint8_t>(canvas_height(canvas) / 2 - icon.height / 2);
    canvas_draw_xbm(
        canvas, x, y, icon.width, icon.height, icon.frames[model.frame % icon.frame_count]);
}

} // namespace

struct Loading {
    View* view = nullptr;
    FuriTimer* timer = nullptr;
};

namespace {

constexpr host::NotNull<Loading> require_loading{"loading"};

// Timer service thread.
void timer_callback(void* context) {
    auto* loading = static_cast<Loading*>(context);
    gui_modules::with_model<LoadingModel>(loading->view, true, [](LoadingModel& m) {
        m.frame = static_cast<uint8_t>((m.frame + 1) % hourglass().frame_count);
    });
}

void enter_callback(void* context) {
    auto* loading = static_cast<Loading*>(context);
    furi_timer_start(loading->timer, furi_ms_to_ticks(1000 / hourglass().frame_rate));
}

void exit_callback(void* context) {
    auto* loading = static_cast<Loading*>(context);
    furi_timer_stop(loading->timer);
    gui_modules::with_model<LoadingModel>(loading->view, false, [](LoadingModel& m) {
        m.frame = 0;
    });
}

bool loading_input(InputEvent* event, void* context) {
    (void)event;
    (void)context;
    return true;
}

} // namespace

extern "C" {

Loading* loading_alloc(void) {
    auto* loading = host::make_tracked<Loading>();
    loading->view = view_alloc();
    loading->timer = furi_timer_alloc(timer_callback, FuriTimerTypePeriodic, loading);
    view_set_context(loading->view, loading);
    gui_modules::model_construct<LoadingModel>(loading->view);
    view_set_draw_callback(loading->view, loading_draw);
    view_set_input_callback(loading->view, loading_input);
    view_set_enter_callback(loading->view, enter_callback);
    view_set_exit_callback(loading->view, exit_callback);
    return loading;
}

void loading_free(Loading* instance) {
    require_loading(instance, "loading_free");
    furi_timer_stop(instance->timer);
    furi_timer_free(instance->timer);
    gui_modules::model_destroy<LoadingModel>(instance->view);
    view_free(instance->view);
    host::destroy_tracked(instance);
}

View* loading_get_view(Loading* instance) {
    return require_loading(instance, "loading_get_view")->view;
}

} // extern "C"
