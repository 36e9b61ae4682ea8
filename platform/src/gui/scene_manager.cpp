// The scene manager: a stack of scene ids over the app's handler table.

#include <gui/scene_manager.h>

#include <furi.h>

#include <vector>

#include "core/fatal.h"

struct SceneManager {
    const SceneManagerHandlers* handlers = nullptr;
    void* context = nullptr;
    std::vector<uint32_t> stack;
    std::vector<uint32_t> states;

    void enter(uint32_t id) { handlers->on_enter_handlers[id](context); }
    void exit(uint32_t id) { handlers->on_exit_handlers[id](context); }
    bool event(uint32_t id, SceneManagerEvent e) {
        return handlers->on_event_handlers[id](context, e);
    }
};

namespace {

constexpr host::NotNull<const SceneManager> require_manager{"scene manager"};

void require_scene(const SceneManager* manager, uint32_t scene_id, const char* what) {
    require_manager(manager, what);
    if(scene_id >= manager->handlers->scene_num) {
        host::fatal(
            "%s: scene id %lu is out of range (the table has %lu scenes)",
            what,
            static_cast<unsigned long>(scene_id),
            static_cast<unsigned long>(manager->handlers->scene_num));
    }
}

// Index in the stack of the nearest `scene_id` below the top; -1 when there is none.
std::ptrdiff_t find_below_top(const SceneManager* manager, uint32_t scene_id) {
    const auto& stack = manager->stack;
    for(std::ptrdiff_t i = static_cast<std::ptrdiff_t>(stack.size()) - 2; i >= 0; --i) {
        if(stack[static_cast<size_t>(i)] == scene_id) return i;
    }
    return -1;
}

// Drops every scene above index `keep`, then exit on the old top and enter on the new top.
bool switch_down_to(SceneManager* manager, std::ptrdiff_t keep) {
    if(keep < 0) return false;
    const uint32_t old_top = manager->stack.back();
    manager->stack.resize(static_cast<size_t>(keep) + 1);
    const uint32_t new_top = manager->stack.back();
    manager->exit(old_top);
    manager->enter(new_top);
    return true;
}

} // namespace

