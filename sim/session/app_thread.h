#pragma once
// An app's own platform thread, started as the loader starts it: allocated with the app's stack,
// tagged with its appid (so /data resolves to its folder), and joined and freed once it ended.

#include <furi.h>

#include <cstdint>
#include <optional>

namespace sim {

class AppThread {
public:
    AppThread() = default;
    AppThread(const AppThread&) = delete;
    AppThread& operator=(const AppThread&) = delete;
    /// The thread must have been joined (the app ended) before this goes.
    ~AppThread() { join(); }

    void start(const char* appid, std::uint32_t stack, FuriThreadCallback entry, void* context = nullptr) {
        thread_ = furi_thread_alloc_ex(appid, stack, entry, context);
        furi_thread_set_appid(thread_, appid);
        furi_thread_start(thread_);
    }
    bool started() const { return thread_ != nullptr; }
    bool running() const {
        return thread_ != nullptr && furi_thread_get_state(thread_) != FuriThreadStateStopped;
    }
    /// Joins and frees the thread once the app has ended; its return code. Nothing while it
    /// still runs (or was never started).
    std::optional<int32_t> join() {
        if(thread_ == nullptr || running()) return std::nullopt;
        furi_thread_join(thread_);
        const int32_t code = furi_thread_get_return_code(thread_);
        furi_thread_free(thread_);
        thread_ = nullptr;
        return code;
    }

private:
    FuriThread* thread_ = nullptr;
};

} // namespace sim
