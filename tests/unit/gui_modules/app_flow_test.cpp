// A small app in the shape of the real ones: scenes over a view dispatcher, a worker thread that
// reports through a custom event, a menu, a name screen with the file validator. Walks it with
// key presses and checks that freeing it leaves nothing behind.
#include <gui/modules/submenu.h>
#include <gui/modules/text_input.h>
#include <gui/modules/validators.h>
#include <gui/modules/widget.h>
#include <gui/scene_manager.h>
#include <storage/storage.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fixture.h"
#include "host/memory.h"
#include "host/storage.h"

namespace gui_modules_test {
namespace {

namespace fs = std::filesystem;

enum SceneId : uint32_t {
    SceneCheck,
    SceneMenu,
    SceneName,
    SceneCount
};
enum ViewId : uint32_t {
    ViewMenu,
    ViewTextInput,
    ViewWidget
};
constexpr uint32_t kEventCheckDone = 101;
constexpr uint32_t kEventNameDone = 105;

struct App {
    ViewDispatcher* dispatcher;
    SceneManager* scenes;
    Submenu* submenu;
    TextInput* text_input;
    Widget* widget;
    FuriThread* worker;
    char name[22];
    std::vector<std::string> saved;
    std::vector<std::string> event_threads;
};

int32_t check_worker(void* context) {
    auto* app = static_cast<App*>(context);
    furi_delay_ms(300);
    view_dispatcher_send_custom_event(app->dispatcher, kEventCheckDone);
    return 0;
}

void button_callback(GuiButtonType button, InputType type, void* context) {
    if(type == InputTypeShort)
        view_dispatcher_send_custom_event(static_cast<App*>(context)->dispatcher, button);
}

void check_enter(void* context) {
    auto* app = static_cast<App*>(context);
    furi_thread_start(app->worker);
    view_dispatcher_switch_to_view(app->dispatcher, ViewWidget);
}
bool check_event(void* context, SceneManagerEvent event) {
    auto* app = static_cast<App*>(context);
    if(event.type != SceneManagerEventTypeCustom) return false;
    app->event_threads.emplace_back(furi_thread_get_name(furi_thread_get_current_id()));
    if(event.event == kEventCheckDone) {
        widget_add_string_element(
            app->widget, 64, 5, AlignCenter, AlignCenter, FontPrimary, "Module Info");
        widget_add_button_element(
            app->widget, GuiButtonTypeRight, "Continue", button_callback, app);
        return true;
    }
    if(event.event == GuiButtonTypeRight) {
        scene_manager_next_scene(app->scenes, SceneMenu);
        return true;
    }
    return false;
}
void check_exit(void* context) {
    auto* app = static_cast<App*>(context);
    furi_thread_join(app->worker);
    widget_reset(app->widget);
}

void menu_enter(void* context) {
    auto* app = static_cast<App*>(context);
    submenu_add_item(
        app->submenu,
        "Save",
        0,
        [](void* ctx, uint32_t index) {
            view_dispatcher_send_custom_event(static_cast<App*>(ctx)->dispatcher, index);
        },
        app);
    view_dispatcher_switch_to_view(app->dispatcher, ViewMenu);
}
bool menu_event(void* context, SceneManagerEvent event) {
    auto* app = static_cast<App*>(context);
    if(event.type == SceneManagerEventTypeCustom && event.event == 0) {
        scene_manager_next_scene(app->scenes, SceneName);
        return true;
    }
    return false;
}
void menu_exit(void* context) {
    submenu_reset(static_cast<App*>(context)->submenu);
}

void name_enter(void* context) {
    auto* app = static_cast<App*>(context);
    std::strcpy(app->name, "taken");
    text_input_set_header_text(app->text_input, "Name the tag");
    text_input_set_result_callback(
        app->text_input,
        [](void* ctx) {
            view_dispatcher_send_custom_event(static_cast<App*>(ctx)->dispatcher, kEventNameDone);
        },
        app,
        app->name,
        sizeof app->name,
        true);
    text_input_set_validator(
        app->text_input,
        validator_is_file_callback,
        validator_is_file_alloc_init("/data", ".uhf", nullptr));
    view_dispatcher_switch_to_view(app->dispatcher, ViewTextInput);
}
bool name_event(void* context, SceneManagerEvent event) {
    auto* app = static_cast<App*>(context);
    if(event.type != SceneManagerEventTypeCustom || event.event != kEventNameDone) return false;
    app->saved.emplace_back(app->name);
    return scene_manager_search_and_switch_to_previous_scene(app->scenes, SceneMenu);
}
void name_exit(void* context) {
    auto* app = static_cast<App*>(context);
    auto* validator =
        static_cast<ValidatorIsFile*>(text_input_get_validator_callback_context(app->text_input));
    text_input_set_validator(app->text_input, nullptr, nullptr);
    validator_is_file_free(validator);
    text_input_reset(app->text_input);
}

const AppSceneOnEnterCallback enters[] = {check_enter, menu_enter, name_enter};
const AppSceneOnEventCallback events[] = {check_event, menu_event, name_event};
const AppSceneOnExitCallback exits[] = {check_exit, menu_exit, name_exit};
const SceneManagerHandlers handlers = {enters, events, exits, SceneCount};

App* app_alloc(Gui* gui) {
    auto* app = static_cast<App*>(malloc(sizeof(App)));
    new(app) App{};
    app->dispatcher = view_dispatcher_alloc();
    app->scenes = scene_manager_alloc(&handlers, app);
    view_dispatcher_enable_queue(app->dispatcher);
    view_dispatcher_set_event_callback_context(app->dispatcher, app);
    view_dispatcher_set_custom_event_callback(app->dispatcher, [](void* ctx, uint32_t event) {
        return scene_manager_handle_custom_event(static_cast<App*>(ctx)->scenes, event);
    });
    view_dispatcher_set_navigation_event_callback(app->dispatcher, [](void* ctx) {
        return scene_manager_handle_back_event(static_cast<App*>(ctx)->scenes);
    });
    view_dispatcher_attach_to_gui(app->dispatcher, gui, ViewDispatcherTypeFullscreen);
    app->worker = furi_thread_alloc_ex("worker", 2048, check_worker, app);
    app->submenu = submenu_alloc();
    app->text_input = text_input_alloc();
    app->widget = widget_alloc();
    view_dispatcher_add_view(app->dispatcher, ViewMenu, submenu_get_view(app->submenu));
    view_dispatcher_add_view(app->dispatcher, ViewTextInput, text_input_get_view(app->text_input));
    view_dispatcher_add_view(app->dispatcher, ViewWidget, widget_get_view(app->widget));
    return app;
}

void app_free(App* app) {
    view_dispatcher_remove_view(app->dispatcher, ViewMenu);
    view_dispatcher_remove_view(app->dispatcher, ViewTextInput);
    view_dispatcher_remove_view(app->dispatcher, ViewWidget);
    submenu_free(app->submenu);
    text_input_free(app->text_input);
    widget_free(app->widget);
    furi_thread_free(app->worker);
    view_dispatcher_free(app->dispatcher);
    scene_manager_free(app->scenes);
    app->~App();
    free(app);
}

int32_t app_main(void* context) {
    auto* app = static_cast<App*>(context);
    scene_manager_next_scene(app->scenes, SceneCheck);
    view_dispatcher_run(app->dispatcher);
    return 0;
}

class AppFlow : public ::testing::Test {
protected:
    AppFlow()
        : root_(fs::temp_directory_path() / ("gui_modules_app_" + std::to_string(::getpid())))
        , storage_(rt_, root_, "flow") {}
    ~AppFlow() override {
        std::error_code error;
        fs::remove_all(root_, error);
    }

