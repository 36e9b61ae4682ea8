#include "uhf_scene.h"

namespace {

#define ADD_SCENE(prefix, name, id) prefix##_scene_##name##_on_enter,
const AppSceneOnEnterCallback uhf_on_enter_handlers[] = {
#include "uhf_scene_config.h"
};
#undef ADD_SCENE

#define ADD_SCENE(prefix, name, id) prefix##_scene_##name##_on_event,
const AppSceneOnEventCallback uhf_on_event_handlers[] = {
#include "uhf_scene_config.h"
};
#undef ADD_SCENE

#define ADD_SCENE(prefix, name, id) prefix##_scene_##name##_on_exit,
const AppSceneOnExitCallback uhf_on_exit_handlers[] = {
#include "uhf_scene_config.h"
};
#undef ADD_SCENE

static_assert(UHFSceneNum == 14, "corvane has fourteen scenes");
static_assert(sizeof uhf_on_enter_handlers / sizeof uhf_on_enter_handlers[0] == UHFSceneNum);
static_assert(sizeof uhf_on_event_handlers / sizeof uhf_on_event_handlers[0] == UHFSceneNum);
static_assert(sizeof uhf_on_exit_handlers / sizeof uhf_on_exit_handlers[0] == UHFSceneNum);

} // namespace

const SceneManagerHandlers uhf_scene_handlers = {
    uhf_on_enter_handlers,
    uhf_on_event_handlers,
    uhf_on_exit_handlers,
    UHFSceneNum,
};
