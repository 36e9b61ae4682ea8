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
    /// Acts on a key the element handles itself (under the model lock); whether it took it.
    virtual bool input(const InputEvent& event) {
        (void)event;
        return false;
    }
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

// Text that scrolls line by line with Up and Down, as the device's text scroll element does. Each
// line ('\n' ends one) starts in FontSecondary, left aligned; control pairs at its start change
// that up to the next '\n': ESC '#' bold (FontPrimary), ESC '*' monospace (FontKeyboard), ESC 'c'
// centred, ESC 'r' right aligned. A line wider than the box (less 4 px kept for the scroll bar)
// goes on below, broken between characters. The lines are laid out at the first draw, with the
// canvas's fonts. Drawn from the first line shown, one leading_default apart (top aligned), for
// as long as a line's descender stays within the box. Each line whose running height (font
// height, then the rest of the leading) passes the box adds a scroll position; with more than
// one, the scroll bar runs down the screen's right edge beside the box.
class TextScrollElement final : public Element {
public:
    static constexpr int kScrollBarWidth = 4;

    TextScrollElement(uint8_t x, uint8_t y, uint8_t w, uint8_t h, std::string text)
        : x_(x)
        , y_(y)
        , width_(w > kScrollBarWidth ? w - kScrollBarWidth : 0)
        , height_(h)
        , text_(std::move(text)) {}

    void draw(Canvas* canvas) const override {
        if(!laid_out_) layout(canvas);
        int y = y_;
        for(std::size_t i = position_; i < lines_.size(); ++i) {
            const Line& line = lines_[i];
            const CanvasFontParameters& params = *canvas_get_font_params(canvas, line.font);
            if(y + params.descender > y_ + height_) break;
            canvas_set_font(canvas, line.font);
            int x = x_;
            if(line.align == AlignCenter) x = (x_ + width_) / 2;
            if(line.align == AlignRight) x = x_ + width_;
            canvas_draw_str_aligned(
                canvas,
                static_cast<uint8_t>(x),
                static_cast<uint8_t>(y),
                line.align,
                AlignTop,
                line.text.c_str());
            y += params.leading_default;
        }
        if(positions_ > 1) {
            elements_scrollbar_pos(
                canvas,
                canvas_width(canvas),
                y_,
                height_,
                static_cast<uint16_t>(position_),
                static_cast<uint16_t>(positions_));
        }
    }

    bool input(const InputEvent& event) override {
        if(event.type != InputTypeShort && event.type != InputTypeRepeat) return false;
        if(event.key == InputKeyUp) {
            if(position_ > 0) --position_;
            return true;
        }
        if(event.key == InputKeyDown) {
            if(position_ + 1 < positions_) ++position_;
            return true;
        }
        return false;
    }

private:
    struct Line {
        std::string text;
        Font font = FontSecondary;
        Align align = AlignLeft;
    };

    void layout(Canvas* canvas) const {
        laid_out_ = true;
        int total_height = 0;
        std::size_t at = 0;
        while(at <= text_.size()) {
            Line line;
            // Control pairs at the start of a line, as many as there are.
            while(at + 1 < text_.size() && text_[at] == '\x1b') {
                const char c = text_[at + 1];
                if(c == '#') line.font = FontPrimary;
                if(c == '*') line.font = FontKeyboard;
                if(c == 'c') line.align = AlignCenter;
                if(c == 'r') line.align = AlignRight;
                at += 2;
            }
            canvas_set_font(canvas, line.font);
            const CanvasFontParameters& params = *canvas_get_font_params(canvas, line.font);
            // One '\n'-line, in as many rows as its width needs.
            bool more = true;
            while(more) {
                total_height += params.height;
                if(total_height > height_) ++positions_;
                Line row{{}, line.font, line.align};
                int row_width = 0;
                more = false;
                for(; at < text_.size() && text_[at] != '\n'; ++at) {
                    const int w = canvas_glyph_width(canvas, text_[at]);
                    if(row_width + w > width_ && !row.text.empty()) {
                        more = true;
                        break;
                    }
                    row.text.push_back(text_[at]);
                    row_width += w;
                }
                lines_.push_back(std::move(row));
                total_height += params.leading_default - params.height;
            }
            if(at >= text_.size()) break;
            ++at; // the '\n'
        }
    }

