// Text input: header, the edited text in a rounded field, and the three-row keyboard of
// host/keyboard.h. Geometry and keys as on the device. A refused name shows the validator's
// message in a box until the next key event other than Press/Release, or for four seconds.

#include <gui/modules/text_input.h>

#include <gui/elements.h>

#include <furi.h>

#include <cstring>
#include <iterator>
#include <string>

#include "core/fatal.h"
#include "host/keyboard.h"
#include "gui/modules/module_model_i.h"
#include "gui/modules/pictures_i.h"

namespace {

using host::keyboard::kBackspace;
using host::keyboard::kRowCount;
using host::keyboard::kRows;
using host::keyboard::kSave;
using host::keyboard::kSaveColumn;
using host::keyboard::kSaveRow;
using host::keyboard::Key;
constexpr uint8_t kKeyboardX = host::keyboard::kOriginX;
constexpr uint8_t kKeyboardY = host::keyboard::kOriginY;
constexpr uint32_t kMessageTimeoutMs = 4000;
constexpr uint8_t kTextBaseline = 22;

constexpr uint8_t row_size(uint8_t row) {
    return static_cast<uint8_t>(kRows[row].size());
}

struct TextInputModel {
    const char* header = ""; // the caller's
    char* buffer = nullptr;
    size_t buffer_size = 0;
    bool clear_default_text = false;
    TextInputCallback callback = nullptr;
    void* callback_context = nullptr;
    TextInputValidatorCallback validator = nullptr;
    void* validator_context = nullptr;
    bool message_visible = false;
    const FuriString* message = nullptr; // the text input's; shown while message_visible
    uint8_t row = 0;
    uint8_t column = 0;

    const char* text() const { return buffer != nullptr ? buffer : ""; }
    // Bounded, so a buffer the app left unterminated is never read or written past its size.
    size_t length() const { return buffer != nullptr ? strnlen(buffer, buffer_size) : 0; }
    char selected() const { return kRows[row][column].c; }
};

bool is_lowercase(char c) {
    return c >= 'a' && c <= 'z';
}

// The device's "upper case" of a key: letters, and '_' becomes a space.
char to_uppercase(char c) {
    if(c == '_') return ' ';
    return is_lowercase(c) ? static_cast<char>(c - 0x20) : c;
}

void draw_field(Canvas* canvas, const TextInputModel& m) {
    uint8_t start = 4;
    int room = canvas_width(canvas) - 8;
    const std::string whole(m.text(), m.length());
    const char* text = whole.c_str();
    if(canvas_string_width(canvas, text) > room) {
        // Too long for the field: its end after "...".
        canvas_draw_str(canvas, start, kTextBaseline, "...");
        start = static_cast<uint8_t>(start + 6);
        room -= 8;
    }
    while(*text != '\0' && canvas_string_width(canvas, text) > room) ++text;
    const auto width = canvas_string_width(canvas, text);
    if(m.clear_default_text) {
        // The default text, selected: the first key typed replaces it.
        elements_slightly_rounded_box(
            canvas, static_cast<uint8_t>(start - 1), 14, static_cast<uint8_t>(width + 2), 10);
        canvas_set_color(canvas, ColorWhite);
    } else {
        canvas_draw_str(canvas, static_cast<uint8_t>(start + width + 1), kTextBaseline, "|");
        canvas_draw_str(canvas, static_cast<uint8_t>(start + width + 2), kTextBaseline, "|");
    }
    canvas_draw_str(canvas, start, kTextBaseline, text);
}

void draw_keyboard(Canvas* canvas, const TextInputModel& m) {
    canvas_set_font(canvas, FontKeyboard);
    const bool empty = m.length() == 0;
    for(uint8_t r = 0; r < kRowCount; ++r) {
        for(uint8_t k = 0; k < row_size(r); ++k) {
            const Key& key = kRows[r][k];
            const bool selected = r == m.row && k == m.column;
            const auto x = static_cast<uint8_t>(kKeyboardX + key.x);
            const auto y = static_cast<uint8_t>(kKeyboardY + key.y);
            canvas_set_color(canvas, ColorBlack);
            if(key.c == kSave || key.c == kBackspace) {
                namespace pictures = gui_modules::pictures;
                const Icon* icon = key.c == kSave ?
                                       (selected ? &pictures::key_save_selected_24x11 :
                                                   &pictures::key_save_24x11) :
                                       (selected ? &pictures::key_backspace_selected_16x9 :
                                                   &pictures::key_backspace_16x9);
                canvas_draw_icon(canvas, x, y, icon);
                continue;
            }
            if(selected) {
                canvas_draw_box(
                    canvas, static_cast<uint8_t>(x - 1), static_cast<uint8_t>(y - 8), 7, 10);
                canvas_set_color(canvas, ColorWhite);
            }
            const bool upper = m.clear_default_text || (empty && is_lowercase(key.c));
            canvas_draw_glyph(
                canvas, x, y, static_cast<unsigned char>(upper ? to_uppercase(key.c) : key.c));
        }
    }
    canvas_set_color(canvas, ColorBlack);
}

void draw_message(Canvas* canvas, const FuriString* message) {
    canvas_set_font(canvas, FontSecondary);
    canvas_set_color(canvas, ColorWhite);
    canvas_draw_box(canvas, 8, 10, 110, 48);
    canvas_set_color(canvas, ColorBlack);
    canvas_draw_icon(canvas, 10, 14, &gui_modules::pictures::warning_45x42);
    canvas_draw_rframe(canvas, 8, 8, 112, 50, 3);
    canvas_draw_rframe(canvas, 9, 9, 110, 48, 2);
    elements_multiline_text(canvas, 62, 20, furi_string_get_cstr(message));
}

} // namespace

