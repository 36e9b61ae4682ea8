// Loads the canvas fonts through FreeType: the device's four faces, cut to the glyphs the device
// has, with the device's line metrics.
//
//   FontPrimary    Helvetica Bold 8 pt, 100 dpi cut (helvB08.pcf.gz of Debian's xfonts-100dpi)
//   FontSecondary  HaxrCorp 4089 (haxrcorp4089.ttf), rendered at 16 px, monochrome
//   FontKeyboard   ProFont 11 (profont11.bdf), 6 px monospace
//   FontBigNumbers ProFont 22 (profont22.bdf), only the space, digits and " *+,-./:"
//
// The last three ship with the project in platform/fonts, with their licences.
#include "fonts.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#ifndef FURI_HOST_FONT_SOURCE_DIR
#define FURI_HOST_FONT_SOURCE_DIR "platform/fonts"
#endif

namespace gui_host {
namespace {

constexpr const char* kX11Dir100dpi = "/usr/share/fonts/X11/100dpi";

struct FaceSpec {
    const char* file;
    bool system;         // read from the X11 100 dpi folder, not the project's
    const char* package; // where to get it when it is missing
    int pixel_size;      // for scalable faces; 0 for bitmap fonts
    unsigned last_code;  // glyphs exist from 0x20 up to this code
    const char* only;    // when set, the only characters the font holds
    int line_height;     // canvas_current_font_height
    int ascent;          // added by vertical alignment
    CanvasFontParameters params;
};

constexpr std::array<FaceSpec, FontTotalNumber> kFaces{{
    {"helvB08.pcf.gz",
     true,
     "the Debian package xfonts-100dpi",
     0,
     0x7E,
     nullptr,
     11,
     8,
     {12, 11, 8, 2}},
    {"haxrcorp4089.ttf",
     false,
     "the project's platform/fonts folder",
     16,
     0x7E,
     nullptr,
     11,
     7,
     {11, 9, 7, 2}},
    {"profont11.bdf",
     false,
     "the project's platform/fonts folder",
     0,
     0x7F,
     nullptr,
     11,
     7,
     {11, 9, 7, 2}},
    {"profont22.bdf",
     false,
     "the project's platform/fonts folder",
     0,
     0x7E,
     " *+,-./0123456789:",
     20,
     14,
     {18, 16, 15, 0}},
}};

struct FontSet {
    std::array<FontFace, FontTotalNumber> faces;
    bool ok = false;
    std::string error;
};

class FreeTypeLibrary {
public:
    FreeTypeLibrary() { failed_ = FT_Init_FreeType(&lib_) != 0; }
    ~FreeTypeLibrary() {
        if(!failed_) FT_Done_FreeType(lib_);
    }
    FreeTypeLibrary(const FreeTypeLibrary&) = delete;
    FreeTypeLibrary& operator=(const FreeTypeLibrary&) = delete;
    bool failed() const { return failed_; }
    FT_Library get() const { return lib_; }

private:
    FT_Library lib_{};
    bool failed_ = true;
};

class FaceHandle {
public:
    FaceHandle(FT_Library lib, const std::string& path) {
        failed_ = FT_New_Face(lib, path.c_str(), 0, &face_) != 0;
    }
    ~FaceHandle() {
        if(!failed_) FT_Done_Face(face_);
    }
    FaceHandle(const FaceHandle&) = delete;
    FaceHandle& operator=(const FaceHandle&) = delete;
    bool failed() const { return failed_; }
    FT_Face get() const { return face_; }

private:
    FT_Face face_{};
    bool failed_ = true;
};

Glyph load_glyph(FT_Face face, unsigned long code) {
    Glyph out;
    const FT_UInt index = FT_Get_Char_Index(face, code);
    if(index == 0) return out;
    if(FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) != 0)
        return out;
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bm = slot->bitmap;
    out.present = true;
    out.advance = static_cast<int>((slot->advance.x + 32) >> 6);
    const int rows = static_cast<int>(bm.rows);
    const int cols = static_cast<int>(bm.width);
    auto bit = [&](int c, int r) -> bool {
        if(bm.pixel_mode == FT_PIXEL_MODE_MONO)
            return (bm.buffer[r * bm.pitch + c / 8] >> (7 - c % 8)) & 1;
        return bm.buffer[r * bm.pitch + c] >= 128;
    };
    // Trim to the ink, as the device's font data is: the box is what the width rule counts.
    int min_c = cols, max_c = -1, min_r = rows, max_r = -1;
    for(int r = 0; r < rows; ++r)
        for(int c = 0; c < cols; ++c)
            if(bit(c, r)) {
                min_c = std::min(min_c, c);
                max_c = std::max(max_c, c);
                min_r = std::min(min_r, r);
                max_r = std::max(max_r, r);
            }
    if(max_c < 0) return out; // a blank glyph (space)
    out.width = max_c - min_c + 1;
    out.height = max_r - min_r + 1;
    out.left = slot->bitmap_left + min_c;
    out.top = slot->bitmap_top - min_r;
    out.ink.resize(static_cast<std::size_t>(out.width * out.height));
    for(int r = 0; r < out.height; ++r)
        for(int c = 0; c < out.width; ++c)
            out.ink[static_cast<std::size_t>(r * out.width + c)] = bit(min_c + c, min_r + r) ? 1 :
                                                                                               0;
    return out;
}

std::string override_directory() {
    const char* dir = std::getenv("FURI_HOST_FONT_DIR");
    return dir != nullptr ? std::string(dir) : std::string();
}

std::string path_of(const FaceSpec& spec) {
    std::string dir = override_directory();
    if(dir.empty()) dir = spec.system ? kX11Dir100dpi : FURI_HOST_FONT_SOURCE_DIR;
    return (std::filesystem::path(dir) / spec.file).string();
}

bool held(const FaceSpec& spec, unsigned code) {
    if(code < 0x20 || code > spec.last_code) return false;
    if(spec.only == nullptr) return true;
    return std::string_view(spec.only).find(static_cast<char>(code)) != std::string_view::npos;
}

bool load_face(FT_Library lib, const FaceSpec& spec, FontFace& face, std::string& error) {
    const std::string path = path_of(spec);
    if(!std::filesystem::exists(path)) {
        error =
            "font file " + path + " not found: it comes from " + spec.package +
            " (or point FURI_HOST_FONT_DIR at a folder holding helvB08.pcf.gz, haxrcorp4089.ttf, "
            "profont11.bdf and profont22.bdf)";
        return false;
    }
    FaceHandle handle(lib, path);
    if(handle.failed()) {
        error = "FreeType cannot read font file " + path;
        return false;
    }
    FT_Face ft = handle.get();
    const bool sized = spec.pixel_size > 0 ?
                           FT_Set_Pixel_Sizes(ft, 0, static_cast<FT_UInt>(spec.pixel_size)) == 0 :
                           ft->num_fixed_sizes > 0 && FT_Select_Size(ft, 0) == 0;
    if(!sized) {
        error = "FreeType cannot size font file " + path;
        return false;
    }
    face.file = spec.file;
    face.path = path;
    face.line_height = spec.line_height;
    face.ascent = spec.ascent;
    face.params = spec.params;
    for(unsigned code = 0; code < face.glyphs.size(); ++code)
        if(held(spec, code)) face.glyphs[code] = load_glyph(ft, code);
    const unsigned char reference = spec.only != nullptr ? '0' : 'A';
    if(!face.glyphs[reference].present || face.glyphs[reference].height == 0) {
        error = "font file " + path + " has no glyph '" +
                std::string(1, static_cast<char>(reference)) + "'";
        return false;
    }
    // The ink's reach from letters and digits (brackets and bars may fill the whole cell): what a
    // drawn string's recorded box covers.
    for(unsigned code = '0'; code <= 'z'; ++code) {
        const bool digit = code >= '0' && code <= '9';
        const bool letter = (code >= 'A' && code <= 'Z') || (code >= 'a' && code <= 'z');
        const Glyph& g = face.glyphs[code];
        if((!digit && !letter) || !g.present || g.height == 0) continue;
        face.ink_ascent = std::max(face.ink_ascent, g.top);
        face.ink_descent = std::max(face.ink_descent, g.height - g.top);
    }
    return true;
}

FontSet load_all() {
    FontSet set;
    FreeTypeLibrary lib;
    if(lib.failed()) {
        set.error = "FreeType failed to initialise";
        return set;
    }
    for(std::size_t i = 0; i < kFaces.size(); ++i)
        if(!load_face(lib.get(), kFaces[i], set.faces[i], set.error)) return set;
    set.ok = true;
    return set;
}

// Immutable after the first load; shared by every canvas in the process.
const FontSet& font_set() {
    static const FontSet set = load_all();
    return set;
}

} // namespace

