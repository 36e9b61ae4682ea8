// The drawing elements: where multi-line text is cut, what the text box's markers do, and the
// bottom buttons' geometry, as a scene on the device would show them.
#include <gtest/gtest.h>

#include <gui/canvas.h>
#include <gui/elements.h>

#include <string>
#include <vector>

#include "host/gui.h"

namespace {

using host::OffscreenCanvas;
using host::Screen;

std::vector<std::string> strings_of(const OffscreenCanvas& c) {
    return c.screen().strings();
}

std::vector<int> baselines_of(const OffscreenCanvas& c) {
    std::vector<int> out;
    const Screen s = c.screen();
    for(const host::DrawnText& t : s.texts()) out.push_back(t.baseline);
    return out;
}

TEST(MultilineText, CutsWideLinesLikeTheDevice) {
    struct Case {
        const char* name;
        Font font;
        uint8_t x, y;
        Align horizontal, vertical;
        const char* text;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"centred in a dialog",
         FontSecondary,
         88,
         32,
         AlignCenter,
         AlignCenter,
         "File format deprecated",
         {"File format depr-", "ecated"}},
        {"EPC bytes beside a label",
         FontKeyboard,
         34,
         29,
         AlignLeft,
         AlignTop,
         "E2 00 00 17 22 0B 01 23 45 67 89 AB ",
         {"E2 00 00 17 22-", " 0B 01 23 45 6-", "7 89 AB "}},
        {"newlines only",
         FontSecondary,
         0,
         50,
         AlignLeft,
         AlignBottom,
         "one\ntwo\n\nfour",
         {"one", "two", "four"}},
        {"dots at the bottom",
         FontSecondary,
         0,
         56,
         AlignLeft,
         AlignTop,
         "A line much too long for the screen at the very bottom",
         {"A line much too long for the s..."}},
        {"right of x", FontPrimary, 127, 20, AlignRight, AlignBottom, "Short", {"Short"}},
    };
    for(const Case& k : cases) {
        SCOPED_TRACE(k.name);
        OffscreenCanvas c;
        canvas_set_font(c, k.font);
        elements_multiline_text_aligned(c, k.x, k.y, k.horizontal, k.vertical, k.text);
        EXPECT_EQ(strings_of(c), k.lines);
    }
}

TEST(MultilineText, BlockAlignmentAndPitch) {
    OffscreenCanvas c;
    canvas_set_font(c, FontSecondary);
    // Three lines centred on y 32: the block moves up by one pitch, each line adds half the ascent.
    elements_multiline_text_aligned(c, 64, 32, AlignCenter, AlignCenter, "a\nb\nc");
    EXPECT_EQ(baselines_of(c), (std::vector<int>{21 + 3, 32 + 3, 43 + 3}));
    c.reset();
    canvas_set_font(c, FontPrimary);
    elements_multiline_text_aligned(c, 0, 40, AlignLeft, AlignBottom, "a\nb");
    EXPECT_EQ(baselines_of(c), (std::vector<int>{29, 40}));
}

TEST(MultilineText, ShortLinesThatDoNotFitStillEnd) {
    // Six characters or fewer that do not fit would make the device's estimate cut nothing (and
    // loop forever); here each row takes at least one character and the text runs off the bottom.
    OffscreenCanvas c;
    canvas_set_font(c, FontPrimary);
    elements_multiline_text_aligned(c, 125, 10, AlignLeft, AlignTop, "abcdef");
    EXPECT_EQ(strings_of(c), (std::vector<std::string>{"a-", "b-", "c-", "d-", "e..."}));
    c.reset();
    elements_multiline_text_aligned(c, 64, 10, AlignCenter, AlignTop, "");
    EXPECT_TRUE(strings_of(c).empty());
}

TEST(MultilineText, PlainVariantNeverWraps) {
    OffscreenCanvas c;
    canvas_set_font(c, FontSecondary);
    elements_multiline_text(c, 100, 20, "A long first line\nsecond\nthird\nfourth\nfifth");
    // y 20, 31, 42, 53; the fifth would start at 64 and is not drawn.
    EXPECT_EQ(
        strings_of(c),
        (std::vector<std::string>{"A long first line", "second", "third", "fourth"}));
    EXPECT_EQ(baselines_of(c), (std::vector<int>{20, 31, 42, 53}));
}