struct TextInput {
    View* view = nullptr;
    FuriTimer* message_timer = nullptr;
    FuriString* message = nullptr; // the validator's last refusal
};

namespace {

void text_input_draw(Canvas* canvas, void* model_memory) {
    const auto& m = *static_cast<TextInputModel*>(model_memory);
    canvas_clear(canvas);
    canvas_set_color(canvas, ColorBlack);
    canvas_set_font(canvas, FontSecondary);
    if(m.header != nullptr) canvas_draw_str(canvas, 2, 8, m.header);
    elements_slightly_rounded_frame(canvas, 1, 12, 126, 15);
    draw_field(canvas, m);
    draw_keyboard(canvas, m);
    if(m.message_visible && m.message != nullptr) draw_message(canvas, m.message);
}

constexpr host::NotNull<TextInput> require_text_input{"text input"};

void move(TextInputModel& m, InputKey key) {
    switch(key) {
    case InputKeyUp:
        if(m.row > 0) {
            --m.row;
            if(m.column > row_size(m.row) - 6) ++m.column;
        }
        break;
    case InputKeyDown:
        if(m.row + 1 < kRowCount) {
            ++m.row;
            if(m.column > row_size(m.row) - 4) --m.column;
        }
        break;
    case InputKeyLeft:
        m.column = m.column > 0 ? static_cast<uint8_t>(m.column - 1) :
                                  static_cast<uint8_t>(row_size(m.row) - 1);
        break;
    case InputKeyRight:
        m.column = m.column + 1 < row_size(m.row) ? static_cast<uint8_t>(m.column + 1) : 0;
        break;
    default:
        break;
    }
}

// Deletes the last character, or the whole default text while it is selected.
void backspace(TextInputModel& m) {
    if(m.buffer == nullptr) return;
    const size_t length = m.clear_default_text ? 1 : m.length();
    if(length > 0) m.buffer[length - 1] = '\0';
}

// What OK on the save key leads to, done outside the model lock so that the validator and the
// result callback may use the text input.
struct Save {
    bool requested = false;
    bool text_empty = true;
    TextInputValidatorCallback validator = nullptr;
    void* validator_context = nullptr;
    TextInputCallback callback = nullptr;
    void* callback_context = nullptr;
};

// OK (short or long) on the selected key.
Save press_ok(TextInputModel& m, bool held) {
    Save save;
    size_t length = m.length();
    bool upper = length == 0 || m.clear_default_text;
    if(held) upper = !upper;
    const char c = upper ? to_uppercase(m.selected()) : m.selected();
    if(c == kSave) {
        save = Save{
            true, length == 0, m.validator, m.validator_context, m.callback, m.callback_context};
    } else if(c == kBackspace) {
        backspace(m);
    } else if(m.buffer != nullptr) {
        if(m.clear_default_text) length = 0;
        if(length + 1 < m.buffer_size) {
            m.buffer[length] = c;
            m.buffer[length + 1] = '\0';
        }
    }
    m.clear_default_text = false;
    return save;
}

void finish_save(TextInput* text_input, const Save& save) {
    if(save.validator != nullptr) {
        // The validator sees the text even when it is empty.
        const std::string text = gui_modules::with_model<TextInputModel>(
            text_input->view, false, [](TextInputModel& m) {
                return std::string(m.text(), m.length());
            });
        if(!save.validator(text.c_str(), text_input->message, save.validator_context)) {
            gui_modules::with_model<TextInputModel>(text_input->view, true, [](TextInputModel& m) {
                m.message_visible = true;
            });
            furi_timer_start(text_input->message_timer, furi_ms_to_ticks(kMessageTimeoutMs));
            return;
        }
    }
    if(save.callback != nullptr && !save.text_empty) save.callback(save.callback_context);
}

bool consume(TextInputModel& m, const InputEvent& event, Save& save) {
    const InputType type = event.type;
    if(type != InputTypePress && type != InputTypeRelease && m.message_visible) {
        m.message_visible = false; // that event only dismisses the message
        return true;
    }
    if(type != InputTypeShort && type != InputTypeLong && type != InputTypeRepeat) return false;
    switch(event.key) {
    case InputKeyUp:
    case InputKeyDown:
    case InputKeyLeft:
    case InputKeyRight:
        move(m, event.key); // a held arrow moves once at Long, then on every Repeat
        return true;
    case InputKeyOk:
        if(type == InputTypeRepeat) return false;
        save = press_ok(m, type == InputTypeLong);
        return true;
    case InputKeyBack:
        if(type == InputTypeShort) return false; // left to navigation
        backspace(m);                            // a held Back deletes
        return true;
    default:
        return false;
    }
}

bool text_input_input(InputEvent* event, void* context) {
    auto* text_input = static_cast<TextInput*>(context);
    Save save;
    auto* model = static_cast<TextInputModel*>(view_get_model(text_input->view));
    const bool consumed = consume(*model, *event, save);
    view_commit_model(text_input->view, consumed);
    if(save.requested) finish_save(text_input, save);
    return consumed;
}

void message_timer_callback(void* context) {
    auto* text_input = static_cast<TextInput*>(context);
    gui_modules::with_model<TextInputModel>(text_input->view, true, [](TextInputModel& m) {
        m.message_visible = false;
    });
}

} // namespace

