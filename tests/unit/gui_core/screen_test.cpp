// Screen output: catalog PNGs, terminal half blocks and golden comparison.
#include <gtest/gtest.h>
#include <png.h>

#include <gui/canvas.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "golden.h"
#include "host/gui.h"

namespace {

using host::Screen;
namespace fs = std::filesystem;

fs::path temp_file(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / "gui_core_test";
    fs::create_directories(dir);
    return dir / name;
}

Screen sample() {
    host::OffscreenCanvas c;
    canvas_draw_dot(c, 0, 0);
    canvas_draw_dot(c, 127, 63);
    canvas_draw_box(c, 10, 10, 3, 2);
    canvas_draw_str(c, 20, 30, "Hi");
    return c.screen();
}

TEST(ScreenPng, CatalogFormatTwoColoursScaledFourTimes) {
    const Screen s = sample();
    const fs::path path = temp_file("catalog.png");
    std::string error;
    ASSERT_TRUE(s.write_png(path, &error)) << error;

    // Read it back raw, without our reader: size, palette and scaling.
    FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_read_info(png, info);
    EXPECT_EQ(png_get_image_width(png, info), 512u);
    EXPECT_EQ(png_get_image_height(png, info), 256u);
    EXPECT_EQ(png_get_color_type(png, info), PNG_COLOR_TYPE_PALETTE);
    png_colorp palette = nullptr;
    int colours = 0;
    png_get_PLTE(png, info, &palette, &colours);
    ASSERT_EQ(colours, 2);
    EXPECT_EQ((palette[0].red << 16) | (palette[0].green << 8) | palette[0].blue, 0xFE8A2C);
    EXPECT_EQ((palette[1].red << 16) | (palette[1].green << 8) | palette[1].blue, 0x000000);
    png_set_packing(png);
    std::vector<std::vector<png_byte>> rows(256, std::vector<png_byte>(512));
    for(auto& row : rows) png_read_row(png, row.data(), nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    for(int y = 0; y < 256; ++y)
        for(int x = 0; x < 512; ++x)
            ASSERT_EQ(rows[y][x] == 1, s.pixel(x / 4, y / 4)) << "at " << x << "," << y;

    const auto back = Screen::read_png(path, &error);
    ASSERT_TRUE(back) << error;
    EXPECT_TRUE(back->same_pixels(s));
    EXPECT_FALSE(back->first_difference(s));
}

TEST(ScreenPng, ReadingRefusesWhatIsNotAScreen) {
    std::string error;
    EXPECT_FALSE(Screen::read_png(temp_file("missing.png"), &error));
    EXPECT_NE(error.find("missing.png"), std::string::npos);

    const fs::path junk = temp_file("junk.png");
    std::ofstream(junk) << "not a png";
    EXPECT_FALSE(Screen::read_png(junk, &error));

    // A 10x10 image is readable but is no screen.
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = 10;
    image.height = 10;
    image.format = PNG_FORMAT_GRAY;
    std::vector<png_byte> pixels(100, 255);
    const fs::path small = temp_file("small.png");
    ASSERT_TRUE(png_image_write_to_file(&image, small.c_str(), 0, pixels.data(), 0, nullptr));
    EXPECT_FALSE(Screen::read_png(small, &error));
    EXPECT_NE(error.find("10x10"), std::string::npos) << error;
}

TEST(ScreenText, HalfBlocksTwoRowsPerLine) {
    const Screen s = sample();
    const std::string text = s.to_text();
    std::istringstream in(text);
    std::vector<std::string> lines;
    for(std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 32u);
    // Every cell is one three-byte block character or a space.
    auto cell = [&](int x, int row) {
        std::size_t pos = 0;
        const std::string& line = lines[static_cast<std::size_t>(row)];
        for(int i = 0; i < x; ++i) pos += line[pos] == ' ' ? 1 : 3;
        return line.substr(pos, line[pos] == ' ' ? 1 : 3);
    };
    EXPECT_EQ(cell(0, 0), "\u2580");    // (0,0) set, (0,1) clear
    EXPECT_EQ(cell(127, 31), "\u2584"); // (127,62) clear, (127,63) set
    EXPECT_EQ(cell(10, 5), "\u2588");   // rows 10 and 11 of the box
    EXPECT_EQ(cell(5, 5), " ");
}

TEST(ScreenText, FramebufferInTheDisplaysPageLayout) {
    const auto fb = sample().framebuffer();
    EXPECT_EQ(fb.size(), 1024u);
    EXPECT_EQ(fb[0], 0x01);             // (0,0): page 0, bit 0
    EXPECT_EQ(fb[7 * 128 + 127], 0x80); // (127,63): page 7, bit 7
    EXPECT_EQ(fb[1 * 128 + 10], 0x0C);  // (10,10) and (10,11): page 1, bits 2 and 3
}

TEST(ScreenGolden, MismatchNamesTheFirstDifferingPixelAndUpdateRewrites) {
    // Runs the same whether or not the suite itself was started with UPDATE_GOLDEN=1.
    const char* outer = std::getenv("UPDATE_GOLDEN");
    const std::string saved = outer != nullptr ? outer : "";
    ::unsetenv("UPDATE_GOLDEN");
    const fs::path golden = temp_file("golden_case.png");
    Screen s = sample();
    ASSERT_TRUE(s.write_png(golden));
    EXPECT_TRUE(host::check_golden(s, golden).ok);

    s.set_pixel(40, 50, true);
    s.set_pixel(90, 60, true);
    const host::GoldenResult bad = host::check_golden(s, golden);
    EXPECT_FALSE(bad.ok);
    EXPECT_NE(bad.message.find("(40, 50)"), std::string::npos) << bad.message;
    EXPECT_NE(bad.message.find("golden-actual"), std::string::npos) << bad.message;

    ::setenv("UPDATE_GOLDEN", "1", 1);
    const host::GoldenResult updated = host::check_golden(s, golden);
    ::unsetenv("UPDATE_GOLDEN");
    EXPECT_TRUE(updated.ok && updated.updated);
    EXPECT_TRUE(host::check_golden(s, golden).ok);

    const host::GoldenResult missing = host::check_golden(s, temp_file("no_such_golden.png"));
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.message.find("UPDATE_GOLDEN=1"), std::string::npos);
    if(outer != nullptr) ::setenv("UPDATE_GOLDEN", saved.c_str(), 1);
}

} // namespace
