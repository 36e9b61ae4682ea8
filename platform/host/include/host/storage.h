#pragma once
#include <storage/storage.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace host {

class Runtime;

/// The storage service of the host runtime: the record "storage" (a Storage*), with the SD card
/// ("/ext", also reachable as "/any") kept in a host folder. "/data" is the calling app's data
/// folder "/ext/apps_data/<appid>", created on first use: the app id is the calling thread's
/// (furi_thread_set_appid), else the service's default app id.
///
/// Construct on a platform thread after the Runtime; destroy before it, after the apps closed the
/// record. Tests give each case its own folder:
///     host::StorageService storage(runtime, temp_dir, "corvane");
///     std::filesystem::path p = *storage.resolve("/data/tag.uhf");  // <temp_dir>/apps_data/corvane/tag.uhf
class StorageService {
public:
    /// The SD card's folder is created when missing.
    StorageService(Runtime& runtime, std::filesystem::path sd_root, std::string default_app_id = {});
    ~StorageService();
    StorageService(const StorageService&) = delete;
    StorageService& operator=(const StorageService&) = delete;

    Storage* storage() const { return storage_; }
    const std::filesystem::path& sd_root() const;
    void set_default_app_id(std::string app_id);

    /// The host path of a platform path; nothing for a path that is not absolute, climbs with "..",
    /// has an unknown root (only /ext, /any and /data are served), or is under /data with no app id.
    std::optional<std::filesystem::path> resolve(std::string_view path) const;

private:
    Storage* storage_;
};

/// The same resolution from a Storage* handed out by the record (for the storage functions).
std::optional<std::filesystem::path> storage_resolve(Storage* storage, std::string_view path);

}  // namespace host
