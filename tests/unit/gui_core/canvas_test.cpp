// Canvas primitives, clipping, text placement and the recorded strings.
#include <gtest/gtest.h>

#include <gui/canvas.h>
#include <gui/icon_i.h>

#include <array>
#include <cstring>
#include <string>
#include <tuple>

#include "golden.h"
#include "host/gui.h"

namespace {

using gui_core_test::expect_golden;
using host::OffscreenCanvas;
using host::Screen;

/// The bounding box of the set pixels.
struct Ink {
    int left = Screen::kWidth, top = Screen::kHeight, right = -1, bottom = -1;
    bool empty() const { return right < 0; }
};

Ink ink_of(const Screen& s) {
    Ink ink;
    for(int y = 0; y < Screen::kHeight; ++y)
        for(int x = 0; x < Screen::kWidth; ++x)
            if(s.pixel(x, y)) {
                ink.left = std::min(ink.left, x);
                ink.right = std::max(ink.right, x);
                ink.top = std::min(ink.top, y);
                ink.bottom = std::max(ink.bottom, y);
            }
    return ink;
}

// The device's metrics per font: line pitch, what vertical alignment adds, the font parameters.
struct FontMetricsCase {
    Font font;
    int line_height;
    int ascent;
    CanvasFontParameters params;
};

constexpr FontMetricsCase kFontMetrics[] = {
    {FontPrimary, 11, 8, {12, 11, 8, 2}},
    {FontSecondary, 11, 7, {11, 9, 7, 2}},
    {FontKeyboard, 11, 7, {11, 9, 7, 2}},
    {FontBigNumbers, 20, 14, {18, 16, 15, 0}},
};

TEST(Canvas, SizeDefaultsAndDeviceFontMetrics) {
    OffscreenCanvas c;
    EXPECT_EQ(canvas_width(c), 128);
    EXPECT_EQ(canvas_height(c), 64);
    EXPECT_EQ(c.screen().count_set(), 0u);
    for(const FontMetricsCase& m : kFontMetrics) {
        SCOPED_TRACE(testing::Message() << "font " << m.font);
        canvas_set_font(c, m.font);
        EXPECT_EQ(canvas_current_font_height(c), m.line_height);
        const CanvasFontParameters* params = canvas_get_font_params(c, m.font);
        EXPECT_EQ(params->leading_default, m.params.leading_default);
        EXPECT_EQ(params->leading_min, m.params.leading_min);
        EXPECT_EQ(params->height, m.params.height);
        EXPECT_EQ(params->descender, m.params.descender);
        c.reset();
        canvas_set_font(c, m.font);
        canvas_draw_str_aligned(c, 0, 10, AlignLeft, AlignTop, "0");
        canvas_draw_str_aligned(c, 0, 10, AlignLeft, AlignCenter, "0");
        ASSERT_EQ(c.screen().texts().size(), 2u);
        EXPECT_EQ(c.screen().texts()[0].baseline, 10 + m.ascent);
        EXPECT_EQ(c.screen().texts()[1].baseline, 10 + m.ascent / 2);
    }
    canvas_set_font(c, FontKeyboard);
    canvas_set_font(c, static_cast<Font>(9)); // refused: the font stays
    EXPECT_EQ(canvas_current_font_height(c), 11);
    EXPECT_EQ(canvas_string_width(c, nullptr), 0);
}

// Widths as the device measures them: the advances, the last glyph by its ink box (a space
// keeps its advance); only ASCII exists, other bytes take no width; BigNumbers has no letters.
TEST(Canvas, StringWidthsAsOnTheDevice) {
    struct Case {
        Font font;
        const char* text;
        int width;
    };
    const Case cases[] = {
        {FontPrimary, "Pick a bank", 57},
        {FontPrimary, "0123", 23},
        {FontSecondary, "...", 5},
        {FontSecondary, "File format deprecated", 95},
        {FontSecondary, "", 0},
        {FontKeyboard, "0123", 23},
        {FontKeyboard, "AB ", 18},
        {FontKeyboard, "E2 00 00 17 22 0B 01 23 45 67 89 AB ", 216},
        {FontBigNumbers, "0123", 46},
        {FontBigNumbers, "12:30", 58},
        {FontBigNumbers, "Hi", 0},
        {FontBigNumbers, "1A", 10},
        {FontSecondary, "a\xE9\xC3\xA9", 4},
        {FontSecondary, "a\x1B", 4},
    };
    OffscreenCanvas c;
    for(const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "font " << k.font << " \"" << k.text << '"');
        canvas_set_font(c, k.font);
        EXPECT_EQ(canvas_string_width(c, k.text), k.width);
    }
    // Bytes without a glyph vanish; '\n' ends the string.
    const std::pair<const char*, const char*> same[] = {
        {"Tab\there", "Tabhere"}, {"two\nlines", "two"}, {"\x01x\x7F", "x"}};
    canvas_set_font(c, FontPrimary);
    for(const auto& [text, as] : same)
        EXPECT_EQ(canvas_string_width(c, text), canvas_string_width(c, as)) << as;
    // Advances: FontKeyboard is 6 px monospace up to 0x7F; nothing else has 0x7F or Latin-1.
    const std::tuple<Font, char, int> glyphs[] = {
        {FontKeyboard, 'W', 6},
        {FontKeyboard, '\x7F', 6},
        {FontSecondary, '\x7F', 0},
        {FontPrimary, '\xE9', 0},
        {FontBigNumbers, '0', 12},
        {FontBigNumbers, 'A', 0},
        {FontBigNumbers, ' ', 12}};
    for(const auto& [font, ch, width] : glyphs) {
        canvas_set_font(c, font);
        EXPECT_EQ(canvas_glyph_width(c, ch), width)
            << "font " << font << " char " << int(static_cast<unsigned char>(ch));
    }
    // Letters in BigNumbers and bytes outside ASCII draw nothing.
    c.reset();
    canvas_set_font(c, FontBigNumbers);
    canvas_draw_str(c, 0, 30, "ABC");
    canvas_set_font(c, FontSecondary);
    canvas_draw_str(c, 0, 50, "\xC3\xA9\xFF");
    EXPECT_EQ(c.screen().count_set(), 0u);
    // Text after a '\n' is neither drawn nor recorded.
    canvas_draw_str(c, 0, 60, "two\nlines");
    ASSERT_EQ(c.screen().texts().size(), 1u);
    EXPECT_EQ(c.screen().texts().back().text, "two");
}

