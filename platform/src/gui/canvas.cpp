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

}  // namespace gui_host

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

/// A set of points drawn once each, so shapes whose parts overlap stay right under XOR.
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
    /// Midpoint circle; quadrants: bit 0 top-right, 1 top-left, 2 bottom-left, 3 bottom-right.
    void arc(int cx, int cy, int r, unsigned quadrants) {
        int f = 1 - r;
        int ddx = 1;
        int ddy = -2 * r;
        int x = 0;
        int y = r;
        auto put = [&](int px, int py) {
            if(quadrants & 1u) add(cx + px, cy - py);
            if(quadrants & 2u) add(cx - px, cy - py);
            if(quadrants & 4u) add(cx - px, cy + py);
            if(quadrants & 8u) add(cx + px, cy + py);
        };
        put(0, r);
        put(r, 0);
        while(x < y) {
            if(f >= 0) {
                --y;
                ddy += 2;
                f += ddy;
            }
            ++x;
            ddx += 2;
            f += ddx;
            put(x, y);
            put(y, x);
        }
    }
    /// Fills every row between its leftmost and rightmost point (the shapes here are convex).
    void fill_rows() {
        normalize();
        std::vector<std::pair<int, int>> filled;
        for(std::size_t i = 0; i < points_.size();) {
            std::size_t j = i;
            while(j < points_.size() && points_[j].first == points_[i].first) ++j;
            for(int x = points_[i].second; x <= points_[j - 1].second; ++x) filled.emplace_back(points_[i].first, x);
            i = j;
        }
        points_ = std::move(filled);
    }
    void draw(Canvas* c) {
        normalize();
        for(const auto& [y, x] : points_) plot(c, x, y);
    }

private:
    void normalize() {
        std::sort(points_.begin(), points_.end());
        points_.erase(std::unique(points_.begin(), points_.end()), points_.end());
    }
    std::vector<std::pair<int, int>> points_;  // (y, x)
};

void rounded_outline(PointSet& set, int x, int y, int w, int h, int r) {
    r = std::clamp(r, 0, (std::min(w, h) - 1) / 2);
    const int right = x + w - 1;
    const int bottom = y + h - 1;
    set.line(x + r, y, right - r, y);
    set.line(x + r, bottom, right - r, bottom);
    set.line(x, y + r, x, bottom - r);
    set.line(right, y + r, right, bottom - r);
    if(r > 0) {
        set.arc(right - r, y + r, r, 1);
        set.arc(x + r, y + r, r, 2);
        set.arc(x + r, bottom - r, r, 4);
        set.arc(right - r, bottom - r, r, 8);
    }
}

int text_width(const FontFace& face, std::string_view text) {
    int width = 0;
    for(const char ch : text) width += face.glyph(static_cast<unsigned char>(ch)).advance;
    return width;
}

void draw_glyph(Canvas* c, const Glyph& g, int pen_x, int baseline) {
    if(!g.present) return;
    for(int row = 0; row < g.height; ++row)
        for(int col = 0; col < g.width; ++col)
            if(g.pixel(col, row)) plot(c, pen_x + g.left + col, baseline - g.top + row);
}

/// Draws a string with its baseline's left end at (x, baseline) and records it.
void draw_text(Canvas* c, int x, int baseline, std::string_view text, int given_x, int given_y, Align h, Align v) {
    const FontFace& face = gui_host::font_face(c->font);
    int pen = x;
    for(const char ch : text) {
        const Glyph& g = face.glyph(static_cast<unsigned char>(ch));
        draw_glyph(c, g, pen, baseline);
        pen += g.advance;
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
    t.box = host::Rect{t.origin_x, t.baseline - face.ascent, pen - x, face.ascent + face.descent};
    // Keep only what can be seen: the box must meet the frame.
    const host::Rect frame{c->frame_x, c->frame_y, c->frame_width, c->frame_height};
    const bool visible = !text.empty() && t.box.x < frame.x + frame.width && t.box.x + t.box.width > frame.x &&
                         t.box.y < frame.y + frame.height && t.box.y + t.box.height > frame.y;
    if(visible) c->screen.mutable_texts().push_back(std::move(t));
}

/// XBM rows: ceil(w / 8) bytes each, bit 0 leftmost. Only set bits are drawn.
void draw_xbm(Canvas* c, int x, int y, int w, int h, const std::uint8_t* bits, IconRotation rotation = IconRotation0) {
    if(bits == nullptr || w <= 0 || h <= 0) return;
    const int stride = (w + 7) / 8;
    for(int row = 0; row < h; ++row)
        for(int col = 0; col < w; ++col) {
            if(!((bits[row * stride + col / 8] >> (col % 8)) & 1)) continue;
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
}

bool valid_canvas(const Canvas* canvas, const char* function) {
    if(canvas != nullptr) return true;
    gui_host::gui_warn("Canvas", "%s: null canvas ignored", function);
    return false;
}

}  // namespace

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
    return canvas != nullptr ? static_cast<uint8_t>(canvas->frame_width) : 0;
}

