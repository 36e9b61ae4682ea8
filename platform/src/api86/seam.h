#pragma once
// What the runtime's calls share between the two SDKs it serves, in types both agree on.
//
// The runtime is compiled against the 36.x SDK (platform/include), and its 36.x calls wrap these
// implementations. The calls whose types changed at 86.0 are declared there with a host link
// name (FURI_HOST_API86 in platform/include-86.0/furi/core/common_defines.h): furi_api86_<name>,
// defined in platform/src/api86/, compiled against the 86.0 SDK, wrapping the same
// implementations. So a 36.x caller passing a uint8_t and an 86.0 caller passing an int32_t each
// reach a definition of exactly their own signature, and the behaviour is one.
//
// Positions are int32_t and sizes size_t here, as at 86.0; the 36.x calls widen theirs. Enum
// arguments pass as int: their values are the same in both SDKs.

#include <cstddef>
#include <cstdint>

struct Canvas;
struct Icon;
struct File;
struct FuriThread;
struct ViewDispatcher;

namespace host::seam {

// --- canvas (platform/src/gui/canvas.cpp) -------------------------------------------------
std::size_t canvas_width(const Canvas* canvas);
std::size_t canvas_height(const Canvas* canvas);
std::size_t canvas_current_font_height(const Canvas* canvas);
void canvas_draw_str(Canvas* canvas, std::int32_t x, std::int32_t y, const char* str);
void canvas_draw_str_aligned(
    Canvas* canvas,
    std::int32_t x,
    std::int32_t y,
    int horizontal,
    int vertical,
    const char* str);
/// Glyphs beyond 0xFF do not exist in the screen's fonts: they are 0 wide.
std::size_t canvas_glyph_width(Canvas* canvas, std::uint16_t symbol);
void canvas_draw_glyph(Canvas* canvas, std::int32_t x, std::int32_t y, std::uint16_t ch);
void canvas_draw_icon_ex(
    Canvas* canvas,
    std::int32_t x,
    std::int32_t y,
    const Icon* icon,
    int rotation);
void canvas_draw_xbm(
    Canvas* canvas,
    std::int32_t x,
    std::int32_t y,
    std::size_t width,
    std::size_t height,
    const std::uint8_t* bitmap,
    const char* function);
void canvas_draw_dot(Canvas* canvas, std::int32_t x, std::int32_t y);
void canvas_draw_box(
    Canvas* canvas,
    std::int32_t x,
    std::int32_t y,
    std::size_t width,
    std::size_t height);
void canvas_draw_frame(
    Canvas* canvas,
    std::int32_t x,
    std::int32_t y,
    std::size_t width,
    std::size_t height);
void canvas_draw_line(
    Canvas* canvas,
    std::int32_t x1,
    std::int32_t y1,
    std::int32_t x2,
    std::int32_t y2);
void canvas_draw_circle(Canvas* canvas, std::int32_t x, std::int32_t y, std::size_t radius);
void canvas_draw_disc(Canvas* canvas, std::int32_t x, std::int32_t y, std::size_t radius);
void canvas_draw_triangle(
    Canvas* canvas,
    std::int32_t x,
    std::int32_t y,
    std::size_t base,
    std::size_t height,
    int direction);
void canvas_draw_rframe(
    Canvas* canvas,
    std::int32_t x,
    std::int32_t y,
    std::size_t width,
    std::size_t height,
    std::size_t radius);
void canvas_draw_rbox(
    Canvas* canvas,
    std::int32_t x,
    std::int32_t y,
    std::size_t width,
    std::size_t height,
    std::size_t radius);

// --- the rest -------------------------------------------------------------------------------
/// Stopped 0, Starting 1, Running 2 (the 36.x values).
int thread_state(FuriThread* thread);
/// A dispatcher with its event queue, as every one has at 86.0.
ViewDispatcher* view_dispatcher_alloc_queued();
std::size_t storage_file_read(File* file, void* buffer, std::size_t size);
std::size_t storage_file_write(File* file, const void* buffer, std::size_t size);
bool storage_file_copy_to_file(File* source, File* destination, std::size_t size);

} // namespace host::seam
