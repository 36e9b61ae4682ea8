/* Validators for the text input. */
#pragma once
#include <stdbool.h>

#include <furi/core/string.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ValidatorIsFile ValidatorIsFile;

/* Refuses a name for which "<app_path_folder>/<name><app_extension>" exists, unless the name is
 * current_name (may be null). The strings are copied. Needs the "storage" record. */
ValidatorIsFile* validator_is_file_alloc_init(
    const char* app_path_folder,
    const char* app_extension,
    const char* current_name);
void validator_is_file_free(ValidatorIsFile* instance);
/* TextInputValidatorCallback; on refusal puts the message to show in `error`. */
bool validator_is_file_callback(const char* text, FuriString* error, void* context);

#ifdef __cplusplus
}
#endif
