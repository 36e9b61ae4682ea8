// icongen: turns an app's images/ PNGs into the I_<name> icons of a generated <appid>_icons.h,
// as the platform's build tool does for fap_icon_assets. An ink pixel (host/png_ink.h: opaque,
// darker than half) is a set bit; rows are ceil(width / 8) bytes with the leftmost pixel in bit 0.
//
//   icongen --appid ID --out-dir DIR [--package-icon PNG] IMAGES_DIR
//       writes DIR/ID_icons.h and DIR/ID_icons.cpp (only when their content changes)
//   icongen --dump PNG
//       prints the icon's bytes in hex, one row per line (to check an image by eye or in a test)
#include <png.h>

#include "host/png_ink.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bytes; // XBM rows
};

std::optional<Bitmap> read_bitmap(const fs::path& path, std::string& error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if(!png_image_begin_read_from_file(&image, path.c_str())) {
        error = path.string() + ": not a readable PNG (" + image.message + ")";
        return std::nullopt;
    }
    if(image.width == 0 || image.height == 0 || image.width > 255 || image.height > 255) {
        error = path.string() + ": " + std::to_string(image.width) + "x" +
                std::to_string(image.height) + " is not a valid icon size (1..255 on each side)";
        png_image_free(&image);
        return std::nullopt;
    }
    image.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> rgba(PNG_IMAGE_SIZE(image));
    if(!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
        error = path.string() + ": cannot decode PNG (" + image.message + ")";
        png_image_free(&image);
        return std::nullopt;
    }
    Bitmap bitmap;
    bitmap.width = static_cast<int>(image.width);
    bitmap.height = static_cast<int>(image.height);
    const int stride = (bitmap.width + 7) / 8;
    bitmap.bytes.assign(static_cast<std::size_t>(stride * bitmap.height), 0);
    for(int y = 0; y < bitmap.height; ++y)
        for(int x = 0; x < bitmap.width; ++x) {
            const std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * image.width + x) * 4];
            if(host::png_ink(p[0], p[1], p[2], p[3]))
                bitmap.bytes[static_cast<std::size_t>(y * stride + x / 8)] |=
                    static_cast<std::uint8_t>(1u << (x % 8));
        }
    return bitmap;
}

bool valid_identifier(const std::string& name) {
    if(name.empty() || std::isdigit(static_cast<unsigned char>(name[0]))) return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
}

std::string hex_bytes(const std::vector<std::uint8_t>& bytes, const char* indent) {
    std::ostringstream out;
    for(std::size_t i = 0; i < bytes.size(); ++i) {
        if(i % 16 == 0) out << (i == 0 ? "" : "\n") << indent;
        char text[8];
        std::snprintf(text, sizeof text, "0x%02X,", bytes[i]);
        out << text << (i % 16 == 15 || i + 1 == bytes.size() ? "" : " ");
    }
    return out.str();
}

void write_icon(std::ostringstream& out, const std::string& symbol, const Bitmap& bitmap) {
    out << "static const uint8_t " << symbol << "_frame_0[] = {\n"
        << hex_bytes(bitmap.bytes, "    ") << "\n};\n";
    out << "static const uint8_t* const " << symbol << "_frames[] = {" << symbol << "_frame_0};\n";
    out << "const Icon " << symbol << " = {" << bitmap.width << ", " << bitmap.height << ", 1, 0, "
        << symbol << "_frames};\n\n";
}

