#pragma once
// A FuriString that frees itself: tests hold platform strings without leaking them on a failed
// assertion.

#include <furi.h>

#include <memory>
#include <string>

namespace test_support {

struct FuriStringDeleter {
    void operator()(FuriString* s) const { furi_string_free(s); }
};
using FuriStringPtr = std::unique_ptr<FuriString, FuriStringDeleter>;

inline FuriStringPtr make_furi_string(const char* text = "") {
    return FuriStringPtr{furi_string_alloc_set_str(text)};
}

inline std::string text_of(const FuriStringPtr& s) {
    return furi_string_get_cstr(s.get());
}

} // namespace test_support
