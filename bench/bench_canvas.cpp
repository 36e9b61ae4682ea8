// Canvas throughput: how long a typical frame takes to draw, and the cost of its outputs.
// Prints figures only; nothing here is asserted.
#include <gui/canvas.h>

#include <chrono>
#include <cstdio>

#include "host/gui.h"

namespace {

void typical_frame(Canvas* c) {
    canvas_clear(c);
    canvas_set_font(c, FontPrimary);
    canvas_draw_str_aligned(c, 64, 5, AlignCenter, AlignCenter, "Read Success");
    canvas_set_font(c, FontSecondary);
    canvas_draw_str_aligned(c, 1, 15, AlignLeft, AlignTop, "HW Version: M100 26dBm V1.0");
    canvas_draw_str_aligned(c, 1, 27, AlignLeft, AlignTop, "SW Version: V2.3.5");
    canvas_set_font(c, FontKeyboard);
    canvas_draw_str(c, 3, 45, "E2 80 68 94 00 00 50 12");
    canvas_draw_rframe(c, 0, 52, 40, 12, 3);
    canvas_draw_rbox(c, 88, 52, 40, 12, 3);
    canvas_set_color(c, ColorXOR);
    canvas_draw_str_aligned(c, 108, 58, AlignCenter, AlignCenter, "More");
    canvas_set_color(c, ColorBlack);
}

template <typename F>
double per_call_us(int n, F&& f) {
    const auto start = std::chrono::steady_clock::now();
    for(int i = 0; i < n; ++i) f();
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::micro>(end - start).count() / n;
}

} // namespace

int main() {
    host::OffscreenCanvas canvas;
    typical_frame(canvas); // loads the fonts outside the timing
    const double draw = per_call_us(20000, [&] { typical_frame(canvas); });
    const host::Screen screen = canvas.screen();
    const double snapshot = per_call_us(20000, [&] { (void)canvas.screen(); });
    const double png = per_call_us(500, [&] { (void)screen.to_png(); });
    const double text = per_call_us(5000, [&] { (void)screen.to_text(); });
    std::printf("canvas: typical frame draw  %8.2f us\n", draw);
    std::printf("canvas: frame snapshot      %8.2f us\n", snapshot);
    std::printf("screen: catalog PNG encode  %8.2f us (%zu bytes)\n", png, screen.to_png().size());
    std::printf("screen: terminal text       %8.2f us\n", text);
    return 0;
}