extern "C" {

TextInput* text_input_alloc(void) {
    auto* text_input = host::make_tracked<TextInput>();
    text_input->view = view_alloc();
    text_input->message_timer =
        furi_timer_alloc(message_timer_callback, FuriTimerTypeOnce, text_input);
    text_input->message = furi_string_alloc();
    view_set_context(text_input->view, text_input);
    gui_modules::model_construct<TextInputModel>(text_input->view);
    view_set_draw_callback(text_input->view, text_input_draw);
    view_set_input_callback(text_input->view, text_input_input);
    text_input_reset(text_input);
    return text_input;
}

void text_input_free(TextInput* text_input) {
    require_text_input(text_input, "text_input_free");
    furi_timer_stop(text_input->message_timer);
    furi_timer_free(text_input->message_timer);
    gui_modules::model_destroy<TextInputModel>(text_input->view);
    view_free(text_input->view);
    furi_string_free(text_input->message);
    host::destroy_tracked(text_input);
}

void text_input_reset(TextInput* text_input) {
    require_text_input(text_input, "text_input_reset");
    gui_modules::with_model<TextInputModel>(text_input->view, true, [&](TextInputModel& m) {
        furi_string_reset(text_input->message);
        m = TextInputModel();
        m.message = text_input->message;
    });
}

View* text_input_get_view(TextInput* text_input) {
    return require_text_input(text_input, "text_input_get_view")->view;
}

void text_input_set_result_callback(
    TextInput* text_input,
    TextInputCallback callback,
    void* callback_context,
    char* text_buffer,
    size_t text_buffer_size,
    bool clear_default_text) {
    require_text_input(text_input, "text_input_set_result_callback");
    if(text_buffer == nullptr) host::fatal("text_input_set_result_callback: text_buffer is null");
    if(text_buffer_size == 0) host::fatal("text_input_set_result_callback: text_buffer_size is 0");
    // A default text longer than the input takes is cut to fit.
    text_buffer[strnlen(text_buffer, text_buffer_size - 1)] = '\0';
    gui_modules::with_model<TextInputModel>(text_input->view, true, [&](TextInputModel& m) {
        m.callback = callback;
        m.callback_context = callback_context;
        m.buffer = text_buffer;
        m.buffer_size = text_buffer_size;
        m.clear_default_text = clear_default_text;
        if(text_buffer[0] != '\0') {
            // A text to offer: the save key is selected. Otherwise the selection stays.
            m.row = kSaveRow;
            m.column = kSaveColumn;
        }
    });
}

void text_input_set_validator(
    TextInput* text_input,
    TextInputValidatorCallback callback,
    void* callback_context) {
    require_text_input(text_input, "text_input_set_validator");
    gui_modules::with_model<TextInputModel>(text_input->view, false, [&](TextInputModel& m) {
        m.validator = callback;
        m.validator_context = callback_context;
    });
}

TextInputValidatorCallback text_input_get_validator_callback(TextInput* text_input) {
    require_text_input(text_input, "text_input_get_validator_callback");
    return gui_modules::with_model<TextInputModel>(text_input->view, false, [](TextInputModel& m) {
        return m.validator;
    });
}

void* text_input_get_validator_callback_context(TextInput* text_input) {
    require_text_input(text_input, "text_input_get_validator_callback_context");
    return gui_modules::with_model<TextInputModel>(text_input->view, false, [](TextInputModel& m) {
        return m.validator_context;
    });
}

// Keeps the caller's pointer, as the device does: the text must outlive its use.
void text_input_set_header_text(TextInput* text_input, const char* text) {
    require_text_input(text_input, "text_input_set_header_text");
    gui_modules::with_model<TextInputModel>(text_input->view, true, [&](TextInputModel& m) {
        m.header = text;
    });
}

} // extern "C"