struct TextRun {
    std::string text;
    Font font;
};

std::vector<TextRun> runs_of(const OffscreenCanvas& c) {
    std::vector<TextRun> out;
    const Screen s = c.screen();
    for(const host::DrawnText& t : s.texts()) out.push_back({t.text, t.font});
    return out;
}

TEST(TextBox, MarkersSwitchStyleAndAreNotDrawn) {
    struct Case {
        const char* text;
        std::vector<std::pair<std::string, Font>> runs;
    };
    const Case cases[] = {
        {"Done!", {{"Done", FontSecondary}}},
        {"\x1b#Bold\x1b# plain", {{"Bold", FontPrimary}, {" plain", FontSecondary}}},
        {"#Bold# *mono* x",
         {{"Bold", FontPrimary},
          {" ", FontSecondary},
          {"mono", FontKeyboard},
          {" x", FontSecondary}}},
        {"a\x1b*b", {{"a", FontSecondary}, {"b", FontKeyboard}}},
        {"!inv! x", {{"inv", FontSecondary}, {" x", FontSecondary}}},
    };
    for(const Case& k : cases) {
        SCOPED_TRACE(k.text);
        OffscreenCanvas c;
        elements_text_box(c, 0, 0, 128, 64, AlignLeft, AlignTop, k.text, false);
        const std::vector<TextRun> runs = runs_of(c);
        ASSERT_EQ(runs.size(), k.runs.size());
        for(size_t i = 0; i < runs.size(); ++i) {
            EXPECT_EQ(runs[i].text, k.runs[i].first);
            EXPECT_EQ(runs[i].font, k.runs[i].second);
        }
    }
    // Inverse text is white on a box from a column left of it and a row above the ascent.
    OffscreenCanvas c;
    elements_text_box(c, 10, 1, 100, 30, AlignLeft, AlignTop, "!inv!", false);
    EXPECT_TRUE(c.screen().pixel(9, 1) && c.screen().pixel(9, 10));
    EXPECT_FALSE(c.screen().pixel(9, 11));
}

