// Submenu: a list of items, four rows of 16 pixels (three under a header), the selected one in an
// inverted rounded box, and always a full-height scroll bar.

#include <gui/modules/submenu.h>

#include <gui/elements.h>

#include <furi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/fatal.h"
#include "gui/modules/module_model_i.h"

namespace {

constexpr int kItemHeight = 16;
constexpr int kItemWidth = 123; // leaves room for the scroll bar
constexpr int kHeaderHeight = 16;

struct Item {
    std::string label;
    uint32_t index;
    SubmenuItemCallback callback;
    void* context;
};

struct SubmenuModel {
    std::vector<Item> items;
    std::string header; // empty: no header
    size_t position = 0;
    size_t window_position = 0;

    size_t rows() const { return header.empty() ? 4 : 3; }

    // Up and Down as the device moves them: the window follows one row before the edge, and
    // wrapping around jumps to the other end of the list.
    void up() {
        const size_t count = items.size();
        if(count == 0) return;
        const size_t visible = rows();
        if(position > 0) {
            --position;
            if(position == window_position && window_position > 0) --window_position;
        } else {
            position = count - 1;
            if(position > visible - 1) window_position = position - (visible - 1);
        }
    }

    void down() {
        const size_t count = items.size();
        if(count == 0) return;
        const size_t visible = rows();
        if(position + 1 < count) {
            ++position;
            if(position - window_position > visible - 2 && window_position + visible < count)
                ++window_position;
        } else {
            position = 0;
            window_position = 0;
        }
    }

    // The item goes to the window's second row (the first one for the first item), the window
    // clamped to the end of the list.
    void select(size_t index) {
        const size_t count = items.size();
        position = index < count ? index : 0;
        window_position = position > 0 ? position - 1 : 0;
        const size_t visible = rows();
        if(count <= visible) {
            window_position = 0;
        } else {
            window_position = std::min(window_position, count - visible);
        }
    }
};

void submenu_draw(Canvas* canvas, void* model_memory) {
    const auto& model = *static_cast<SubmenuModel*>(model_memory);
    canvas_clear(canvas);
    int top = 0;
    if(!model.header.empty()) {
        canvas_set_font(canvas, FontPrimary);
        canvas_draw_str(canvas, 4, 11, model.header.c_str());
        top = kHeaderHeight;
    }
    canvas_set_font(canvas, FontSecondary);
    const size_t end = std::min(model.items.size(), model.window_position + model.rows());
    for(size_t i = model.window_position; i < end; ++i) {
        const int item_y = top + static_cast<int>(i - model.window_position) * kItemHeight;
        if(i == model.position) {
            canvas_set_color(canvas, ColorBlack);
            elements_slightly_rounded_box(
                canvas, 0, static_cast<uint8_t>(item_y + 1), kItemWidth, kItemHeight - 2);
            canvas_set_color(canvas, ColorWhite);
        } else {
            canvas_set_color(canvas, ColorBlack);
        }
        FuriString* label = furi_string_alloc_set_str(model.items[i].label.c_str());
        elements_string_fit_width(canvas, label, kItemWidth - 12);
        canvas_draw_str(
            canvas, 6, static_cast<uint8_t>(item_y + kItemHeight - 4), furi_string_get_cstr(label));
        furi_string_free(label);
    }
    // Always, over the full height, even under a header.
    canvas_set_color(canvas, ColorBlack);
    elements_scrollbar(
        canvas, static_cast<uint16_t>(model.position), static_cast<uint16_t>(model.items.size()));
}

} // namespace

struct Submenu {
    View* view = nullptr;
};

namespace {

// Up and Down move on Short and Repeat, OK chooses on Short; nothing else is consumed.
bool submenu_input(InputEvent* event, void* context) {
    auto* submenu = static_cast<Submenu*>(context);
    const bool repeat = event->type == InputTypeRepeat;
    if(event->type != InputTypeShort && !repeat) return false;
    if(event->key == InputKeyUp || event->key == InputKeyDown) {
        gui_modules::with_model<SubmenuModel>(submenu->view, true, [&](SubmenuModel& m) {
            if(event->key == InputKeyUp) {
                m.up();
            } else {
                m.down();
            }
        });
        return true;
    }
    if(event->key == InputKeyOk && !repeat) {
        // Take the item under the lock, call it without: the callback may use the submenu.
        const Item item =
            gui_modules::with_model<SubmenuModel>(submenu->view, false, [](SubmenuModel& m) {
                return m.items.empty() ? Item{{}, 0, nullptr, nullptr} : m.items[m.position];
            });
        if(item.callback != nullptr) item.callback(item.context, item.index);
        return true;
    }
    return false;
}

constexpr host::NotNull<Submenu> require_submenu{"submenu"};

} // namespace

extern "C" {

Submenu* submenu_alloc(void) {
    auto* submenu = host::make_tracked<Submenu>();
    submenu->view = view_alloc();
    view_set_context(submenu->view, submenu);
    gui_modules::model_construct<SubmenuModel>(submenu->view);
    view_set_draw_callback(submenu->view, submenu_draw);
    view_set_input_callback(submenu->view, submenu_input);
    return submenu;
}

void submenu_free(Submenu* submenu) {
    require_submenu(submenu, "submenu_free");
    gui_modules::model_destroy<SubmenuModel>(submenu->view);
    view_free(submenu->view);
    host::destroy_tracked(submenu);
}

View* submenu_get_view(Submenu* submenu) {
    return require_submenu(submenu, "submenu_get_view")->view;
}

void submenu_add_item(
    Submenu* submenu,
    const char* label,
    uint32_t index,
    SubmenuItemCallback callback,
    void* callback_context) {
    require_submenu(submenu, "submenu_add_item");
    if(label == nullptr) host::fatal("submenu_add_item: label is null");
    gui_modules::with_model<SubmenuModel>(submenu->view, true, [&](SubmenuModel& m) {
        m.items.push_back({label, index, callback, callback_context});
    });
}

void submenu_reset(Submenu* submenu) {
    require_submenu(submenu, "submenu_reset");
    gui_modules::with_model<SubmenuModel>(submenu->view, true, [](SubmenuModel& m) {
        m = SubmenuModel();
    });
}

void submenu_set_selected_item(Submenu* submenu, uint32_t index) {
    require_submenu(submenu, "submenu_set_selected_item");
    gui_modules::with_model<SubmenuModel>(submenu->view, true, [&](SubmenuModel& m) {
        auto it = std::find_if(m.items.begin(), m.items.end(), [&](const Item& item) {
            return item.index == index;
        });
        m.select(static_cast<size_t>(it - m.items.begin())); // unknown: the first item
    });
}

// The window stays where it is: the device does not move it when the row count changes.
void submenu_set_header(Submenu* submenu, const char* header) {
    require_submenu(submenu, "submenu_set_header");
    gui_modules::with_model<SubmenuModel>(submenu->view, true, [&](SubmenuModel& m) {
        m.header = header != nullptr ? header : "";
    });
}

} // extern "C"
