// The canvas API: drawing primitives, text and icons on the 128x64 one-bit screen.
#include "canvas_i.h"

#include <gui/icon_i.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "api86/seam.h"
#include "core/raw_enum.h"
#include "fonts.h"
#include "host/runtime.h"

namespace gui_host {

void gui_warn(const char* tag, const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if(host::Runtime::exists())
        furi_log_print_format(FuriLogLevelWarn, tag, "%s", text);
    else
        std::fprintf(stderr, "[%s] %s\n", tag, text);
}

void canvas_set_frame(Canvas* canvas, int x, int y, int width, int height) {
    const int x0 = std::clamp(x, 0, host::Screen::kWidth);
    const int y0 = std::clamp(y, 0, host::Screen::kHeight);
    const int x1 = std::clamp(x + std::max(width, 0), 0, host::Screen::kWidth);
    const int y1 = std::clamp(y + std::max(height, 0), 0, host::Screen::kHeight);
    canvas->frame_x = x0;
    canvas->frame_y = y0;
    canvas->frame_width = x1 - x0;
    canvas->frame_height = y1 - y0;
}

void canvas_reset_state(Canvas* canvas) {
    canvas->color = ColorBlack;
    canvas->font = FontSecondary;
    canvas->bitmap_alpha = false;
    canvas->direction = CanvasDirectionLeftToRight;
    canvas_set_frame(canvas, 0, 0, host::Screen::kWidth, host::Screen::kHeight);
}

} // namespace gui_host

