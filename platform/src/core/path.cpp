// Path helpers of the platform's toolbox. Paths are plain '/'-separated strings ("/ext/apps_data/x");
// nothing here touches storage. Results are computed before the output is written, so an output
// string may also be the input (path_extract_filename(p, p, true)).

#include <furi/core/check.h>
#include <furi/core/string.h>
#include <toolbox/path.h>

#include <algorithm>
#include <string>
#include <string_view>

namespace {

std::string_view view_of(const char* path) {
    furi_check(path != nullptr);
    return path;
}

std::string_view view_of(const FuriString* path) {
    furi_check(path != nullptr);
    return {furi_string_get_cstr(path), furi_string_size(path)};
}

void assign(FuriString* out, std::string_view value) {
    furi_check(out != nullptr);
    const std::string copy{value}; // value may point into out
    furi_string_set_strn(out, copy.c_str(), copy.size());
}

std::string_view without_trailing_slashes(std::string_view path) {
    while(!path.empty() && path.back() == '/') path.remove_suffix(1);
    return path;
}

// The text after the last '/' (all of it when there is none).
std::string_view last_component(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view without_extension(std::string_view name) {
    const auto dot = name.rfind('.');
    return dot == std::string_view::npos ? name : name.substr(0, dot);
}

} // namespace

extern "C" {

void path_extract_filename(FuriString* path, FuriString* filename, bool trim_ext) {
    std::string_view name = last_component(view_of(path));
    if(trim_ext) name = without_extension(name);
    assign(filename, name);
}

void path_extract_filename_no_ext(const char* path, FuriString* filename) {
    assign(filename, without_extension(last_component(view_of(path))));
}

void path_extract_extension(FuriString* path, char* ext, size_t ext_len_max) {
    furi_check(ext != nullptr || ext_len_max == 0);
    const std::string_view name = last_component(view_of(path));
    const auto dot = name.rfind('.');
    const std::string_view extension = dot == std::string_view::npos ? std::string_view{} :
                                                                       name.substr(dot);
    if(ext_len_max == 0) return;
    const std::size_t length = std::min(extension.size(), ext_len_max - 1);
    std::copy_n(extension.data(), length, ext);
    ext[length] = '\0';
}

void path_extract_dirname(const char* path, FuriString* dirname) {
    // With no '/' left after trimming, the (trimmed) path is returned as it is.
    const std::string_view trimmed = without_trailing_slashes(view_of(path));
    const auto slash = trimmed.rfind('/');
    assign(dirname, slash == std::string_view::npos ? trimmed : trimmed.substr(0, slash));
}

void path_extract_basename(const char* path, FuriString* basename) {
    assign(basename, last_component(without_trailing_slashes(view_of(path))));
}

void path_append(FuriString* path, const char* suffix) {
    std::string_view tail = view_of(suffix);
    while(!tail.empty() && tail.front() == '/') tail.remove_prefix(1);
    if(tail.empty()) return;
    std::string joined{without_trailing_slashes(view_of(path))};
    joined += '/';
    joined += tail;
    assign(path, joined);
}

void path_concat(const char* path, const char* suffix, FuriString* out_path) {
    const std::string base{view_of(path)}; // path may point into out_path
    const std::string tail{view_of(suffix)};
    assign(out_path, base);
    path_append(out_path, tail.c_str());
}

bool path_contains_only_ascii(const char* path) {
    for(const char c : view_of(path)) {
        const auto byte = static_cast<unsigned char>(c);
        if(byte < 0x20 || byte > 0x7E) return false;
    }
    return true;
}

} // extern "C"
