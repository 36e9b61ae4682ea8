// Text input: header, the edited text in a rounded field, and a three-row keyboard:
//   q w e r t y u i o p 0 1 2 3
//   a s d f g h j k l <backspace> 4 5 6
//   z x c v b n m _ <save> 7 8 9
// A refused name shows the validator's message over the keyboard until the next key press (or
// for four seconds).

#include <gui/modules/text_input.h>

#include <gui/elements.h>

#include <furi.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "core/fatal.h"
#include "gui/elements_i.h"
#include "gui/modules/module_model_i.h"

namespace {

constexpr char kBackspace = '\b';
constexpr char kSave = '\r';
constexpr uint32_t kMessageTimeoutMs = 4000;

struct Key {
    char c;
    uint8_t x;  // left edge
};

constexpr Key kRow0[] = {{'q', 1}, {'w', 10}, {'e', 19}, {'r', 28}, {'t', 37}, {'y', 46}, {'u', 55}, {'i', 64},
    {'o', 73}, {'p', 82}, {'0', 91}, {'1', 100}, {'2', 110}, {'3', 120}};
constexpr Key kRow1[] = {{'a', 1}, {'s', 10}, {'d', 19}, {'f', 28}, {'g', 37}, {'h', 46}, {'j', 55}, {'k', 64},
    {'l', 73}, {kBackspace, 82}, {'4', 100}, {'5', 110}, {'6', 120}};
constexpr Key kRow2[] = {{'z', 1}, {'x', 10}, {'c', 19}, {'v', 28}, {'b', 37}, {'n', 46}, {'m', 55}, {'_', 64},
    {kSave, 73}, {'7', 100}, {'8', 110}, {'9', 120}};

struct Row {
    const Key* keys;
    uint8_t size;
    uint8_t baseline;
};

constexpr Row kRows[] = {
    {kRow0, static_cast<uint8_t>(std::size(kRow0)), 37},
    {kRow1, static_cast<uint8_t>(std::size(kRow1)), 49},
    {kRow2, static_cast<uint8_t>(std::size(kRow2)), 61},
};
constexpr uint8_t kRowCount = static_cast<uint8_t>(std::size(kRows));
constexpr uint8_t kBackspaceWidth = 16;
constexpr uint8_t kSaveWidth = 24;

// The text field.
constexpr uint8_t kFieldX = 1;
constexpr uint8_t kFieldY = 12;
constexpr uint8_t kFieldWidth = 126;
constexpr uint8_t kFieldHeight = 14;
constexpr uint8_t kTextX = 4;
constexpr uint8_t kTextBaseline = 23;

struct Model {
    std::string header;
    char* buffer = nullptr;
    size_t buffer_size = 0;
    bool clear_default_text = false;
    TextInputCallback callback = nullptr;
    void* callback_context = nullptr;
    TextInputValidatorCallback validator = nullptr;
    void* validator_context = nullptr;
    std::string message;  // the validator's refusal, while shown
    bool message_visible = false;
    int swallow_key = -1;  // the key whose press dismissed the message: its other events are ignored
    uint8_t row = 0;
    uint8_t column = 0;

