// The pure pieces of the live front-end: bytes to keys, pixels to characters, lines to the
// least output, and the status texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "session/colours.h"
#include "terminal/keys.h"
#include "terminal/painter.h"
#include "terminal/render.h"
#include "terminal/status.h"

namespace sim::terminal {
namespace {

KeyEvent ch(char c) {
    return {Key::character, c};
}
KeyEvent key(Key k, bool shift = false) {
    return {k, 0, shift};
}

struct DecodeCase {
    const char* name;
    std::vector<std::string> reads; ///< what each read() returned
    bool pause;                     ///< the input paused afterwards (flush)
    std::vector<KeyEvent> keys;
};

TEST(KeyDecoder, DecodesArrowsEnterBackAndSplitSequences) {
    const DecodeCase cases[] = {
        {"CSI arrows",
         {"\x1b[A\x1b[B\x1b[C\x1b[D"},
         false,
         {key(Key::up), key(Key::down), key(Key::right), key(Key::left)}},
        {"SS3 arrows (application cursor mode)",
         {"\x1bOA\x1bOD"},
         false,
         {key(Key::up), key(Key::left)}},
        {"Shift+arrow", {"\x1b[1;2C"}, false, {key(Key::right, true)}},
        {"Shift+Ctrl+arrow is shifted too", {"\x1b[1;6A"}, false, {key(Key::up, true)}},
        {"Ctrl+arrow is not", {"\x1b[1;5D"}, false, {key(Key::left)}},
        {"Enter as CR and LF", {"\r\n"}, false, {key(Key::enter), key(Key::enter)}},
        {"Backspace as DEL and BS",
         {"\x7f\x08"},
         false,
         {key(Key::backspace), key(Key::backspace)}},
        {"Ctrl-C", {"\x03"}, false, {key(Key::interrupt)}},
        {"letters", {"wL:"}, false, {ch('w'), ch('L'), ch(':')}},
        {"Esc waits for the pause", {"\x1b"}, false, {}},
        {"Esc alone after the pause", {"\x1b"}, true, {key(Key::escape)}},
        {"a sequence split across reads", {"\x1b", "[1;", "2", "B"}, true, {key(Key::down, true)}},
        {"SS3 split", {"\x1bO", "C"}, false, {key(Key::right)}},
        {"Esc, then an arrow", {"\x1b\x1b[A"}, false, {key(Key::escape), key(Key::up)}},
        {"Alt+key: Esc, then the key", {"\x1bx"}, false, {key(Key::escape), ch('x')}},
        {"other sequences are dropped whole", {"\x1b[3~a\x1bOPb"}, false, {ch('a'), ch('b')}},
        {"an unfinished sequence is dropped at the pause", {"\x1b["}, true, {}},
        {"a broken sequence gives way to what follows",
         {"\x1b[1\x03"},
         false,
         {key(Key::interrupt)}},
        {"a sequence that never ends is dropped",
         {"\x1b[" + std::string(40, '1'), "q"},
         false,
         {ch('q')}},
        {"tabs and non-ASCII bytes are no keys", {"\t\xc3\xa9z"}, false, {ch('z')}},
    };
    for(const auto& c : cases) {
        KeyDecoder decoder;
        std::vector<KeyEvent> keys;
        for(const auto& bytes : c.reads) {
            const auto more = decoder.feed(bytes);
            keys.insert(keys.end(), more.begin(), more.end());
        }
        if(c.pause) {
            const auto more = decoder.flush();
            keys.insert(keys.end(), more.begin(), more.end());
            EXPECT_FALSE(decoder.pending()) << c.name;
        }
        EXPECT_EQ(keys, c.keys) << c.name;
    }
}

/// The code point of a 3-byte UTF-8 character at `at` (braille lives at U+2800-U+28FF).
char32_t code_point(const std::string& s, std::size_t at) {
    return (static_cast<char32_t>(s[at] & 0x0F) << 12) |
           (static_cast<char32_t>(s[at + 1] & 0x3F) << 6) |
           static_cast<char32_t>(s[at + 2] & 0x3F);
}

TEST(Render, BrailleDotsAndHalfBlocksFollowThePixels) {
    // Dots 1-2-3-7 run down a cell's left column, 4-5-6-8 down its right.
    const struct {
        int x, y;
        char32_t braille;
    } dots[] = {
        {0, 0, 0x2801},
        {0, 1, 0x2802},
        {0, 2, 0x2804},
        {1, 0, 0x2808},
        {1, 1, 0x2810},
        {1, 2, 0x2820},
        {0, 3, 0x2840},
        {1, 3, 0x2880},
    };
    for(const auto& d : dots) {
        host::Screen s;
        s.set_pixel(d.x, d.y, true);
        const auto lines = render_pixels(s, RenderMode::braille);
        ASSERT_EQ(lines.size(), 16u);
        EXPECT_EQ(code_point(lines[0], 0), d.braille) << d.x << "," << d.y;
        EXPECT_EQ(code_point(lines[0], 3), 0x2800u);
    }
    host::Screen corner;
    corner.set_pixel(127, 63, true);
    const auto braille = render_pixels(corner, RenderMode::braille);
    EXPECT_EQ(braille[15].size(), 64u * 3);
    EXPECT_EQ(code_point(braille[15], 63 * 3), 0x2880u);

    host::Screen blocks;
    blocks.set_pixel(0, 0, true);
    blocks.set_pixel(1, 1, true);
    blocks.set_pixel(2, 0, true);
    blocks.set_pixel(2, 1, true);
    const auto rows = render_pixels(blocks, RenderMode::blocks);
    ASSERT_EQ(rows.size(), 32u);
    EXPECT_EQ(rows[0].substr(0, 10), "\u2580\u2584\u2588 ");
    EXPECT_EQ(rows[1], std::string(128, ' '));
}

/// Columns a line takes: code points outside escape sequences.
int columns(const std::string& line) {
    int n = 0;
    for(std::size_t i = 0; i < line.size(); ++i) {
        if(line[i] == '\x1b') {
            while(i < line.size() && line[i] != 'm') ++i;
            continue;
        }
        if((static_cast<unsigned char>(line[i]) & 0xC0) != 0x80) ++n;
    }
    return n;
}

TEST(Render, FramesFitTheirSizeAndAutoTakesBlocksOnlyWhenAllFits) {
    host::Screen s;
    for(RenderMode mode : {RenderMode::braille, RenderMode::blocks}) {
        for(bool colour : {false, true}) {
            const auto lines = render_framed(s, mode, colour, "corvane");
            const Size size = picture_size(mode);
            ASSERT_EQ(static_cast<int>(lines.size()), size.rows);
            for(const auto& line : lines) EXPECT_EQ(columns(line), size.columns) << line;
            EXPECT_EQ(lines[0].find("corvane"), std::string("\u250c\u2500 ").size());
            // Each pixel line resets its colour, so that a line painted alone is right.
            EXPECT_EQ(lines[1].find("\x1b[0m") != std::string::npos, colour);
        }
    }
    EXPECT_EQ(picture_size(RenderMode::braille), (Size{66, 18}));
    const struct {
        const char* setting;
        Size size;
        std::optional<RenderMode> mode;
    } choices[] = {
        {"auto", {80, 24}, RenderMode::braille},
        {"auto", {130, 39}, RenderMode::blocks},
        {"auto", {130, 38}, RenderMode::braille},
        {"auto", {129, 60}, RenderMode::braille},
        {"blocks", {80, 24}, RenderMode::blocks},
        {"braille", {200, 60}, RenderMode::braille},
        {"sixel", {200, 60}, std::nullopt},
    };
    for(const auto& c : choices)
        EXPECT_EQ(choose_render(c.setting, c.size), c.mode)
            << c.setting << " " << c.size.columns << "x" << c.size.rows;
}

TEST(Painter, RewritesOnlyTheLinesThatChanged) {
    Painter painter;
    EXPECT_EQ(painter.paint({"a", "b"}), "\x1b[H\x1b[2J\x1b[1;1Ha\x1b[K\x1b[2;1Hb\x1b[K");
    EXPECT_EQ(painter.paint({"a", "b"}), "");
    EXPECT_EQ(painter.paint({"a", "c"}), "\x1b[2;1Hc\x1b[K");
    EXPECT_EQ(painter.paint({"a"}), "\x1b[2;1H\x1b[K") << "a line that went is cleared";
    painter.invalidate();
    EXPECT_EQ(painter.paint({"a"}), "\x1b[H\x1b[2J\x1b[1;1Ha\x1b[K");

    EXPECT_EQ(fit("\u2502abc\u2502", 3), "\u2502ab");
    EXPECT_EQ(fit("\x1b[7mabcdef\x1b[0m", 2), "\x1b[7mab\x1b[0m") << "the colour's reset is kept";
    EXPECT_EQ(fit("a\tb", 5), "a b") << "control characters would move the cursor";
}

TEST(Status, NamesTheLedAndBreaksTheScreenTextBetweenStrings) {
    host::NotificationState led;
    EXPECT_EQ(led_text(led), "LED off");
    EXPECT_EQ(led_state(led), "off");
    led.led = {0, 255, 0};
    EXPECT_EQ(led_text(led), "LED green");
    EXPECT_EQ(led_state(led), "green (steady)");
    led.blinking = true;
    led.blink_color = {0, 255, 255};
    EXPECT_EQ(led_text(led), "LED cyan blinking over green");
    EXPECT_EQ(led_state(led), "blinking cyan over green");
    led.led = {};
    EXPECT_EQ(led_text(led), "LED cyan blinking");
    EXPECT_EQ(colour_name({255, 128, 0}), "orange #FF8000");
    EXPECT_EQ(colour_name({32, 48, 64}), "#203040");
    // Names read back as the colours they name; so does any "#RRGGBB".
    for(const auto& named : kNamedColours) EXPECT_EQ(colour_from_name(named.name), named.rgb);
    EXPECT_EQ(colour_from_name("#20304a"), (host::Rgb{32, 48, 74}));
    EXPECT_EQ(colour_from_name("pink"), std::nullopt);
    EXPECT_EQ(colour_from_name("#2030G0"), std::nullopt);
    led.vibro = true;
    EXPECT_EQ(
        outputs_text(led, true, host::ms(12'345)),
        "LED cyan blinking \u00b7 vibro ON \u00b7 speaker off \u00b7 5V on \u00b7 12.3 s");

    EXPECT_EQ(
        screen_text_lines({"Read Tag", " ", "Saved"}, 80, 2),
        (std::vector<std::string>{"screen: Read Tag | Saved"}));
    EXPECT_EQ(
        screen_text_lines({"Module Info", "HW Version: M100", "Continue", "More"}, 30, 2),
        (std::vector<std::string>{
            "screen: Module Info", "       HW Version: M100 | Continue | More"}))
        << "at most two lines; the last runs on (the painter cuts it)";
    EXPECT_EQ(screen_text_lines({}, 80, 2), (std::vector<std::string>{"screen:"}));
}

} // namespace
} // namespace sim::terminal
