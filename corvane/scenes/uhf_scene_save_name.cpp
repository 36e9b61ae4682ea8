// The name screen: a text input offering a random name, with the file-name validator for the
// folder the tag will be saved in. Confirming saves the held tag.
#include "../app/uhf_app.h"

#include <gui/modules/validators.h>
#include <toolbox/name_generator.h>
#include <toolbox/path.h>

#include <string.h>

namespace {

constexpr const char* kDataFolder = "/data";
constexpr const char* kTagExtension = ".uhf";

/** A random default name, cut to what the text input holds, without a dangling separator. */
void make_default_name(UHFApp* app) {
    name_generator_make_random(app->text_store, sizeof app->text_store);
    app->text_store[UHF_NAME_INPUT_SIZE - 1] = '\0';
    size_t length = strlen(app->text_store);
    while(length > 1 && app->text_store[length - 1] == '_') app->text_store[--length] = '\0';
}

} // namespace

void uhf_scene_save_name_text_input_callback(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    view_dispatcher_send_custom_event(app->view_dispatcher, UHFCustomEventTextInputDone);
}

void uhf_scene_save_name_on_enter(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    make_default_name(app);
    text_input_set_header_text(app->text_input, "Name the tag");
    text_input_set_result_callback(
        app->text_input,
        uhf_scene_save_name_text_input_callback,
        app,
        app->text_store,
        UHF_NAME_INPUT_SIZE,
        true);

    // Saving goes next to the file loaded last, if any: the validator checks that folder.
    FuriString* folder = furi_string_alloc_set_str(kDataFolder);
    if(furi_string_end_with_str(app->uhf_device->load_path, kTagExtension)) {
        path_extract_dirname(furi_string_get_cstr(app->uhf_device->load_path), folder);
    }
    // A taken name is refused unless it is the held tag's own file (loaded from or saved to it).
    ValidatorIsFile* validator = validator_is_file_alloc_init(
        furi_string_get_cstr(folder), kTagExtension, uhf_device_get_own_name(app->uhf_device));
    text_input_set_validator(app->text_input, validator_is_file_callback, validator);

    view_dispatcher_switch_to_view(app->view_dispatcher, UHFViewTextInput);
    furi_string_free(folder);
}

bool uhf_scene_save_name_on_event(void* context, SceneManagerEvent event) {
    UHFApp* app = static_cast<UHFApp*>(context);
    if(event.type != SceneManagerEventTypeCustom) return false;
    if(event.event != UHFCustomEventTextInputDone) return false;

    uhf_device_set_name(app->uhf_device, app->text_store);
    if(uhf_device_save(app->uhf_device, app->text_store)) {
        scene_manager_next_scene(app->scene_manager, UHFSceneSaveSuccess);
        return true;
    }
    // The store has shown its error already.
    return scene_manager_search_and_switch_to_previous_scene(app->scene_manager, UHFSceneStart);
}

void uhf_scene_save_name_on_exit(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    ValidatorIsFile* validator =
        static_cast<ValidatorIsFile*>(text_input_get_validator_callback_context(app->text_input));
    text_input_set_validator(app->text_input, nullptr, nullptr);
    validator_is_file_free(validator);
    text_input_reset(app->text_input);
}