    size_t length() const { return buffer != nullptr ? std::strlen(buffer) : 0; }
    const Key& selected() const { return kRows[row].keys[column]; }
    // Letters show (and type) as capitals while the text is empty or about to be replaced.
    bool capitals() const { return length() == 0 || clear_default_text; }
};

bool is_letter(char c) {
    return c >= 'a' && c <= 'z';
}

char shown_char(const Model& m, char c) {
    return is_letter(c) && m.capitals() ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
}

void draw_backspace_key(Canvas* canvas, uint8_t x, uint8_t baseline, bool selected) {
    const uint8_t top = static_cast<uint8_t>(baseline - 8);
    canvas_set_color(canvas, ColorBlack);
    if(selected) {
        canvas_draw_rbox(canvas, x, top, kBackspaceWidth, 9, 1);
        canvas_set_color(canvas, ColorWhite);
    } else {
        canvas_draw_rframe(canvas, x, top, kBackspaceWidth, 9, 1);
    }
    // A left arrow with a shaft.
    const uint8_t mid = static_cast<uint8_t>(top + 4);
    canvas_draw_line(canvas, static_cast<uint8_t>(x + 4), mid, static_cast<uint8_t>(x + 12), mid);
    canvas_draw_line(canvas, static_cast<uint8_t>(x + 4), mid, static_cast<uint8_t>(x + 6), static_cast<uint8_t>(mid - 2));
    canvas_draw_line(canvas, static_cast<uint8_t>(x + 4), mid, static_cast<uint8_t>(x + 6), static_cast<uint8_t>(mid + 2));
    canvas_set_color(canvas, ColorBlack);
}

void draw_save_key(Canvas* canvas, uint8_t x, uint8_t baseline, bool selected) {
    const uint8_t top = static_cast<uint8_t>(baseline - 10);
    canvas_set_color(canvas, ColorBlack);
    if(selected) {
        canvas_draw_rbox(canvas, x, top, kSaveWidth, 11, 1);
        canvas_set_color(canvas, ColorWhite);
    } else {
        canvas_draw_rframe(canvas, x, top, kSaveWidth, 11, 1);
    }
    canvas_set_font(canvas, FontSecondary);
    canvas_draw_str_aligned(canvas, static_cast<uint8_t>(x + kSaveWidth / 2), static_cast<uint8_t>(baseline - 2), AlignCenter,
        AlignBottom, "save");
    canvas_set_color(canvas, ColorBlack);
}

void draw_field(Canvas* canvas, const Model& m) {
    canvas_set_color(canvas, ColorBlack);
    canvas_draw_rframe(canvas, kFieldX, kFieldY, kFieldWidth, kFieldHeight, 1);
    canvas_set_font(canvas, FontSecondary);
    const std::string text = m.buffer != nullptr ? m.buffer : "";
    constexpr int kRoom = kFieldWidth - 2 * (kTextX - kFieldX) - 3;  // leaves room for the cursor
    // A text too long for the field shows its end, after "...".
    std::string shown = text;
    if(canvas_string_width(canvas, shown.c_str()) > kRoom) {
        while(shown.size() > 1 && canvas_string_width(canvas, ("..." + shown).c_str()) > kRoom) shown.erase(0, 1);
        shown = "..." + shown;
    }
    const int width = canvas_string_width(canvas, shown.c_str());
    if(m.clear_default_text && !text.empty()) {
        // The default text, selected: the first key replaces it.
        canvas_draw_box(canvas, kTextX - 1, kFieldY + 2, static_cast<uint8_t>(width + 2), kFieldHeight - 4);
        canvas_set_color(canvas, ColorWhite);
        canvas_draw_str(canvas, kTextX, kTextBaseline, shown.c_str());
        canvas_set_color(canvas, ColorBlack);
    } else {
        canvas_draw_str(canvas, kTextX, kTextBaseline, shown.c_str());
        const uint8_t cursor_x = static_cast<uint8_t>(kTextX + width + 1);
        canvas_draw_line(canvas, cursor_x, kFieldY + 2, cursor_x, kFieldY + kFieldHeight - 3);
    }
}

void draw_keyboard(Canvas* canvas, const Model& m) {
    canvas_set_font(canvas, FontKeyboard);
    for(uint8_t r = 0; r < kRowCount; ++r) {
        const Row& row = kRows[r];
        for(uint8_t k = 0; k < row.size; ++k) {
            const Key& key = row.keys[k];
            const bool selected = r == m.row && k == m.column && !m.message_visible;
            if(key.c == kBackspace) {
                draw_backspace_key(canvas, key.x, row.baseline, selected);
                canvas_set_font(canvas, FontKeyboard);
                continue;
            }
            if(key.c == kSave) {
                draw_save_key(canvas, key.x, row.baseline, selected);
                canvas_set_font(canvas, FontKeyboard);
                continue;
            }
            const char glyph[2] = {shown_char(m, key.c), '\0'};
            if(selected) {
                canvas_set_color(canvas, ColorBlack);
                canvas_draw_box(canvas, static_cast<uint8_t>(key.x - 1), static_cast<uint8_t>(row.baseline - 9),
                    static_cast<uint8_t>(canvas_glyph_width(canvas, glyph[0]) + 2), 11);
                canvas_set_color(canvas, ColorWhite);
            }
            canvas_draw_str(canvas, key.x, row.baseline, glyph);
            canvas_set_color(canvas, ColorBlack);
        }
    }
}

void draw_message(Canvas* canvas, const Model& m) {
    canvas_set_color(canvas, ColorWhite);
    canvas_draw_box(canvas, 8, 10, 112, 54);
    canvas_set_color(canvas, ColorBlack);
    elements_bold_rounded_frame(canvas, 8, 10, 112, 54);
    canvas_set_font(canvas, FontSecondary);
    elements_multiline_text_aligned(canvas, 64, 37, AlignCenter, AlignCenter, m.message.c_str());
}

void draw(Canvas* canvas, void* model_memory) {
    const auto& m = *static_cast<Model*>(model_memory);
    canvas_clear(canvas);
    canvas_set_color(canvas, ColorBlack);
    if(!m.header.empty()) {
        canvas_set_font(canvas, FontPrimary);
        canvas_draw_str(canvas, 2, 9, m.header.c_str());
    }
    draw_field(canvas, m);
    draw_keyboard(canvas, m);
    if(m.message_visible) draw_message(canvas, m);
}

// Moving between rows keeps the column nearest in x.
uint8_t nearest_column(uint8_t row, int x) {
    uint8_t best = 0;
    int best_distance = 1000;
    for(uint8_t k = 0; k < kRows[row].size; ++k) {
        const int distance = std::abs(kRows[row].keys[k].x - x);
        if(distance < best_distance) {
            best = k;
            best_distance = distance;
        }
    }
    return best;
}

void move(Model& m, InputKey key) {
    const uint8_t size = kRows[m.row].size;
    switch(key) {
    case InputKeyLeft:
        m.column = m.column > 0 ? static_cast<uint8_t>(m.column - 1) : static_cast<uint8_t>(size - 1);
        break;
    case InputKeyRight:
        m.column = m.column + 1 < size ? static_cast<uint8_t>(m.column + 1) : 0;
        break;
    case InputKeyUp:
        if(m.row > 0) {
            const int x = m.selected().x;
            m.row = static_cast<uint8_t>(m.row - 1);
            m.column = nearest_column(m.row, x);
        }
        break;
    case InputKeyDown:
        if(m.row + 1 < kRowCount) {
            const int x = m.selected().x;
            m.row = static_cast<uint8_t>(m.row + 1);
            m.column = nearest_column(m.row, x);
        }
        break;
    default:
        break;
    }
}

}  // namespace

