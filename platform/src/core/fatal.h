#pragma once
// Stopping the run on API misuse, with a message that says what went wrong and where.

#include <cstddef>
#include <new>
#include <utility>

namespace host {

[[noreturn]] void fatal(const char* format, ...) __attribute__((__format__(__printf__, 1, 2)));

/// The null check of the runtime's entry points, one per kind of object:
///     constexpr host::NotNull<Widget> require{"widget"};
///     require(widget, "widget_reset");   // the pointer, or "widget_reset: widget is null"
template <typename T>
struct NotNull {
    const char* name;
    T* operator()(T* pointer, const char* what) const {
        if(pointer == nullptr) fatal("%s: %s is null", what, name);
        return pointer;
    }
};

} // namespace host

extern "C" {
void* furi_host_malloc(std::size_t size);
void furi_host_free(void* ptr);
}

namespace host {

/// Runtime objects handed to app code live in the counting allocator, so a forgotten _free shows
/// up as a live block in the app's leak check.
template <typename T, typename... Args>
T* make_tracked(Args&&... args) {
    void* memory = furi_host_malloc(sizeof(T));
    if(memory == nullptr) fatal("out of memory allocating a platform object");
    return new(memory) T(std::forward<Args>(args)...);
}

template <typename T>
void destroy_tracked(T* object) {
    if(object == nullptr) return;
    object->~T();
    furi_host_free(object);
}

} // namespace host
