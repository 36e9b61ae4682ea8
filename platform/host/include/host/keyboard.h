#pragma once
// The text input's on-screen keyboard as the device lays it out: three rows of keys, two of them
// pictures (backspace, save). The text input draws and walks it; front-ends and tests use it to
// find a key on the screen and to know which characters can be typed.
//
//   q w e r t y u i o p 0 1 2 3
//   a s d f g h j k l <backspace> 4 5 6
//   z x c v b n m _ <save> 7 8 9

#include <cstdint>
#include <optional>
#include <span>

namespace host::keyboard {

inline constexpr char kBackspace = '\b';
inline constexpr char kSave = '\r';

/// x from the keyboard's origin (a selected character key's box starts there, its glyph one
/// pixel to the right); y the glyph's baseline, or a picture key's top edge, from the origin.
struct Key {
    char c;
    std::uint8_t x;
    std::uint8_t y;
};

inline constexpr std::uint8_t kOriginX = 1;
inline constexpr std::uint8_t kOriginY = 29;

inline constexpr Key kRow0[] = {
    {'q', 1, 8},
    {'w', 10, 8},
    {'e', 19, 8},
    {'r', 28, 8},
    {'t', 37, 8},
    {'y', 46, 8},
    {'u', 55, 8},
    {'i', 64, 8},
    {'o', 73, 8},
    {'p', 82, 8},
    {'0', 91, 8},
    {'1', 100, 8},
    {'2', 110, 8},
    {'3', 120, 8}};
inline constexpr Key kRow1[] = {
    {'a', 1, 20},
    {'s', 10, 20},
    {'d', 19, 20},
    {'f', 28, 20},
    {'g', 37, 20},
    {'h', 46, 20},
    {'j', 55, 20},
    {'k', 64, 20},
    {'l', 73, 20},
    {kBackspace, 82, 12},
    {'4', 100, 20},
    {'5', 110, 20},
    {'6', 120, 20}};
inline constexpr Key kRow2[] = {
    {'z', 1, 32},
    {'x', 10, 32},
    {'c', 19, 32},
    {'v', 28, 32},
    {'b', 37, 32},
    {'n', 46, 32},
    {'m', 55, 32},
    {'_', 64, 32},
    {kSave, 74, 23},
    {'7', 100, 32},
    {'8', 110, 32},
    {'9', 120, 32}};

inline constexpr std::span<const Key> kRows[] = {kRow0, kRow1, kRow2};
inline constexpr std::uint8_t kRowCount = 3;
inline constexpr std::uint8_t kSaveRow = 2;
inline constexpr std::uint8_t kSaveColumn = 8;

/// The picture keys' sizes.
inline constexpr std::uint8_t kBackspaceWidth = 16;
inline constexpr std::uint8_t kBackspaceHeight = 9;
inline constexpr std::uint8_t kSaveWidth = 24;
inline constexpr std::uint8_t kSaveHeight = 11;

struct Position {
    int row = 0;
    int column = 0;
};

/// Where the key that types `c` (lower case, digit, '_', kBackspace, kSave) sits; nothing for a
/// character the keyboard has no key for.
constexpr std::optional<Position> find(char c) {
    for(int r = 0; r < kRowCount; ++r) {
        for(int k = 0; k < static_cast<int>(kRows[r].size()); ++k) {
            if(kRows[r][static_cast<std::size_t>(k)].c == c) return Position{r, k};
        }
    }
    return std::nullopt;
}

/// Whether the keyboard types `c` (letters in either case, digits, '_').
constexpr bool types(char c) {
    const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return lower != kBackspace && lower != kSave && find(lower).has_value();
}

} // namespace host::keyboard
