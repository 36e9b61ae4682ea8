#pragma once
// The View record and the hooks the view dispatcher uses on it.

#include <gui/view.h>
#include <gui/view_port.h>

#include <furi.h>

struct ViewDispatcher;

struct View {
    ViewDrawCallback draw_callback = nullptr;
    ViewInputCallback input_callback = nullptr;
    ViewCustomCallback custom_callback = nullptr;
    ViewNavigationCallback previous_callback = nullptr;
    ViewCallback enter_callback = nullptr;
    ViewCallback exit_callback = nullptr;
    ViewUpdateCallback update_callback = nullptr;
    void* update_callback_context = nullptr;
    void* context = nullptr;
    ViewOrientation orientation = ViewOrientationHorizontal;

    ViewModelType model_type = ViewModelTypeNone;
    void* model = nullptr;
    FuriMutex* model_mutex = nullptr; // Locking models only

    ViewDispatcher* dispatcher = nullptr; // the dispatcher it is added to, if any
};

// Used by the view dispatcher.
void view_draw(View* view, Canvas* canvas);
bool view_input(View* view, InputEvent* event);
bool view_custom(View* view, uint32_t event);
uint32_t view_previous(View* view);
void view_enter(View* view);
void view_exit(View* view);
ViewPortOrientation view_port_orientation_of(const View* view);
