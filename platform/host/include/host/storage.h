#pragma once
#include <storage/storage.h>

#include <cstddef>
#include <cstdint>
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
/// record and every file (a file left open there stops the run). Call the fault setters from a
/// platform thread (front-ends: through Runtime::inject). Tests give each case its own folder:
///     host::StorageService storage(runtime, temp_dir, "corvane");
///     std::filesystem::path p = *storage.resolve("/data/tag.uhf");  // <temp_dir>/apps_data/corvane/tag.uhf
class StorageService {
public:
    /// The SD card's folder is created when missing.
    StorageService(
        Runtime& runtime,
        std::filesystem::path sd_root,
        std::string default_app_id = {});
    ~StorageService();
    StorageService(const StorageService&) = delete;
    StorageService& operator=(const StorageService&) = delete;

    Storage* storage() const { return storage_; }
    const std::filesystem::path& sd_root() const;
    void set_default_app_id(std::string app_id);

    /// The host path of a platform path; nothing for a path that is not absolute, has a "." or ".."
    /// component or a name FAT refuses, has an unknown root (only /ext, /any, /data and /assets are
    /// served), is under /data with no app id, or leads out of the card's folder through a link.
    /// Works whatever faults are set.
    std::optional<std::filesystem::path> resolve(std::string_view path) const;

    /// Faults. Each gives the platform's error codes and return values (see docs/storage.md).
    /// No card: every call on a card path fails with FSE_NOT_READY, open files included.
    void set_card_inserted(bool inserted);
    bool card_inserted() const;
    /// A write-protected card: reads work; opening for writing or creating, writing, mkdir, remove
    /// and rename fail with FSE_INTERNAL (the platform's code for FatFs' FR_WRITE_PROTECTED).
    void set_read_only(bool read_only);
    /// A card that fills up: files may grow by `bytes` more in total (overwriting in place is
    /// free, removing gives nothing back); a write that doesn't fit stops short with FSE_OK, as a
    /// full FAT volume does. Nothing: no limit.
    void set_space_left(std::optional<std::uint64_t> bytes);
    std::optional<std::uint64_t> space_left() const;
    /// An I/O error at the nth storage_file_write from now (1 = the next): that write returns 0
    /// with FSE_INTERNAL and the file object refuses every later read and write. Once; 0 disarms.
    void fail_write(std::uint64_t nth);
    void clear_faults();

    /// Files and folders open right now (a test's leak check).
    std::size_t open_count() const;

private:
    Storage* storage_;
};

/// The same resolution from a Storage* handed out by the record (for the storage functions).
std::optional<std::filesystem::path> storage_resolve(Storage* storage, std::string_view path);

} // namespace host
