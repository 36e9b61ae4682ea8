// Widget: a list of elements drawn in the order they were added. Every element keeps its own
// copy of its text.

#include <gui/modules/widget.h>

#include <gui/elements.h>

#include <furi.h>

#include <memory>
#include <string>
#include <vector>

#include "core/fatal.h"
#include "gui/modules/module_model_i.h"

namespace {

struct ButtonPress {
    ButtonCallback callback;
    GuiButtonType type;
    void* context;
};

class Element {
public:
    virtual ~Element() = default;
    virtual void draw(Canvas* canvas) const = 0;
    /// A button that answers this event; nothing for other elements.
    virtual bool button_for(const InputEvent& event, ButtonPress& press) const {
        (void)event;
        (void)press;
        return false;
    }
};

class StringElement final : public Element {
public:
    StringElement(
        uint8_t x,
        uint8_t y,
        Align h,
        Align v,
        Font font,
        std::string text,
        bool multiline)
        : x_(x)
        , y_(y)
        , h_(h)
        , v_(v)
        , font_(font)
        , text_(std::move(text))
        , multiline_(multiline) {}

    void draw(Canvas* canvas) const override {
        canvas_set_font(canvas, font_);
        if(multiline_) {
            elements_multiline_text_aligned(canvas, x_, y_, h_, v_, text_.c_str());
        } else {
            canvas_draw_str_aligned(canvas, x_, y_, h_, v_, text_.c_str());
        }
    }

private:
    uint8_t x_, y_;
    Align h_, v_;
    Font font_;
    std::string text_;
    bool multiline_;
};

class TextBoxElement final : public Element {
public:
    TextBoxElement(
        uint8_t x,
        uint8_t y,
        uint8_t w,
        uint8_t h,
        Align ha,
        Align va,
        std::string text,
        bool strip)
        : x_(x)
        , y_(y)
        , w_(w)
        , h_(h)
        , ha_(ha)
        , va_(va)
        , text_(std::move(text))
        , strip_(strip) {}

    void draw(Canvas* canvas) const override {
        elements_text_box(canvas, x_, y_, w_, h_, ha_, va_, text_.c_str(), strip_);
    }

private:
    uint8_t x_, y_, w_, h_;
    Align ha_, va_;
    std::string text_;
    bool strip_;
};

class ButtonElement final : public Element {
public:
    ButtonElement(GuiButtonType type, std::string text, ButtonCallback callback, void* context)
        : type_(type)
        , text_(std::move(text))
        , callback_(callback)
        , context_(context) {}

    void draw(Canvas* canvas) const override {
        canvas_set_color(canvas, ColorBlack);
        canvas_set_font(canvas, FontSecondary);
        switch(type_) {
        case GuiButtonTypeLeft:
            elements_button_left(canvas, text_.c_str());
            break;
        case GuiButtonTypeCenter:
            elements_button_center(canvas, text_.c_str());
            break;
        case GuiButtonTypeRight:
            elements_button_right(canvas, text_.c_str());
            break;
        }
    }

    bool button_for(const InputEvent& event, ButtonPress& press) const override {
        if(callback_ == nullptr) return false;
        const bool mine = (event.key == InputKeyLeft && type_ == GuiButtonTypeLeft) ||
                          (event.key == InputKeyOk && type_ == GuiButtonTypeCenter) ||
                          (event.key == InputKeyRight && type_ == GuiButtonTypeRight);
        if(mine) press = {callback_, type_, context_};
        return mine;
    }

private:
    GuiButtonType type_;
    std::string text_;
    ButtonCallback callback_;
    void* context_;
};

class IconElement final : public Element {
public:
    IconElement(uint8_t x, uint8_t y, const Icon* icon)
        : x_(x)
        , y_(y)
        , icon_(icon) {}
    void draw(Canvas* canvas) const override { canvas_draw_icon(canvas, x_, y_, icon_); }

private:
    uint8_t x_, y_;
    const Icon* icon_;
};

class FrameElement final : public Element {
public:
    FrameElement(uint8_t x, uint8_t y, uint8_t w, uint8_t h, uint8_t r, bool fill = false)
        : x_(x)
        , y_(y)
        , w_(w)
        , h_(h)
        , r_(r)
        , fill_(fill) {}
    void draw(Canvas* canvas) const override {
        if(fill_) {
            canvas_draw_rbox(canvas, x_, y_, w_, h_, r_);
        } else {
            canvas_draw_rframe(canvas, x_, y_, w_, h_, r_);
        }
    }

private:
    uint8_t x_, y_, w_, h_, r_;
    bool fill_;
};

struct WidgetModel {
    std::vector<std::unique_ptr<Element>> elements;
};

void widget_draw(Canvas* canvas, void* model_memory) {
    const auto& model = *static_cast<WidgetModel*>(model_memory);
    canvas_clear(canvas);
    for(const auto& element : model.elements) {
        canvas_set_color(canvas, ColorBlack);
        element->draw(canvas);
    }
}

} // namespace

