// Scene manager: the stack moves and which handlers run, in order.
#include <gtest/gtest.h>

#include <furi.h>
#include <gui/scene_manager.h>

#include <string>
#include <vector>

#include "host/runtime.h"

namespace {

enum Scene : uint32_t {
    Verify,
    Start,
    Read,
    Result,
    Menu,
    SceneCount
};

struct App {
    std::vector<std::string> log;
    bool consume_back[SceneCount] = {};
    SceneManager* scenes = nullptr;
};

template <uint32_t id>
void on_enter(void* context) {
    static_cast<App*>(context)->log.push_back("enter " + std::to_string(id));
}
template <uint32_t id>
bool on_event(void* context, SceneManagerEvent event) {
    auto* app = static_cast<App*>(context);
    app->log.push_back(
        "event " + std::to_string(id) + ":" + std::to_string(event.type) + "/" +
        std::to_string(event.event));
    return event.type == SceneManagerEventTypeBack ? app->consume_back[id] : event.event == 42;
}
template <uint32_t id>
void on_exit(void* context) {
    static_cast<App*>(context)->log.push_back("exit " + std::to_string(id));
}

const AppSceneOnEnterCallback enters[] =
    {on_enter<0>, on_enter<1>, on_enter<2>, on_enter<3>, on_enter<4>};
const AppSceneOnEventCallback events[] =
    {on_event<0>, on_event<1>, on_event<2>, on_event<3>, on_event<4>};
const AppSceneOnExitCallback exits[] = {on_exit<0>, on_exit<1>, on_exit<2>, on_exit<3>, on_exit<4>};
const SceneManagerHandlers handlers = {enters, events, exits, SceneCount};

class Scenes : public ::testing::Test {
protected:
    Scenes() { app_.scenes = scene_manager_alloc(&handlers, &app_); }
    ~Scenes() override { scene_manager_free(app_.scenes); }

    /// Pushes the given scenes and forgets what that logged.
    void push(std::initializer_list<uint32_t> ids) {
        for(uint32_t id : ids) scene_manager_next_scene(app_.scenes, id);
        app_.log.clear();
    }