bool write_if_changed(const fs::path& path, const std::string& content, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if(in) {
        const std::string old(
            (std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if(old == content) return true;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if(!out) {
        error = "cannot write " + path.string();
        return false;
    }
    return true;
}

int usage() {
    std::fprintf(
        stderr,
        "usage: icongen --appid ID --out-dir DIR [--package-icon PNG] IMAGES_DIR\n"
        "       icongen --dump PNG\n");
    return 2;
}

int dump(const fs::path& png) {
    std::string error;
    const auto bitmap = read_bitmap(png, error);
    if(!bitmap) {
        std::fprintf(stderr, "icongen: %s\n", error.c_str());
        return 1;
    }
    std::printf("%dx%d\n", bitmap->width, bitmap->height);
    const int stride = (bitmap->width + 7) / 8;
    for(int y = 0; y < bitmap->height; ++y) {
        for(int i = 0; i < stride; ++i)
            std::printf(
                "%s%02X", i ? " " : "", bitmap->bytes[static_cast<std::size_t>(y * stride + i)]);
        std::printf("\n");
    }
    return 0;
}

/// The WxH of a name ending in "_<W>x<H>" (digits only), as the platform's build tool reads it.
std::optional<std::pair<int, int>> size_suffix(const std::string& name) {
    const auto digits = [](std::string_view text) {
        return !text.empty() && text.size() <= 4 &&
               std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
    };
    const std::size_t underscore = name.rfind('_');
    if(underscore == std::string::npos) return std::nullopt;
    const std::string_view suffix = std::string_view(name).substr(underscore + 1);
    const std::size_t x = suffix.find('x');
    if(x == std::string_view::npos || !digits(suffix.substr(0, x)) || !digits(suffix.substr(x + 1)))
        return std::nullopt;
    return std::pair{std::stoi(std::string(suffix.substr(0, x))), std::stoi(std::string(suffix.substr(x + 1)))};
}

} // namespace

int main(int argc, char** argv) {
    std::string appid;
    fs::path out_dir;
    fs::path package_icon;
    fs::path images_dir;
    for(int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if(arg == "--dump" && has_value) return dump(argv[i + 1]);
        if(arg == "--appid" && has_value)
            appid = argv[++i];
        else if(arg == "--out-dir" && has_value)
            out_dir = argv[++i];
        else if(arg == "--package-icon" && has_value)
            package_icon = argv[++i];
        else if(!arg.empty() && arg[0] != '-' && images_dir.empty())
            images_dir = arg;
        else
            return usage();
    }
    if(appid.empty() || out_dir.empty() || images_dir.empty()) return usage();
    const auto appid_char = [](unsigned char c) { return std::islower(c) || std::isdigit(c) || c == '_'; };
    if(appid.empty() || !std::all_of(appid.begin(), appid.end(), appid_char)) {
        std::fprintf(stderr, "icongen: appid \"%s\" must match ^[a-z0-9_]+$\n", appid.c_str());
        return 1;
    }
    std::error_code ec;
    if(!fs::is_directory(images_dir, ec)) {
        std::fprintf(stderr, "icongen: %s is not a folder\n", images_dir.c_str());
        return 1;
    }

    std::vector<fs::path> pngs;
    for(const auto& entry : fs::directory_iterator(images_dir))
        if(entry.is_regular_file() && entry.path().extension() == ".png")
            pngs.push_back(entry.path());
    std::sort(pngs.begin(), pngs.end());

    std::ostringstream header;
    std::ostringstream source;
    header
        << "/* Generated by icongen from " << images_dir.filename().string()
        << "/: do not edit. */\n"
        << "#pragma once\n#include <gui/icon.h>\n\n#ifdef __cplusplus\nextern \"C\" {\n#endif\n\n";
    source << "/* Generated by icongen: do not edit. */\n#include \"" << appid << "_icons.h\"\n\n"
           << "#include <gui/icon_i.h>\n#include <stdint.h>\n\n";

    int failures = 0;
    for(const auto& png : pngs) {
        std::string name = png.stem().string();
        std::replace(name.begin(), name.end(), '-', '_');
        const std::string symbol = "I_" + name;
        if(!valid_identifier(symbol)) {
            std::fprintf(
                stderr, "icongen: %s: \"%s\" is not a C identifier\n", png.c_str(), symbol.c_str());
            ++failures;
            continue;
        }
        std::string error;
        const auto bitmap = read_bitmap(png, error);
        if(!bitmap) {
            std::fprintf(stderr, "icongen: %s\n", error.c_str());
            ++failures;
            continue;
        }
        if(const auto size = size_suffix(name)) {
            const auto [w, h] = *size;
            if(w != bitmap->width || h != bitmap->height) {
                std::fprintf(
                    stderr,
                    "icongen: %s: the name says %dx%d but the image is %dx%d\n",
                    png.c_str(),
                    w,
                    h,
                    bitmap->width,
                    bitmap->height);
                ++failures;
                continue;
            }
        }
        header << "extern const Icon " << symbol << ";\n";
        write_icon(source, symbol, *bitmap);
    }

    if(!package_icon.empty()) {
        std::string error;
        const auto bitmap = read_bitmap(package_icon, error);
        if(!bitmap) {
            std::fprintf(stderr, "icongen: package icon: %s\n", error.c_str());
            ++failures;
        } else if(bitmap->width != 10 || bitmap->height != 10) {
            std::fprintf(
                stderr,
                "icongen: package icon %s is %dx%d; the platform wants 10x10\n",
                package_icon.c_str(),
                bitmap->width,
                bitmap->height);
            ++failures;
        } else {
            header << "\n/* The package icon (the manifest's fap_icon), for the host only. */\n"
                   << "extern const Icon " << appid << "_package_icon;\n";
            write_icon(source, appid + "_package_icon", *bitmap);
        }
    }
    header << "\n#ifdef __cplusplus\n}\n#endif\n";
    if(failures != 0) return 1;

    fs::create_directories(out_dir, ec);
    std::string error;
    if(!write_if_changed(out_dir / (appid + "_icons.h"), header.str(), error) ||
       !write_if_changed(out_dir / (appid + "_icons.cpp"), source.str(), error)) {
        std::fprintf(stderr, "icongen: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