TEST(Canvas, BoxesFramesAndDotsClipAtTheEdges) {
    OffscreenCanvas c;
    canvas_draw_box(c, 120, 60, 20, 20); // reaches past the bottom right corner
    EXPECT_EQ(c.screen().count_set(), 8u * 4u);
    EXPECT_TRUE(c.screen().pixel(127, 63));

    c.reset();
    canvas_draw_frame(c, 0, 0, 128, 64);
    EXPECT_EQ(c.screen().count_set(), 2u * 128u + 2u * 62u);
    EXPECT_TRUE(c.screen().pixel(0, 0) && c.screen().pixel(127, 63) && c.screen().pixel(0, 63));
    EXPECT_FALSE(c.screen().pixel(1, 1));

    c.reset();
    canvas_draw_frame(c, 100, 50, 255, 255); // only the top and left edges are on screen
    EXPECT_EQ(c.screen().count_set(), 28u + 13u);
    canvas_draw_dot(c, 200, 200);
    canvas_draw_dot(c, 128, 0);
    EXPECT_EQ(c.screen().count_set(), 28u + 13u);
    canvas_draw_box(c, 5, 5, 0, 10);
    canvas_draw_frame(c, 5, 5, 10, 0);
    EXPECT_EQ(c.screen().count_set(), 28u + 13u);
}

TEST(Canvas, LinesIncludeBothEndsAndClip) {
    OffscreenCanvas c;
    canvas_draw_line(c, 0, 0, 127, 63);
    EXPECT_EQ(c.screen().count_set(), 128u);
    EXPECT_TRUE(c.screen().pixel(0, 0));
    EXPECT_TRUE(c.screen().pixel(127, 63));

    c.reset();
    canvas_draw_line(c, 100, 10, 255, 10);
    EXPECT_EQ(c.screen().count_set(), 28u);
    c.reset();
    canvas_draw_line(c, 5, 7, 5, 7);
    EXPECT_EQ(c.screen().count_set(), 1u);
}

