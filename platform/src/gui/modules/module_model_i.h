#pragma once
// C++ models that live in a view's locked model memory (constructed there in place), so the GUI
// thread's draw and the app's calls see them under the view's model lock.

#include <gui/view.h>

#include <new>
#include <utility>

namespace gui_modules {

template <typename Model>
void model_construct(View* view) {
    view_allocate_model(view, ViewModelTypeLocking, sizeof(Model));
    void* memory = view_get_model(view);
    new(memory) Model();
    view_commit_model(view, false);
}

template <typename Model>
void model_destroy(View* view) {
    auto* model = static_cast<Model*>(view_get_model(view));
    model->~Model();
    view_commit_model(view, false);
}

/// Runs fn(Model&) with the model locked and returns its result; redraws when `update`.
template <typename Model, typename Fn>
auto with_model(View* view, bool update, Fn&& fn) {
    auto* model = static_cast<Model*>(view_get_model(view));
    if constexpr(std::is_void_v<decltype(fn(*model))>) {
        std::forward<Fn>(fn)(*model);
        view_commit_model(view, update);
    } else {
        auto result = std::forward<Fn>(fn)(*model);
        view_commit_model(view, update);
        return result;
    }
}

} // namespace gui_modules