int FontFace::text_width(std::string_view text) const {
    int width = 0;
    const Glyph* last = nullptr;
    for(const char ch : text) {
        const Glyph& g = glyph(static_cast<unsigned char>(ch));
        if(!g.present) continue;
        width += g.advance;
        last = &g;
    }
    // A last glyph without ink (a space) keeps its advance.
    if(last != nullptr && last->width > 0) width += last->left + last->width - last->advance;
    return std::max(width, 0);
}

std::string font_path(Font font) {
    const auto index = static_cast<std::size_t>(font);
    return index < kFaces.size() ? path_of(kFaces[index]) : std::string();
}

bool fonts_load(std::string* error) {
    const FontSet& set = font_set();
    if(!set.ok && error != nullptr) *error = set.error;
    return set.ok;
}

const FontFace& font_face(Font font) {
    const FontSet& set = font_set();
    if(!set.ok) {
        std::fprintf(stderr, "[gui] cannot load fonts: %s\n", set.error.c_str());
        std::abort();
    }
    const auto index = static_cast<std::size_t>(font);
    return set.faces[index < set.faces.size() ? index : static_cast<std::size_t>(FontSecondary)];
}

const char* font_file_name(Font font) {
    const auto index = static_cast<std::size_t>(font);
    return index < kFaces.size() ? kFaces[index].file : "";
}

} // namespace gui_host
