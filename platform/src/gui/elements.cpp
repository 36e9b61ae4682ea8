// Drawing helpers of the GUI modules: bottom buttons with their marks, scroll bar, frames,
// multi-line text and the text box with its bold marker.

#include <gui/elements.h>

#include <furi.h>

#include <algorithm>
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

// Arrow marks of the bottom buttons, 4x7, tip at the side they point to.
void draw_arrow_left(Canvas* canvas, int x, int y) {
    for(int i = 0; i < 4; ++i) canvas_draw_line(canvas, u8(x + i), u8(y + 3 - i), u8(x + i), u8(y + 3 + i));
}

void draw_arrow_right(Canvas* canvas, int x, int y) {
    for(int i = 0; i < 4; ++i) canvas_draw_line(canvas, u8(x + 3 - i), u8(y + 3 - i), u8(x + 3 - i), u8(y + 3 + i));
}

// The OK mark, 7x7: a ring with a dot.
void draw_ok_mark(Canvas* canvas, int x, int y) {
    canvas_draw_circle(canvas, u8(x + 3), u8(y + 3), 3);
    canvas_draw_box(canvas, u8(x + 2), u8(y + 2), 3, 3);
}

enum class Side { Left, Center, Right };

void draw_button(Canvas* canvas, const char* str, Side side) {
    if(canvas == nullptr || str == nullptr) return;
    constexpr int kHeight = 12;
    constexpr int kPadding = 3;     // inside the box, left and right
    constexpr int kTextBottom = 3;  // baseline above the screen's bottom edge
    constexpr int kMarkGap = 3;
    const int mark_width = side == Side::Center ? 7 : 4;
    const int mark_height = 7;
    const int screen_w = canvas_width(canvas);
    const int screen_h = canvas_height(canvas);
    const int string_width = std::min<int>(canvas_string_width(canvas, str), screen_w);
    const int width = std::min(string_width + 2 * kPadding + mark_width + kMarkGap, screen_w - 3);
    const int top = screen_h - kHeight;
    int x = 0;
    if(side == Side::Right) x = screen_w - width;
    if(side == Side::Center) x = (screen_w - width) / 2;

    canvas_draw_box(canvas, u8(x), u8(top), u8(width), kHeight);
    // The stepped corners that round the box's upper edges off towards the screen.
    for(int i = 0; i < 3; ++i) {
        if(side != Side::Left) canvas_draw_line(canvas, u8(x - 1 - i), u8(screen_h - 1), u8(x - 1 - i), u8(top + 1 + i));
        if(side != Side::Right) {
            canvas_draw_line(canvas, u8(x + width + i), u8(screen_h - 1), u8(x + width + i), u8(top + 1 + i));
        }
    }
    canvas_invert_color(canvas);
    const int mark_y = screen_h - kTextBottom - mark_height;
    const int baseline = screen_h - kTextBottom;
    switch(side) {
    case Side::Left:
        draw_arrow_left(canvas, x + kPadding, mark_y);
        canvas_draw_str(canvas, u8(x + kPadding + mark_width + kMarkGap), u8(baseline), str);
        break;
    case Side::Center:
        draw_ok_mark(canvas, x + kPadding, mark_y);
        canvas_draw_str(canvas, u8(x + kPadding + mark_width + kMarkGap), u8(baseline), str);
        break;
    case Side::Right:
        canvas_draw_str(canvas, u8(x + kPadding), u8(baseline), str);
        draw_arrow_right(canvas, x + kPadding + string_width + kMarkGap, mark_y);
        break;
    }
    canvas_invert_color(canvas);
}

// One character of a text box and whether it is bold.
struct Cell {
    char c;
    bool bold;
};

struct BoxLine {
    std::vector<Cell> cells;
    int width = 0;
};

Font font_of(bool bold) {
    return bold ? FontPrimary : FontSecondary;
}

int cell_width(Canvas* canvas, const Cell& cell) {
    canvas_set_font(canvas, font_of(cell.bold));
    return canvas_glyph_width(canvas, cell.c);
}

int cells_width(Canvas* canvas, const std::vector<Cell>& cells) {
    int width = 0;
    for(const Cell& cell : cells) width += cell_width(canvas, cell);
    return width;
}

std::vector<Cell> parse_cells(const char* text) {
    std::vector<Cell> cells;
    bool bold = false;
    for(const char* p = text; *p != '\0'; ++p) {
        if(*p == kEscape) {
            if(p[1] == ELEMENTS_BOLD_MARKER) {
                bold = !bold;
                ++p;
            }
            continue;  // other escapes are not drawn
        }
        cells.push_back({*p, bold});
    }
    return cells;
}

