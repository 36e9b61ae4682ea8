// Storage: platform paths mapped onto a host folder that plays the SD card, with the FAT card's
// results (the FatFs error codes as the platform maps them to FS_Error) and the faults a test can
// set (no card, a write-protected card, a full card, an I/O error at the n-th write).
//
// Paths: "/ext" and "/any" are the card's folder, "/data" is "/ext/apps_data/<appid>" of the
// calling thread's app. A path never leaves the card's folder: "." and ".." components, names FAT
// refuses, and symbolic links that resolve outside are refused before the host is touched.
//
// Every call runs on a platform thread (the run token serialises them, as the storage thread does
// on the device), so the service needs no lock of its own.

#include <storage/storage.h>

#include <furi.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <tuple>
#include <vector>

#include "api86/seam.h"
#include "core/fatal.h"
#include "host/kernel.h"
#include "host/storage.h"

namespace fs = std::filesystem;

namespace {
constexpr const char* kTag = "Storage";
constexpr size_t kMaxNameLength = 255; // FAT long file names
} // namespace

struct Storage {
    fs::path sd_root; // canonical
    std::string default_app_id;

    bool card_inserted = true;
    bool read_only = false;
    std::optional<std::uint64_t> space_left; // full-card fault: bytes files may still grow by
    std::uint64_t write_fault_countdown = 0; // I/O error at this write from now (0: none)

    std::vector<File*> open; // files and folders, for the "already open" rule
    std::vector<FuriEventFlag*> close_waiters;
    // Order of creation of what this service created (or renamed) in this run, for folder reads.
    std::map<fs::path, std::uint64_t> created;
    std::uint64_t next_created = 1;
};

struct DirEntry {
    std::string name;
    bool directory;
    std::uint64_t size;
};

struct File {
    enum class Kind {
        Closed,
        File,
        Dir
    };

    explicit File(Storage* s)
        : storage(s) {}

    Storage* storage;
    Kind kind = Kind::Closed;
    FS_Error error = FSE_OK;
    fs::path host; // canonical host path while open
    // File
    int fd = -1;
    bool can_read = false;
    bool can_write = false;
    bool hard_error = false; // an I/O error happened: the file object refuses further transfers
    std::uint64_t position = 0;
    std::uint64_t size = 0; // kept up to date by every change made through this object
    // What FatFs keeps in a file's sector buffer: bytes written through this object that are not
    // on the host file yet (they reach it when the file is read, seeked, truncated or closed, when
    // the buffer fills, or before any other call on the card), and bytes read ahead. A write error
    // of the host shows at that flush, as FatFs reports one at its sync. At most one of them holds
    // anything.
    std::string pending;
    std::uint64_t pending_at = 0;
    std::string ahead;
    std::uint64_t ahead_at = 0;
    // Dir
    std::vector<DirEntry> entries;
    size_t next_entry = 0;
};

namespace {

Storage* require(Storage* storage, const char* what) {
    host::NotNull<Storage>{"storage"}(storage, what);
    if(furi_kernel_is_irq_or_masked())
        host::fatal("%s: storage is not available in interrupt context", what);
    return storage;
}

File* require_file(File* file, const char* what) {
    host::NotNull<File>{"file"}(file, what);
    require(file->storage, what);
    return file;
}

constexpr host::NotNull<const char> require_path{"path"};

std::string calling_app_id(const Storage& storage) {
    if(!furi_kernel_is_irq_or_masked()) {
        const char* appid = furi_thread_get_appid(furi_thread_get_current_id());
        if(appid != nullptr) return appid;
    }
    return storage.default_app_id;
}

bool valid_app_id(const std::string& id) {
    if(id.empty()) return false;
    return std::all_of(id.begin(), id.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    });
}

// A name FAT stores: not "." or "..", no control characters or \ : * ? " < > |, at most 255 bytes.
bool valid_fat_name(std::string_view name) {
    if(name == "." || name == ".." || name.size() > kMaxNameLength) return false;
    for(unsigned char c : name) {
        if(c < 0x20 || c == 0x7F || std::strchr("\\:*?\"<>|", c) != nullptr) return false;
    }
    return true;
}

