/* View: a screen with a draw callback, an input callback and an optional model. A view dispatcher
 * shows one view at a time on its view port. */
#pragma once
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#include <input/input.h>

#include <gui/canvas.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Returned by a previous callback: hide the current view and leave the dispatcher's loop. */
#define VIEW_NONE 0xFFFFFFFF
/* Returned by a previous callback: do nothing (the default when there is no previous callback). */
#define VIEW_IGNORE 0xFFFFFFFE

typedef enum {
    ViewOrientationHorizontal,
    ViewOrientationHorizontalFlip,
    ViewOrientationVertical,
    ViewOrientationVerticalFlip,
} ViewOrientation;

typedef struct View View;

/* Draws the view; `model` is the view's model (null when it has none). GUI thread. */
typedef void (*ViewDrawCallback)(Canvas* canvas, void* model);
/* Handles one input event; true when consumed. Dispatcher thread. */
typedef bool (*ViewInputCallback)(InputEvent* event, void* context);
/* Handles a custom event before the dispatcher's own callback; true when consumed. */
typedef bool (*ViewCustomCallback)(uint32_t event, void* context);
/* Back that the view did not consume: the id of the view to switch to, VIEW_NONE or VIEW_IGNORE. */
typedef uint32_t (*ViewNavigationCallback)(void* context);
/* Enter and exit callbacks: the view became the current one, or stopped being it. */
typedef void (*ViewCallback)(void* context);
/* Called when the model was committed with update = true. */
typedef void (*ViewUpdateCallback)(View* view, void* context);

typedef enum {
    ViewModelTypeNone,
    /* The model is shared without a lock: the owner must know that is safe. */
    ViewModelTypeLockFree,
    /* view_get_model takes the model's lock and view_commit_model releases it. */
    ViewModelTypeLocking,
} ViewModelType;

View* view_alloc(void);
/* The view must not be added to a view dispatcher any more. Frees the model too. */
void view_free(View* view);

void view_set_draw_callback(View* view, ViewDrawCallback callback);
void view_set_input_callback(View* view, ViewInputCallback callback);
void view_set_custom_callback(View* view, ViewCustomCallback callback);
void view_set_previous_callback(View* view, ViewNavigationCallback callback);
void view_set_enter_callback(View* view, ViewCallback callback);
void view_set_exit_callback(View* view, ViewCallback callback);
void view_set_update_callback(View* view, ViewUpdateCallback callback);
void view_set_update_callback_context(View* view, void* context);
/* The context of the input, custom, previous, enter and exit callbacks. */
void view_set_context(View* view, void* context);
void view_set_orientation(View* view, ViewOrientation orientation);

/* Allocates a zero-filled model of `size` bytes; a view has at most one model. */
void view_allocate_model(View* view, ViewModelType type, size_t size);
void view_free_model(View* view);
/* Locking models: takes the lock (blocks until it is free). Pair with view_commit_model. */
void* view_get_model(View* view);
/* Releases the lock; with update = true the view is redrawn when it is shown. */
void view_commit_model(View* view, bool update);

#ifdef __cplusplus
}
#endif

/* Runs `code` with the model locked: with_view_model(view, MyModel * model, { ... }, true); */
#define with_view_model(view, type, code, update) \
    {                                             \
        type = view_get_model(view);              \
        {code};                                   \
        view_commit_model(view, update);          \
    }

/* The same for C++, where void* does not convert implicitly:
 * with_view_model_cpp(view, MyModel*, model, { ... }, true); */
#define with_view_model_cpp(view, type, var, code, update)  \
    {                                                       \
        type var = static_cast<type>(view_get_model(view)); \
        {code};                                             \
        view_commit_model(view, update);                    \
    }