uint8_t canvas_height(const Canvas* canvas) {
    return canvas != nullptr ? static_cast<uint8_t>(canvas->frame_height) : 0;
}

uint8_t canvas_current_font_height(const Canvas* canvas) {
    if(canvas == nullptr) return 0;
    const FontFace& face = gui_host::font_face(canvas->font);
    return static_cast<uint8_t>(face.ascent + face.descent);
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
    if(color != ColorWhite && color != ColorBlack && color != ColorXOR) {
        gui_host::gui_warn("Canvas", "unknown color %d, using black", static_cast<int>(color));
        color = ColorBlack;
    }
    canvas->color = color;
}

void canvas_set_font_direction(Canvas* canvas, CanvasDirection dir) {
    if(!valid_canvas(canvas, __func__)) return;
    canvas->direction = dir;  // kept; text is drawn left to right
}

void canvas_invert_color(Canvas* canvas) {
    if(!valid_canvas(canvas, __func__)) return;
    if(canvas->color == ColorBlack)
        canvas->color = ColorWhite;
    else if(canvas->color == ColorWhite)
        canvas->color = ColorBlack;
}

void canvas_set_font(Canvas* canvas, Font font) {
    if(!valid_canvas(canvas, __func__)) return;
    if(static_cast<unsigned>(font) >= FontTotalNumber) {
        gui_host::gui_warn("Canvas", "unknown font %d, keeping the current one", static_cast<int>(font));
        return;
    }
    canvas->font = font;
}

void canvas_set_bitmap_mode(Canvas* canvas, bool alpha) {
    if(!valid_canvas(canvas, __func__)) return;
    canvas->bitmap_alpha = alpha;  // bitmaps and icons always draw only their set pixels
}

void canvas_draw_str(Canvas* canvas, uint8_t x, uint8_t y, const char* str) {
    if(!valid_canvas(canvas, __func__) || str == nullptr) return;
    draw_text(canvas, x, y, str, x, y, AlignLeft, AlignBottom);
}

void canvas_draw_str_aligned(Canvas* canvas, uint8_t x, uint8_t y, Align horizontal, Align vertical, const char* str) {
    if(!valid_canvas(canvas, __func__) || str == nullptr) return;
    const FontFace& face = gui_host::font_face(canvas->font);
    const int width = text_width(face, str);
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
        gui_host::gui_warn("Canvas", "horizontal align %d is not Left/Right/Center; using Left",
                           static_cast<int>(horizontal));
        horizontal = AlignLeft;
        break;
    }
    int baseline = y;
    switch(vertical) {
    case AlignTop:
        baseline = y + face.cap_height;
        break;
    case AlignBottom:
        break;
    case AlignCenter:
        baseline = y + face.cap_height / 2;
        break;
    default:
        gui_host::gui_warn("Canvas", "vertical align %d is not Top/Bottom/Center; using Bottom",
                           static_cast<int>(vertical));
        vertical = AlignBottom;
        break;
    }
    draw_text(canvas, left, baseline, str, x, y, horizontal, vertical);
}

uint16_t canvas_string_width(Canvas* canvas, const char* str) {
    if(canvas == nullptr || str == nullptr) return 0;
    return static_cast<uint16_t>(std::min(text_width(gui_host::font_face(canvas->font), str), 0xFFFF));
}

uint8_t canvas_glyph_width(Canvas* canvas, char symbol) {
    if(canvas == nullptr) return 0;
    return static_cast<uint8_t>(gui_host::font_face(canvas->font).glyph(static_cast<unsigned char>(symbol)).advance);
}

void canvas_draw_glyph(Canvas* canvas, uint8_t x, uint8_t y, uint16_t ch) {
    if(!valid_canvas(canvas, __func__) || ch > 0xFF) return;
    draw_glyph(canvas, gui_host::font_face(canvas->font).glyph(static_cast<unsigned char>(ch)), x, y);
}