TEST(TextBox, BreaksBetweenCharactersAndLimitsLines) {
    OffscreenCanvas c;
    canvas_set_font(c, FontSecondary);
    const int width = canvas_string_width(c, "abcde ") + 1;
    elements_text_box(
        c, 0, 0, static_cast<uint8_t>(width), 64, AlignLeft, AlignTop, "abcde fghij", false);
    // The break falls where the width is passed, not at the space: the next line starts with it.
    const std::vector<std::string> lines = strings_of(c);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "abcde ");
    EXPECT_EQ(lines[1], "fghij");

    c.reset();
    elements_text_box(c, 0, 0, 128, 64, AlignLeft, AlignTop, "1\n2\n3\n4\n5\n6\n7\n8\n9", false);
    EXPECT_EQ(strings_of(c), (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7"}));
}

TEST(TextBox, LineSpacingFromTheFontParameters) {
    struct Case {
        const char* name;
        uint8_t height;
        Align vertical;
        std::vector<int> baselines;
    };
    const Case cases[] = {
        {"room: default leading, from the top", 30, AlignTop, {7, 18}},
        {"room: centred", 30, AlignCenter, {11, 22}},
        {"room: at the bottom", 30, AlignBottom, {15, 26}},
        {"short: minimum leading plus the spare pixel", 19, AlignTop, {7, 17}},
        {"too short for the second line", 17, AlignTop, {7}},
    };
    for(const Case& k : cases) {
        SCOPED_TRACE(k.name);
        OffscreenCanvas c;
        elements_text_box(c, 0, 0, 128, k.height, AlignLeft, k.vertical, "one\ntwo", false);
        EXPECT_EQ(baselines_of(c), k.baselines);
    }
    // A bold line is spaced by FontPrimary's larger parameters.
    OffscreenCanvas c;
    elements_text_box(c, 0, 0, 128, 40, AlignLeft, AlignTop, "#bold#\nplain", false);
    EXPECT_EQ(baselines_of(c), (std::vector<int>{8, 20}));
}

TEST(TextBox, StripToDotsOnTheLastKeptLine) {
    OffscreenCanvas c;
    canvas_set_font(c, FontSecondary);
    int advances = 0;
    for(const char ch : std::string("abcdefgh")) advances += canvas_glyph_width(c, ch);
    const auto width = static_cast<uint8_t>(advances);
    // Even when the whole text is kept, "..." replaces the glyphs that would meet it at the edge.
    elements_text_box(c, 0, 0, width, 10, AlignLeft, AlignTop, "abcdefgh", true);
    std::vector<std::string> drawn = strings_of(c);
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(drawn[1], "...");
    EXPECT_LE(canvas_string_width(c, (drawn[0] + drawn[1]).c_str()), width);
    c.reset();
    elements_text_box(c, 0, 0, 128, 20, AlignLeft, AlignTop, "fits easily", true);
    EXPECT_EQ(strings_of(c), (std::vector<std::string>{"fits easily"}));
}

/// The rows of column x that are set, as (first, count), or (-1, 0).
std::pair<int, int> column(const Screen& s, int x) {
    int first = -1, count = 0;
    for(int y = 0; y < Screen::kHeight; ++y)
        if(s.pixel(x, y)) {
            if(first < 0) first = y;
            ++count;
        }
    return {first, count};
}

TEST(BottomButtons, BoxesStepsAndMarks) {
    OffscreenCanvas c;
    canvas_set_font(c, FontSecondary);
    const int exit_w = canvas_string_width(c, "Exit");
    const int ok_w = canvas_string_width(c, "OK");
    const int more_w = canvas_string_width(c, "More");
    elements_button_left(c, "Exit");
    elements_button_center(c, "OK");
    elements_button_right(c, "More");
    const Screen s = c.screen();

    // Left: text width + 13 wide, 12 high, then a step of 12, 11 and 10 px.
    const int left_w = exit_w + 13;
    EXPECT_EQ(column(s, 0), std::make_pair(52, 12));
    EXPECT_EQ(column(s, left_w), std::make_pair(52, 12));
    EXPECT_EQ(column(s, left_w + 1), std::make_pair(53, 11));
    EXPECT_EQ(column(s, left_w + 2), std::make_pair(54, 10));
    EXPECT_EQ(column(s, left_w + 3).second, 0);
    // Its mark: a solid 4x7 triangle pointing left at (3, 54), white on the box.
    for(int i = 0; i < 4; ++i)
        for(int y = 54; y < 61; ++y)
            EXPECT_EQ(s.pixel(3 + i, y), std::abs(y - 57) > i) << 3 + i << "," << y;
    EXPECT_EQ(s.find("Exit")->origin_x, 10);
    EXPECT_EQ(s.find("Exit")->baseline, 61);

    // Centre: text width + 12, centred, steps on both sides.
    const int centre_w = ok_w + 12;
    const int centre_x = (128 - centre_w) / 2;
    EXPECT_EQ(column(s, centre_x - 1), std::make_pair(52, 12));
    EXPECT_EQ(column(s, centre_x - 3), std::make_pair(54, 10));
    EXPECT_EQ(column(s, centre_x + centre_w + 2), std::make_pair(54, 10));
    // Its mark: a 7x7 ring with a filled 3x3 centre at (x + 1, 54).
    const int mx = centre_x + 1;
    const char* ring[] = {
        "..XXX..", ".X...X.", "X.XXX.X", "X.XXX.X", "X.XXX.X", ".X...X.", "..XXX.."};
    for(int row = 0; row < 7; ++row)
        for(int col = 0; col < 7; ++col)
            EXPECT_EQ(!s.pixel(mx + col, 54 + row), ring[row][col] == 'X') << col << "," << row;
    EXPECT_EQ(s.find("OK")->origin_x, centre_x + 11);

    // Right: flush with the right edge, steps to its left, the arrow 3 px from the edge.
    const int right_x = 128 - (more_w + 13);
    EXPECT_EQ(column(s, right_x), std::make_pair(52, 12));
    EXPECT_EQ(column(s, right_x - 1), std::make_pair(52, 12));
    EXPECT_EQ(column(s, right_x - 3), std::make_pair(54, 10));
    for(int i = 0; i < 4; ++i) EXPECT_FALSE(s.pixel(121 + i, 57)) << "arrow row through its tip";
    EXPECT_EQ(s.find("More")->origin_x, right_x + 3);
}

} // namespace
