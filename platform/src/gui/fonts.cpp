// Loads the canvas fonts from PCF files through FreeType.
//
// Faces (all from xfonts-base, ISO 10646 encoded, so byte values map to Latin-1):
//   FontPrimary    clB6x10  Schumacher Clean Bold, 6 px cells, caps 7 px: the bold small face
//   FontSecondary  clR5x8   Schumacher Clean, 5 px cells, caps 7 px: the small face
//   FontKeyboard   clR6x12  Schumacher Clean 6x12: 6 px wide, 11 px of ink from ascender to descender
//   FontBigNumbers 12x24    misc-fixed 12x24, digits 20 px high, 12 px wide
#include "fonts.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace gui_host {
namespace {

struct FaceSpec {
    const char* file;
    unsigned char reference;  // glyph whose ink height is the cap height
    bool digits_only_metrics; // ascent/descent from digits and a few signs only
};

constexpr std::array<FaceSpec, FontTotalNumber> kFaces{{
    {"clB6x10.pcf.gz", 'A', false},
    {"clR5x8.pcf.gz", 'A', false},
    {"clR6x12.pcf.gz", 'A', false},
    {"12x24.pcf.gz", '0', true},
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
    out.advance = static_cast<int>(slot->advance.x >> 6);
    const int rows = static_cast<int>(bm.rows);
    const int cols = static_cast<int>(bm.width);
    auto bit = [&](int c, int r) -> bool {
        if(bm.pixel_mode == FT_PIXEL_MODE_MONO)
            return (bm.buffer[r * bm.pitch + c / 8] >> (7 - c % 8)) & 1;
        return bm.buffer[r * bm.pitch + c] >= 128;
    };
    // Trim to the ink so that metrics describe what is drawn, not the cell.
    int min_c = cols, max_c = -1, min_r = rows, max_r = -1;
    for(int r = 0; r < rows; ++r)
        for(int c = 0; c < cols; ++c)
            if(bit(c, r)) {
                min_c = std::min(min_c, c);
                max_c = std::max(max_c, c);
                min_r = std::min(min_r, r);
                max_r = std::max(max_r, r);
            }
    if(max_c < 0) return out;  // a blank glyph (space)
    out.width = max_c - min_c + 1;
    out.height = max_r - min_r + 1;
    out.left = slot->bitmap_left + min_c;
    out.top = slot->bitmap_top - min_r;
    out.ink.resize(static_cast<std::size_t>(out.width * out.height));
    for(int r = 0; r < out.height; ++r)
        for(int c = 0; c < out.width; ++c)
            out.ink[static_cast<std::size_t>(r * out.width + c)] = bit(min_c + c, min_r + r) ? 1 : 0;
    return out;
}

bool load_face(FT_Library lib, const FaceSpec& spec, FontFace& face, std::string& error) {
    const std::string path = (std::filesystem::path(font_directory()) / spec.file).string();
    if(!std::filesystem::exists(path)) {
        error = "font file " + path +
                " not found: install the Debian package xfonts-base or point FURI_HOST_FONT_DIR "
                "at a folder with the X11 misc PCF fonts";
        return false;
    }
    FaceHandle handle(lib, path);
    if(handle.failed()) {
        error = "FreeType cannot read font file " + path;
        return false;
    }
    FT_Face ft = handle.get();
    if(ft->num_fixed_sizes > 0) FT_Set_Pixel_Sizes(ft, 0, static_cast<FT_UInt>(ft->available_sizes[0].height));
    face.file = spec.file;
    face.cell_height = ft->num_fixed_sizes > 0 ? ft->available_sizes[0].height : 0;
    for(unsigned code = 32; code < 256; ++code) {
        if(code >= 127 && code < 160) continue;  // C1 controls
        face.glyphs[code] = load_glyph(ft, code);
    }
    const Glyph& ref = face.glyphs[spec.reference];
    if(!ref.present || ref.height == 0) {
        error = "font file " + path + " has no glyph '" + std::string(1, static_cast<char>(spec.reference)) + "'";
        return false;
    }
    face.cap_height = ref.top;
    // Line metrics from letters and digits: brackets and bars may fill the whole cell.
    for(unsigned code = 33; code < 127; ++code) {
        const bool digit = code >= '0' && code <= '9';
        const bool letter = (code >= 'A' && code <= 'Z') || (code >= 'a' && code <= 'z');
        if(!digit && (spec.digits_only_metrics || !letter)) continue;
        const Glyph& g = face.glyphs[code];
        if(!g.present || g.height == 0) continue;
        face.ascent = std::max(face.ascent, g.top);
        face.descent = std::max(face.descent, g.height - g.top);
    }
    const int line = face.ascent + face.descent;
    face.params.height = static_cast<std::uint8_t>(face.cap_height);
    face.params.descender = static_cast<std::uint8_t>(face.descent);
    face.params.leading_min = static_cast<std::uint8_t>(line);
    face.params.leading_default = static_cast<std::uint8_t>(line + 1);
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

}  // namespace

std::string font_directory() {
    if(const char* dir = std::getenv("FURI_HOST_FONT_DIR"); dir != nullptr && *dir != '\0') return dir;
    return "/usr/share/fonts/X11/misc";
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

}  // namespace gui_host
