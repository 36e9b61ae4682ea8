#include "render.h"

namespace sim::terminal {
namespace {

constexpr int kBrailleColumns = host::Screen::kWidth / 2;
constexpr int kBrailleRows = host::Screen::kHeight / 4;
constexpr int kBlockRows = host::Screen::kHeight / 2;

// Black on the device's orange, as near as 256 colours come.
constexpr std::string_view kColourOn = "\x1b[38;5;16;48;5;208m";
constexpr std::string_view kColourOff = "\x1b[0m";

/// Appends the UTF-8 encoding of a code point of the Basic Multilingual Plane.
void append_utf8(std::string& out, char32_t c) {
    if(c < 0x80) {
        out += static_cast<char>(c);
    } else if(c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

/// The braille dot bit of pixel (dx, dy) within a 2x4 cell: dots 1-2-3-7 down the left column,
/// 4-5-6-8 down the right.
constexpr std::uint8_t kDot[4][2] = {{0x01, 0x08}, {0x02, 0x10}, {0x04, 0x20}, {0x40, 0x80}};

std::string repeat(std::string_view piece, int count) {
    std::string out;
    out.reserve(piece.size() * static_cast<std::size_t>(count));
    for(int i = 0; i < count; ++i) out += piece;
    return out;
}

} // namespace

Size picture_size(RenderMode mode) {
    return mode == RenderMode::braille ? Size{kBrailleColumns + 2, kBrailleRows + 2} :
                                         Size{host::Screen::kWidth + 2, kBlockRows + 2};
}

std::optional<RenderMode> choose_render(std::string_view setting, Size size) {
    if(setting == "braille") return RenderMode::braille;
    if(setting == "blocks") return RenderMode::blocks;
    if(setting != "auto") return std::nullopt;
    const Size blocks = picture_size(RenderMode::blocks);
    const bool fits = size.columns >= blocks.columns && size.rows >= blocks.rows + kStatusRows;
    return fits ? RenderMode::blocks : RenderMode::braille;
}

std::vector<std::string> render_pixels(const host::Screen& screen, RenderMode mode) {
    std::vector<std::string> lines;
    if(mode == RenderMode::braille) {
        lines.reserve(kBrailleRows);
        for(int row = 0; row < kBrailleRows; ++row) {
            std::string line;
            line.reserve(kBrailleColumns * 3);
            for(int column = 0; column < kBrailleColumns; ++column) {
                std::uint8_t dots = 0;
                for(int dy = 0; dy < 4; ++dy) {
                    for(int dx = 0; dx < 2; ++dx) {
                        if(screen.pixel(column * 2 + dx, row * 4 + dy)) dots |= kDot[dy][dx];
                    }
                }
                append_utf8(line, 0x2800 + dots);
            }
            lines.push_back(std::move(line));
        }
        return lines;
    }
    lines.reserve(kBlockRows);
    for(int row = 0; row < kBlockRows; ++row) {
        std::string line;
        line.reserve(host::Screen::kWidth * 3);
        for(int x = 0; x < host::Screen::kWidth; ++x) {
            const bool top = screen.pixel(x, row * 2);
            const bool bottom = screen.pixel(x, row * 2 + 1);
            if(top && bottom) {
                line += "\u2588";
            } else if(top) {
                line += "\u2580";
            } else if(bottom) {
                line += "\u2584";
            } else {
                line += ' ';
            }
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::vector<std::string> render_framed(
    const host::Screen& screen,
    RenderMode mode,
    bool colour,
    std::string_view title) {
    const int width = picture_size(mode).columns - 2;
    std::vector<std::string> pixels = render_pixels(screen, mode);
    std::vector<std::string> lines;
    lines.reserve(pixels.size() + 2);

    // Top border: "┌─ title ───┐", the title cut to fit.
    std::string top = "\u250c";
    int used = 0;
    if(!title.empty() && width > 6) {
        const std::string_view shown = title.substr(0, static_cast<std::size_t>(width - 4));
        top += "\u2500 ";
        top += shown;
        top += ' ';
        used = static_cast<int>(shown.size()) + 3;
    }
    top += repeat("\u2500", width - used) + "\u2510";
    lines.push_back(std::move(top));

    for(auto& line : pixels) {
        std::string framed = "\u2502";
        if(colour) framed += kColourOn;
        framed += line;
        if(colour) framed += kColourOff;
        framed += "\u2502";
        lines.push_back(std::move(framed));
    }
    lines.push_back("\u2514" + repeat("\u2500", width) + "\u2518");
    return lines;
}

} // namespace sim::terminal
