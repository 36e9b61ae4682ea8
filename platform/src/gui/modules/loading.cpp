// Loading: an hourglass in a bold rounded frame at the screen's centre; the sand runs down in
// frames advanced by a periodic timer while the view is shown.

#include <gui/modules/loading.h>

#include <gui/elements.h>

#include <furi.h>

#include <algorithm>

#include "core/fatal.h"
#include "gui/modules/module_model_i.h"

namespace {

constexpr uint32_t kFramePeriodMs = 150;
constexpr int kFrames = 8;
constexpr int kBoxSize = 32;
constexpr int kBulbRows = 9;  // rows of each of the two bulbs

struct Model {
    int frame = 0;
};

// Half the inner width of a bulb row, 0 at the neck.
int bulb_half_width(int row_from_neck) {
    return 1 + row_from_neck * 5 / (kBulbRows - 1);
}

void draw(Canvas* canvas, void* model_memory) {
    const auto& model = *static_cast<Model*>(model_memory);
    const int x = (canvas_width(canvas) - kBoxSize) / 2;
    const int y = (canvas_height(canvas) - kBoxSize) / 2;
    elements_bold_rounded_frame(canvas, static_cast<uint8_t>(x), static_cast<uint8_t>(y), kBoxSize, kBoxSize);

    const int cx = x + kBoxSize / 2;  // the hourglass's axis
    const int top = y + 6;            // top cap
    const int neck = top + 1 + kBulbRows;
    const int bottom = neck + kBulbRows + 1;
    // Caps and glass outline.
    canvas_draw_line(canvas, static_cast<uint8_t>(cx - 8), static_cast<uint8_t>(top), static_cast<uint8_t>(cx + 7), static_cast<uint8_t>(top));
    canvas_draw_line(canvas, static_cast<uint8_t>(cx - 8), static_cast<uint8_t>(bottom), static_cast<uint8_t>(cx + 7), static_cast<uint8_t>(bottom));
    for(int r = 0; r < kBulbRows; ++r) {
        const int hw = bulb_half_width(kBulbRows - 1 - r);  // upper bulb narrows downwards
        const int upper = top + 1 + r;
        const int lower = bottom - 1 - r;
        canvas_draw_dot(canvas, static_cast<uint8_t>(cx - hw - 1), static_cast<uint8_t>(upper));
        canvas_draw_dot(canvas, static_cast<uint8_t>(cx + hw), static_cast<uint8_t>(upper));
        canvas_draw_dot(canvas, static_cast<uint8_t>(cx - hw - 1), static_cast<uint8_t>(lower));
        canvas_draw_dot(canvas, static_cast<uint8_t>(cx + hw), static_cast<uint8_t>(lower));
    }
    canvas_draw_dot(canvas, static_cast<uint8_t>(cx - 1), static_cast<uint8_t>(neck));
    canvas_draw_dot(canvas, static_cast<uint8_t>(cx), static_cast<uint8_t>(neck));

    // Sand: the upper bulb empties from the top, the lower one fills from the bottom.
    const int sand_rows = kBulbRows - 2;
    const int fallen = model.frame * sand_rows / (kFrames - 1);
    for(int r = 0; r < sand_rows - fallen; ++r) {
        const int row = neck - 1 - r;
        const int hw = bulb_half_width(r) - 1;
        canvas_draw_line(canvas, static_cast<uint8_t>(cx - hw), static_cast<uint8_t>(row), static_cast<uint8_t>(cx + hw - 1), static_cast<uint8_t>(row));
    }
    for(int r = 0; r < fallen; ++r) {
        const int row = bottom - 1 - r;
        const int hw = bulb_half_width(kBulbRows - 1 - r) - 1;
        canvas_draw_line(canvas, static_cast<uint8_t>(cx - hw), static_cast<uint8_t>(row), static_cast<uint8_t>(cx + hw - 1), static_cast<uint8_t>(row));
    }
    if(fallen < sand_rows) {
        // The falling stream, dotted, moving with the frames.
        for(int row = neck + 1 + model.frame % 2; row < bottom - fallen; row += 2) {
            canvas_draw_dot(canvas, static_cast<uint8_t>(cx - 1), static_cast<uint8_t>(row));
        }
    }
}

}  // namespace

struct Loading {
    View* view = nullptr;
    FuriTimer* timer = nullptr;
};

namespace {

Loading* require(Loading* loading, const char* what) {
    if(loading == nullptr) host::fatal("%s: loading is null", what);
    return loading;
}

void timer_callback(void* context) {
    auto* loading = static_cast<Loading*>(context);
    gui_modules::with_model<Model>(loading->view, true, [](Model& m) { m.frame = (m.frame + 1) % kFrames; });
}

void enter_callback(void* context) {
    auto* loading = static_cast<Loading*>(context);
    gui_modules::with_model<Model>(loading->view, true, [](Model& m) { m.frame = 0; });
    furi_timer_start(loading->timer, furi_ms_to_ticks(kFramePeriodMs));
}

void exit_callback(void* context) {
    furi_timer_stop(static_cast<Loading*>(context)->timer);
}

// While loading, no key does anything.
bool input(InputEvent* event, void* context) {
    (void)event;
    (void)context;
    return true;
}

}  // namespace

extern "C" {

Loading* loading_alloc(void) {
    auto* loading = host::make_tracked<Loading>();
    loading->view = view_alloc();
    loading->timer = furi_timer_alloc(timer_callback, FuriTimerTypePeriodic, loading);
    view_set_context(loading->view, loading);
    gui_modules::model_construct<Model>(loading->view);
    view_set_draw_callback(loading->view, draw);
    view_set_input_callback(loading->view, input);
    view_set_enter_callback(loading->view, enter_callback);
    view_set_exit_callback(loading->view, exit_callback);
    return loading;
}

void loading_free(Loading* instance) {
    require(instance, "loading_free");
    furi_timer_stop(instance->timer);
    furi_timer_free(instance->timer);
    gui_modules::model_destroy<Model>(instance->view);
    view_free(instance->view);
    host::destroy_tracked(instance);
}

View* loading_get_view(Loading* instance) {
    return require(instance, "loading_get_view")->view;
}

}  // extern "C"
