// Submenu: a list of items, four rows of 16 pixels (three under a header), the selected one in an
// inverted rounded box, a scroll bar when the items overflow.

#include <gui/modules/submenu.h>

#include <gui/elements.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/fatal.h"
#include "gui/elements_i.h"
#include "gui/modules/module_model_i.h"

namespace {

constexpr int kItemHeight = 16;
constexpr int kItemWidth = 123;  // leaves room for the scroll bar
constexpr int kHeaderHeight = 16;

struct Item {
    std::string label;
    uint32_t index;
    SubmenuItemCallback callback;
    void* context;
};

struct Model {
    std::vector<Item> items;
    std::string header;
    bool has_header = false;
    size_t position = 0;
    size_t window_position = 0;

    size_t rows() const { return has_header ? 3 : 4; }

    // Keeps the selection visible with one item of context above and below where possible.
    void update_window() {
        const size_t count = items.size();
        const size_t visible = rows();
        if(count <= visible) {
            window_position = 0;
            return;
        }
        if(position < window_position + 1) window_position = position > 0 ? position - 1 : 0;
        if(position + 1 >= window_position + visible) {
            window_position = std::min(position + 2 - visible, count - visible);
        }
        window_position = std::min(window_position, count - visible);
    }

    void move(bool down) {
        const size_t count = items.size();
        if(count == 0) return;
        if(down) {
            position = position + 1 < count ? position + 1 : 0;
        } else {
            position = position > 0 ? position - 1 : count - 1;
        }
        update_window();
    }
};

void draw(Canvas* canvas, void* model_memory) {
    const auto& model = *static_cast<Model*>(model_memory);
    canvas_clear(canvas);
    int top = 0;
    if(model.has_header) {
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
            elements_slightly_rounded_box(canvas, 0, static_cast<uint8_t>(item_y + 1), kItemWidth, kItemHeight - 2);
            canvas_set_color(canvas, ColorWhite);
        } else {
            canvas_set_color(canvas, ColorBlack);
        }
        const std::string label = gui_elements::fit_width(canvas, model.items[i].label, kItemWidth - 12);
        canvas_draw_str(canvas, 6, static_cast<uint8_t>(item_y + kItemHeight - 4), label.c_str());
    }
    canvas_set_color(canvas, ColorBlack);
    if(model.items.size() > model.rows()) {
        elements_scrollbar_pos(canvas, canvas_width(canvas), static_cast<uint8_t>(top),
            static_cast<uint8_t>(canvas_height(canvas) - top), static_cast<uint16_t>(model.position),
            static_cast<uint16_t>(model.items.size()));
    }
}

}  // namespace

struct Submenu {
    View* view = nullptr;
};

namespace {

bool input(InputEvent* event, void* context) {
    auto* submenu = static_cast<Submenu*>(context);
    if(event->key == InputKeyBack) return false;
    const bool move = event->type == InputTypeShort || event->type == InputTypeRepeat;
    if(move && (event->key == InputKeyUp || event->key == InputKeyDown)) {
        gui_modules::with_model<Model>(submenu->view, true, [&](Model& m) { m.move(event->key == InputKeyDown); });
        return true;
    }
    if(event->key == InputKeyOk && event->type == InputTypeShort) {
        // Take the item under the lock, call it without: the callback may use the submenu.
        const Item item = gui_modules::with_model<Model>(submenu->view, false, [](Model& m) {
            return m.items.empty() ? Item{{}, 0, nullptr, nullptr} : m.items[m.position];
        });
        if(item.callback != nullptr) item.callback(item.context, item.index);
        return true;
    }
    return event->key == InputKeyUp || event->key == InputKeyDown || event->key == InputKeyOk;
}

Submenu* require(Submenu* submenu, const char* what) {
    if(submenu == nullptr) host::fatal("%s: submenu is null", what);
    return submenu;
}

}  // namespace

extern "C" {

Submenu* submenu_alloc(void) {
    auto* submenu = host::make_tracked<Submenu>();
    submenu->view = view_alloc();
    view_set_context(submenu->view, submenu);
    gui_modules::model_construct<Model>(submenu->view);
    view_set_draw_callback(submenu->view, draw);
    view_set_input_callback(submenu->view, input);
    return submenu;
}

void submenu_free(Submenu* submenu) {
    require(submenu, "submenu_free");
    gui_modules::model_destroy<Model>(submenu->view);
    view_free(submenu->view);
    host::destroy_tracked(submenu);
}

View* submenu_get_view(Submenu* submenu) {
    return require(submenu, "submenu_get_view")->view;
}

void submenu_add_item(Submenu* submenu, const char* label, uint32_t index, SubmenuItemCallback callback, void* callback_context) {
    require(submenu, "submenu_add_item");
    if(label == nullptr) host::fatal("submenu_add_item: label is null");
    gui_modules::with_model<Model>(submenu->view, true, [&](Model& m) {
        m.items.push_back({label, index, callback, callback_context});
    });
}

void submenu_reset(Submenu* submenu) {
    require(submenu, "submenu_reset");
    gui_modules::with_model<Model>(submenu->view, true, [](Model& m) { m = Model(); });
}

void submenu_set_selected_item(Submenu* submenu, uint32_t index) {
    require(submenu, "submenu_set_selected_item");
    gui_modules::with_model<Model>(submenu->view, true, [&](Model& m) {
        auto it = std::find_if(m.items.begin(), m.items.end(), [&](const Item& item) { return item.index == index; });
        m.position = it == m.items.end() ? 0 : static_cast<size_t>(it - m.items.begin());
        m.update_window();
    });
}

void submenu_set_header(Submenu* submenu, const char* header) {
    require(submenu, "submenu_set_header");
    gui_modules::with_model<Model>(submenu->view, true, [&](Model& m) {
        m.has_header = header != nullptr;
        m.header = header != nullptr ? header : "";
        m.update_window();
    });
}

}  // extern "C"
