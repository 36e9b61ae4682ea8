// Storage: platform paths mapped onto a host folder that stands for the SD card.

#include <storage/storage.h>

#include <furi.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/fatal.h"
#include "host/kernel.h"
#include "host/storage.h"

namespace fs = std::filesystem;

namespace {
constexpr const char* kTag = "Storage";
}

struct Storage {
    fs::path sd_root;
    std::string default_app_id;
};

namespace {

Storage* require(Storage* storage, const char* what) {
    if(storage == nullptr) host::fatal("%s: storage is null", what);
    return storage;
}

std::string calling_app_id(const Storage& storage) {
    if(!furi_kernel_is_irq_or_masked()) {
        const char* appid = furi_thread_get_appid(furi_thread_get_current_id());
        if(appid != nullptr) return appid;
    }
    return storage.default_app_id;
}

bool valid_app_id(const std::string& id) {
    if(id.empty()) return false;
    for(char c : id) {
        if(!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
    }
    return true;
}

// Splits "/a//b/c/" into {"a", "b", "c"}; false for "..", "." or a NUL.
bool split(std::string_view path, std::vector<std::string>& parts) {
    size_t start = 0;
    while(start <= path.size()) {
        size_t end = path.find('/', start);
        if(end == std::string_view::npos) end = path.size();
        const std::string_view part = path.substr(start, end - start);
        if(part == ".." || part == "." || part.find('\0') != std::string_view::npos) return false;
        if(!part.empty()) parts.emplace_back(part);
        start = end + 1;
    }
    return true;
}

std::optional<fs::path> resolve(const Storage& storage, std::string_view path) {
    std::vector<std::string> parts;
    if(path.empty() || path.front() != '/' || !split(path, parts) || parts.empty()) return std::nullopt;
    fs::path result = storage.sd_root;
    if(parts.front() == "data") {
        const std::string app_id = calling_app_id(storage);
        if(!valid_app_id(app_id)) {
            FURI_LOG_E(kTag, "\"%.*s\": /data needs an app id (furi_thread_set_appid)", static_cast<int>(path.size()), path.data());
            return std::nullopt;
        }
        result /= "apps_data";
        result /= app_id;
        std::error_code error;
        fs::create_directories(result, error);  // the data folder exists once it is used
    } else if(parts.front() != "ext" && parts.front() != "any") {
        FURI_LOG_E(kTag, "\"%.*s\": only /ext, /any and /data are served", static_cast<int>(path.size()), path.data());
        return std::nullopt;
    }
    for(size_t i = 1; i < parts.size(); ++i) result /= parts[i];
    return result;
}

const char* require_path(const char* path, const char* what) {
    if(path == nullptr) host::fatal("%s: path is null", what);
    return path;
}

}  // namespace

extern "C" {

bool storage_file_exists(Storage* storage, const char* path) {
    require(storage, "storage_file_exists");
    const auto host_path = resolve(*storage, require_path(path, "storage_file_exists"));
    std::error_code error;
    return host_path && fs::is_regular_file(*host_path, error);
}

bool storage_simply_mkdir(Storage* storage, const char* path) {
    require(storage, "storage_simply_mkdir");
    const auto host_path = resolve(*storage, require_path(path, "storage_simply_mkdir"));
    if(!host_path) return false;
    std::error_code error;
    if(fs::is_directory(*host_path, error)) return true;
    return fs::create_directory(*host_path, error) && !error;
}

bool storage_simply_remove(Storage* storage, const char* path) {
    require(storage, "storage_simply_remove");
    const auto host_path = resolve(*storage, require_path(path, "storage_simply_remove"));
    if(!host_path) return false;
    std::error_code error;
    if(!fs::exists(fs::symlink_status(*host_path, error))) return true;
    fs::remove(*host_path, error);  // a folder only when empty
    return !error;
}

}  // extern "C"

namespace host {

StorageService::StorageService(Runtime& runtime, fs::path sd_root, std::string default_app_id)
    : storage_(new Storage{std::move(sd_root), std::move(default_app_id)}) {
    (void)runtime;
    std::error_code error;
    fs::create_directories(storage_->sd_root, error);
    if(error) host::fatal("StorageService: cannot create the SD card folder %s: %s", storage_->sd_root.c_str(), error.message().c_str());
    furi_record_create(RECORD_STORAGE, storage_);
}

StorageService::~StorageService() {
    if(!host::record_destroy(RECORD_STORAGE)) host::fatal("StorageService: the \"storage\" record is still open");
    delete storage_;
}

const fs::path& StorageService::sd_root() const {
    return storage_->sd_root;
}

void StorageService::set_default_app_id(std::string app_id) {
    storage_->default_app_id = std::move(app_id);
}

std::optional<fs::path> StorageService::resolve(std::string_view path) const {
    return ::resolve(*storage_, path);
}

std::optional<fs::path> storage_resolve(Storage* storage, std::string_view path) {
    return ::resolve(*require(storage, "storage_resolve"), path);
}

}  // namespace host