void canvas_draw_icon(Canvas* canvas, uint8_t x, uint8_t y, const Icon* icon) {
    canvas_draw_icon_ex(canvas, x, y, icon, IconRotation0);
}

void canvas_draw_icon_ex(Canvas* canvas, uint8_t x, uint8_t y, const Icon* icon, IconRotation rotation) {
    if(!valid_canvas(canvas, __func__)) return;
    if(icon == nullptr || icon->frames == nullptr || icon->frame_count == 0) {
        gui_host::gui_warn("Canvas", "canvas_draw_icon: null or empty icon ignored");
        return;
    }
    draw_xbm(canvas, x, y, icon->width, icon->height, icon->frames[0], rotation);
}

void canvas_draw_xbm(Canvas* canvas, uint8_t x, uint8_t y, uint8_t w, uint8_t h, const uint8_t* bitmap) {
    if(!valid_canvas(canvas, __func__)) return;
    draw_xbm(canvas, x, y, w, h, bitmap);
}

void canvas_draw_bitmap(Canvas* canvas, uint8_t x, uint8_t y, uint8_t width, uint8_t height,
                        const uint8_t* compressed_bitmap_data) {
    // Host icon data is stored uncompressed, in XBM rows.
    if(!valid_canvas(canvas, __func__)) return;
    draw_xbm(canvas, x, y, width, height, compressed_bitmap_data);
}

void canvas_draw_dot(Canvas* canvas, uint8_t x, uint8_t y) {
    if(!valid_canvas(canvas, __func__)) return;
    plot(canvas, x, y);
}

void canvas_draw_box(Canvas* canvas, uint8_t x, uint8_t y, uint8_t width, uint8_t height) {
    if(!valid_canvas(canvas, __func__)) return;
    fill_rect(canvas, x, y, width, height);
}

void canvas_draw_frame(Canvas* canvas, uint8_t x, uint8_t y, uint8_t width, uint8_t height) {
    if(!valid_canvas(canvas, __func__) || width == 0 || height == 0) return;
    fill_rect(canvas, x, y, width, 1);
    if(height > 1) fill_rect(canvas, x, y + height - 1, width, 1);
    if(height > 2) {
        fill_rect(canvas, x, y + 1, 1, height - 2);
        if(width > 1) fill_rect(canvas, x + width - 1, y + 1, 1, height - 2);
    }
}

void canvas_draw_line(Canvas* canvas, uint8_t x1, uint8_t y1, uint8_t x2, uint8_t y2) {
    if(!valid_canvas(canvas, __func__)) return;
    PointSet set;
    set.line(x1, y1, x2, y2);
    set.draw(canvas);
}

void canvas_draw_circle(Canvas* canvas, uint8_t x, uint8_t y, uint8_t radius) {
    if(!valid_canvas(canvas, __func__)) return;
    PointSet set;
    set.arc(x, y, radius, 0xF);
    set.draw(canvas);
}

void canvas_draw_disc(Canvas* canvas, uint8_t x, uint8_t y, uint8_t radius) {
    if(!valid_canvas(canvas, __func__)) return;
    PointSet set;
    set.arc(x, y, radius, 0xF);
    set.fill_rows();
    set.draw(canvas);
}

void canvas_draw_triangle(Canvas* canvas, uint8_t x, uint8_t y, uint8_t base, uint8_t height, CanvasDirection dir) {
    if(!valid_canvas(canvas, __func__) || base == 0 || height == 0) return;
    const int half = base / 2;
    const int reach = height - 1;
    PointSet set;
    switch(dir) {
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

void canvas_draw_rframe(Canvas* canvas, uint8_t x, uint8_t y, uint8_t width, uint8_t height, uint8_t radius) {
    if(!valid_canvas(canvas, __func__) || width == 0 || height == 0) return;
    PointSet set;
    rounded_outline(set, x, y, width, height, radius);
    set.draw(canvas);
}

void canvas_draw_rbox(Canvas* canvas, uint8_t x, uint8_t y, uint8_t width, uint8_t height, uint8_t radius) {
    if(!valid_canvas(canvas, __func__) || width == 0 || height == 0) return;
    PointSet set;
    rounded_outline(set, x, y, width, height, radius);
    set.fill_rows();
    set.draw(canvas);
}

}  // extern "C"