TEST(Canvas, ColorsXorAndInvert) {
    OffscreenCanvas c;
    canvas_draw_box(c, 0, 0, 20, 20);
    canvas_set_color(c, ColorWhite);
    canvas_draw_box(c, 5, 5, 10, 10);
    EXPECT_EQ(c.screen().count_set(), 400u - 100u);

    c.reset();
    canvas_draw_box(c, 0, 0, 10, 10);
    canvas_set_color(c, ColorXOR);
    canvas_draw_box(c, 5, 5, 10, 10);
    EXPECT_EQ(c.screen().count_set(), 100u - 25u + 75u);
    EXPECT_FALSE(c.screen().pixel(7, 7));
    EXPECT_TRUE(c.screen().pixel(12, 12));

    // Drawing a shape twice in XOR leaves nothing.
    c.reset();
    canvas_set_color(c, ColorXOR);
    for(int i = 0; i < 2; ++i) {
        canvas_draw_frame(c, 3, 3, 40, 20);
        canvas_draw_rframe(c, 50, 3, 40, 20, 4);
        canvas_draw_rbox(c, 50, 30, 40, 20, 5);
        canvas_draw_circle(c, 20, 45, 12);
        canvas_draw_disc(c, 110, 45, 12);
        canvas_draw_triangle(c, 110, 10, 15, 8, CanvasDirectionTopToBottom);
        canvas_draw_line(c, 0, 63, 127, 0);
    }
    EXPECT_EQ(c.screen().count_set(), 0u);

    // Inverting swaps black and white, and turns XOR into white.
    c.reset();
    canvas_invert_color(c);
    canvas_draw_box(c, 0, 0, 4, 4);
    EXPECT_EQ(c.screen().count_set(), 0u);
    canvas_invert_color(c);
    canvas_draw_box(c, 0, 0, 4, 4);
    EXPECT_EQ(c.screen().count_set(), 16u);
    canvas_set_color(c, ColorXOR);
    canvas_invert_color(c);
    canvas_draw_box(c, 0, 0, 2, 4);
    canvas_draw_box(c, 10, 0, 2, 2);
    EXPECT_EQ(c.screen().count_set(), 8u);
}

// Where the device draws a pixel twice, XOR leaves a hole: a circle's four axis points, the
// diagonal points where an octant ends on x == y, a rounded frame's corner diagonals, a
// one-pixel-wide frame's side, a triangle's corners.
TEST(Canvas, XorHolesWhereTheDeviceDrawsTwice) {
    OffscreenCanvas c;
    canvas_draw_circle(c, 20, 20, 3);
    const Screen solid = c.screen();
    c.reset();
    canvas_set_color(c, ColorXOR);
    canvas_draw_circle(c, 20, 20, 3);
    const Screen holes = c.screen();
    for(const auto& [x, y] :
        {std::pair{20, 17}, {23, 20}, {20, 23}, {17, 20}, {22, 18}, {18, 22}}) {
        EXPECT_TRUE(solid.pixel(x, y)) << x << "," << y;
        EXPECT_FALSE(holes.pixel(x, y)) << x << "," << y;
    }
    EXPECT_EQ(solid.count_set() - holes.count_set(), 8u);

    c.reset();
    canvas_set_color(c, ColorXOR);
    canvas_draw_frame(c, 5, 5, 1, 6);  // the side drawn twice: only the top and bottom stay
    canvas_draw_frame(c, 10, 5, 6, 4); // a frame of width > 1 has no hole
    const Screen frames = c.screen();
    EXPECT_TRUE(frames.pixel(5, 5) && frames.pixel(5, 10));
    EXPECT_FALSE(frames.pixel(5, 7));
    EXPECT_EQ(frames.count_set(), 2u + 16u);

    c.reset();
    canvas_set_color(c, ColorXOR);
    canvas_draw_triangle(c, 40, 20, 9, 5, CanvasDirectionBottomToTop);
    EXPECT_FALSE(c.screen().pixel(36, 20)); // base corners and tip come from two lines each
    EXPECT_FALSE(c.screen().pixel(44, 20));
    EXPECT_FALSE(c.screen().pixel(40, 16));
    EXPECT_TRUE(c.screen().pixel(40, 20));
}