    host::Runtime rt_;
    App app_;
};

using Log = std::vector<std::string>;

TEST_F(Scenes, NextExitsTheOldTopThenEntersTheNew) {
    scene_manager_next_scene(app_.scenes, Verify);
    scene_manager_next_scene(app_.scenes, Start);
    EXPECT_EQ(app_.log, (Log{"enter 0", "exit 0", "enter 1"}));
}

TEST_F(Scenes, UnconsumedBackPopsAndTheLastPopReturnsFalse) {
    push({Verify, Start});
    EXPECT_TRUE(scene_manager_handle_back_event(app_.scenes));
    EXPECT_EQ(app_.log, (Log{"event 1:1/0", "exit 1", "enter 0"}));
    app_.log.clear();
    EXPECT_FALSE(scene_manager_handle_back_event(app_.scenes));
    EXPECT_EQ(app_.log, (Log{"event 0:1/0", "exit 0"}));
    app_.log.clear();
    // Nothing is left: events go nowhere.
    EXPECT_FALSE(scene_manager_handle_back_event(app_.scenes));
    EXPECT_FALSE(scene_manager_handle_custom_event(app_.scenes, 42));
    EXPECT_TRUE(app_.log.empty());
}

TEST_F(Scenes, ConsumedBackStays) {
    push({Verify, Start});
    app_.consume_back[Start] = true;
    EXPECT_TRUE(scene_manager_handle_back_event(app_.scenes));
    EXPECT_EQ(app_.log, (Log{"event 1:1/0"}));
}

TEST_F(Scenes, CustomAndTickEventsGoToTheTopScene) {
    push({Verify, Start, Read});
    EXPECT_TRUE(scene_manager_handle_custom_event(app_.scenes, 42));
    EXPECT_FALSE(scene_manager_handle_custom_event(app_.scenes, 7));
    scene_manager_handle_tick_event(app_.scenes);
    EXPECT_EQ(app_.log, (Log{"event 2:0/42", "event 2:0/7", "event 2:2/0"}));
}

TEST_F(Scenes, SearchAndSwitchDropsEverythingAboveTheTarget) {
    push({Verify, Start, Read, Result, Menu});
    EXPECT_TRUE(scene_manager_has_previous_scene(app_.scenes, Start));
    EXPECT_FALSE(scene_manager_has_previous_scene(app_.scenes, Menu)); // the top is not "previous"
    EXPECT_TRUE(scene_manager_search_and_switch_to_previous_scene(app_.scenes, Start));
    EXPECT_EQ(app_.log, (Log{"exit 4", "enter 1"}));
    app_.log.clear();
    // The dropped scenes are gone: Back from Start lands on Verify.
    EXPECT_FALSE(scene_manager_has_previous_scene(app_.scenes, Read));
    EXPECT_TRUE(scene_manager_handle_back_event(app_.scenes));
    EXPECT_EQ(app_.log, (Log{"event 1:1/0", "exit 1", "enter 0"}));
}

TEST_F(Scenes, SearchForAMissingSceneChangesNothing) {
    push({Verify, Start});
    EXPECT_FALSE(scene_manager_search_and_switch_to_previous_scene(app_.scenes, Menu));
    EXPECT_FALSE(scene_manager_search_and_switch_to_previous_scene(app_.scenes, Start));
    EXPECT_TRUE(app_.log.empty());
    EXPECT_TRUE(scene_manager_previous_scene(app_.scenes));
}

TEST_F(Scenes, StatesAreKeptPerSceneAndStopExitsTheTopButKeepsTheStack) {
    scene_manager_set_scene_state(app_.scenes, Menu, 3);
    EXPECT_EQ(scene_manager_get_scene_state(app_.scenes, Menu), 3u);
    EXPECT_EQ(scene_manager_get_scene_state(app_.scenes, Start), 0u);
    push({Verify, Start});
    scene_manager_stop(app_.scenes);
    EXPECT_EQ(app_.log, (Log{"exit 1"}));
    EXPECT_TRUE(scene_manager_has_previous_scene(app_.scenes, Verify)); // the stack is still there
    app_.log.clear();
    EXPECT_TRUE(scene_manager_previous_scene(app_.scenes));
    EXPECT_EQ(app_.log, (Log{"exit 1", "enter 0"}));
}

// The first listed id found below the top wins, even when another listed one is nearer the top.
TEST_F(Scenes, SearchOneOfTakesTheFirstListedIdOnTheStack) {
    struct Case {
        std::vector<uint32_t> ids;
        bool found;
        Log log;
    };
    const Case cases[] = {
        {{Start, Result}, true, {"exit 4", "enter 1"}},
        {{Result, Start}, true, {"exit 4", "enter 3"}},
        {{Menu, Read}, true, {"exit 4", "enter 2"}}, // the top itself does not count
        {{Menu}, false, {}},
        {{}, false, {}},
    };
    for(const Case& c : cases) {
        SceneManager* scenes = scene_manager_alloc(&handlers, &app_);
        for(uint32_t id : {Verify, Start, Read, Result, Menu})
            scene_manager_next_scene(scenes, id);
        app_.log.clear();
        EXPECT_EQ(
            scene_manager_search_and_switch_to_previous_scene_one_of(
                scenes, c.ids.data(), c.ids.size()),
            c.found);
        EXPECT_EQ(app_.log, c.log);
        scene_manager_free(scenes);
    }
}

const AppSceneOnEnterCallback partial_enters[2] = {on_enter<0>, nullptr};
const SceneManagerHandlers broken_handlers = {partial_enters, events, exits, 2};

TEST(ScenesMisuse, OutOfRangeSceneIdsStop) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            host::Runtime rt;
            App app;
            scene_manager_next_scene(scene_manager_alloc(&handlers, &app), SceneCount);
        },
        "scene id 5 is out of range");
    EXPECT_DEATH(
        {
            host::Runtime rt;
            scene_manager_alloc(&broken_handlers, nullptr);
        },
        "scene 1 has a null handler");
}

} // namespace