struct TextInput {
    View* view = nullptr;
    FuriTimer* message_timer = nullptr;
    FuriString* error = nullptr;
};

namespace {

TextInput* require(TextInput* text_input, const char* what) {
    if(text_input == nullptr) host::fatal("%s: text input is null", what);
    return text_input;
}

// The save key: validate, then report. Called without the model lock, so that the validator and
// the result callback may use the text input.
void save(TextInput* text_input) {
    struct Pending {
        std::string text;
        TextInputValidatorCallback validator;
        void* validator_context;
        TextInputCallback callback;
        void* callback_context;
    };
    const Pending p = gui_modules::with_model<Model>(text_input->view, false, [](Model& m) {
        return Pending{m.buffer != nullptr ? m.buffer : "", m.validator, m.validator_context, m.callback, m.callback_context};
    });
    if(p.text.empty()) return;  // nothing to save
    if(p.validator != nullptr) {
        furi_string_reset(text_input->error);
        if(!p.validator(p.text.c_str(), text_input->error, p.validator_context)) {
            const std::string message = furi_string_get_cstr(text_input->error);
            gui_modules::with_model<Model>(text_input->view, true, [&](Model& m) {
                m.message = message;
                m.message_visible = true;
            });
            furi_timer_start(text_input->message_timer, furi_ms_to_ticks(kMessageTimeoutMs));
            return;
        }
    }
    if(p.callback != nullptr) p.callback(p.callback_context);
}

// OK on the selected key; `other_case` for a long press. True when the save key was chosen.
bool press_key(Model& m, bool other_case) {
    const char c = m.selected().c;
    if(c == kSave) return true;
    if(m.buffer == nullptr) return false;
    size_t length = m.length();
    if(c == kBackspace) {
        if(m.clear_default_text || other_case) {
            m.buffer[0] = '\0';
        } else if(length > 0) {
            m.buffer[length - 1] = '\0';
        }
        m.clear_default_text = false;
        return false;
    }
    char typed = shown_char(m, c);
    if(other_case && is_letter(c)) {
        typed = std::isupper(static_cast<unsigned char>(typed)) ? static_cast<char>(std::tolower(static_cast<unsigned char>(typed)))
                                                               : static_cast<char>(std::toupper(static_cast<unsigned char>(typed)));
    }
    if(m.clear_default_text) {
        m.buffer[0] = '\0';
        length = 0;
        m.clear_default_text = false;
    }
    if(length + 1 < m.buffer_size) {
        m.buffer[length] = typed;
        m.buffer[length + 1] = '\0';
    }
    return false;
}

bool input(InputEvent* event, void* context) {
    auto* text_input = static_cast<TextInput*>(context);
    enum class Action { None, Save } action = Action::None;
    const bool consumed = gui_modules::with_model<Model>(text_input->view, true, [&](Model& m) {
        if(m.message_visible) {
            // The next key press only dismisses the message.
            if(event->type == InputTypePress) {
                m.message_visible = false;
                m.swallow_key = event->key;
            }
            return true;
        }
        if(m.swallow_key == static_cast<int>(event->key)) {
            if(event->type == InputTypeRelease) m.swallow_key = -1;
            return true;
        }
        if(event->key == InputKeyBack) return false;
        if(event->key == InputKeyOk) {
            if(event->type == InputTypeShort || event->type == InputTypeLong) {
                if(press_key(m, event->type == InputTypeLong)) action = Action::Save;
            }
            return true;
        }
        if(event->type == InputTypeShort || event->type == InputTypeRepeat) move(m, event->key);
        return true;
    });
    if(action == Action::Save) save(text_input);
    return consumed;
}

void message_timer_callback(void* context) {
    auto* text_input = static_cast<TextInput*>(context);
    gui_modules::with_model<Model>(text_input->view, true, [](Model& m) { m.message_visible = false; });
}

void exit_callback(void* context) {
    auto* text_input = static_cast<TextInput*>(context);
    furi_timer_stop(text_input->message_timer);
    gui_modules::with_model<Model>(text_input->view, false, [](Model& m) {
        m.message_visible = false;
        m.swallow_key = -1;
    });
}

}  // namespace