// Splits "/a//b/c/" into {"a", "b", "c"}.
std::vector<std::string_view> split(std::string_view path) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while(start <= path.size()) {
        size_t end = path.find('/', start);
        if(end == std::string_view::npos) end = path.size();
        if(end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool inside(const fs::path& root, const fs::path& path) {
    auto r = root.begin();
    auto p = path.begin();
    for(; r != root.end(); ++r, ++p) {
        if(p == path.end() || *p != *r) return false;
    }
    return true;
}

/// The canonical form of `host`, a path below the card's folder `root` (canonical) made of FAT
/// names (no "." or ".."): the path itself when no component below `root` is a symbolic link,
/// which takes one lstat per component that exists; otherwise the links resolved. (Resolving every
/// path cost a stat and a readlink for each component of the card's folder too, on every call.)
fs::path canonical_below(const fs::path& root, const fs::path& host, std::error_code& error) {
    error.clear();
    auto component = host.begin();
    for(auto r = root.begin(); r != root.end() && component != host.end(); ++r) ++component;
    fs::path walked = root;
    for(; component != host.end(); ++component) {
        walked /= *component;
        struct stat st {};
        if(::lstat(walked.c_str(), &st) != 0) break; // nothing below a missing entry exists
        if(S_ISLNK(st.st_mode)) return fs::weakly_canonical(host, error);
    }
    return host;
}

struct Resolved {
    FS_Error error = FSE_OK;
    fs::path host;     // canonical
    bool root = false; // the card's top folder
};

void flush_all(Storage& storage);

// The FatFs-level checks come after the storage checks, as on the device: an unknown root is an
// invalid name even with no card; a bad name on the card needs the card first.
Resolved resolve_path(Storage& storage, std::string_view path, bool need_card) {
    flush_all(storage); // whatever the call does next sees every byte written so far
    Resolved result;
    const std::vector<std::string_view> parts = split(path);
    if(path.empty() || path.front() != '/' || parts.empty() ||
       path.find('\0') != std::string_view::npos) {
        result.error = FSE_INVALID_NAME;
        return result;
    }
    const std::string_view top = parts.front();
    if(top != "ext" && top != "any" && top != "data" && top != "assets") {
        FURI_LOG_D(
            kTag,
            "\"%.*s\": only /ext, /any, /data and /assets are served",
            static_cast<int>(path.size()),
            path.data());
        result.error = FSE_INVALID_NAME;
        return result;
    }
    if(need_card && !storage.card_inserted) {
        result.error = FSE_NOT_READY;
        return result;
    }
    for(size_t i = 1; i < parts.size(); ++i) {
        if(!valid_fat_name(parts[i])) {
            result.error = FSE_INVALID_NAME;
            return result;
        }
    }
    fs::path host = storage.sd_root;
    if(top == "data" || top == "assets") {
        const std::string app_id = calling_app_id(storage);
        if(!valid_app_id(app_id)) {
            FURI_LOG_E(
                kTag,
                "\"%.*s\": needs an app id (furi_thread_set_appid)",
                static_cast<int>(path.size()),
                path.data());
            result.error = FSE_INVALID_NAME;
            return result;
        }
        host /= top == "data" ? "apps_data" : "apps_assets";
        host /= app_id;
        if(top == "data" && storage.card_inserted && !storage.read_only) {
            std::error_code error;
            fs::create_directories(host, error); // the data folder exists once it is used
        }
    }
    for(size_t i = 1; i < parts.size(); ++i) host /= std::string(parts[i]);

    std::error_code error;
    fs::path canonical = canonical_below(storage.sd_root, host, error);
    if(error) {
        result.error = FSE_INTERNAL;
        return result;
    }
    if(!inside(storage.sd_root, canonical)) {
        FURI_LOG_W(
            kTag,
            "\"%.*s\" leads out of the card's folder",
            static_cast<int>(path.size()),
            path.data());
        result.error = FSE_DENIED;
        return result;
    }
    result.root = canonical == storage.sd_root;
    result.host = std::move(canonical);
    return result;
}

FS_Error errno_error(int error) {
    switch(error) {
    case ENOENT:
    case ENOTDIR:
        return FSE_NOT_EXIST;
    case EEXIST:
        return FSE_EXIST;
    case ENOTEMPTY:
    case EACCES:
    case EPERM:
    case EISDIR:
        return FSE_DENIED;
    case ENAMETOOLONG:
    case EINVAL:
        return FSE_INVALID_NAME;
    default:
        return FSE_INTERNAL;
    }
}

bool path_open(const Storage& storage, const fs::path& host) {
    return std::any_of(storage.open.begin(), storage.open.end(), [&](const File* f) {
        return f->host == host;
    });
}

void forget_open(File* file) {
    Storage& storage = *file->storage;
    std::erase(storage.open, file);
    for(FuriEventFlag* waiter : storage.close_waiters) furi_event_flag_set(waiter, 1);
}

// The platform waits for the other holder to close a file or folder that is open already. On the
// host a wait that can never end (the same thread holds it) stops the run as a deadlock.
void wait_for_close(Storage& storage, const char* what, const char* path) {
    FURI_LOG_W(kTag, "%s: \"%s\" is open; waiting until it is closed", what, path);
    FuriEventFlag* flag = furi_event_flag_alloc();
    storage.close_waiters.push_back(flag);
    furi_event_flag_wait(flag, 1, FuriFlagWaitAny, FuriWaitForever);
    std::erase(storage.close_waiters, flag);
    furi_event_flag_free(flag);
}

void note_created(Storage& storage, const fs::path& host) {
    storage.created[host] = storage.next_created++;
}

void forget_created(Storage& storage, const fs::path& host) {
    // The entry itself and, for a folder, everything below it.
    for(auto it = storage.created.lower_bound(host);
        it != storage.created.end() && inside(host, it->first);) {
        it = storage.created.erase(it);
    }
}

std::optional<std::uint64_t> host_size(int fd) {
    struct stat st {};
    if(::fstat(fd, &st) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

// Checks shared by every transfer on an open file; false (and the error set) when it can't go on.
bool transfer_ready(File& file) {
    if(file.kind != File::Kind::File) {
        file.error = FSE_INVALID_PARAMETER;
        return false;
    }
    if(!file.storage->card_inserted) {
        file.error = FSE_NOT_READY;
        return false;
    }
    if(file.hard_error) {
        file.error = FSE_INTERNAL;
        return false;
    }
    return true;
}

/// A file's sector buffer: small reads and writes (a key-value line is written a word at a time)
/// cost a system call per buffer instead of one each.
constexpr std::size_t kFileBuffer = 4096;

/// Writes what waits in the file's buffer to the host file; false (and the file in error) when
/// the host refuses it.
bool flush_pending(File& file) {
    std::size_t done = 0;
    while(done < file.pending.size()) {
        const ssize_t n = ::pwrite(
            file.fd,
            file.pending.data() + done,
            file.pending.size() - done,
            static_cast<off_t>(file.pending_at + done));
        if(n < 0 && errno == EINTR) continue;
        if(n <= 0) {
            FURI_LOG_D(kTag, "I/O error writing %s: %s", file.host.c_str(), std::strerror(errno));
            file.pending.clear();
            file.error = FSE_INTERNAL;
            file.hard_error = true;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    file.pending.clear();
    return true;
}

/// Before any call that looks at the card other than through a file's own buffer.
void flush_all(Storage& storage) {
    for(File* file : storage.open) {
        if(!file->pending.empty()) flush_pending(*file);
    }
}

FS_Error open_file(File& file, const Resolved& where, FS_AccessMode access, FS_OpenMode mode) {
    Storage& storage = *file.storage;
    const bool create =
        (mode & (FSOM_OPEN_ALWAYS | FSOM_OPEN_APPEND | FSOM_CREATE_NEW | FSOM_CREATE_ALWAYS)) != 0;
    if((access & FSAM_READ_WRITE) == 0 || (mode & 0x1F) == 0) return FSE_INVALID_PARAMETER;
    if(storage.read_only && ((access & FSAM_WRITE) || create))
        return FSE_INTERNAL; // write-protected volume

    std::error_code error;
    const fs::file_status status = fs::status(where.host, error);
    const bool exists = fs::exists(status);
    if(exists && !fs::is_regular_file(status)) return create ? FSE_DENIED : FSE_NOT_EXIST;
    if(where.root) return FSE_INVALID_NAME;
    if(!exists && !create) return FSE_NOT_EXIST;
    if(exists && (mode & FSOM_CREATE_NEW)) return FSE_EXIST;

    int flags = O_CLOEXEC | O_NOFOLLOW;
    flags |= (access & FSAM_WRITE) ? O_RDWR : O_RDONLY;
    if(!exists) flags |= O_CREAT | O_EXCL;
    const int fd = ::open(where.host.c_str(), flags, 0644);
    if(fd < 0) return errno_error(errno);
    if(exists && (mode & FSOM_CREATE_ALWAYS) && ::ftruncate(fd, 0) != 0) {
        const int saved = errno;
        ::close(fd);
        return errno_error(saved);
    }
    if(!exists) note_created(storage, where.host);

    file.fd = fd;
    file.can_read = (access & FSAM_READ) != 0;
    file.can_write = (access & FSAM_WRITE) != 0;
    file.hard_error = false;
    file.size = host_size(fd).value_or(0);
    file.position = (mode & FSOM_OPEN_APPEND) ? file.size : 0;
    return FSE_OK;
}

// Folder entries in the card's order. FAT lists entries in the order they were created; the host
// folder plays that with, first, whatever was there before this run by the host file's birth time
// (statx, where the file system records it), then modification time, then name; after those, what
// this service created or renamed in this run, in that order.
std::vector<DirEntry>
    list_folder(const Storage& storage, const fs::path& folder, std::error_code& error) {
    struct Sorted {
        std::uint64_t created; // 0: from before this run
        std::int64_t birth;
        std::int64_t modified;
        DirEntry entry;
    };
    std::vector<Sorted> sorted;
    for(const fs::directory_entry& item : fs::directory_iterator(folder, error)) {
        std::error_code item_error;
        // The folder is canonical: only a link needs resolving (the listing says which are).
        const fs::path canonical = item.is_symlink(item_error) ?
                                       fs::weakly_canonical(item.path(), item_error) :
                                       item.path();
        if(item_error || !inside(storage.sd_root, canonical)) continue; // a link leading out
        struct statx stx {};
        if(::statx(AT_FDCWD, canonical.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &stx) != 0)
            continue; // dangling
        const bool directory = S_ISDIR(stx.stx_mode);
        if(!directory && !S_ISREG(stx.stx_mode)) continue; // FAT has only files and folders
        const std::string name = item.path().filename().string();
        if(!valid_fat_name(name)) continue;
        auto nanos = [](const struct statx_timestamp& t) {
            return t.tv_sec * 1'000'000'000LL + t.tv_nsec;
        };
        const auto known = storage.created.find(item.path());
        sorted.push_back(Sorted{
            known == storage.created.end() ? 0 : known->second,
            (stx.stx_mask & STATX_BTIME) ? nanos(stx.stx_btime) : 0,
            nanos(stx.stx_mtime),
            DirEntry{name, directory, directory ? 0 : stx.stx_size},
        });
    }
    std::sort(sorted.begin(), sorted.end(), [](const Sorted& a, const Sorted& b) {
        return std::tie(a.created, a.birth, a.modified, a.entry.name) <
               std::tie(b.created, b.birth, b.modified, b.entry.name);
    });
    std::vector<DirEntry> entries;
    entries.reserve(sorted.size());
    for(Sorted& s : sorted) entries.push_back(std::move(s.entry));
    return entries;
}

FS_Error stat_path(Storage& storage, const char* path, FileInfo* info) {
    const Resolved where = resolve_path(storage, path, true);
    if(where.error != FSE_OK) return where.error;
    struct stat st {};
    if(::stat(where.host.c_str(), &st) != 0) return errno_error(errno);
    if(!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) return FSE_NOT_EXIST;
    if(info != nullptr) {
        info->flags = S_ISDIR(st.st_mode) ? FSF_DIRECTORY : 0;
        info->size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
    }
    return FSE_OK;
}

FS_Error remove_path(Storage& storage, const char* path) {
    const Resolved where = resolve_path(storage, path, true);
    if(where.error != FSE_OK) return where.error;
    if(where.root) return FSE_INVALID_NAME;
    if(path_open(storage, where.host)) return FSE_ALREADY_OPEN;
    struct stat st {};
    if(::lstat(where.host.c_str(), &st) != 0) return errno_error(errno);
    if(storage.read_only) return FSE_INTERNAL;
    const int result = S_ISDIR(st.st_mode) ? ::rmdir(where.host.c_str()) :
                                             ::unlink(where.host.c_str());
    if(result != 0) return errno == EEXIST ? FSE_DENIED : errno_error(errno);
    forget_created(storage, where.host);
    return FSE_OK;
}

FS_Error mkdir_path(Storage& storage, const char* path) {
    const Resolved where = resolve_path(storage, path, true);
    if(where.error != FSE_OK) return where.error;
    std::error_code error;
    if(where.root || fs::exists(fs::symlink_status(where.host, error))) return FSE_EXIST;
    if(storage.read_only) return FSE_INTERNAL;
    if(storage.space_left == std::uint64_t{0}) return FSE_DENIED; // no free cluster for the folder
    if(::mkdir(where.host.c_str(), 0755) != 0) return errno_error(errno);
    note_created(storage, where.host);
    return FSE_OK;
}

// The platform's rename: a missing source is an invalid name; an existing file at the target is
// removed first (a folder there, or a file that can't be removed, leaves the rename failing with
// FSE_EXIST), then the entry moves. A rename onto itself does nothing.
FS_Error rename_path(Storage& storage, const char* old_path, const char* new_path) {
    const Resolved from = resolve_path(storage, old_path, true);
    if(from.error != FSE_OK) return from.error;
    const Resolved to = resolve_path(storage, new_path, true);
    if(to.error != FSE_OK) return to.error;
    std::error_code error;
    const fs::file_status from_status = fs::status(from.host, error);
    if(from.root || !(fs::is_regular_file(from_status) || fs::is_directory(from_status)))
        return FSE_INVALID_NAME;
    if(from.host == to.host) return FSE_OK; // removing the "target" would delete the source
    if(to.root || inside(from.host, to.host)) return FSE_INVALID_NAME; // into itself
    if(path_open(storage, from.host)) return FSE_ALREADY_OPEN;
    if(fs::is_regular_file(to.host, error))
        remove_path(storage, new_path); // result ignored, as on the device
    if(fs::exists(fs::symlink_status(to.host, error))) return FSE_EXIST;
    if(storage.read_only) return FSE_INTERNAL;
    if(::rename(from.host.c_str(), to.host.c_str()) != 0) return errno_error(errno);
    forget_created(storage, from.host);
    note_created(storage, to.host); // FAT writes a new entry in the target folder
    return FSE_OK;
}

bool remove_recursive(Storage& storage, const std::string& path) {
    FileInfo info{};
    const FS_Error stat_error = stat_path(storage, path.c_str(), &info);
    if(stat_error == FSE_NOT_EXIST) return true;
    if(stat_error != FSE_OK) return false;
    if(file_info_is_dir(&info)) {
        const Resolved where = resolve_path(storage, path.c_str(), true);
        std::error_code error;
        const std::vector<DirEntry> entries = list_folder(storage, where.host, error);
        if(error) return false;
        for(const DirEntry& entry : entries) {
            if(!remove_recursive(storage, path + "/" + entry.name)) return false;
        }
    }
    const FS_Error error = remove_path(storage, path.c_str());
    return error == FSE_OK || error == FSE_NOT_EXIST;
}

} // namespace

extern "C" {

const char* filesystem_api_error_get_desc(FS_Error error_id) {
    switch(error_id) {
    case FSE_OK:
        return "OK";
    case FSE_NOT_READY:
        return "filesystem not ready";
    case FSE_EXIST:
        return "file/dir already exist";
    case FSE_NOT_EXIST:
        return "file/dir not exist";
    case FSE_INVALID_PARAMETER:
        return "invalid parameter";
    case FSE_DENIED:
        return "access denied";
    case FSE_INVALID_NAME:
        return "invalid name/path";
    case FSE_INTERNAL:
        return "internal error";
    case FSE_NOT_IMPLEMENTED:
        return "function not implemented";
    case FSE_ALREADY_OPEN:
        return "file is already open";
    }
    return "unknown error";
}

bool file_info_is_dir(const FileInfo* file_info) {
    if(file_info == nullptr) host::fatal("file_info_is_dir: file_info is null");
    return (file_info->flags & FSF_DIRECTORY) != 0;
}

const char* storage_error_get_desc(FS_Error error_id) {
    return filesystem_api_error_get_desc(error_id);
}

File* storage_file_alloc(Storage* storage) {
    return host::make_tracked<File>(require(storage, "storage_file_alloc"));
}

void storage_file_free(File* file) {
    if(file == nullptr) host::fatal("storage_file_free: file is null");
    if(file->kind == File::Kind::Dir) {
        storage_dir_close(file);
    } else if(file->kind == File::Kind::File) {
        storage_file_close(file);
    }
    host::destroy_tracked(file);
}

bool storage_file_open(
    File* file,
    const char* path,
    FS_AccessMode access_mode,
    FS_OpenMode open_mode) {
    require_file(file, "storage_file_open");
    require_path(path, "storage_file_open");
    if(file->kind != File::Kind::Closed)
        host::fatal(
            "storage_file_open: the file object is open already (\"%s\")", file->host.c_str());
    Storage& storage = *file->storage;
    while(true) {
        const Resolved where = resolve_path(storage, path, true);
        if(where.error != FSE_OK) {
            file->error = where.error;
            return false;
        }
        if(path_open(storage, where.host)) {
            wait_for_close(storage, "storage_file_open", path);
            continue;
        }
        file->error = open_file(*file, where, access_mode, open_mode);
        if(file->error != FSE_OK) return false;
        file->kind = File::Kind::File;
        file->host = where.host;
        storage.open.push_back(file);
        return true;
    }
}

bool storage_file_close(File* file) {
    require_file(file, "storage_file_close");
    if(file->kind == File::Kind::Closed) return true; // e.g. after a failed open
    if(file->kind != File::Kind::File) {
        file->error = FSE_INVALID_PARAMETER;
        return false;
    }
    const bool flushed = flush_pending(*file);
    bool ok = ::close(file->fd) == 0 && flushed;
    file->error = ok ? FSE_OK : FSE_INTERNAL;
    file->ahead.clear();
    if(!file->storage->card_inserted) {
        file->error = FSE_NOT_READY;
        ok = false;
    }
    file->fd = -1;
    file->kind = File::Kind::Closed;
    forget_open(file);
    file->host.clear();
    return ok;
}

bool storage_file_is_open(File* file) {
    return require_file(file, "storage_file_is_open")->kind != File::Kind::Closed;
}

bool storage_file_is_dir(File* file) {
    return require_file(file, "storage_file_is_dir")->kind == File::Kind::Dir;
}

uint16_t storage_file_read(File* file, void* buff, uint16_t bytes_to_read) {
    return static_cast<uint16_t>(host::seam::storage_file_read(file, buff, bytes_to_read));
}

uint16_t storage_file_write(File* file, const void* buff, uint16_t bytes_to_write) {
    return static_cast<uint16_t>(host::seam::storage_file_write(file, buff, bytes_to_write));
}

bool storage_file_seek(File* file, uint32_t offset, bool from_start) {
    require_file(file, "storage_file_seek");
    if(!transfer_ready(*file)) return false;
    Storage& storage = *file->storage;
    const std::uint64_t size = file->size;
    std::uint64_t target = from_start ? offset : file->position + offset;
    if(target > size) {
        if(!file->can_write || storage.read_only) {
            target = size; // read-only: the pointer stops at the end
        } else {
            // FatFs grows a file opened for writing up to the new pointer, as far as the card holds.
            if(storage.space_left) target = std::min(target, size + *storage.space_left);
            if(!flush_pending(*file)) return false;
            file->ahead.clear();
            if(::ftruncate(file->fd, static_cast<off_t>(target)) != 0) {
                file->error = FSE_INTERNAL;
                return false;
            }
            if(storage.space_left) *storage.space_left -= target - size;
            file->size = target;
        }
    }
    file->position = target;
    file->error = FSE_OK;
    return true;
}

uint64_t storage_file_tell(File* file) {
    require_file(file, "storage_file_tell");
    if(!transfer_ready(*file)) return 0;
    file->error = FSE_OK;
    return file->position;
}

bool storage_file_truncate(File* file) {
    require_file(file, "storage_file_truncate");
    if(!transfer_ready(*file)) return false;
    if(!file->can_write) {
        file->error = FSE_DENIED;
        return false;
    }
    if(file->storage->read_only) {
        file->error = FSE_INTERNAL;
        return false;
    }
    if(!flush_pending(*file)) return false;
    file->ahead.clear();
    if(::ftruncate(file->fd, static_cast<off_t>(file->position)) != 0) {
        file->error = FSE_INTERNAL;
        return false;
    }
    file->size = file->position;
    file->error = FSE_OK;
    return true;
}

uint64_t storage_file_size(File* file) {
    require_file(file, "storage_file_size");
    if(!transfer_ready(*file)) return 0;
    file->error = FSE_OK;
    return file->size;
}

bool storage_file_eof(File* file) {
    require_file(file, "storage_file_eof");
    if(!transfer_ready(*file)) return true;
    file->error = FSE_OK;
    return file->position >= file->size;
}

bool storage_file_copy_to_file(File* source, File* destination, uint32_t size) {
    return host::seam::storage_file_copy_to_file(source, destination, size);
}

bool storage_file_exists(Storage* storage, const char* path) {
    FileInfo info{};
    return stat_path(
               *require(storage, "storage_file_exists"),
               require_path(path, "storage_file_exists"),
               &info) == FSE_OK &&
           !file_info_is_dir(&info);
}

bool storage_dir_open(File* file, const char* path) {
    require_file(file, "storage_dir_open");
    require_path(path, "storage_dir_open");
    if(file->kind != File::Kind::Closed)
        host::fatal(
            "storage_dir_open: the file object is open already (\"%s\")", file->host.c_str());
    Storage& storage = *file->storage;
    while(true) {
        const Resolved where = resolve_path(storage, path, true);
        if(where.error != FSE_OK) {
            file->error = where.error;
            return false;
        }
        if(path_open(storage, where.host)) {
            wait_for_close(storage, "storage_dir_open", path);
            continue;
        }
        std::error_code error;
        if(!fs::is_directory(where.host, error)) {
            file->error = FSE_NOT_EXIST;
            return false;
        }
        std::vector<DirEntry> entries = list_folder(storage, where.host, error);
        if(error) {
            file->error = errno_error(error.value());
            return false;
        }
        file->entries = std::move(entries);
        file->next_entry = 0;
        file->kind = File::Kind::Dir;
        file->host = where.host;
        file->error = FSE_OK;
        storage.open.push_back(file);
        return true;
    }
}

bool storage_dir_close(File* file) {
    require_file(file, "storage_dir_close");
    if(file->kind == File::Kind::Closed) return true;
    if(file->kind != File::Kind::Dir) {
        file->error = FSE_INVALID_PARAMETER;
        return false;
    }
    file->kind = File::Kind::Closed;
    file->entries.clear();
    forget_open(file);
    file->host.clear();
    file->error = FSE_OK;
    return true;
}

bool storage_dir_read(File* file, FileInfo* fileinfo, char* name, uint16_t name_length) {
    require_file(file, "storage_dir_read");
    if(file->kind != File::Kind::Dir) {
        file->error = FSE_INVALID_PARAMETER;
        return false;
    }
    if(!file->storage->card_inserted) {
        file->error = FSE_NOT_READY;
        return false;
    }
    if(file->next_entry >= file->entries.size()) {
        file->error = FSE_NOT_EXIST;
        return false;
    }
    const DirEntry& entry = file->entries[file->next_entry++];
    if(fileinfo != nullptr) {
        fileinfo->flags = entry.directory ? FSF_DIRECTORY : 0;
        fileinfo->size = entry.size;
    }
    if(name != nullptr && name_length > 0) { // strlcpy
        const size_t n = std::min<size_t>(entry.name.size(), name_length - 1u);
        std::memcpy(name, entry.name.data(), n);
        name[n] = '\0';
    }
    file->error = FSE_OK;
    return true;
}

bool storage_dir_exists(Storage* storage, const char* path) {
    FileInfo info{};
    return stat_path(
               *require(storage, "storage_dir_exists"),
               require_path(path, "storage_dir_exists"),
               &info) == FSE_OK &&
           file_info_is_dir(&info);
}

FS_Error storage_common_timestamp(Storage* storage, const char* path, uint32_t* timestamp) {
    const Resolved where = resolve_path(
        *require(storage, "storage_common_timestamp"),
        require_path(path, "storage_common_timestamp"),
        true);
    if(where.error != FSE_OK) return where.error;
    struct stat st {};
    if(::stat(where.host.c_str(), &st) != 0) return errno_error(errno);
    if(timestamp != nullptr) *timestamp = static_cast<uint32_t>(st.st_mtime);
    return FSE_OK;
}

FS_Error storage_common_stat(Storage* storage, const char* path, FileInfo* fileinfo) {
    return stat_path(
        *require(storage, "storage_common_stat"),
        require_path(path, "storage_common_stat"),
        fileinfo);
}

FS_Error storage_common_remove(Storage* storage, const char* path) {
    return remove_path(
        *require(storage, "storage_common_remove"), require_path(path, "storage_common_remove"));
}

FS_Error storage_common_rename(Storage* storage, const char* old_path, const char* new_path) {
    return rename_path(
        *require(storage, "storage_common_rename"),
        require_path(old_path, "storage_common_rename"),
        require_path(new_path, "storage_common_rename"));
}

FS_Error storage_common_mkdir(Storage* storage, const char* path) {
    return mkdir_path(
        *require(storage, "storage_common_mkdir"), require_path(path, "storage_common_mkdir"));
}

FS_Error storage_common_fs_info(
    Storage* storage,
    const char* fs_path,
    uint64_t* total_space,
    uint64_t* free_space) {
    Storage& s = *require(storage, "storage_common_fs_info");
    const Resolved where = resolve_path(s, require_path(fs_path, "storage_common_fs_info"), true);
    if(where.error != FSE_OK) return where.error;
    struct statvfs vfs {};
    if(::statvfs(s.sd_root.c_str(), &vfs) != 0) return FSE_INTERNAL;
    const std::uint64_t total = static_cast<std::uint64_t>(vfs.f_blocks) * vfs.f_frsize;
    std::uint64_t free = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    if(s.space_left) free = std::min(free, *s.space_left);
    if(s.read_only) free = 0;
    if(total_space != nullptr) *total_space = total;
    if(free_space != nullptr) *free_space = free;
    return FSE_OK;
}

void storage_common_resolve_path_and_ensure_app_directory(Storage* storage, FuriString* path) {
    Storage& s = *require(storage, "storage_common_resolve_path_and_ensure_app_directory");
    if(path == nullptr)
        host::fatal("storage_common_resolve_path_and_ensure_app_directory: path is null");
    const std::string_view text = furi_string_get_cstr(path);
    for(const std::string_view alias :
        {std::string_view(STORAGE_APP_DATA_PATH_PREFIX),
         std::string_view(STORAGE_APP_ASSETS_PATH_PREFIX)}) {
        if(!text.starts_with(alias) || (text.size() > alias.size() && text[alias.size()] != '/'))
            continue;
        const std::string app_id = calling_app_id(s);
        if(!valid_app_id(app_id)) {
            FURI_LOG_E(
                kTag,
                "\"%s\": needs an app id (furi_thread_set_appid)",
                furi_string_get_cstr(path));
            return;
        }
        const bool data = alias == STORAGE_APP_DATA_PATH_PREFIX;
        const std::string folder =
            std::string(data ? "/ext/apps_data/" : "/ext/apps_assets/") + app_id;
        furi_string_replace_at(path, 0, alias.size(), folder.c_str());
        if(data && s.card_inserted && !s.read_only) {
            std::error_code error;
            fs::create_directories(s.sd_root / "apps_data" / app_id, error);
        }
        return;
    }
}

bool storage_common_exists(Storage* storage, const char* path) {
    return stat_path(
               *require(storage, "storage_common_exists"),
               require_path(path, "storage_common_exists"),
               nullptr) == FSE_OK;
}

FS_Error storage_file_get_error(File* file) {
    return require_file(file, "storage_file_get_error")->error;
}

const char* storage_file_get_error_desc(File* file) {
    return filesystem_api_error_get_desc(storage_file_get_error(file));
}

FS_Error storage_sd_status(Storage* api) {
    return require(api, "storage_sd_status")->card_inserted ? FSE_OK : FSE_NOT_READY;
}

bool storage_simply_remove(Storage* storage, const char* path) {
    const FS_Error error = storage_common_remove(storage, path);
    return error == FSE_OK || error == FSE_NOT_EXIST;
}

bool storage_simply_remove_recursive(Storage* storage, const char* path) {
    Storage& s = *require(storage, "storage_simply_remove_recursive");
    std::string text = require_path(path, "storage_simply_remove_recursive");
    while(text.size() > 1 && text.back() == '/') text.pop_back();
    return remove_recursive(s, text);
}

bool storage_simply_mkdir(Storage* storage, const char* path) {
    const FS_Error error = storage_common_mkdir(storage, path);
    return error == FSE_OK || error == FSE_EXIST;
}

} // extern "C"

// What the 36.x calls above and the 86.0 ones (platform/src/api86/) share.
std::size_t host::seam::storage_file_read(File* file, void* buff, std::size_t bytes_to_read) {
    require_file(file, "storage_file_read");
    if(buff == nullptr && bytes_to_read > 0) host::fatal("storage_file_read: buffer is null");
    if(!transfer_ready(*file)) return 0;
    if(!file->can_read) {
        file->error = FSE_DENIED;
        return 0;
    }
    if(!flush_pending(*file)) return 0;
    char* out = static_cast<char*>(buff);
    size_t done = 0;
    while(done < bytes_to_read) {
        const std::uint64_t at = file->position + done;
        if(at >= file->ahead_at && at < file->ahead_at + file->ahead.size()) {
            const std::size_t offset = static_cast<std::size_t>(at - file->ahead_at);
            const std::size_t n = std::min(bytes_to_read - done, file->ahead.size() - offset);
            std::memcpy(out + done, file->ahead.data() + offset, n);
            done += n;
            continue;
        }
        // A large read goes straight to the caller's buffer; a small one fills the file's.
        const bool direct = bytes_to_read - done >= kFileBuffer;
        if(!direct) file->ahead.resize(kFileBuffer);
        const ssize_t n = ::pread(
            file->fd,
            direct ? out + done : file->ahead.data(),
            direct ? bytes_to_read - done : kFileBuffer,
            static_cast<off_t>(at));
        if(!direct) file->ahead.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        file->ahead_at = at;
        if(n < 0 && errno == EINTR) continue;
        if(n < 0) {
            file->error = FSE_INTERNAL;
            file->hard_error = true;
            return 0;
        }
        if(n == 0) break;
        if(direct) done += static_cast<size_t>(n);
    }
    file->position += done;
    file->error = FSE_OK;
    return done;
}

std::size_t
    host::seam::storage_file_write(File* file, const void* buff, std::size_t bytes_to_write) {
    require_file(file, "storage_file_write");
    if(buff == nullptr && bytes_to_write > 0) host::fatal("storage_file_write: buffer is null");
    if(!transfer_ready(*file)) return 0;
    Storage& storage = *file->storage;
    if(!file->can_write) {
        file->error = FSE_DENIED;
        return 0;
    }
    if(storage.write_fault_countdown > 0 && --storage.write_fault_countdown == 0) {
        FURI_LOG_D(kTag, "I/O error at a write to %s (fault)", file->host.c_str());
        flush_pending(*file); // the writes before this one reached the card
        file->error = FSE_INTERNAL;
        file->hard_error = true;
        return 0;
    }
    if(storage.read_only) { // write-protected after the file was opened: the card refuses the write
        flush_pending(*file);
        file->error = FSE_INTERNAL;
        file->hard_error = true;
        return 0;
    }
    const std::uint64_t size = file->size;
    size_t allowed = bytes_to_write;
    if(storage.space_left) {
        // Overwriting is free; growing the file takes from what is left, and a write the card
        // can't hold stops short, with no error, as FatFs reports a full volume.
        const std::uint64_t room =
            (file->position < size ? size - file->position : 0) + *storage.space_left;
        allowed = static_cast<size_t>(std::min<std::uint64_t>(allowed, room));
    }
    const size_t done = allowed;
    if(done > 0) {
        // Into the file's buffer, which holds one run of bytes: a write elsewhere sends it first.
        if(!file->pending.empty() && file->pending_at + file->pending.size() != file->position &&
           !flush_pending(*file))
            return 0;
        file->ahead.clear();
        if(file->pending.empty()) file->pending_at = file->position;
        file->pending.append(static_cast<const char*>(buff), done);
        if(file->pending.size() >= kFileBuffer && !flush_pending(*file)) return 0;
    }
    const std::uint64_t end = file->position + done;
    if(storage.space_left && end > size)
        *storage.space_left -= std::min(*storage.space_left, end - size);
    file->size = std::max(size, end);
    file->position = end;
    file->error = FSE_OK;
    return done;
}

bool host::seam::storage_file_copy_to_file(File* source, File* destination, std::size_t size) {
    require_file(source, "storage_file_copy_to_file");
    require_file(destination, "storage_file_copy_to_file");
    char buffer[512];
    while(size > 0) {
        const std::size_t chunk = std::min<std::size_t>(size, sizeof buffer);
        const std::size_t got = host::seam::storage_file_read(source, buffer, chunk);
        if(storage_file_get_error(source) != FSE_OK) return false;
        if(got == 0) break;
        if(host::seam::storage_file_write(destination, buffer, got) != got) return false;
        size -= got;
    }
    return true;
}

namespace host {

StorageService::StorageService(Runtime& runtime, fs::path sd_root, std::string default_app_id) {
    (void)runtime;
    std::error_code error;
    fs::create_directories(sd_root, error);
    if(error)
        host::fatal(
            "StorageService: cannot create the SD card folder %s: %s",
            sd_root.c_str(),
            error.message().c_str());
    fs::path canonical = fs::canonical(sd_root, error);
    if(error)
        host::fatal(
            "StorageService: cannot resolve the SD card folder %s: %s",
            sd_root.c_str(),
            error.message().c_str());
    storage_ = new Storage{};
    storage_->sd_root = std::move(canonical);
    storage_->default_app_id = std::move(default_app_id);
    furi_record_create(RECORD_STORAGE, storage_);
}

StorageService::~StorageService() {
    if(!host::record_destroy(RECORD_STORAGE))
        host::fatal("StorageService: the \"storage\" record is still open");
    if(!storage_->open.empty())
        host::fatal(
            "StorageService: %zu file(s) still open, the first %s",
            storage_->open.size(),
            storage_->open.front()->host.c_str());
    delete storage_;
}

const fs::path& StorageService::sd_root() const {
    return storage_->sd_root;
}

void StorageService::set_default_app_id(std::string app_id) {
    storage_->default_app_id = std::move(app_id);
}

std::optional<fs::path> StorageService::resolve(std::string_view path) const {
    return storage_resolve(storage_, path);
}

void StorageService::set_card_inserted(bool inserted) {
    flush_all(*storage_); // what the app wrote before the card went stays written
    storage_->card_inserted = inserted;
}

bool StorageService::card_inserted() const {
    return storage_->card_inserted;
}

void StorageService::set_read_only(bool read_only) {
    flush_all(*storage_);
    storage_->read_only = read_only;
}

void StorageService::set_space_left(std::optional<std::uint64_t> bytes) {
    storage_->space_left = bytes;
}

std::optional<std::uint64_t> StorageService::space_left() const {
    return storage_->space_left;
}

void StorageService::fail_write(std::uint64_t nth) {
    storage_->write_fault_countdown = nth;
}

void StorageService::clear_faults() {
    storage_->card_inserted = true;
    storage_->read_only = false;
    storage_->space_left.reset();
    storage_->write_fault_countdown = 0;
}

size_t StorageService::open_count() const {
    return storage_->open.size();
}

std::optional<fs::path> storage_resolve(Storage* storage, std::string_view path) {
    if(storage == nullptr) host::fatal("storage_resolve: storage is null");
    Resolved where = resolve_path(*storage, path, false);
    if(where.error != FSE_OK) return std::nullopt;
    return std::move(where.host);
}

} // namespace host
