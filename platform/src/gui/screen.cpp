// host::Screen: snapshot of the 128x64 display, with PNG and terminal renderings.
#include "host/screen.h"

#include "host/png_ink.h"

#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace host {
namespace {

constexpr std::size_t index_of(int x, int y) {
    return static_cast<std::size_t>(y) * Screen::kWidth + static_cast<std::size_t>(x);
}

bool in_screen(int x, int y) {
    return x >= 0 && y >= 0 && x < Screen::kWidth && y < Screen::kHeight;
}

void png_write_to_vector(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void png_flush_nothing(png_structp) {}

} // namespace

bool Screen::pixel(int x, int y) const {
    return in_screen(x, y) && pixels_[index_of(x, y)] != 0;
}

void Screen::set_pixel(int x, int y, bool on) {
    if(in_screen(x, y)) pixels_[index_of(x, y)] = on ? 1 : 0;
}

void Screen::clear() {
    pixels_.fill(0);
    texts_.clear();
}

std::size_t Screen::count_set() const {
    return static_cast<std::size_t>(std::count(pixels_.begin(), pixels_.end(), std::uint8_t{1}));
}

std::vector<std::string> Screen::strings() const {
    std::vector<std::string> out;
    out.reserve(texts_.size());
    for(const auto& t : texts_) out.push_back(t.text);
    return out;
}

bool Screen::contains(std::string_view text) const {
    return find(text) != nullptr;
}

const DrawnText* Screen::find(std::string_view text) const {
    for(const auto& t : texts_)
        if(t.text.find(text) != std::string::npos) return &t;
    return nullptr;
}

std::string Screen::describe_texts() const {
    std::ostringstream out;
    for(const auto& t : texts_)
        out << '"' << t.text << "\" at (" << t.origin_x << ", " << t.baseline << ") box "
            << t.box.x << ',' << t.box.y << ' ' << t.box.width << 'x' << t.box.height << " font "
            << t.font << '\n';
    return out.str();
}

std::string Screen::to_text() const {
    static constexpr const char* kCells[4] = {" ", "\u2580", "\u2584", "\u2588"};
    std::string out;
    out.reserve(static_cast<std::size_t>(kHeight / 2) * (kWidth * 3 + 1));
    for(int y = 0; y < kHeight; y += 2) {
        for(int x = 0; x < kWidth; ++x)
            out += kCells[(pixel(x, y) ? 1 : 0) | (pixel(x, y + 1) ? 2 : 0)];
        out += '\n';
    }
    return out;
}

std::vector<std::uint8_t> Screen::to_png() const {
    std::vector<std::uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if(png == nullptr) return out;
    png_infop info = png_create_info_struct(png);
    if(info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        out.clear();
        return out;
    }
    constexpr int w = kWidth * kScale;
    constexpr int h = kHeight * kScale;
    png_set_write_fn(png, &out, png_write_to_vector, png_flush_nothing);
    png_set_IHDR(
        png,
        info,
        w,
        h,
        1,
        PNG_COLOR_TYPE_PALETTE,
        PNG_INTERLACE_NONE,
        PNG_COMPRESSION_TYPE_DEFAULT,
        PNG_FILTER_TYPE_DEFAULT);
    png_color palette[2] = {
        {static_cast<png_byte>(kBackgroundRgb >> 16),
         static_cast<png_byte>((kBackgroundRgb >> 8) & 0xFF),
         static_cast<png_byte>(kBackgroundRgb & 0xFF)},
        {0, 0, 0},
    };
    png_set_PLTE(png, info, palette, 2);
    png_write_info(png, info);
    std::vector<png_byte> row(w / 8);
    for(int y = 0; y < h; ++y) {
        std::fill(row.begin(), row.end(), png_byte{0});
        for(int x = 0; x < w; ++x)
            if(pixel(x / kScale, y / kScale))
                row[static_cast<std::size_t>(x / 8)] |= static_cast<png_byte>(0x80 >> (x % 8));
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

bool Screen::write_png(const std::filesystem::path& path, std::string* error) const {
    const std::vector<std::uint8_t> bytes = to_png();
    if(bytes.empty()) {
        if(error) *error = "PNG encoding failed";
        return false;
    }
    std::error_code ec;
    if(path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(
        reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if(!file) {
        if(error) *error = "cannot write " + path.string();
        return false;
    }
    return true;
}

std::optional<Screen> Screen::read_png(const std::filesystem::path& path, std::string* error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if(!png_image_begin_read_from_file(&image, path.c_str())) {
        if(error) *error = "cannot read PNG " + path.string() + ": " + image.message;
        return std::nullopt;
    }
    int scale = 0;
    if(image.width == kWidth * kScale && image.height == kHeight * kScale)
        scale = kScale;
    else if(image.width == kWidth && image.height == kHeight)
        scale = 1;
    if(scale == 0) {
        if(error)
            *error = path.string() + " is " + std::to_string(image.width) + "x" +
                     std::to_string(image.height) + ", not 512x256 or 128x64";
        png_image_free(&image);
        return std::nullopt;
    }
    image.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> rgba(PNG_IMAGE_SIZE(image));
    if(!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
        if(error) *error = "cannot decode PNG " + path.string() + ": " + image.message;
        png_image_free(&image);
        return std::nullopt;
    }
    Screen screen;
    const std::size_t stride = image.width * 4;
    for(int y = 0; y < kHeight; ++y)
        for(int x = 0; x < kWidth; ++x) {
            // Sample the middle of each scaled block.
            const std::size_t sx = static_cast<std::size_t>(x * scale + scale / 2);
            const std::size_t sy = static_cast<std::size_t>(y * scale + scale / 2);
            const std::uint8_t* p = &rgba[sy * stride + sx * 4];
            screen.set_pixel(x, y, png_ink(p[0], p[1], p[2], p[3]));
        }
    return screen;
}

std::optional<Pixel> Screen::first_difference(const Screen& other) const {
    for(int y = 0; y < kHeight; ++y)
        for(int x = 0; x < kWidth; ++x)
            if(pixel(x, y) != other.pixel(x, y)) return Pixel{x, y};
    return std::nullopt;
}

std::array<std::uint8_t, Screen::kWidth * Screen::kHeight / 8> Screen::framebuffer() const {
    std::array<std::uint8_t, kWidth * kHeight / 8> fb{};
    for(int y = 0; y < kHeight; ++y)
        for(int x = 0; x < kWidth; ++x)
            if(pixel(x, y))
                fb[static_cast<std::size_t>((y / 8) * kWidth + x)] |=
                    static_cast<std::uint8_t>(1u << (y % 8));
    return fb;
}

GoldenResult check_golden(const Screen& screen, const std::filesystem::path& golden) {
    GoldenResult result;
    const char* update = std::getenv("UPDATE_GOLDEN");
    if(update != nullptr && std::string_view(update) == "1") {
        std::string error;
        result.ok = screen.write_png(golden, &error);
        result.updated = result.ok;
        result.message = result.ok ? "golden written: " + golden.string() : error;
        return result;
    }
    std::string error;
    const auto expected = Screen::read_png(golden, &error);
    const auto save_actual = [&]() {
        std::error_code ec;
        const auto dir = std::filesystem::temp_directory_path(ec) / "golden-actual";
        const auto path = dir / golden.filename();
        return screen.write_png(path) ? path.string() : std::string("(could not be written)");
    };
    if(!expected) {
        result.message =
            "golden " + golden.string() + " unusable (" + error +
            "); run with UPDATE_GOLDEN=1 to write it. Actual screen: " + save_actual();
        return result;
    }
    if(const auto diff = screen.first_difference(*expected)) {
        std::ostringstream msg;
        msg << "screen differs from golden " << golden.string() << ": first differing pixel ("
            << diff->x << ", " << diff->y << ") is "
            << (screen.pixel(diff->x, diff->y) ? "set" : "clear") << " but the golden has it "
            << (expected->pixel(diff->x, diff->y) ? "set" : "clear")
            << ". Actual screen: " << save_actual() << "\nActual:\n"
            << screen.to_text();
        result.message = msg.str();
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace host
