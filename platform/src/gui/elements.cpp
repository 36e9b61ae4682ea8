// Drawing helpers of the GUI modules: bottom buttons with their marks, scroll bar, frames,
// multi-line text and the text box with its markers. Layouts follow the device's: the same cut
// points, line pitches and pixel positions.

#include <gui/elements.h>

#include <furi.h>

#include <gui/icon_i.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "gui/elements_i.h"

namespace {

constexpr char kEscape = '\x1b';
constexpr const char* kDots = "...";

uint8_t u8(int v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

int text_width(Canvas* canvas, std::string_view text) {
    return canvas_string_width(canvas, std::string(text).c_str());
}

// The bottom buttons' marks, our own drawings at the device's sizes: solid 4x7 arrows and a 7x7
// ring with a filled centre. XBM rows, bit 0 leftmost.
constexpr uint8_t kArrowLeftBits[] = {0x08, 0x0C, 0x0E, 0x0F, 0x0E, 0x0C, 0x08};
constexpr uint8_t kArrowRightBits[] = {0x01, 0x03, 0x07, 0x0F, 0x07, 0x03, 0x01};
constexpr uint8_t kOkMarkBits[] = {0x1C, 0x22, 0x5D, 0x5D, 0x5D, 0x22, 0x1C};
constexpr const uint8_t* kArrowLeftFrames[] = {kArrowLeftBits};
constexpr const uint8_t* kArrowRightFrames[] = {kArrowRightBits};
constexpr const uint8_t* kOkMarkFrames[] = {kOkMarkBits};
constexpr Icon kArrowLeft{4, 7, 1, 0, kArrowLeftFrames};
constexpr Icon kArrowRight{4, 7, 1, 0, kArrowRightFrames};
constexpr Icon kOkMark{7, 7, 1, 0, kOkMarkFrames};

enum class Side {
    Left,
    Center,
    Right
};

// A button is a 12 px box along the bottom edge with its mark and label in white. The side that
// faces the screen's middle ends in a step of three columns, 12, 11 and 10 px high.
void draw_button(Canvas* canvas, const char* str, Side side) {
    if(canvas == nullptr || str == nullptr) return;
    constexpr int kHeight = 12;
    constexpr int kTextBottom = 3; // baseline above the bottom edge
    constexpr int kMarkGap = 3;    // between mark and label
    const Icon& mark = side == Side::Left  ? kArrowLeft :
                       side == Side::Right ? kArrowRight :
                                             kOkMark;
    const int padding = side == Side::Center ? 1 : 3;
    const int string_width = canvas_string_width(canvas, str);
    const int width = string_width + 2 * padding + mark.width + kMarkGap;
    const int screen_w = canvas_width(canvas);
    const int bottom = canvas_height(canvas);
    const int top = bottom - kHeight;
    int x = 0;
    if(side == Side::Right) x = screen_w - width;
    if(side == Side::Center) x = (screen_w - width) / 2;

    canvas_draw_box(canvas, u8(x), u8(top), u8(width), kHeight);
    for(int i = 0; i < 3; ++i) {
        if(side != Side::Left)
            canvas_draw_line(canvas, u8(x - 1 - i), u8(bottom), u8(x - 1 - i), u8(top + i));
        if(side != Side::Right)
            canvas_draw_line(
                canvas, u8(x + width + i), u8(bottom), u8(x + width + i), u8(top + i));
    }
    canvas_invert_color(canvas);
    const int mark_y = bottom - kTextBottom - mark.height;
    const int baseline = bottom - kTextBottom;
    if(side == Side::Right) {
        canvas_draw_str(canvas, u8(x + padding), u8(baseline), str);
        canvas_draw_icon(canvas, u8(screen_w - padding - mark.width), u8(mark_y), &mark);
    } else {
        canvas_draw_icon(canvas, u8(x + padding), u8(mark_y), &mark);
        canvas_draw_str(canvas, u8(x + padding + mark.width + kMarkGap), u8(baseline), str);
    }
    canvas_invert_color(canvas);
}

// ---- multi-line text ---------------------------------------------------------------------------

// How many characters of the line starting at `text` are drawn on one row: all of them when the
// line fits beside x; else an estimate from the average character width, at least five fewer
// than the line and one more for the "-" that follows the cut.
size_t chars_to_fit(Canvas* canvas, Align horizontal, std::string_view text, uint8_t x) {
    const std::string_view line = text.substr(0, text.find('\n'));
    const int width = text_width(canvas, line);
    const int room = gui_elements::available_width(canvas, x, horizontal);
    if(line.empty() || width <= room) return line.size();
    const double average = static_cast<double>(width) / static_cast<double>(line.size());
    const int excess = static_cast<int>(std::ceil(static_cast<double>(width - room) / average));
    const int fit = static_cast<int>(line.size()) - std::max(excess, 5) - 1;
    // The device would loop forever (or run past the string) on a line of six characters or
    // fewer that does not fit; here at least one character goes on each row.
    return static_cast<size_t>(std::clamp(fit, 1, static_cast<int>(line.size())));
}

// ---- text box ----------------------------------------------------------------------------------

// One glyph of a text box with the style it is drawn in.
struct Cell {
    char c;
    Font font;
    bool inverse;
};

struct BoxLine {
    std::vector<Cell> cells;
    int width = 0; // sum of the glyphs' advances
    CanvasFontParameters params{};
    int x = 0;
    int baseline = 0;
};

int glyph_width(Canvas* canvas, Font font, char c) {
    canvas_set_font(canvas, font);
    return canvas_glyph_width(canvas, c);
}

void widen(CanvasFontParameters& params, const CanvasFontParameters& other) {
    params.leading_default = std::max(params.leading_default, other.leading_default);
    params.leading_min = std::max(params.leading_min, other.leading_min);
    params.height = std::max(params.height, other.height);
    params.descender = std::max(params.descender, other.descender);
}

bool is_marker(char c) {
    return c == ELEMENTS_BOLD_MARKER || c == ELEMENTS_MONO_MARKER || c == ELEMENTS_INVERSED_MARKER;
}

// Splits the text into lines: at '\n', and before a glyph that would take the line past `width`
// (a line takes at least one glyph). A line's spacing is the widest of the fonts in use on it; a
// line with inverse text is one pixel further apart.
std::vector<BoxLine> layout_box(Canvas* canvas, const char* text, int width) {
    std::vector<BoxLine> lines;
    Font font = FontSecondary;
    bool bold = false, mono = false, inverse = false;
    BoxLine line;
    bool line_inverse = false;
    auto open_line = [&] {
        line = BoxLine{};
        line.params = *canvas_get_font_params(canvas, font);
        line_inverse = inverse;
    };
    auto close_line = [&] {
        if(line_inverse) {
            ++line.params.leading_default;
            ++line.params.leading_min;
        }
        lines.push_back(std::move(line));
        open_line();
    };
    open_line();
    for(const char* p = text; *p != '\0'; ++p) {
        char c = *p;
        if(c == kEscape && is_marker(p[1])) c = *++p;
        if(is_marker(c)) {
            if(c == ELEMENTS_BOLD_MARKER) {
                font = bold ? FontSecondary : FontPrimary;
                bold = !bold;
            } else if(c == ELEMENTS_MONO_MARKER) {
                font = mono ? FontSecondary : FontKeyboard;
                mono = !mono;
            } else {
                inverse = !inverse;
                line_inverse = line_inverse || inverse;
            }
            widen(line.params, *canvas_get_font_params(canvas, font));
            continue;
        }
        if(c == '\n') {
            close_line();
            continue;
        }
        const int w = glyph_width(canvas, font, c);
        if(!line.cells.empty() && line.width + w > width) close_line();
        line.cells.push_back({c, font, inverse});
        line.width += w;
        line_inverse = line_inverse || inverse;
    }
    lines.push_back(std::move(line));
    return lines;
}

// Draws one line's glyphs in runs of one style, so each run is one recorded string. On the last
// line of a box with strip_to_dots, "..." replaces the rest once the next glyph and the dots
// would pass `right`.
void draw_box_line(Canvas* canvas, const BoxLine& line, bool dots, int right) {
    int cx = line.x;
    size_t i = 0;
    bool stop = false;
    while(i < line.cells.size() && !stop) {
        const Font font = line.cells[i].font;
        const bool inverse = line.cells[i].inverse;
        std::string run;
        const int start = cx;
        for(; i < line.cells.size() && line.cells[i].font == font &&
              line.cells[i].inverse == inverse;
            ++i) {
            const int w = glyph_width(canvas, font, line.cells[i].c);
            if(dots && cx + w + text_width(canvas, kDots) > right) {
                stop = true;
                break;
            }
            run.push_back(line.cells[i].c);
            cx += w;
        }
        canvas_set_font(canvas, font);
        if(inverse && cx > start) {
            // From a row above the ascent to a row below the descender, cut at the top edge.
            int top = line.baseline - line.params.height - 1;
            int rows = line.params.height + line.params.descender + 2;
            if(top < 0) {
                rows += top;
                top = 0;
            }
            canvas_draw_box(canvas, u8(start - 1), u8(top), u8(cx - start + 1), u8(rows));
            canvas_invert_color(canvas);
        }
        if(!run.empty()) canvas_draw_str(canvas, u8(start), u8(line.baseline), run.c_str());
        if(inverse && cx > start) canvas_invert_color(canvas);
        if(stop) canvas_draw_str(canvas, u8(cx), u8(line.baseline), kDots);
    }
}

} // namespace

namespace gui_elements {

int available_width(const Canvas* canvas, int x, Align horizontal) {
    const int screen_w = canvas_width(canvas);
    switch(horizontal) {
    case AlignRight:
        return x;
    case AlignCenter:
        return 2 * std::min(x, screen_w - x);
    default:
        return screen_w - x;
    }
}

std::string fit_width(Canvas* canvas, std::string_view text, int width) {
    std::string result(text);
    if(text_width(canvas, result) <= width) return result;
    // As the device: drop characters until the rest fits beside the dots.
    const int room = std::max(width - text_width(canvas, kDots), 0);
    do {
        result.pop_back();
    } while(!result.empty() && text_width(canvas, result) > room);
    return result + kDots;
}

} // namespace gui_elements

extern "C" {

void elements_button_left(Canvas* canvas, const char* str) {
    draw_button(canvas, str, Side::Left);
}

void elements_button_right(Canvas* canvas, const char* str) {
    draw_button(canvas, str, Side::Right);
}

void elements_button_center(Canvas* canvas, const char* str) {
    draw_button(canvas, str, Side::Center);
}

void elements_scrollbar_pos(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    uint8_t height,
    uint16_t pos,
    uint16_t total) {
    if(canvas == nullptr) return;
    // As the device draws it: a white strip, a dotted line at x - 2 and a block of height / total
    // rows (at least one) at height / total * pos, computed in float and truncated. The dots stop
    // at `height`, not at y + height, and an empty list still gets its dotted line.
    canvas_set_color(canvas, ColorWhite);
    canvas_draw_box(canvas, u8(x - 3), y, 3, height);
    canvas_set_color(canvas, ColorBlack);
    for(int i = y; i < height; i += 2) canvas_draw_dot(canvas, u8(x - 2), u8(i));
    if(total == 0) return;
    const float block = static_cast<float>(height) / static_cast<float>(total);
    const auto top = static_cast<uint8_t>(static_cast<float>(y) + block * static_cast<float>(pos));
    canvas_draw_box(canvas, u8(x - 3), top, 3, static_cast<uint8_t>(std::max(block, 1.0F)));
}

void elements_scrollbar(Canvas* canvas, uint16_t pos, uint16_t total) {
    if(canvas == nullptr) return;
    elements_scrollbar_pos(canvas, canvas_width(canvas), 0, canvas_height(canvas), pos, total);
}

void elements_frame(Canvas* canvas, uint8_t x, uint8_t y, uint8_t width, uint8_t height) {
    if(canvas == nullptr || width < 2 || height < 2) return;
    canvas_draw_rframe(canvas, x, y, width, height, 2);
}

void elements_slightly_rounded_box(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    uint8_t width,
    uint8_t height) {
    if(canvas == nullptr) return;
    canvas_draw_rbox(canvas, x, y, width, height, 1);
}

void elements_slightly_rounded_frame(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    uint8_t width,
    uint8_t height) {
    if(canvas == nullptr) return;
    canvas_draw_rframe(canvas, x, y, width, height, 1);
}

void elements_bold_rounded_frame(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    uint8_t width,
    uint8_t height) {
    if(canvas == nullptr || width < 4 || height < 4) return;
    canvas_set_color(canvas, ColorWhite);
    canvas_draw_box(canvas, u8(x + 1), u8(y + 1), u8(width - 2), u8(height - 2));
    canvas_set_color(canvas, ColorBlack);
    canvas_draw_rframe(canvas, x, y, width, height, 3);
    canvas_draw_rframe(canvas, u8(x + 1), u8(y + 1), u8(width - 2), u8(height - 2), 2);
}

void elements_progress_bar(Canvas* canvas, uint8_t x, uint8_t y, uint8_t width, float progress) {
    if(canvas == nullptr || width < 3) return;
    progress = std::clamp(progress, 0.0F, 1.0F);
    canvas_draw_rframe(canvas, x, y, width, 9, 3);
    const int fill = static_cast<int>(static_cast<float>(width - 2) * progress);
    if(fill > 0) canvas_draw_box(canvas, u8(x + 1), u8(y + 1), u8(fill), 7);
}

void elements_multiline_text_aligned(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    Align horizontal,
    Align vertical,
    const char* text) {
    if(canvas == nullptr || text == nullptr) return;
    const std::string_view all(text);
    const int font_height = canvas_current_font_height(canvas);
    const int canvas_h = canvas_height(canvas);
    int lines = 0;
    for(size_t start = 0; start < all.size();) {
        start += chars_to_fit(canvas, horizontal, all.substr(start), x);
        if(start < all.size() && all[start] == '\n') ++start;
        ++lines;
    }
    // The device keeps y in 8 bits; a block shifted above the screen wraps as it does there.
    if(vertical == AlignBottom) y = static_cast<uint8_t>(y - font_height * (lines - 1));
    if(vertical == AlignCenter) y = static_cast<uint8_t>(y - font_height * (lines - 1) / 2);
    for(size_t start = 0; start < all.size();) {
        const size_t fit = chars_to_fit(canvas, horizontal, all.substr(start), x);
        std::string line(all.substr(start, fit));
        const size_t next = start + fit;
        if(next < all.size() && all[next] != '\n')
            line += y + font_height > canvas_h ? kDots : "-";
        canvas_draw_str_aligned(canvas, x, y, horizontal, vertical, line.c_str());
        y = static_cast<uint8_t>(y + font_height);
        if(y > canvas_h) break;
        start = next;
        if(start < all.size() && all[start] == '\n') ++start;
    }
}

void elements_multiline_text(Canvas* canvas, uint8_t x, uint8_t y, const char* text) {
    if(canvas == nullptr || text == nullptr) return;
    const int font_height = canvas_current_font_height(canvas);
    const char* start = text;
    for(;;) {
        const char* end = std::strchr(start, '\n');
        const std::string line = end != nullptr ? std::string(start, end) : std::string(start);
        canvas_draw_str(canvas, x, y, line.c_str());
        y = static_cast<uint8_t>(y + font_height);
        if(end == nullptr || y >= canvas_height(canvas)) break;
        start = end + 1;
    }
}

void elements_multiline_text_framed(Canvas* canvas, uint8_t x, uint8_t y, const char* text) {
    if(canvas == nullptr || text == nullptr) return;
    const int font_height = canvas_current_font_height(canvas);
    int width = canvas_string_width(canvas, text);
    int lines = 1;
    for(const char* p = text; *p != '\0'; ++p) {
        if(*p != '\n') continue;
        ++lines;
        width = std::max<int>(width, canvas_string_width(canvas, p + 1));
    }
    // A white box with a rounded frame round the text, 4 px of room on each side.
    const int top = y - font_height;
    canvas_set_color(canvas, ColorWhite);
    canvas_draw_box(canvas, x, u8(top), u8(width + 8), u8(font_height * lines + 4));
    canvas_set_color(canvas, ColorBlack);
    canvas_draw_rframe(canvas, x, u8(top), u8(width + 8), u8(font_height * lines + 4), 3);
    elements_multiline_text(canvas, u8(x + 4), u8(y - 1), text);
}

void elements_string_fit_width(Canvas* canvas, FuriString* string, uint8_t width) {
    if(canvas == nullptr || string == nullptr) return;
    furi_string_set_str(
        string, gui_elements::fit_width(canvas, furi_string_get_cstr(string), width).c_str());
}

void elements_text_box(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    uint8_t width,
    uint8_t height,
    Align horizontal,
    Align vertical,
    const char* text,
    bool strip_to_dots) {
    if(canvas == nullptr || text == nullptr || width == 0 || height == 0) return;
    std::vector<BoxLine> lines = layout_box(canvas, text, width);

    // Keep the lines whose minimum spacing fits the height, at most seven.
    size_t shown = 0;
    int total_min = 0;
    int total_default = 0;
    for(const BoxLine& line : lines) {
        if(shown == ELEMENTS_MAX_LINES_NUM || total_min + line.params.leading_min > height) break;
        total_min += line.params.leading_min;
        total_default += line.params.leading_default;
        ++shown;
    }
    lines.resize(shown);
    if(lines.empty()) {
        canvas_set_font(canvas, FontSecondary);
        return;
    }

    for(BoxLine& line : lines) {
        line.x = x;
        if(horizontal == AlignCenter) line.x = x + (width - line.width) / 2;
        if(horizontal == AlignRight) line.x = x + width - line.width;
    }
    // The default spacing when it fits; otherwise the minimum, with the spare pixels handed out
    // one at a time to the gaps from the top.
    lines[0].baseline = y + lines[0].params.height;
    if(total_default <= height) {
        if(vertical == AlignCenter) lines[0].baseline += (height - total_default) / 2;
        if(vertical == AlignBottom) lines[0].baseline += height - total_default;
        for(size_t i = 1; i < lines.size(); ++i)
            lines[i].baseline = lines[i - 1].baseline + lines[i - 1].params.leading_default;
    } else {
        std::vector<int> gap(lines.size(), 0);
        for(size_t i = 1; i < lines.size(); ++i) gap[i] = lines[i - 1].params.leading_min;
        int spare = height - total_min;
        bool grew = true;
        while(spare > 0 && grew) {
            grew = false;
            for(size_t i = 1; i < lines.size() && spare > 0; ++i) {
                if(gap[i] >= lines[i - 1].params.leading_default) continue;
                ++gap[i];
                --spare;
                grew = true;
            }
        }
        for(size_t i = 1; i < lines.size(); ++i)
            lines[i].baseline = lines[i - 1].baseline + gap[i];
    }

    for(size_t i = 0; i < lines.size(); ++i)
        draw_box_line(canvas, lines[i], strip_to_dots && i + 1 == lines.size(), x + width);
    canvas_set_font(canvas, FontSecondary);
}

} // extern "C"