extern "C" {

TextInput* text_input_alloc(void) {
    auto* text_input = host::make_tracked<TextInput>();
    text_input->view = view_alloc();
    text_input->message_timer = furi_timer_alloc(message_timer_callback, FuriTimerTypeOnce, text_input);
    text_input->error = furi_string_alloc();
    view_set_context(text_input->view, text_input);
    gui_modules::model_construct<Model>(text_input->view);
    view_set_draw_callback(text_input->view, draw);
    view_set_input_callback(text_input->view, input);
    view_set_exit_callback(text_input->view, exit_callback);
    return text_input;
}

void text_input_free(TextInput* text_input) {
    require(text_input, "text_input_free");
    furi_timer_stop(text_input->message_timer);
    furi_timer_free(text_input->message_timer);
    furi_string_free(text_input->error);
    gui_modules::model_destroy<Model>(text_input->view);
    view_free(text_input->view);
    host::destroy_tracked(text_input);
}

void text_input_reset(TextInput* text_input) {
    require(text_input, "text_input_reset");
    furi_timer_stop(text_input->message_timer);
    gui_modules::with_model<Model>(text_input->view, true, [](Model& m) { m = Model(); });
}

View* text_input_get_view(TextInput* text_input) {
    return require(text_input, "text_input_get_view")->view;
}

void text_input_set_result_callback(
    TextInput* text_input,
    TextInputCallback callback,
    void* callback_context,
    char* text_buffer,
    size_t text_buffer_size,
    bool clear_default_text) {
    require(text_input, "text_input_set_result_callback");
    if(text_buffer == nullptr) host::fatal("text_input_set_result_callback: text_buffer is null");
    if(text_buffer_size == 0) host::fatal("text_input_set_result_callback: text_buffer_size is 0");
    // A default text longer than the input takes is cut to fit.
    text_buffer[strnlen(text_buffer, text_buffer_size - 1)] = '\0';
    gui_modules::with_model<Model>(text_input->view, true, [&](Model& m) {
        m.callback = callback;
        m.callback_context = callback_context;
        m.buffer = text_buffer;
        m.buffer_size = text_buffer_size;
        m.clear_default_text = clear_default_text && text_buffer[0] != '\0';
        if(m.clear_default_text) {
            // Offer the default as it is: the save key is selected.
            m.row = 2;
            m.column = 8;
        } else {
            m.row = 0;
            m.column = 0;
        }
    });
}

void text_input_set_validator(TextInput* text_input, TextInputValidatorCallback callback, void* callback_context) {
    require(text_input, "text_input_set_validator");
    gui_modules::with_model<Model>(text_input->view, false, [&](Model& m) {
        m.validator = callback;
        m.validator_context = callback_context;
    });
}

TextInputValidatorCallback text_input_get_validator_callback(TextInput* text_input) {
    require(text_input, "text_input_get_validator_callback");
    return gui_modules::with_model<Model>(text_input->view, false, [](Model& m) { return m.validator; });
}

void* text_input_get_validator_callback_context(TextInput* text_input) {
    require(text_input, "text_input_get_validator_callback_context");
    return gui_modules::with_model<Model>(text_input->view, false, [](Model& m) { return m.validator_context; });
}

void text_input_set_header_text(TextInput* text_input, const char* text) {
    require(text_input, "text_input_set_header_text");
    gui_modules::with_model<Model>(text_input->view, true, [&](Model& m) { m.header = text != nullptr ? text : ""; });
}

}  // extern "C"