// Greedy word wrap of cells into lines no wider than max_width.
std::vector<BoxLine> wrap_cells(Canvas* canvas, const std::vector<Cell>& cells, int max_width) {
    std::vector<BoxLine> lines(1);
    size_t i = 0;
    while(i < cells.size()) {
        if(cells[i].c == '\n') {
            lines.emplace_back();
            ++i;
            continue;
        }
        // The next word, with the spaces in front of it.
        size_t end = i;
        while(end < cells.size() && cells[end].c == ' ') ++end;
        while(end < cells.size() && cells[end].c != ' ' && cells[end].c != '\n') ++end;
        std::vector<Cell> word(cells.begin() + static_cast<std::ptrdiff_t>(i), cells.begin() + static_cast<std::ptrdiff_t>(end));
        BoxLine& line = lines.back();
        const int width = cells_width(canvas, word);
        if(line.width + width <= max_width || (line.cells.empty() && width <= max_width)) {
            line.cells.insert(line.cells.end(), word.begin(), word.end());
            line.width += width;
            i = end;
            continue;
        }
        if(!line.cells.empty()) {
            // Start a new line with the word, without its leading spaces.
            lines.emplace_back();
            while(i < end && cells[i].c == ' ') ++i;
            continue;
        }
        // A word wider than the box: break it between characters.
        for(; i < end; ++i) {
            const int w = cell_width(canvas, cells[i]);
            if(!lines.back().cells.empty() && lines.back().width + w > max_width) lines.emplace_back();
            lines.back().cells.push_back(cells[i]);
            lines.back().width += w;
        }
    }
    return lines;
}

struct FontMetrics {
    int ascent;
    int line_height;
};

FontMetrics metrics(Canvas* canvas, Font font) {
    const CanvasFontParameters* params = canvas_get_font_params(canvas, font);
    return {params->leading_min - params->descender, params->leading_default};
}

}  // namespace

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

std::vector<std::string> wrap_lines(Canvas* canvas, std::string_view text, int max_width) {
    std::vector<std::string> lines;
    size_t start = 0;
    while(true) {
        const size_t newline = text.find('\n', start);
        std::string_view rest = text.substr(start, newline == std::string_view::npos ? std::string_view::npos : newline - start);
        bool wrapped = false;
        while(max_width > 0 && !rest.empty() && text_width(canvas, rest) > max_width) {
            // The longest prefix that fits (at least one character), cut at its last space if any.
            size_t fit = 1;
            while(fit < rest.size() && text_width(canvas, rest.substr(0, fit + 1)) <= max_width) ++fit;
            size_t cut = fit;
            const size_t space = rest.substr(0, fit + 1).rfind(' ');
            if(space != std::string_view::npos && space > 0) cut = space;
            lines.emplace_back(rest.substr(0, cut));
            rest.remove_prefix(cut);
            while(!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
            wrapped = true;
        }
        if(!rest.empty() || !wrapped) lines.emplace_back(rest);
        if(newline == std::string_view::npos) break;
        start = newline + 1;
    }
    return lines;
}

std::string fit_width(Canvas* canvas, std::string_view text, int width) {
    std::string result(text);
    if(text_width(canvas, result) <= width) return result;
    while(!result.empty() && text_width(canvas, result + kDots) > width) result.pop_back();
    return result + kDots;
}

}  // namespace gui_elements

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

