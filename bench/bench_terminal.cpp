// The live front-end's redraw cost: rendering a screen to terminal text and the bytes that go
// to the terminal per frame, for braille and half blocks. A full frame is what the first paint
// (or a resize) writes; a changed frame is a typical step (a menu's selection moving), which
// rewrites only the lines that changed; an idle frame changes only the clock in the status.
// Prints figures only; nothing here is asserted.
#include <gui/canvas.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "host/gui.h"
#include "terminal/painter.h"
#include "terminal/render.h"

namespace {

using sim::terminal::RenderMode;

/// A start menu with the selection bar on `selected`.
host::Screen menu(int selected) {
    host::OffscreenCanvas canvas;
    Canvas* c = canvas;
    canvas_clear(c);
    canvas_set_font(c, FontSecondary);
    const char* items[] = {"Read Tag", "Saved", "Settings"};
    for(int i = 0; i < 3; ++i) {
        const int y = 2 + i * 13;
        if(i == selected) {
            canvas_draw_rbox(c, 0, static_cast<uint8_t>(y), 123, 13, 2);
            canvas_set_color(c, ColorWhite);
        }
        canvas_draw_str(c, 6, static_cast<uint8_t>(y + 10), items[i]);
        canvas_set_color(c, ColorBlack);
    }
    canvas_draw_line(c, 126, 0, 126, 63);
    return canvas.screen();
}

template <typename F>
double per_call_us(int n, F&& f) {
    const auto start = std::chrono::steady_clock::now();
    for(int i = 0; i < n; ++i) f();
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::micro>(end - start).count() / n;
}

std::vector<std::string> terminal_lines(const host::Screen& screen, RenderMode mode, int clock) {
    auto lines = sim::terminal::render_framed(screen, mode, true, "corvane");
    lines.push_back("screen: Read Tag | Saved | Settings");
    lines.push_back(
        "LED off \u00b7 vibro off \u00b7 speaker off \u00b7 5V on \u00b7 " +
        std::to_string(clock) + ".0 s");
    lines.push_back("module: plugged \u00b7 1 of 1 tag in the field: E200001722100123456789AB");
    lines.push_back("");
    lines.push_back("arrows/wasd  Enter OK  Bksp/Esc Back  L+key long  t tag  u plug  p shot");
    return lines;
}

} // namespace

int main() {
    const host::Screen screens[2] = {menu(0), menu(1)};
    constexpr int kFrames = 5000;
    std::printf(
        "%-8s %12s %12s %12s %12s %12s\n",
        "mode",
        "render us",
        "frame us",
        "full bytes",
        "step bytes",
        "idle bytes");
    for(RenderMode mode : {RenderMode::braille, RenderMode::blocks}) {
        const double render = per_call_us(kFrames, [&] {
            (void)sim::terminal::render_framed(screens[0], mode, true, "corvane");
        });

        sim::terminal::Painter painter;
        const std::size_t full = painter.paint(terminal_lines(screens[0], mode, 0)).size();
        std::size_t step_bytes = 0;
        std::size_t idle_bytes = 0;
        int frame = 0;
        const double per_frame = per_call_us(kFrames, [&] {
            ++frame;
            step_bytes += painter.paint(terminal_lines(screens[frame % 2], mode, frame)).size();
        });
        const host::Screen& still = screens[frame % 2];
        for(int i = 0; i < kFrames; ++i) {
            ++frame;
            idle_bytes += painter.paint(terminal_lines(still, mode, frame)).size();
        }
        std::printf(
            "%-8s %12.2f %12.2f %12zu %12zu %12zu\n",
            mode == RenderMode::braille ? "braille" : "blocks",
            render,
            per_frame,
            full,
            step_bytes / kFrames,
            idle_bytes / kFrames);
    }
    std::printf(
        "(frame us: render + paint of a changed frame; step: the selection moved; idle: the clock only)\n");
    return 0;
}