namespace {

using gui_host::FontFace;
using gui_host::Glyph;

/// Applies the current color to one frame-relative pixel, clipped to the frame.
void plot(Canvas* c, int x, int y) {
    if(x < 0 || y < 0 || x >= c->frame_width || y >= c->frame_height) return;
    const int sx = c->frame_x + x;
    const int sy = c->frame_y + y;
    switch(c->color) {
    case ColorWhite:
        c->screen.set_pixel(sx, sy, false);
        break;
    case ColorXOR:
        c->screen.set_pixel(sx, sy, !c->screen.pixel(sx, sy));
        break;
    default:
        c->screen.set_pixel(sx, sy, true);
        break;
    }
}

void fill_rect(Canvas* c, int x, int y, int w, int h) {
    const int x0 = std::max(x, 0);
    const int y0 = std::max(y, 0);
    const int x1 = std::min(x + w, c->frame_width);
    const int y1 = std::min(y + h, c->frame_height);
    for(int py = y0; py < y1; ++py)
        for(int px = x0; px < x1; ++px) plot(c, px, py);
}

/// The pixels of a shape in the order the device draws them. A pixel the device draws twice is
/// kept twice, so under XOR it cancels out and leaves a hole, as on the device; filled shapes
/// draw each pixel once.
class PointSet {
public:
    void add(int x, int y) { points_.emplace_back(y, x); }
    void line(int x0, int y0, int x1, int y1) {
        const int dx = std::abs(x1 - x0);
        const int dy = -std::abs(y1 - y0);
        const int sx = x0 < x1 ? 1 : -1;
        const int sy = y0 < y1 ? 1 : -1;
        int err = dx + dy;
        for(;;) {
            add(x0, y0);
            if(x0 == x1 && y0 == y1) break;
            const int e2 = 2 * err;
            if(e2 >= dy) {
                err += dy;
                x0 += sx;
            }
            if(e2 <= dx) {
                err += dx;
                y0 += sy;
            }
        }
    }
    /// Midpoint circle, drawn as the device draws it: each step puts two points per quadrant, so
    /// the four axis points (shared by neighbouring quadrants) and the diagonal points (where the
    /// two coincide) come twice. Quadrants: bit 0 top-right, 1 top-left, 2 bottom-left,
    /// 3 bottom-right.
    void arc(int cx, int cy, int r, unsigned quadrants) {
        int f = 1 - r;
        int ddx = 1;
        int ddy = -2 * r;
        int x = 0;
        int y = r;
        auto section = [&](int px, int py) {
            if(quadrants & 1u) {
                add(cx + px, cy - py);
                add(cx + py, cy - px);
            }
            if(quadrants & 2u) {
                add(cx - px, cy - py);
                add(cx - py, cy - px);
            }
            if(quadrants & 8u) {
                add(cx + px, cy + py);
                add(cx + py, cy + px);
            }
            if(quadrants & 4u) {
                add(cx - px, cy + py);
                add(cx - py, cy + px);
            }
        };
        section(x, y);
        while(x < y) {
            if(f >= 0) {
                --y;
                ddy += 2;
                f += ddy;
            }
            ++x;
            ddx += 2;
            f += ddx;
            section(x, y);
        }
    }
    /// Fills every row between its leftmost and rightmost point (the shapes here are convex).
    void fill_rows() {
        normalize();
        std::vector<std::pair<int, int>> filled;
        for(std::size_t i = 0; i < points_.size();) {
            std::size_t j = i;
            while(j < points_.size() && points_[j].first == points_[i].first) ++j;
            for(int x = points_[i].second; x <= points_[j - 1].second; ++x)
                filled.emplace_back(points_[i].first, x);
            i = j;
        }
        points_ = std::move(filled);
    }
    void draw(Canvas* c) const {
        for(const auto& [y, x] : points_) plot(c, x, y);
    }

private:
    void normalize() {
        std::sort(points_.begin(), points_.end());
        points_.erase(std::unique(points_.begin(), points_.end()), points_.end());
    }
    std::vector<std::pair<int, int>> points_; // (y, x)
};

/// A rounded frame as the device draws it: four corner arcs, then the straight parts between
/// them (which do not touch the arcs).
void rounded_outline(PointSet& set, int x, int y, int w, int h, int r) {
    r = std::clamp(r, 0, (std::min(w, h) - 1) / 2);
    const int left = x + r;
    const int top = y + r;
    const int right = x + w - r - 1;
    const int bottom = y + h - r - 1;
    set.arc(left, top, r, 2);
    set.arc(right, top, r, 1);
    set.arc(left, bottom, r, 4);
    set.arc(right, bottom, r, 8);
    const int straight_w = w - 2 * r;
    const int straight_h = h - 2 * r;
    if(straight_w >= 3) {
        set.line(left + 1, y, left + straight_w - 2, y);
        set.line(left + 1, y + h - 1, left + straight_w - 2, y + h - 1);
    }
    if(straight_h >= 3) {
        set.line(x, top + 1, x, top + straight_h - 2);
        set.line(x + w - 1, top + 1, x + w - 1, top + straight_h - 2);
    }
}

/// The part of a string the device draws and measures: '\n' ends it, as the end does.
std::string_view drawn_part(const char* str) {
    std::string_view text(str);
    return text.substr(0, text.find('\n'));
}

void draw_glyph(Canvas* c, const Glyph& g, int pen_x, int baseline) {
    if(!g.present) return;
    for(int row = 0; row < g.height; ++row)
        for(int col = 0; col < g.width; ++col)
            if(g.pixel(col, row)) plot(c, pen_x + g.left + col, baseline - g.top + row);
}

/// Draws a string with its baseline's left end at (x, baseline) and records it.
void draw_text(
    Canvas* c,
    int x,
    int baseline,
    std::string_view text,
    int given_x,
    int given_y,
    Align h,
    Align v) {
    const FontFace& face = gui_host::font_face(c->font);
    int pen = x;
    int ink_top = 0;    // above the baseline
    int ink_bottom = 0; // below it
    bool inked = false;
    for(const char ch : text) {
        const Glyph& g = face.glyph(static_cast<unsigned char>(ch));
        draw_glyph(c, g, pen, baseline);
        pen += g.advance;
        if(g.present && g.height > 0) {
            ink_top = inked ? std::max(ink_top, g.top) : g.top;
            ink_bottom = inked ? std::max(ink_bottom, g.height - g.top) : g.height - g.top;
            inked = true;
        }
    }
    if(!inked) {
        ink_top = face.ink_ascent;
        ink_bottom = face.ink_descent;
    }
    host::DrawnText t;
    t.text = std::string(text);
    t.font = c->font;
    t.horizontal = h;
    t.vertical = v;
    t.x = c->frame_x + given_x;
    t.y = c->frame_y + given_y;
    t.origin_x = c->frame_x + x;
    t.baseline = c->frame_y + baseline;
    t.box =
        host::Rect{t.origin_x, t.baseline - ink_top, face.text_width(text), ink_top + ink_bottom};
    // Keep only what can be seen: the box must meet the frame.
    const host::Rect frame{c->frame_x, c->frame_y, c->frame_width, c->frame_height};
    const bool visible = !text.empty() && t.box.x < frame.x + frame.width &&
                         t.box.x + t.box.width > frame.x && t.box.y < frame.y + frame.height &&
                         t.box.y + t.box.height > frame.y;
    if(visible) c->screen.mutable_texts().push_back(std::move(t));
}

/// XBM rows: ceil(w / 8) bytes each, bit 0 leftmost. Set bits take the current colour; unless
/// bitmap mode is on, clear bits paint the other one (white under black and XOR, black under
/// white), so an icon covers its whole rectangle as on the device.
void draw_xbm(
    Canvas* c,
    int x,
    int y,
    int w,
    int h,
    const std::uint8_t* bits,
    IconRotation rotation = IconRotation0) {
    if(bits == nullptr || w <= 0 || h <= 0) return;
    const Color ink = c->color;
    const Color background = ink == ColorWhite ? ColorBlack : ColorWhite;
    const int stride = (w + 7) / 8;
    for(int row = 0; row < h; ++row)
        for(int col = 0; col < w; ++col) {
            const bool set = (bits[row * stride + col / 8] >> (col % 8)) & 1;
            if(!set && c->bitmap_alpha) continue;
            c->color = set ? ink : background;
            switch(rotation) {
            case IconRotation90:
                plot(c, x + (h - 1 - row), y + col);
                break;
            case IconRotation180:
                plot(c, x + (w - 1 - col), y + (h - 1 - row));
                break;
            case IconRotation270:
                plot(c, x + row, y + (w - 1 - col));
                break;
            default:
                plot(c, x + col, y + row);
                break;
            }
        }
    c->color = ink;
}

bool valid_canvas(const Canvas* canvas, const char* function) {
    if(canvas != nullptr) return true;
    gui_host::gui_warn("Canvas", "%s: null canvas ignored", function);
    return false;
}

// Positions and sizes far off the 128x64 screen draw nothing there; bounding them keeps the
// arithmetic (x + width, a line's steps) in range. The 36.x calls' values are all within.
constexpr std::int32_t kFar = 0x7FFF;
int pos(std::int32_t v) {
    return static_cast<int>(std::clamp(v, -kFar, kFar));
}
int len(std::size_t v) {
    return static_cast<int>(std::min<std::size_t>(v, kFar));
}

} // namespace

