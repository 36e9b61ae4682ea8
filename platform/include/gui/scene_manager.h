/* Scene manager: a stack of scenes, each a triple of enter / event / exit handlers taken from the
 * app's handler table, plus one remembered 32-bit state per scene. */
#pragma once
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    SceneManagerEventTypeCustom = 0,
    SceneManagerEventTypeBack = 1,
    SceneManagerEventTypeTick = 2,
} SceneManagerEventType;

typedef struct {
    SceneManagerEventType type;
    uint32_t event;
} SceneManagerEvent;

typedef void (*AppSceneOnEnterCallback)(void* context);
typedef bool (*AppSceneOnEventCallback)(void* context, SceneManagerEvent event);
typedef void (*AppSceneOnExitCallback)(void* context);

typedef struct {
    const AppSceneOnEnterCallback* on_enter_handlers;
    const AppSceneOnEventCallback* on_event_handlers;
    const AppSceneOnExitCallback* on_exit_handlers;
    const uint32_t scene_num;
} SceneManagerHandlers;

typedef struct SceneManager SceneManager;

/* Every handler of the table must be set; `context` is passed to all of them. */
SceneManager* scene_manager_alloc(const SceneManagerHandlers* app_scene_handlers, void* context);
/* Runs no handler. */
void scene_manager_free(SceneManager* scene_manager);

void scene_manager_set_scene_state(SceneManager* scene_manager, uint32_t scene_id, uint32_t state);
uint32_t scene_manager_get_scene_state(const SceneManager* scene_manager, uint32_t scene_id);

/* Hands {Custom, event} to the top scene; false when there is no scene or it did not consume. */
bool scene_manager_handle_custom_event(SceneManager* scene_manager, uint32_t custom_event);
/* Hands {Back, 0} to the top scene; unconsumed, pops it (scene_manager_previous_scene). */
bool scene_manager_handle_back_event(SceneManager* scene_manager);
void scene_manager_handle_tick_event(SceneManager* scene_manager);

/* Exit on the current top (if any), push, enter on the new top. */
void scene_manager_next_scene(SceneManager* scene_manager, uint32_t next_scene_id);
/* Pops the top: exit on it, then enter on the scene below. Popping the last scene runs its exit
 * and returns false; an empty stack returns false. */
bool scene_manager_previous_scene(SceneManager* scene_manager);
/* True when scene_id is on the stack below the top. */
bool scene_manager_has_previous_scene(const SceneManager* scene_manager, uint32_t scene_id);
/* Pops every scene above the nearest scene_id below the top, then exit on the old top and enter
 * on scene_id. False (and no change) when scene_id is not below the top. */
bool scene_manager_search_and_switch_to_previous_scene(
    SceneManager* scene_manager,
    uint32_t scene_id);
/* The same for the nearest of several ids. */
bool scene_manager_search_and_switch_to_previous_scene_one_of(
    SceneManager* scene_manager,
    const uint32_t* scene_ids,
    size_t scene_ids_size);
/* Keeps only the bottom scene, then pushes scene_id: exit on the old top, enter on scene_id.
 * False when the stack is empty. */
bool scene_manager_search_and_switch_to_another_scene(
    SceneManager* scene_manager,
    uint32_t scene_id);
/* Runs the exit handler of the top scene and empties the stack. */
void scene_manager_stop(SceneManager* scene_manager);

#ifdef __cplusplus
}
#endif
