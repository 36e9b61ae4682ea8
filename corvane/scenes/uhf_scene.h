#pragma once
// The scene ids and handlers of corvane, expanded from the scene list in uhf_scene_config.h.

#include <gui/scene_manager.h>

#define ADD_SCENE(prefix, name, id) UHFScene##id,
enum UHFScene {
#include "uhf_scene_config.h"
    UHFSceneNum,
};
#undef ADD_SCENE

/** The three handler arrays by scene id and the scene count, for the scene manager. */
extern const SceneManagerHandlers uhf_scene_handlers;

#define ADD_SCENE(prefix, name, id) void prefix##_scene_##name##_on_enter(void* context);
#include "uhf_scene_config.h"
#undef ADD_SCENE

#define ADD_SCENE(prefix, name, id) \
    bool prefix##_scene_##name##_on_event(void* context, SceneManagerEvent event);
#include "uhf_scene_config.h"
#undef ADD_SCENE

#define ADD_SCENE(prefix, name, id) void prefix##_scene_##name##_on_exit(void* context);
#include "uhf_scene_config.h"
#undef ADD_SCENE