    void press(InputKey key) {
        gui_.input().short_press(key);
        furi_delay_ms(100);
    }
    host::Screen screen() {
        furi_delay_ms(20);
        return gui_.screen();
    }

    host::Runtime rt_{quiet()};
    host::GuiService gui_{rt_};
    fs::path root_;
    host::StorageService storage_;
};

TEST_F(AppFlow, WorkerEventsBackNavigationRefusedNameAndNoLeaks) {
    fs::create_directories(root_ / "apps_data" / "flow");
    std::ofstream(root_ / "apps_data" / "flow" / "taken.uhf") << "x";
    const std::size_t blocks_before = host::memory::stats().live_blocks;

    App* app = app_alloc(gui_.gui());
    FuriThread* thread = furi_thread_alloc_ex("app", 4096, app_main, app);
    furi_thread_set_appid(thread, "flow");
    furi_thread_start(thread);

    furi_delay_ms(200);
    EXPECT_FALSE(screen().contains("Module Info")); // the worker is still busy
    furi_delay_ms(200);
    EXPECT_TRUE(screen().contains("Continue"));
    EXPECT_EQ(
        app->event_threads,
        (std::vector<std::string>{"app"})); // the worker's event, on the app thread

    press(InputKeyRight);
    EXPECT_TRUE(screen().contains("Save"));
    press(InputKeyOk);
    EXPECT_TRUE(screen().contains("Name the tag"));

    press(InputKeyOk); // save the offered "taken": refused
    EXPECT_TRUE(screen().contains("exists!"));
    EXPECT_TRUE(app->saved.empty());
    press(InputKeyOk); // dismisses the message only
    EXPECT_FALSE(screen().contains("exists!"));
    press(InputKeyRight); // save -> '7'
    press(InputKeyOk);    // the refused save unselected the default: "taken7"
    press(InputKeyLeft);  // back to the save key
    press(InputKeyOk);
    EXPECT_EQ(app->saved, (std::vector<std::string>{"taken7"}));
    EXPECT_TRUE(screen().contains("Save")); // back on the menu

    press(InputKeyBack); // menu -> check, which runs its worker again
    EXPECT_FALSE(screen().contains("Continue"));
    furi_delay_ms(400);
    EXPECT_TRUE(screen().contains("Continue"));
    press(InputKeyBack); // the last scene: the dispatcher stops
    furi_thread_join(thread);
    EXPECT_EQ(furi_thread_get_state(thread), FuriThreadStateStopped);
    furi_thread_free(thread);

    app_free(app);
    EXPECT_EQ(host::memory::stats().live_blocks, blocks_before);
}

} // namespace
} // namespace gui_modules_test