    int x_, y_, width_, height_;
    std::string text_;
    mutable bool laid_out_ = false;
    mutable std::vector<Line> lines_;
    mutable std::size_t positions_ = 1;
    std::size_t position_ = 0;
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

constexpr host::NotNull<Widget> require_widget{"widget"};

constexpr host::NotNull<const char> require_text{"text"};

void add(Widget* widget, std::unique_ptr<Element> element) {
    gui_modules::with_model<WidgetModel>(widget->view, true, [&](WidgetModel& m) {
        m.elements.push_back(std::move(element));
    });
}

// Every element sees the event: those that act on keys themselves (text scroll) under the model
// lock, with a redraw; buttons get every input type of their key, and their callbacks run
// without the lock, so they may reset the widget.
bool widget_input(InputEvent* event, void* context) {
    auto* widget = static_cast<Widget*>(context);
    bool taken = false;
    const std::vector<ButtonPress> presses =
        gui_modules::with_model<WidgetModel>(widget->view, true, [&](WidgetModel& m) {
            std::vector<ButtonPress> found;
            ButtonPress press{};
            for(const auto& element : m.elements) {
                taken = element->input(*event) || taken;
                if(element->button_for(*event, press)) found.push_back(press);
            }
            return found;
        });
    for(const ButtonPress& press : presses) press.callback(press.type, event->type, press.context);
    return taken || !presses.empty();
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
    require_widget(widget, "widget_free");
    gui_modules::model_destroy<WidgetModel>(widget->view);
    view_free(widget->view);
    host::destroy_tracked(widget);
}

void widget_reset(Widget* widget) {
    require_widget(widget, "widget_reset");
    gui_modules::with_model<WidgetModel>(widget->view, true, [](WidgetModel& m) {
        m.elements.clear();
    });
}

View* widget_get_view(Widget* widget) {
    return require_widget(widget, "widget_get_view")->view;
}

void widget_add_string_element(
    Widget* widget,
    uint8_t x,
    uint8_t y,
    Align horizontal,
    Align vertical,
    Font font,
    const char* text) {
    require_widget(widget, "widget_add_string_element");
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
    require_widget(widget, "widget_add_string_multiline_element");
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
    require_widget(widget, "widget_add_text_box_element");
    require_text(text, "widget_add_text_box_element");
    add(widget,
        std::make_unique<TextBoxElement>(
            x, y, width, height, horizontal, vertical, text, strip_to_dots));
}

void widget_add_text_scroll_element(
    Widget* widget,
    uint8_t x,
    uint8_t y,
    uint8_t width,
    uint8_t height,
    const char* text) {
    require_widget(widget, "widget_add_text_scroll_element");
    require_text(text, "widget_add_text_scroll_element");
    add(widget, std::make_unique<TextScrollElement>(x, y, width, height, text));
}

void widget_add_button_element(
    Widget* widget,
    GuiButtonType button_type,
    const char* text,
    ButtonCallback callback,
    void* context) {
    require_widget(widget, "widget_add_button_element");
    require_text(text, "widget_add_button_element");
    if(button_type > GuiButtonTypeRight)
        host::fatal("widget_add_button_element: unknown button type %d", button_type);
    add(widget, std::make_unique<ButtonElement>(button_type, text, callback, context));
}

void widget_add_icon_element(Widget* widget, uint8_t x, uint8_t y, const Icon* icon) {
    require_widget(widget, "widget_add_icon_element");
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
    require_widget(widget, "widget_add_frame_element");
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
    require_widget(widget, "widget_add_rect_element");
    add(widget, std::make_unique<FrameElement>(x, y, width, height, radius, fill));
}

} // extern "C"
