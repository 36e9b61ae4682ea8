// A runtime with the storage service on a fresh host folder per test, and small helpers that go
// through the platform calls.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <furi.h>
#include <storage/storage.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "host/runtime.h"
#include "host/storage.h"

namespace storage_test {

namespace fs = std::filesystem;

inline host::RuntimeOptions quiet() {
    host::RuntimeOptions options;
    options.log_to_stderr = false;
    return options;
}

class StorageFixture : public ::testing::Test {
protected:
    StorageFixture()
        : root_(
              fs::temp_directory_path() /
              ("unit_storage_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name()))
        , service_(rt_, root_, "corvane")
        , storage_(static_cast<Storage*>(furi_record_open(RECORD_STORAGE))) {}
    ~StorageFixture() override {
        furi_record_close(RECORD_STORAGE);
        std::error_code error;
        fs::remove_all(root_, error);
    }

    // Host-side helpers, for setting up and checking the card's folder directly.
    void host_write(const fs::path& relative, const std::string& content) {
        fs::create_directories((root_ / relative).parent_path());
        std::ofstream(root_ / relative, std::ios::binary) << content;
    }
    std::optional<std::string> host_read(const fs::path& relative) {
        std::ifstream in(root_ / relative, std::ios::binary);
        if(!in) return std::nullopt;
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }

    // Writes a whole file through the platform calls; the error of the first failing step.
    FS_Error
        write(const char* path, const std::string& content, FS_OpenMode mode = FSOM_CREATE_ALWAYS) {
        File* file = storage_file_alloc(storage_);
        FS_Error error = FSE_OK;
        if(!storage_file_open(file, path, FSAM_WRITE, mode)) {
            error = storage_file_get_error(file);
        } else if(
            storage_file_write(file, content.data(), static_cast<uint16_t>(content.size())) !=
            content.size()) {
            error = storage_file_get_error(file);
            if(error == FSE_OK) error = FSE_DENIED; // short write: the card is full
        }
        storage_file_close(file);
        storage_file_free(file);
        return error;
    }
    std::optional<std::string> read(const char* path) {
        File* file = storage_file_alloc(storage_);
        std::optional<std::string> content;
        if(storage_file_open(file, path, FSAM_READ, FSOM_OPEN_EXISTING)) {
            content.emplace();
            char buffer[64];
            while(uint16_t n = storage_file_read(file, buffer, sizeof buffer))
                content->append(buffer, n);
        }
        storage_file_free(file);
        return content;
    }

    host::Runtime rt_{quiet()};
    fs::path root_;
    host::StorageService service_;
    Storage* storage_;
};

} // namespace storage_test
