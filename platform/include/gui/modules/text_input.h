/* Text input: a header, the text being edited and an on-screen keyboard of three rows (letters,
 * digits, '_', backspace and save). OK types the selected key; a long OK types the letter in the
 * other case (the keyboard shows capitals while the text is empty). A long OK on backspace clears
 * the text. Back is not consumed. */
#pragma once
#include <stdbool.h>
#include <stddef.h>

#include <furi/core/string.h>
#include <gui/view.h>

#include <gui/modules/validators.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TextInput TextInput;
typedef void (*TextInputCallback)(void* context);
/* True accepts `text`; false refuses it and puts the message to show in `error`. */
typedef bool (*TextInputValidatorCallback)(const char* text, FuriString* error, void* context);

TextInput* text_input_alloc(void);
void text_input_free(TextInput* text_input);
/* Clears header, text, callbacks and validator. */
void text_input_reset(TextInput* text_input);
View* text_input_get_view(TextInput* text_input);
/* Edits text_buffer in place (at most text_buffer_size - 1 characters, kept terminated); its
 * current contents are the default text. With clear_default_text the default is shown selected
 * and the first typed key replaces it. The save key calls `callback` unless the text is empty or
 * the validator refuses it. */
void text_input_set_result_callback(
    TextInput* text_input,
    TextInputCallback callback,
    void* callback_context,
    char* text_buffer,
    size_t text_buffer_size,
    bool clear_default_text);
void text_input_set_validator(
    TextInput* text_input,
    TextInputValidatorCallback callback,
    void* callback_context);
TextInputValidatorCallback text_input_get_validator_callback(TextInput* text_input);
void* text_input_get_validator_callback_context(TextInput* text_input);
/* The header is copied; null removes it. */
void text_input_set_header_text(TextInput* text_input, const char* text);

#ifdef __cplusplus
}
#endif