TEST(Canvas, RoundedShapesCutTheirCornersAndStaySymmetric) {
    OffscreenCanvas c;
    canvas_draw_rbox(c, 10, 10, 20, 12, 3);
    const Screen s = c.screen();
    EXPECT_FALSE(s.pixel(10, 10));
    EXPECT_FALSE(s.pixel(29, 21));
    EXPECT_TRUE(s.pixel(13, 10));
    EXPECT_TRUE(s.pixel(10, 13));
    EXPECT_TRUE(s.pixel(20, 15));
    for(int y = 10; y < 22; ++y)
        for(int x = 10; x < 30; ++x) {
            EXPECT_EQ(s.pixel(x, y), s.pixel(39 - x, y)) << x << "," << y;
            EXPECT_EQ(s.pixel(x, y), s.pixel(x, 31 - y)) << x << "," << y;
        }
    // A radius too large for the box is reduced instead of drawing outside it.
    c.reset();
    canvas_draw_rframe(c, 0, 0, 6, 4, 40);
    const Ink ink = ink_of(c.screen());
    EXPECT_EQ(ink.left, 0);
    EXPECT_EQ(ink.top, 0);
    EXPECT_EQ(ink.right, 5);
    EXPECT_EQ(ink.bottom, 3);
    // Circles clip at the screen's edges.
    c.reset();
    canvas_draw_disc(c, 0, 0, 10);
    EXPECT_TRUE(c.screen().pixel(0, 0));
    EXPECT_TRUE(c.screen().pixel(10, 0));
    EXPECT_FALSE(c.screen().pixel(11, 0));
}

TEST(Canvas, StringsSitOnTheirBaseline) {
    OffscreenCanvas c;
    canvas_set_font(c, FontPrimary);
    canvas_draw_str(c, 10, 20, "H");
    const Ink ink = ink_of(c.screen());
    EXPECT_EQ(ink.bottom, 19); // the baseline row itself stays clear
    EXPECT_EQ(ink.top, 20 - 8);
    EXPECT_GE(ink.left, 10);
    EXPECT_LT(ink.right, 16);

    c.reset();
    canvas_set_font(c, FontSecondary);
    canvas_draw_str(c, 0, 10, "g"); // a descender goes below, two rows
    EXPECT_EQ(ink_of(c.screen()).bottom, 11);
}

TEST(Canvas, AlignedStringsForEveryAlignPair) {
    const Align horizontals[] = {AlignLeft, AlignCenter, AlignRight};
    const Align verticals[] = {AlignTop, AlignCenter, AlignBottom};
    for(const FontMetricsCase& m : kFontMetrics) {
        const Font font = m.font;
        for(const Align h : horizontals) {
            for(const Align v : verticals) {
                OffscreenCanvas c;
                canvas_set_font(c, font);
                const char* text = font == FontBigNumbers ? "42" : "HI";
                const int width = canvas_string_width(c, text);
                const int cap = m.ascent;
                canvas_draw_str_aligned(c, 64, 32, h, v, text);
                const Screen s = c.screen();
                ASSERT_EQ(s.texts().size(), 1u);
                const host::DrawnText& t = s.texts()[0];
                const int left = h == AlignLeft  ? 64 :
                                 h == AlignRight ? 64 - width :
                                                   64 - width / 2;
                const int baseline = v == AlignTop    ? 32 + cap :
                                     v == AlignCenter ? 32 + cap / 2 :
                                                        32;
                SCOPED_TRACE(testing::Message() << "font " << font << " h " << h << " v " << v);
                EXPECT_EQ(t.origin_x, left);
                EXPECT_EQ(t.baseline, baseline);
                EXPECT_EQ(t.box.x, left);
                EXPECT_EQ(t.box.width, width);
                EXPECT_EQ(t.horizontal, h);
                EXPECT_EQ(t.vertical, v);
                EXPECT_EQ(t.font, font);
                // Capitals and digits rest on the baseline and reach the ascent.
                const Ink ink = ink_of(s);
                EXPECT_EQ(ink.bottom, baseline - 1);
                EXPECT_EQ(ink.top, baseline - cap);
                EXPECT_GE(ink.left, left);
                EXPECT_LT(ink.right, left + width);
            }
        }
    }
}