namespace host::seam {

std::size_t canvas_width(const Canvas* canvas) {
    return canvas != nullptr ? static_cast<std::size_t>(canvas->frame_width) : 0;
}

std::size_t canvas_height(const Canvas* canvas) {
    return canvas != nullptr ? static_cast<std::size_t>(canvas->frame_height) : 0;
}

std::size_t canvas_current_font_height(const Canvas* canvas) {
    if(canvas == nullptr) return 0;
    return static_cast<std::size_t>(gui_host::font_face(canvas->font).line_height);
}

void canvas_draw_str(Canvas* canvas, std::int32_t x, std::int32_t y, const char* str) {
    if(!valid_canvas(canvas, "canvas_draw_str") || str == nullptr) return;
    draw_text(canvas, pos(x), pos(y), drawn_part(str), pos(x), pos(y), AlignLeft, AlignBottom);
}

void canvas_draw_str_aligned(
    Canvas* canvas,
    std::int32_t x32,
    std::int32_t y32,
    int horizontal_value,
    int vertical_value,
    const char* str) {
    if(!valid_canvas(canvas, "canvas_draw_str_aligned") || str == nullptr) return;
    const int x = pos(x32);
    const int y = pos(y32);
    Align horizontal = static_cast<Align>(horizontal_value);
    Align vertical = static_cast<Align>(vertical_value);
    const FontFace& face = gui_host::font_face(canvas->font);
    const std::string_view text = drawn_part(str);
    const int width = face.text_width(text);
    int left = x;
    switch(horizontal) {
    case AlignLeft:
        break;
    case AlignRight:
        left = x - width;
        break;
    case AlignCenter:
        left = x - width / 2;
        break;
    default:
        gui_host::gui_warn(
            "Canvas",
            "horizontal align %d is not Left/Right/Center; using Left",
            static_cast<int>(horizontal));
        horizontal = AlignLeft;
        break;
    }
    int baseline = y;
    switch(vertical) {
    case AlignTop:
        baseline = y + face.ascent;
        break;
    case AlignBottom:
        break;
    case AlignCenter:
        baseline = y + face.ascent / 2;
        break;
    default:
        gui_host::gui_warn(
            "Canvas",
            "vertical align %d is not Top/Bottom/Center; using Bottom",
            static_cast<int>(vertical));
        vertical = AlignBottom;
        break;
    }
    draw_text(canvas, left, baseline, text, x, y, horizontal, vertical);
}

std::size_t canvas_glyph_width(Canvas* canvas, std::uint16_t symbol) {
    if(canvas == nullptr || symbol > 0xFF) return 0;
    return static_cast<std::size_t>(
        gui_host::font_face(canvas->font).glyph(static_cast<unsigned char>(symbol)).advance);
}

void canvas_draw_glyph(Canvas* canvas, std::int32_t x, std::int32_t y, std::uint16_t ch) {
    if(!valid_canvas(canvas, "canvas_draw_glyph") || ch > 0xFF) return;
    draw_glyph(
        canvas,
        gui_host::font_face(canvas->font).glyph(static_cast<unsigned char>(ch)),
        pos(x),
        pos(y));
}

void canvas_draw_icon_ex(
    Canvas* canvas,
    std::int32_t x,
    std::int32_t y,
    const Icon* icon,
    int rotation) {
    if(!valid_canvas(canvas, "canvas_draw_icon_ex")) return;
    if(icon == nullptr || icon->frames == nullptr || icon->frame_count == 0) {
        gui_host::gui_warn("Canvas", "canvas_draw_icon: null or empty icon ignored");
        return;
    }
    draw_xbm(
        canvas,
        pos(x),
        pos(y),
        icon->width,
        icon->height,
        icon->frames[0],
        static_cast<IconRotation>(rotation));
}

void canvas_draw_xbm(
    Canvas* canvas,
    std::int32_t x,
    std::int32_t y,
    std::size_t width,
    std::size_t height,
    const std::uint8_t* bitmap,
    const char* function) {
    // Host icon data is stored uncompressed, in XBM rows, so canvas_draw_bitmap draws the same.
    if(!valid_canvas(canvas, function)) return;
    draw_xbm(canvas, pos(x), pos(y), len(width), len(height), bitmap);
}

void canvas_draw_dot(Canvas* canvas, std::int32_t x, std::int32_t y) {
    if(!valid_canvas(canvas, "canvas_draw_dot")) return;
    plot(canvas, pos(x), pos(y));
}

void canvas_draw_box(
    Canvas* canvas,
    std::int32_t x,
    std::int32_t y,
    std::size_t width,
    std::size_t height) {
    if(!valid_canvas(canvas, "canvas_draw_box")) return;
    fill_rect(canvas, pos(x), pos(y), len(width), len(height));
}

void canvas_draw_frame(
    Canvas* canvas,
    std::int32_t x32,
    std::int32_t y32,
    std::size_t width_value,
    std::size_t height_value) {
    if(!valid_canvas(canvas, "canvas_draw_frame") || width_value == 0 || height_value == 0) return;
    const int x = pos(x32);
    const int y = pos(y32);
    const int width = len(width_value);
    const int height = len(height_value);
    // As the device: top row, both sides, bottom row; a one-pixel-wide frame draws its side
    // twice (a hole under XOR).
    fill_rect(canvas, x, y, width, 1);
    if(height >= 2) {
        if(height > 2) {
            fill_rect(canvas, x, y + 1, 1, height - 2);
            fill_rect(canvas, x + width - 1, y + 1, 1, height - 2);
        }
        fill_rect(canvas, x, y + height - 1, width, 1);
    }
}

void canvas_draw_line(
    Canvas* canvas,
    std::int32_t x1,
    std::int32_t y1,
    std::int32_t x2,
    std::int32_t y2) {
    if(!valid_canvas(canvas, "canvas_draw_line")) return;
    PointSet set;
    set.line(pos(x1), pos(y1), pos(x2), pos(y2));
    set.draw(canvas);
}

void canvas_draw_circle(Canvas* canvas, std::int32_t x, std::int32_t y, std::size_t radius) {
    if(!valid_canvas(canvas, "canvas_draw_circle")) return;
    PointSet set;
    set.arc(pos(x), pos(y), len(radius), 0xF);
    set.draw(canvas);
}

void canvas_draw_disc(Canvas* canvas, std::int32_t x, std::int32_t y, std::size_t radius) {
    if(!valid_canvas(canvas, "canvas_draw_disc")) return;
    PointSet set;
    set.arc(pos(x), pos(y), len(radius), 0xF);
    set.fill_rows();
    set.draw(canvas);
}

void canvas_draw_triangle(
    Canvas* canvas,
    std::int32_t x32,
    std::int32_t y32,
    std::size_t base,
    std::size_t height,
    int direction) {
    if(!valid_canvas(canvas, "canvas_draw_triangle") || base == 0 || height == 0) return;
    const int x = pos(x32);
    const int y = pos(y32);
    const int half = len(base) / 2;
    const int reach = len(height) - 1;
    PointSet set;
    switch(static_cast<CanvasDirection>(direction)) {
    case CanvasDirectionBottomToTop:
        set.line(x - half, y, x + half, y);
        set.line(x - half, y, x, y - reach);
        set.line(x, y - reach, x + half, y);
        break;
    case CanvasDirectionTopToBottom:
        set.line(x - half, y, x + half, y);
        set.line(x - half, y, x, y + reach);
        set.line(x, y + reach, x + half, y);
        break;
    case CanvasDirectionRightToLeft:
        set.line(x, y - half, x, y + half);
        set.line(x, y - half, x - reach, y);
        set.line(x - reach, y, x, y + half);
        break;
    default:
        set.line(x, y - half, x, y + half);
        set.line(x, y - half, x + reach, y);
        set.line(x + reach, y, x, y + half);
        break;
    }
    set.draw(canvas);
}

void canvas_draw_rframe(
    Canvas* canvas,
    std::int32_t x,
    std::int32_t y,
    std::size_t width,
    std::size_t height,
    std::size_t radius) {
    if(!valid_canvas(canvas, "canvas_draw_rframe") || width == 0 || height == 0) return;
    PointSet set;
    rounded_outline(set, pos(x), pos(y), len(width), len(height), len(radius));
    set.draw(canvas);
}

void canvas_draw_rbox(
    Canvas* canvas,
    std::int32_t x,
    std::int32_t y,
    std::size_t width,
    std::size_t height,
    std::size_t radius) {
    if(!valid_canvas(canvas, "canvas_draw_rbox") || width == 0 || height == 0) return;
    PointSet set;
    rounded_outline(set, pos(x), pos(y), len(width), len(height), len(radius));
    set.fill_rows();
    set.draw(canvas);
}

} // namespace host::seam

