#pragma once
// Stopping the run on API misuse, with a message that says what went wrong and where.

#include <cstddef>
#include <new>
#include <utility>

namespace host {

[[noreturn]] void fatal(const char* format, ...) __attribute__((__format__(__printf__, 1, 2)));

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