TEST(Canvas, StringsClipAndOnlyVisibleOnesAreRecorded) {
    OffscreenCanvas c;
    canvas_set_font(c, FontPrimary);
    canvas_draw_str(c, 120, 10, "Hello");                               // runs off the right edge
    canvas_draw_str(c, 250, 10, "Gone");                                // entirely off screen
    canvas_draw_str_aligned(c, 0, 5, AlignCenter, AlignCenter, "Half"); // starts left of 0
    canvas_draw_str_aligned(c, 127, 63, AlignRight, AlignBottom, "Corner");
    canvas_draw_str(c, 0, 0, nullptr);
    canvas_draw_str(c, 0, 10, "");
    const Screen s = c.screen();
    EXPECT_EQ(s.strings(), (std::vector<std::string>{"Hello", "Half", "Corner"}));
    EXPECT_TRUE(s.contains("ell"));
    EXPECT_FALSE(s.contains("Gone"));
    EXPECT_EQ(s.find("Half")->box.x, -10); // 21 px wide, centred at 0
    EXPECT_TRUE(
        s.pixel(s.find("Corner")->box.x + 1, 60) || s.pixel(s.find("Corner")->box.x + 2, 60));

    canvas_clear(c);
    EXPECT_TRUE(c.screen().texts().empty());
    EXPECT_EQ(c.screen().count_set(), 0u);
}

TEST(Canvas, BadArgumentsAreRefusedQuietly) {
    canvas_draw_box(nullptr, 0, 0, 4, 4);
    canvas_draw_str(nullptr, 0, 0, "x");
    EXPECT_EQ(canvas_width(nullptr), 0);
    OffscreenCanvas c;
    canvas_draw_icon(c, 0, 0, nullptr);
    canvas_draw_xbm(c, 0, 0, 8, 8, nullptr);
    canvas_set_color(c, static_cast<Color>(7)); // unknown: black
    canvas_draw_dot(c, 1, 1);
    canvas_draw_str_aligned(c, 10, 10, AlignTop, AlignLeft, "X"); // swapped: Left/Bottom
    const Screen s = c.screen();
    EXPECT_TRUE(s.pixel(1, 1));
    ASSERT_EQ(s.texts().size(), 1u);
    EXPECT_EQ(s.texts()[0].origin_x, 10);
    EXPECT_EQ(s.texts()[0].baseline, 10);
}

// An arrow pointing up, 9x5, as icongen would emit it.
const std::uint8_t kArrow[] = {0x10, 0x00, 0x38, 0x00, 0x7C, 0x00, 0xFE, 0x00, 0xFF, 0x01};
const std::uint8_t* const kArrowFrames[] = {kArrow};
const Icon kArrowIcon = {9, 5, 1, 0, kArrowFrames};

TEST(Canvas, IconsAreOpaqueUnlessBitmapModeIsOn) {
    EXPECT_EQ(icon_get_width(&kArrowIcon), 9);
    EXPECT_EQ(icon_get_height(&kArrowIcon), 5);
    EXPECT_EQ(icon_get_data(&kArrowIcon), kArrow);

    OffscreenCanvas c;
    canvas_draw_box(c, 0, 0, 9, 5);
    canvas_set_color(c, ColorWhite);
    canvas_draw_icon(c, 0, 0, &kArrowIcon); // white arrow cut out of a black box
    EXPECT_EQ(c.screen().count_set(), 45u - 25u);
    EXPECT_FALSE(c.screen().pixel(4, 0));
    EXPECT_TRUE(c.screen().pixel(3, 0));

    // Black over a black box: the clear bits paint white across the icon's rectangle.
    c.reset();
    canvas_draw_box(c, 0, 0, 20, 20);
    canvas_draw_icon(c, 2, 2, &kArrowIcon);
    EXPECT_EQ(c.screen().count_set(), 400u - 45u + 25u);
    EXPECT_FALSE(c.screen().pixel(2, 2));
    EXPECT_TRUE(c.screen().pixel(6, 2));
    canvas_set_bitmap_mode(c, true); // transparent: only the set bits
    canvas_draw_box(c, 0, 0, 20, 20);
    canvas_draw_icon(c, 2, 2, &kArrowIcon);
    EXPECT_EQ(c.screen().count_set(), 400u);
    canvas_set_bitmap_mode(c, false);

    c.reset();
    canvas_draw_icon(c, 120, 62, &kArrowIcon); // rows 2..4 fall off the bottom
    EXPECT_TRUE(c.screen().pixel(124, 62));
    EXPECT_EQ(c.screen().count_set(), 1u + 3u);

    c.reset();
    canvas_draw_icon_ex(c, 10, 10, &kArrowIcon, IconRotation180); // now points down
    EXPECT_TRUE(c.screen().pixel(14, 14));
    EXPECT_FALSE(c.screen().pixel(13, 14));
    EXPECT_TRUE(c.screen().pixel(10, 10));
}