extern "C" {

SceneManager* scene_manager_alloc(const SceneManagerHandlers* app_scene_handlers, void* context) {
    if(app_scene_handlers == nullptr)
        host::fatal("scene_manager_alloc: the handler table is null");
    const auto& h = *app_scene_handlers;
    if(h.on_enter_handlers == nullptr || h.on_event_handlers == nullptr ||
       h.on_exit_handlers == nullptr) {
        host::fatal("scene_manager_alloc: a handler array of the table is null");
    }
    for(uint32_t i = 0; i < h.scene_num; ++i) {
        if(h.on_enter_handlers[i] == nullptr || h.on_event_handlers[i] == nullptr ||
           h.on_exit_handlers[i] == nullptr) {
            host::fatal(
                "scene_manager_alloc: scene %lu has a null handler",
                static_cast<unsigned long>(i));
        }
    }
    auto* manager = host::make_tracked<SceneManager>();
    manager->handlers = app_scene_handlers;
    manager->context = context;
    manager->states.assign(h.scene_num, 0);
    return manager;
}

void scene_manager_free(SceneManager* scene_manager) {
    require_manager(scene_manager, "scene_manager_free");
    host::destroy_tracked(scene_manager);
}

void scene_manager_set_scene_state(SceneManager* scene_manager, uint32_t scene_id, uint32_t state) {
    require_scene(scene_manager, scene_id, "scene_manager_set_scene_state");
    scene_manager->states[scene_id] = state;
}

uint32_t scene_manager_get_scene_state(const SceneManager* scene_manager, uint32_t scene_id) {
    require_scene(scene_manager, scene_id, "scene_manager_get_scene_state");
    return scene_manager->states[scene_id];
}

bool scene_manager_handle_custom_event(SceneManager* scene_manager, uint32_t custom_event) {
    require_manager(scene_manager, "scene_manager_handle_custom_event");
    if(scene_manager->stack.empty()) return false;
    return scene_manager->event(
        scene_manager->stack.back(), {SceneManagerEventTypeCustom, custom_event});
}

bool scene_manager_handle_back_event(SceneManager* scene_manager) {
    require_manager(scene_manager, "scene_manager_handle_back_event");
    if(scene_manager->stack.empty()) return false;
    bool consumed =
        scene_manager->event(scene_manager->stack.back(), {SceneManagerEventTypeBack, 0});
    if(!consumed) consumed = scene_manager_previous_scene(scene_manager);
    return consumed;
}

void scene_manager_handle_tick_event(SceneManager* scene_manager) {
    require_manager(scene_manager, "scene_manager_handle_tick_event");
    if(scene_manager->stack.empty()) return;
    scene_manager->event(scene_manager->stack.back(), {SceneManagerEventTypeTick, 0});
}

void scene_manager_next_scene(SceneManager* scene_manager, uint32_t next_scene_id) {
    require_scene(scene_manager, next_scene_id, "scene_manager_next_scene");
    if(!scene_manager->stack.empty()) scene_manager->exit(scene_manager->stack.back());
    scene_manager->stack.push_back(next_scene_id);
    scene_manager->enter(next_scene_id);
}

bool scene_manager_previous_scene(SceneManager* scene_manager) {
    require_manager(scene_manager, "scene_manager_previous_scene");
    if(scene_manager->stack.empty()) return false;
    const uint32_t old_top = scene_manager->stack.back();
    scene_manager->stack.pop_back();
    if(scene_manager->stack.empty()) {
        scene_manager->exit(old_top);
        return false;
    }
    scene_manager->exit(old_top);
    scene_manager->enter(scene_manager->stack.back());
    return true;
}

bool scene_manager_has_previous_scene(const SceneManager* scene_manager, uint32_t scene_id) {
    require_manager(scene_manager, "scene_manager_has_previous_scene");
    return find_below_top(scene_manager, scene_id) >= 0;
}

bool scene_manager_search_and_switch_to_previous_scene(
    SceneManager* scene_manager,
    uint32_t scene_id) {
    require_manager(scene_manager, "scene_manager_search_and_switch_to_previous_scene");
    return switch_down_to(scene_manager, find_below_top(scene_manager, scene_id));
}

bool scene_manager_search_and_switch_to_previous_scene_one_of(
    SceneManager* scene_manager,
    const uint32_t* scene_ids,
    size_t scene_ids_size) {
    require_manager(scene_manager, "scene_manager_search_and_switch_to_previous_scene_one_of");
    if(scene_ids == nullptr && scene_ids_size != 0) {
        host::fatal("scene_manager_search_and_switch_to_previous_scene_one_of: scene_ids is null");
    }
    // The first listed id that is below the top wins, wherever it is in the stack.
    for(size_t i = 0; i < scene_ids_size; ++i) {
        const std::ptrdiff_t found = find_below_top(scene_manager, scene_ids[i]);
        if(found >= 0) return switch_down_to(scene_manager, found);
    }
    return false;
}

bool scene_manager_search_and_switch_to_another_scene(
    SceneManager* scene_manager,
    uint32_t scene_id) {
    require_scene(scene_manager, scene_id, "scene_manager_search_and_switch_to_another_scene");
    if(scene_manager->stack.empty()) return false;
    const uint32_t old_top = scene_manager->stack.back();
    scene_manager->stack.resize(1);
    scene_manager->stack.push_back(scene_id);
    scene_manager->exit(old_top);
    scene_manager->enter(scene_id);
    return true;
}

// Runs the top scene's exit and leaves the stack as it is (the device does not empty it).
void scene_manager_stop(SceneManager* scene_manager) {
    require_manager(scene_manager, "scene_manager_stop");
    if(scene_manager->stack.empty()) return;
    scene_manager->exit(scene_manager->stack.back());
}

} // extern "C"
