// Views: callbacks plus an optional model guarded by a lock that the GUI thread takes to draw.

#include "gui/view_i.h"

#include "core/fatal.h"

namespace {

constexpr host::NotNull<const View> require_view{"view"};

} // namespace

extern "C" {

View* view_alloc(void) {
    return host::make_tracked<View>();
}

void view_free(View* view) {
    require_view(view, "view_free");
    if(view->dispatcher != nullptr) {
        host::fatal("view_free: the view is still added to a view dispatcher; remove it first");
    }
    view_free_model(view);
    host::destroy_tracked(view);
}

void view_set_draw_callback(View* view, ViewDrawCallback callback) {
    require_view(view, "view_set_draw_callback");
    view->draw_callback = callback;
}

void view_set_input_callback(View* view, ViewInputCallback callback) {
    require_view(view, "view_set_input_callback");
    view->input_callback = callback;
}

void view_set_custom_callback(View* view, ViewCustomCallback callback) {
    require_view(view, "view_set_custom_callback");
    view->custom_callback = callback;
}

void view_set_previous_callback(View* view, ViewNavigationCallback callback) {
    require_view(view, "view_set_previous_callback");
    view->previous_callback = callback;
}

void view_set_enter_callback(View* view, ViewCallback callback) {
    require_view(view, "view_set_enter_callback");
    view->enter_callback = callback;
}

void view_set_exit_callback(View* view, ViewCallback callback) {
    require_view(view, "view_set_exit_callback");
    view->exit_callback = callback;
}

void view_set_update_callback(View* view, ViewUpdateCallback callback) {
    require_view(view, "view_set_update_callback");
    view->update_callback = callback;
}

void view_set_update_callback_context(View* view, void* context) {
    require_view(view, "view_set_update_callback_context");
    view->update_callback_context = context;
}

void view_set_context(View* view, void* context) {
    require_view(view, "view_set_context");
    view->context = context;
}

void view_set_orientation(View* view, ViewOrientation orientation) {
    require_view(view, "view_set_orientation");
    if(orientation > ViewOrientationVerticalFlip)
        host::fatal("view_set_orientation: unknown orientation %d", orientation);
    view->orientation = orientation;
}

void view_allocate_model(View* view, ViewModelType type, size_t size) {
    require_view(view, "view_allocate_model");
    if(view->model_type != ViewModelTypeNone)
        host::fatal("view_allocate_model: the view already has a model");
    if(type != ViewModelTypeLockFree && type != ViewModelTypeLocking) {
        host::fatal("view_allocate_model: the model type must be LockFree or Locking");
    }
    view->model = furi_host_malloc(size == 0 ? 1 : size); // zero-filled
    if(view->model == nullptr) host::fatal("view_allocate_model: out of memory (%zu bytes)", size);
    if(type == ViewModelTypeLocking) view->model_mutex = furi_mutex_alloc(FuriMutexTypeNormal);
    view->model_type = type;
}

void view_free_model(View* view) {
    require_view(view, "view_free_model");
    if(view->model_type == ViewModelTypeNone) return;
    if(view->model_mutex != nullptr) {
        furi_mutex_free(view->model_mutex);
        view->model_mutex = nullptr;
    }
    furi_host_free(view->model);
    view->model = nullptr;
    view->model_type = ViewModelTypeNone;
}

void* view_get_model(View* view) {
    require_view(view, "view_get_model");
    if(view->model_type == ViewModelTypeLocking) {
        furi_check(furi_mutex_acquire(view->model_mutex, FuriWaitForever) == FuriStatusOk);
    }
    return view->model;
}

void view_commit_model(View* view, bool update) {
    require_view(view, "view_commit_model");
    if(view->model_type == ViewModelTypeLocking) {
        furi_check(furi_mutex_release(view->model_mutex) == FuriStatusOk);
    }
    if(update && view->update_callback != nullptr) {
        view->update_callback(view, view->update_callback_context);
    }
}

} // extern "C"

void view_draw(View* view, Canvas* canvas) {
    if(view->draw_callback == nullptr) return;
    void* model = view_get_model(view);
    view->draw_callback(canvas, model);
    view_commit_model(view, false);
}

bool view_input(View* view, InputEvent* event) {
    return view->input_callback != nullptr && view->input_callback(event, view->context);
}

bool view_custom(View* view, uint32_t event) {
    return view->custom_callback != nullptr && view->custom_callback(event, view->context);
}

uint32_t view_previous(View* view) {
    return view->previous_callback != nullptr ? view->previous_callback(view->context) :
                                                VIEW_IGNORE;
}

void view_enter(View* view) {
    if(view->enter_callback != nullptr) view->enter_callback(view->context);
}

void view_exit(View* view) {
    if(view->exit_callback != nullptr) view->exit_callback(view->context);
}

ViewPortOrientation view_port_orientation_of(const View* view) {
    switch(view->orientation) {
    case ViewOrientationHorizontalFlip:
        return ViewPortOrientationHorizontalFlip;
    case ViewOrientationVertical:
        return ViewPortOrientationVertical;
    case ViewOrientationVerticalFlip:
        return ViewPortOrientationVerticalFlip;
    case ViewOrientationHorizontal:
        break;
    }
    return ViewPortOrientationHorizontal;
}