TEST(CanvasGolden, Primitives) {
    OffscreenCanvas c;
    canvas_draw_frame(c, 0, 0, 128, 64);
    canvas_draw_box(c, 4, 4, 12, 8);
    canvas_draw_rframe(c, 20, 4, 24, 14, 3);
    canvas_draw_rbox(c, 48, 4, 24, 14, 4);
    canvas_draw_circle(c, 86, 11, 7);
    canvas_draw_disc(c, 106, 11, 7);
    canvas_draw_line(c, 4, 20, 60, 40);
    canvas_draw_triangle(c, 80, 30, 11, 6, CanvasDirectionBottomToTop);
    canvas_draw_triangle(c, 95, 30, 11, 6, CanvasDirectionTopToBottom);
    canvas_draw_triangle(c, 104, 30, 11, 6, CanvasDirectionLeftToRight);
    canvas_draw_triangle(c, 120, 30, 11, 6, CanvasDirectionRightToLeft);
    canvas_draw_icon(c, 4, 44, &kArrowIcon);
    canvas_set_color(c, ColorXOR);
    canvas_draw_box(c, 30, 34, 40, 24);
    canvas_draw_rbox(c, 60, 44, 60, 16, 6);
    expect_golden(c.screen(), "primitives");
}

TEST(CanvasGolden, Fonts) {
    OffscreenCanvas c;
    canvas_set_font(c, FontPrimary);
    canvas_draw_str(c, 2, 10, "Primary: Read Tag");
    canvas_set_font(c, FontSecondary);
    canvas_draw_str(c, 2, 20, "Secondary: HW Ver 1.2g");
    canvas_set_font(c, FontKeyboard);
    canvas_draw_str(c, 2, 32, "Keyboard: 3000 E280");
    canvas_set_font(c, FontBigNumbers);
    canvas_draw_str(c, 2, 60, "1234567");
    expect_golden(c.screen(), "fonts");
}

TEST(CanvasGolden, AlignmentAroundACrosshair) {
    OffscreenCanvas c;
    canvas_draw_line(c, 64, 0, 64, 63);
    canvas_draw_line(c, 0, 32, 127, 32);
    canvas_set_font(c, FontSecondary);
    canvas_draw_str_aligned(c, 64, 0, AlignCenter, AlignTop, "Top");
    canvas_draw_str_aligned(c, 64, 63, AlignCenter, AlignBottom, "Bottom");
    canvas_draw_str_aligned(c, 63, 32, AlignRight, AlignCenter, "Right");
    canvas_draw_str_aligned(c, 66, 32, AlignLeft, AlignCenter, "Left");
    canvas_set_font(c, FontPrimary);
    canvas_draw_str_aligned(c, 0, 0, AlignLeft, AlignTop, "TL");
    canvas_draw_str_aligned(c, 127, 0, AlignRight, AlignTop, "TR");
    canvas_draw_str_aligned(c, 0, 63, AlignLeft, AlignBottom, "BL");
    canvas_draw_str_aligned(c, 127, 63, AlignRight, AlignBottom, "BR");
    expect_golden(c.screen(), "align");
}

} // namespace