// The 36.x calls: the same, with their narrower types.
extern "C" {

void canvas_reset(Canvas* canvas) {
    if(!valid_canvas(canvas, __func__)) return;
    canvas->screen.clear();
    gui_host::canvas_reset_state(canvas);
}

void canvas_commit(Canvas* canvas) {
    // The GUI service commits the frame after the draw callbacks; an explicit commit changes nothing.
    (void)canvas;
}

uint8_t canvas_width(const Canvas* canvas) {
    return static_cast<uint8_t>(host::seam::canvas_width(canvas));
}

uint8_t canvas_height(const Canvas* canvas) {
    return static_cast<uint8_t>(host::seam::canvas_height(canvas));
}

uint8_t canvas_current_font_height(const Canvas* canvas) {
    return static_cast<uint8_t>(host::seam::canvas_current_font_height(canvas));
}

const CanvasFontParameters* canvas_get_font_params(const Canvas* canvas, Font font) {
    (void)canvas;
    if(static_cast<unsigned>(font) >= FontTotalNumber) font = FontSecondary;
    return &gui_host::font_face(font).params;
}

void canvas_clear(Canvas* canvas) {
    if(!valid_canvas(canvas, __func__)) return;
    canvas->screen.clear();
}

void canvas_set_color(Canvas* canvas, Color color) {
    if(!valid_canvas(canvas, __func__)) return;
    const auto raw = host::raw_enum(color);
    if(raw != ColorWhite && raw != ColorBlack && raw != ColorXOR) {
        gui_host::gui_warn("Canvas", "unknown color %d, using black", static_cast<int>(raw));
        color = ColorBlack;
    }
    canvas->color = color;
}

void canvas_set_font_direction(Canvas* canvas, CanvasDirection dir) {
    if(!valid_canvas(canvas, __func__)) return;
    canvas->direction = dir; // kept; text is drawn left to right
}

void canvas_invert_color(Canvas* canvas) {
    if(!valid_canvas(canvas, __func__)) return;
    // As the device's `color = !color`: black and white swap, XOR becomes white.
    canvas->color = canvas->color == ColorWhite ? ColorBlack : ColorWhite;
}

void canvas_set_font(Canvas* canvas, Font font) {
    if(!valid_canvas(canvas, __func__)) return;
    if(const auto raw = host::raw_enum(font); raw >= FontTotalNumber) {
        gui_host::gui_warn(
            "Canvas", "unknown font %d, keeping the current one", static_cast<int>(raw));
        return;
    }
    canvas->font = font;
}

void canvas_set_bitmap_mode(Canvas* canvas, bool alpha) {
    if(!valid_canvas(canvas, __func__)) return;
    canvas->bitmap_alpha = alpha; // on: bitmaps and icons draw only their set pixels
}

void canvas_draw_str(Canvas* canvas, uint8_t x, uint8_t y, const char* str) {
    host::seam::canvas_draw_str(canvas, x, y, str);
}

void canvas_draw_str_aligned(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    Align horizontal,
    Align vertical,
    const char* str) {
    host::seam::canvas_draw_str_aligned(canvas, x, y, horizontal, vertical, str);
}

uint16_t canvas_string_width(Canvas* canvas, const char* str) {
    if(canvas == nullptr || str == nullptr) return 0;
    return static_cast<uint16_t>(
        std::min(gui_host::font_face(canvas->font).text_width(drawn_part(str)), 0xFFFF));
}

uint8_t canvas_glyph_width(Canvas* canvas, char symbol) {
    return static_cast<uint8_t>(
        host::seam::canvas_glyph_width(canvas, static_cast<unsigned char>(symbol)));
}

void canvas_draw_glyph(Canvas* canvas, uint8_t x, uint8_t y, uint16_t ch) {
    host::seam::canvas_draw_glyph(canvas, x, y, ch);
}

void canvas_draw_icon(Canvas* canvas, uint8_t x, uint8_t y, const Icon* icon) {
    host::seam::canvas_draw_icon_ex(canvas, x, y, icon, IconRotation0);
}

void canvas_draw_icon_ex(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    const Icon* icon,
    IconRotation rotation) {
    host::seam::canvas_draw_icon_ex(canvas, x, y, icon, rotation);
}

void canvas_draw_xbm(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    uint8_t w,
    uint8_t h,
    const uint8_t* bitmap) {
    host::seam::canvas_draw_xbm(canvas, x, y, w, h, bitmap, __func__);
}

void canvas_draw_bitmap(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    uint8_t width,
    uint8_t height,
    const uint8_t* compressed_bitmap_data) {
    host::seam::canvas_draw_xbm(canvas, x, y, width, height, compressed_bitmap_data, __func__);
}

void canvas_draw_dot(Canvas* canvas, uint8_t x, uint8_t y) {
    host::seam::canvas_draw_dot(canvas, x, y);
}

void canvas_draw_box(Canvas* canvas, uint8_t x, uint8_t y, uint8_t width, uint8_t height) {
    host::seam::canvas_draw_box(canvas, x, y, width, height);
}

void canvas_draw_frame(Canvas* canvas, uint8_t x, uint8_t y, uint8_t width, uint8_t height) {
    host::seam::canvas_draw_frame(canvas, x, y, width, height);
}

void canvas_draw_line(Canvas* canvas, uint8_t x1, uint8_t y1, uint8_t x2, uint8_t y2) {
    host::seam::canvas_draw_line(canvas, x1, y1, x2, y2);
}

void canvas_draw_circle(Canvas* canvas, uint8_t x, uint8_t y, uint8_t radius) {
    host::seam::canvas_draw_circle(canvas, x, y, radius);
}

void canvas_draw_disc(Canvas* canvas, uint8_t x, uint8_t y, uint8_t radius) {
    host::seam::canvas_draw_disc(canvas, x, y, radius);
}

void canvas_draw_triangle(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    uint8_t base,
    uint8_t height,
    CanvasDirection dir) {
    host::seam::canvas_draw_triangle(canvas, x, y, base, height, dir);
}

void canvas_draw_rframe(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    uint8_t width,
    uint8_t height,
    uint8_t radius) {
    host::seam::canvas_draw_rframe(canvas, x, y, width, height, radius);
}

void canvas_draw_rbox(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    uint8_t width,
    uint8_t height,
    uint8_t radius) {
    host::seam::canvas_draw_rbox(canvas, x, y, width, height, radius);
}

} // extern "C"
