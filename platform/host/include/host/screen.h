#pragma once
#include <gui/canvas.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/time.h"

namespace host {

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool contains(int px, int py) const {
        return px >= x && py >= y && px < x + width && py < y + height;
    }
    bool operator==(const Rect&) const = default;
};

/// One string drawn in a frame. canvas_draw_str is recorded as (AlignLeft, AlignBottom): its y is
/// the baseline, as an aligned string's y is with AlignBottom.
struct DrawnText {
    std::string text;
    int x = 0; ///< as passed by the caller (screen coordinates)
    int y = 0;
    Align horizontal = AlignLeft;
    Align vertical = AlignBottom;
    Font font = FontSecondary;
    int origin_x = 0; ///< left end of the baseline after alignment
    int baseline = 0;
    /// What the string covers: [origin_x, origin_x + width) across, with the device's string
    /// width; down, the rows its glyphs ink (for a string without ink, the font's letters' reach).
    /// May reach past the screen's edges.
    Rect box;
};

struct Pixel {
    int x = 0;
    int y = 0;
    bool operator==(const Pixel&) const = default;
};

/// A 128x64 one-bit screen: the pixels plus the strings drawn into it. The GUI service keeps the
/// last committed frame as one of these; canvases can be snapshotted into one.
class Screen {
public:
    static constexpr int kWidth = 128;
    static constexpr int kHeight = 64;
    static constexpr int kScale = 4; ///< catalog screenshots: 512x256
    static constexpr std::uint32_t kBackgroundRgb = 0xFE8A2C;
    static constexpr std::uint32_t kPixelRgb = 0x000000;

    /// Set = dark. Outside the screen: false.
    bool pixel(int x, int y) const;
    void set_pixel(int x, int y, bool on);
    void clear();
    std::size_t count_set() const;

    const std::vector<DrawnText>& texts() const { return texts_; }
    std::vector<DrawnText>& mutable_texts() { return texts_; }
    /// The texts in drawing order.
    std::vector<std::string> strings() const;
    /// True when some drawn string contains `text`.
    bool contains(std::string_view text) const;
    /// The first drawn string that contains `text`, or null.
    const DrawnText* find(std::string_view text) const;
    /// All strings, one per line, for failure messages.
    std::string describe_texts() const;

    /// Commit number (1 for the first frame the GUI drew; 0 for a blank screen) and its time.
    std::uint64_t frame_number() const { return frame_number_; }
    Nanos time() const { return time_; }
    void set_frame_info(std::uint64_t number, Nanos time) {
        frame_number_ = number;
        time_ = time;
    }

    /// Terminal picture: 32 lines of 128 characters from " ▀▄█", two pixel rows per line,
    /// each line ending in '\n'.
    std::string to_text() const;
    /// Catalog-format PNG bytes: 512x256, two palette colours (#FE8A2C background, #000000 pixels).
    std::vector<std::uint8_t> to_png() const;
    bool write_png(const std::filesystem::path& path, std::string* error = nullptr) const;
    /// Reads a catalog screenshot (512x256) or a plain 128x64 PNG; dark pixels are set.
    /// Texts are not stored in PNGs, so the result has none.
    static std::optional<Screen>
        read_png(const std::filesystem::path& path, std::string* error = nullptr);

    /// Pixels only: texts and frame info are not compared.
    bool same_pixels(const Screen& other) const { return pixels_ == other.pixels_; }
    /// The first pixel (row by row) that differs, or nothing.
    std::optional<Pixel> first_difference(const Screen& other) const;

    /// The frame in the display's layout: 8 pages of 128 column bytes, bit 0 on top (1024 bytes).
    std::array<std::uint8_t, kWidth * kHeight / 8> framebuffer() const;

private:
    std::array<std::uint8_t, kWidth * kHeight> pixels_{};
    std::vector<DrawnText> texts_;
    std::uint64_t frame_number_ = 0;
    Nanos time_ = 0;
};

struct GoldenResult {
    bool ok = false;
    bool updated = false; ///< the golden file was (re)written
    std::string message;  ///< why it failed, with the first differing pixel
};

/// Compares a screen with a golden PNG pixel for pixel. With the environment variable
/// UPDATE_GOLDEN=1 it writes the golden instead (and reports ok). On a mismatch the actual screen
/// is written to <temp>/golden-actual/<file name> and named in the message.
GoldenResult check_golden(const Screen& screen, const std::filesystem::path& golden);

} // namespace host