void elements_scrollbar_pos(Canvas* canvas, uint8_t x, uint8_t y, uint8_t height, uint16_t pos, uint16_t total) {
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

void elements_slightly_rounded_box(Canvas* canvas, uint8_t x, uint8_t y, uint8_t width, uint8_t height) {
    if(canvas == nullptr) return;
    canvas_draw_rbox(canvas, x, y, width, height, 1);
}

void elements_slightly_rounded_frame(Canvas* canvas, uint8_t x, uint8_t y, uint8_t width, uint8_t height) {
    if(canvas == nullptr) return;
    canvas_draw_rframe(canvas, x, y, width, height, 1);
}

void elements_bold_rounded_frame(Canvas* canvas, uint8_t x, uint8_t y, uint8_t width, uint8_t height) {
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

void elements_multiline_text_aligned(Canvas* canvas, uint8_t x, uint8_t y, Align horizontal, Align vertical, const char* text) {
    if(canvas == nullptr || text == nullptr) return;
    const auto lines = gui_elements::wrap_lines(canvas, text, gui_elements::available_width(canvas, x, horizontal));
    const int line_height = canvas_current_font_height(canvas);
    const int count = static_cast<int>(lines.size());
    int first = y;
    if(vertical == AlignCenter) first = y - (count - 1) * line_height / 2;
    if(vertical == AlignBottom) first = y - (count - 1) * line_height;
    for(int i = 0; i < count; ++i) {
        const int line_y = first + i * line_height;
        if(line_y < 0 || line_y > 255) continue;
        canvas_draw_str_aligned(canvas, x, u8(line_y), horizontal, vertical, lines[static_cast<size_t>(i)].c_str());
    }
}

void elements_multiline_text(Canvas* canvas, uint8_t x, uint8_t y, const char* text) {
    if(canvas == nullptr || text == nullptr) return;
    const auto lines = gui_elements::wrap_lines(canvas, text, gui_elements::available_width(canvas, x, AlignLeft));
    const int line_height = canvas_current_font_height(canvas);
    for(size_t i = 0; i < lines.size(); ++i) {
        const int line_y = y + static_cast<int>(i) * line_height;
        if(line_y > 255) break;
        canvas_draw_str(canvas, x, u8(line_y), lines[i].c_str());
    }
}

void elements_multiline_text_framed(Canvas* canvas, uint8_t x, uint8_t y, const char* text) {
    if(canvas == nullptr || text == nullptr) return;
    const auto lines = gui_elements::wrap_lines(canvas, text, gui_elements::available_width(canvas, x, AlignLeft));
    const int line_height = canvas_current_font_height(canvas);
    int width = 0;
    for(const auto& line : lines) width = std::max(width, text_width(canvas, line));
    const int height = static_cast<int>(lines.size()) * line_height;
    const int top = y - line_height;  // y is the first line's baseline
    canvas_set_color(canvas, ColorWhite);
    canvas_draw_box(canvas, u8(x - 2), u8(top), u8(width + 4), u8(height + 3));
    canvas_set_color(canvas, ColorBlack);
    canvas_draw_rframe(canvas, u8(x - 2), u8(top), u8(width + 4), u8(height + 3), 1);
    elements_multiline_text(canvas, x, y, text);
}

void elements_string_fit_width(Canvas* canvas, FuriString* string, uint8_t width) {
    if(canvas == nullptr || string == nullptr) return;
    furi_string_set_str(string, gui_elements::fit_width(canvas, furi_string_get_cstr(string), width).c_str());
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
    std::vector<BoxLine> lines = wrap_cells(canvas, parse_cells(text), width);

    // Line heights and baselines: a line is as tall as its tallest font.
    auto line_metrics = [&](const BoxLine& line) {
        bool bold = false;
        bool regular = line.cells.empty();
        for(const Cell& cell : line.cells) (cell.bold ? bold : regular) = true;
        FontMetrics m{0, 0};
        for(Font font : {FontSecondary, FontPrimary}) {
            if((font == FontPrimary && !bold) || (font == FontSecondary && !regular)) continue;
            const FontMetrics f = metrics(canvas, font);
            m.ascent = std::max(m.ascent, f.ascent);
            m.line_height = std::max(m.line_height, f.line_height);
        }
        return m;
    };

    // Keep the lines that fit the box's height.
    size_t shown = 0;
    int total = 0;
    for(const BoxLine& line : lines) {
        const int h = line_metrics(line).line_height;
        if(total + h > height) break;
        total += h;
        ++shown;
    }
    if(shown == 0) return;
    if(shown < lines.size() && strip_to_dots) {
        BoxLine& last = lines[shown - 1];
        const bool bold = last.cells.empty() ? false : last.cells.back().bold;
        std::vector<Cell> dots;
        for(const char* d = kDots; *d != '\0'; ++d) dots.push_back({*d, bold});
        const int dots_width = cells_width(canvas, dots);
        while(!last.cells.empty() && (last.width + dots_width > width || last.cells.back().c == ' ')) {
            last.width -= cell_width(canvas, last.cells.back());
            last.cells.pop_back();
        }
        last.cells.insert(last.cells.end(), dots.begin(), dots.end());
        last.width += dots_width;
    }
    lines.resize(shown);

    int top = y;
    if(vertical == AlignCenter) top = y + (height - total) / 2;
    if(vertical == AlignBottom) top = y + height - total;
    const Font saved_font = FontSecondary;
    for(const BoxLine& line : lines) {
        const FontMetrics m = line_metrics(line);
        int cx = x;
        if(horizontal == AlignCenter) cx = x + (width - line.width) / 2;
        if(horizontal == AlignRight) cx = x + width - line.width;
        const int baseline = top + m.ascent;
        // Draw runs of the same weight as one string each.
        size_t i = 0;
        while(i < line.cells.size()) {
            size_t end = i;
            std::string run;
            while(end < line.cells.size() && line.cells[end].bold == line.cells[i].bold) run.push_back(line.cells[end++].c);
            canvas_set_font(canvas, font_of(line.cells[i].bold));
            canvas_draw_str(canvas, u8(cx), u8(baseline), run.c_str());
            cx += canvas_string_width(canvas, run.c_str());
            i = end;
        }
        top += m.line_height;
    }
    canvas_set_font(canvas, saved_font);
}

}  // extern "C"
