// The file-name validator of the text input: refuses a name whose file already exists.

#include <gui/modules/validators.h>

#include <storage/storage.h>

#include <furi.h>

#include <cstring>
#include <string>

#include "core/fatal.h"

struct ValidatorIsFile {
    std::string folder;
    std::string extension;
    bool has_current_name = false;
    std::string current_name;
};

extern "C" {

ValidatorIsFile* validator_is_file_alloc_init(
    const char* app_path_folder,
    const char* app_extension,
    const char* current_name) {
    if(app_path_folder == nullptr) host::fatal("validator_is_file_alloc_init: folder is null");
    if(app_extension == nullptr) host::fatal("validator_is_file_alloc_init: extension is null");
    auto* validator = host::make_tracked<ValidatorIsFile>();
    validator->folder = app_path_folder;
    validator->extension = app_extension;
    validator->has_current_name = current_name != nullptr;
    validator->current_name = current_name != nullptr ? current_name : "";
    return validator;
}

void validator_is_file_free(ValidatorIsFile* instance) {
    if(instance == nullptr) host::fatal("validator_is_file_free: validator is null");
    host::destroy_tracked(instance);
}

bool validator_is_file_callback(const char* text, FuriString* error, void* context) {
    if(text == nullptr || error == nullptr || context == nullptr) {
        host::fatal("validator_is_file_callback: text, error and context must not be null");
    }
    const auto* validator = static_cast<const ValidatorIsFile*>(context);
    // Keeping the name the file already has is always fine.
    if(validator->has_current_name && validator->current_name == text) return true;

    if(!furi_record_exists(RECORD_STORAGE)) {
        host::fatal(
            "validator_is_file_callback: there is no \"storage\" record (no storage service runs)");
    }
    std::string path = validator->folder;
    if(path.empty() || path.back() != '/') path += '/';
    path += text;
    path += validator->extension;

    Storage* storage = static_cast<Storage*>(furi_record_open(RECORD_STORAGE));
    const bool exists = storage_file_exists(storage, path.c_str());
    furi_record_close(RECORD_STORAGE);
    if(exists) {
        furi_string_set_str(error, "This name\nexists!\nChoose\nanother one.");
        return false;
    }
    return true;
}

} // extern "C"