struct Widget {
    View* view = nullptr;
};

namespace {

Widget* require(Widget* widget, const char* what) {
    if(widget == nullptr) host::fatal("%s: widget is null", what);
    return widget;
}

const char* require_text(const char* text, const char* what) {
    if(text == nullptr) host::fatal("%s: text is null", what);
    return text;
}

void add(Widget* widget, std::unique_ptr<Element> element) {
    gui_modules::with_model<WidgetModel>(widget->view, true, [&](WidgetModel& m) {
        m.elements.push_back(std::move(element));
    });
}

// Buttons get every input type of their key; the callbacks run without the model lock, so they
// may reset the widget.
bool widget_input(InputEvent* event, void* context) {
    auto* widget = static_cast<Widget*>(context);
    const std::vector<ButtonPress> presses =
        gui_modules::with_model<WidgetModel>(widget->view, false, [&](WidgetModel& m) {
            std::vector<ButtonPress> found;
            ButtonPress press{};
            for(const auto& element : m.elements) {
                if(element->button_for(*event, press)) found.push_back(press);
            }
            return found;
        });
    for(const ButtonPress& press : presses) press.callback(press.type, event->type, press.context);
    return !presses.empty();
}

} // namespace

extern "C" {

Widget* widget_alloc(void) {
    auto* widget = host::make_tracked<Widget>();
    widget->view = view_alloc();
    view_set_context(widget->view, widget);
    gui_modules::model_construct<WidgetModel>(widget->view);
    view_set_draw_callback(widget->view, widget_draw);
    view_set_input_callback(widget->view, widget_input);
    return widget;
}

void widget_free(Widget* widget) {
    require(widget, "widget_free");
    gui_modules::model_destroy<WidgetModel>(widget->view);
    view_free(widget->view);
    host::destroy_tracked(widget);
}

void widget_reset(Widget* widget) {
    require(widget, "widget_reset");
    gui_modules::with_model<WidgetModel>(widget->view, true, [](WidgetModel& m) {
        m.elements.clear();
    });
}

View* widget_get_view(Widget* widget) {
    return require(widget, "widget_get_view")->view;
}

void widget_add_string_element(
    Widget* widget,
    uint8_t x,
    uint8_t y,
    Align horizontal,
    Align vertical,
    Font font,
    const char* text) {
    require(widget, "widget_add_string_element");
    require_text(text, "widget_add_string_element");
    add(widget, std::make_unique<StringElement>(x, y, horizontal, vertical, font, text, false));
}

void widget_add_string_multiline_element(
    Widget* widget,
    uint8_t x,
    uint8_t y,
    Align horizontal,
    Align vertical,
    Font font,
    const char* text) {
    require(widget, "widget_add_string_multiline_element");
    require_text(text, "widget_add_string_multiline_element");
    add(widget, std::make_unique<StringElement>(x, y, horizontal, vertical, font, text, true));
}

void widget_add_text_box_element(
    Widget* widget,
    uint8_t x,
    uint8_t y,
    uint8_t width,
    uint8_t height,
    Align horizontal,
    Align vertical,
    const char* text,
    bool strip_to_dots) {
    require(widget, "widget_add_text_box_element");
    require_text(text, "widget_add_text_box_element");
    add(widget,
        std::make_unique<TextBoxElement>(
            x, y, width, height, horizontal, vertical, text, strip_to_dots));
}

void widget_add_button_element(
    Widget* widget,
    GuiButtonType button_type,
    const char* text,
    ButtonCallback callback,
    void* context) {
    require(widget, "widget_add_button_element");
    require_text(text, "widget_add_button_element");
    if(button_type > GuiButtonTypeRight)
        host::fatal("widget_add_button_element: unknown button type %d", button_type);
    add(widget, std::make_unique<ButtonElement>(button_type, text, callback, context));
}

void widget_add_icon_element(Widget* widget, uint8_t x, uint8_t y, const Icon* icon) {
    require(widget, "widget_add_icon_element");
    if(icon == nullptr) host::fatal("widget_add_icon_element: icon is null");
    add(widget, std::make_unique<IconElement>(x, y, icon));
}

void widget_add_frame_element(
    Widget* widget,
    uint8_t x,
    uint8_t y,
    uint8_t width,
    uint8_t height,
    uint8_t radius) {
    require(widget, "widget_add_frame_element");
    add(widget, std::make_unique<FrameElement>(x, y, width, height, radius));
}

// At 86.0 (platform/include-86.0/gui/modules/widget.h), where widget_add_frame_element is this
// call with fill off. Its types are the same in both SDKs, so one definition serves.
void widget_add_rect_element(
    Widget* widget,
    uint8_t x,
    uint8_t y,
    uint8_t width,
    uint8_t height,
    uint8_t radius,
    bool fill) {
    require(widget, "widget_add_rect_element");
    add(widget, std::make_unique<FrameElement>(x, y, width, height, radius, fill));
}

} // extern "C"
