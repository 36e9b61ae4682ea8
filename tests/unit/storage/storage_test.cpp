// The storage service on a host folder: path rules, files, folders, rename, and the card faults,
// each with the platform's FS_Error codes and return values.
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "storage_fixture.h"

namespace storage_test {
namespace {

// ---- Paths ----

TEST_F(StorageFixture, PathsOutsideTheCardOrWithBadNamesAreRefused) {
    host_write("inside.txt", "x");
    fs::create_directories(root_ / "sub");
    const fs::path outside = root_.parent_path() / (root_.filename().string() + "_outside");
    fs::create_directories(outside);
    std::ofstream(outside / "secret") << "s";
    fs::create_symlink(outside, root_ / "out_dir");
    fs::create_symlink(outside / "secret", root_ / "out_file");
    fs::create_symlink(root_ / "inside.txt", root_ / "sub" / "in_link");

    struct Case {
        const char* path;
        FS_Error stat;
    };
    const std::string long_name = "/ext/" + std::string(256, 'a');
    const Case cases[] = {
        {"/ext/inside.txt", FSE_OK},
        {"/any/inside.txt", FSE_OK},
        {"/ext//sub/", FSE_OK},
        {"/ext/sub/in_link", FSE_OK}, // a link that stays on the card is followed
        {"/ext/../outside", FSE_INVALID_NAME},
        {"/ext/sub/../inside.txt", FSE_INVALID_NAME},
        {"/ext/./inside.txt", FSE_INVALID_NAME},
        {"/ext/a:b", FSE_INVALID_NAME},
        {"/ext/a*b", FSE_INVALID_NAME},
        {"/ext/a\\b", FSE_INVALID_NAME},
        {"/ext/a\tb", FSE_INVALID_NAME},
        {long_name.c_str(), FSE_INVALID_NAME},
        {"ext/inside.txt", FSE_INVALID_NAME},
        {"", FSE_INVALID_NAME},
        {"/", FSE_INVALID_NAME},
        {"/int/x", FSE_INVALID_NAME},
        {"/etc/passwd", FSE_INVALID_NAME},
        {"/ext/out_dir/secret", FSE_DENIED},
        {"/ext/out_file", FSE_DENIED},
        {"/ext/out_dir", FSE_DENIED},
    };
    for(const Case& c : cases) {
        EXPECT_EQ(storage_common_stat(storage_, c.path, nullptr), c.stat) << c.path;
    }
    // Through the file calls too: nothing outside is read, written or removed.
    EXPECT_FALSE(read("/ext/out_dir/secret"));
    EXPECT_EQ(write("/ext/out_dir/new", "x"), FSE_DENIED);
    EXPECT_EQ(storage_common_remove(storage_, "/ext/out_file"), FSE_DENIED);
    EXPECT_EQ(
        storage_common_rename(storage_, "/ext/inside.txt", "/ext/out_dir/moved"), FSE_DENIED);
    File* dir = storage_file_alloc(storage_);
    EXPECT_FALSE(storage_dir_open(dir, "/ext/out_dir"));
    storage_file_free(dir);
    EXPECT_FALSE(fs::exists(outside / "new"));
    EXPECT_TRUE(fs::exists(outside / "secret"));
    EXPECT_TRUE(fs::exists(root_ / "inside.txt"));
    fs::remove_all(outside);
}

TEST_F(StorageFixture, DataIsTheCallingAppsFolderCreatedOnFirstUse) {
    EXPECT_FALSE(fs::exists(root_ / "apps_data" / "corvane"));
    EXPECT_EQ(write("/data/tag.uhf", "t"), FSE_OK);
    EXPECT_EQ(host_read("apps_data/corvane/tag.uhf"), "t");
    EXPECT_TRUE(storage_file_exists(storage_, "/ext/apps_data/corvane/tag.uhf"));

    struct Context {
        Storage* storage;
        FS_Error error;
    } context{storage_, FSE_INTERNAL};
    FuriThread* thread = furi_thread_alloc_ex(
        "pacewick",
        2048,
        [](void* p) -> int32_t {
            auto* c = static_cast<Context*>(p);
            c->error = storage_common_mkdir(c->storage, "/data/logs");
            return 0;
        },
        &context);
    furi_thread_set_appid(thread, "pacewick");
    furi_thread_start(thread);
    furi_thread_join(thread);
    furi_thread_free(thread);
    EXPECT_EQ(context.error, FSE_OK);
    EXPECT_TRUE(fs::is_directory(root_ / "apps_data" / "pacewick" / "logs"));

    service_.set_default_app_id("");
    EXPECT_EQ(
        storage_common_stat(storage_, "/data/tag.uhf", nullptr),
        FSE_INVALID_NAME); // no app owns it
}

TEST_F(StorageFixture, ResolvePathRewritesDataInPlace) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"/data", "/ext/apps_data/corvane"},
        {"/data/", "/ext/apps_data/corvane/"},
        {"/data/sub/Tag1.uhf", "/ext/apps_data/corvane/sub/Tag1.uhf"},
        {"/assets/icon.png", "/ext/apps_assets/corvane/icon.png"},
        {"/ext/apps_data/corvane/x", "/ext/apps_data/corvane/x"},
        {"/any/x", "/any/x"},
        {"/database/x", "/database/x"},
        {"data/x", "data/x"},
        {"", ""},
    };
    for(const Case& c : cases) {
        FuriString* path = furi_string_alloc_set_str(c.in);
        storage_common_resolve_path_and_ensure_app_directory(storage_, path);
        EXPECT_STREQ(furi_string_get_cstr(path), c.out) << c.in;
        furi_string_free(path);
    }
    EXPECT_TRUE(fs::is_directory(root_ / "apps_data" / "corvane"));
}

// ---- Files ----

TEST_F(StorageFixture, OpenModesFollowFat) {
    struct Case {
        const char* name;
        bool exists;
        FS_AccessMode access;
        FS_OpenMode mode;
        FS_Error error;
        const char* content_after; // after writing "new" (null: nothing written)
    };
    const Case cases[] = {
        {"existing, missing", false, FSAM_READ_WRITE, FSOM_OPEN_EXISTING, FSE_NOT_EXIST, nullptr},
        {"existing, there", true, FSAM_READ_WRITE, FSOM_OPEN_EXISTING, FSE_OK, "newold"},
        {"always, missing", false, FSAM_WRITE, FSOM_OPEN_ALWAYS, FSE_OK, "new"},
        {"always, there", true, FSAM_WRITE, FSOM_OPEN_ALWAYS, FSE_OK, "newold"},
        {"append, there", true, FSAM_WRITE, FSOM_OPEN_APPEND, FSE_OK, "oldoldnew"},
        {"create new, there", true, FSAM_WRITE, FSOM_CREATE_NEW, FSE_EXIST, nullptr},
        {"create new, missing", false, FSAM_WRITE, FSOM_CREATE_NEW, FSE_OK, "new"},
        {"create always, there", true, FSAM_WRITE, FSOM_CREATE_ALWAYS, FSE_OK, "new"},
        {"no access",
         true,
         static_cast<FS_AccessMode>(0),
         FSOM_OPEN_EXISTING,
         FSE_INVALID_PARAMETER,
         nullptr},
    };
    for(const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(root_ / "f");
        if(c.exists) host_write("f", "oldold");
        File* file = storage_file_alloc(storage_);
        EXPECT_EQ(storage_file_open(file, "/ext/f", c.access, c.mode), c.error == FSE_OK);
        EXPECT_EQ(storage_file_get_error(file), c.error);
        if(c.content_after != nullptr) {
            EXPECT_EQ(storage_file_write(file, "new", 3), 3);
            EXPECT_TRUE(storage_file_close(file));
            EXPECT_EQ(host_read("f"), c.content_after);
        }
        storage_file_free(file);
    }
    // A folder is no file: missing for opening, refused for creating.
    fs::create_directories(root_ / "d");
    File* file = storage_file_alloc(storage_);
    EXPECT_FALSE(storage_file_open(file, "/ext/d", FSAM_READ, FSOM_OPEN_EXISTING));
    EXPECT_EQ(storage_file_get_error(file), FSE_NOT_EXIST);
    EXPECT_FALSE(storage_file_open(file, "/ext/d", FSAM_WRITE, FSOM_CREATE_ALWAYS));
    EXPECT_EQ(storage_file_get_error(file), FSE_DENIED);
    EXPECT_FALSE(storage_file_open(file, "/ext/no/such/f", FSAM_WRITE, FSOM_CREATE_ALWAYS));
    EXPECT_EQ(storage_file_get_error(file), FSE_NOT_EXIST);
    EXPECT_TRUE(storage_file_close(file)); // closing after a failed open is harmless
    storage_file_free(file);
}

TEST_F(StorageFixture, ReadWriteSeekTellSizeEof) {
    File* file = storage_file_alloc(storage_);
    ASSERT_TRUE(storage_file_open(file, "/ext/f", FSAM_READ_WRITE, FSOM_CREATE_ALWAYS));
    EXPECT_TRUE(storage_file_is_open(file));
    EXPECT_FALSE(storage_file_is_dir(file));
    EXPECT_EQ(storage_file_write(file, "0123456789", 10), 10);
    EXPECT_EQ(storage_file_tell(file), 10u);
    EXPECT_TRUE(storage_file_eof(file));
    EXPECT_TRUE(storage_file_seek(file, 4, true));
    char buffer[16] = {};
    EXPECT_EQ(storage_file_read(file, buffer, 3), 3);
    EXPECT_STREQ(buffer, "456");
    EXPECT_TRUE(storage_file_seek(file, 2, false)); // forward from the current position
    EXPECT_EQ(storage_file_read(file, buffer, sizeof buffer), 1);
    EXPECT_EQ(buffer[0], '9');
    EXPECT_EQ(storage_file_read(file, buffer, sizeof buffer), 0); // at the end: 0, no error
    EXPECT_EQ(storage_file_get_error(file), FSE_OK);
    EXPECT_TRUE(storage_file_seek(file, 5, true));
    EXPECT_TRUE(storage_file_truncate(file));
    EXPECT_EQ(storage_file_size(file), 5u);
    EXPECT_TRUE(
        storage_file_seek(file, 8, true)); // past the end, opened for writing: the file grows
    EXPECT_EQ(storage_file_size(file), 8u);
    EXPECT_TRUE(storage_file_close(file));
    EXPECT_FALSE(storage_file_is_open(file));

    ASSERT_TRUE(storage_file_open(file, "/ext/f", FSAM_READ, FSOM_OPEN_EXISTING));
    EXPECT_TRUE(storage_file_seek(file, 100, true)); // read only: the pointer stops at the end
    EXPECT_EQ(storage_file_tell(file), 8u);
    EXPECT_EQ(storage_file_write(file, "x", 1), 0);
    EXPECT_EQ(storage_file_get_error(file), FSE_DENIED);
    EXPECT_FALSE(storage_file_truncate(file));
    EXPECT_STREQ(storage_file_get_error_desc(file), "access denied");
    storage_file_free(file); // closes
    EXPECT_EQ(service_.open_count(), 0u);
    EXPECT_EQ(host_read("f"), std::string("01234\0\0\0", 8));
}

TEST_F(StorageFixture, AFileOpenElsewhereBlocksTheOpenerUntilItIsClosed) {
    File* holder = storage_file_alloc(storage_);
    ASSERT_TRUE(storage_file_open(holder, "/ext/shared", FSAM_WRITE, FSOM_CREATE_ALWAYS));
    EXPECT_EQ(storage_common_remove(storage_, "/ext/shared"), FSE_ALREADY_OPEN);
    EXPECT_FALSE(storage_simply_remove(storage_, "/ext/shared"));
    EXPECT_EQ(storage_common_rename(storage_, "/ext/shared", "/ext/other"), FSE_ALREADY_OPEN);

    struct Context {
        Storage* storage;
        bool opened = false;
        uint32_t at = 0;
    } context{storage_};
    FuriThread* thread = furi_thread_alloc_ex(
        "opener",
        2048,
        [](void* p) -> int32_t {
            auto* c = static_cast<Context*>(p);
            File* file = storage_file_alloc(c->storage);
            c->opened = storage_file_open(file, "/ext/shared", FSAM_READ, FSOM_OPEN_EXISTING);
            c->at = furi_get_tick();
            storage_file_free(file);
            return 0;
        },
        &context);
    furi_thread_start(thread);
    furi_delay_ms(500);
    EXPECT_FALSE(context.opened); // still waiting
    EXPECT_EQ(storage_file_write(holder, "abc", 3), 3);
    storage_file_close(holder);
    furi_thread_join(thread);
    furi_thread_free(thread);
    EXPECT_TRUE(context.opened);
    EXPECT_GE(context.at, 500u);
    storage_file_free(holder);
}

TEST_F(StorageFixture, CopyBetweenOpenFiles) {
    host_write("src", "abcdefgh");
    File* src = storage_file_alloc(storage_);
    File* dst = storage_file_alloc(storage_);
    ASSERT_TRUE(storage_file_open(src, "/ext/src", FSAM_READ, FSOM_OPEN_EXISTING));
    ASSERT_TRUE(storage_file_open(dst, "/ext/dst", FSAM_WRITE, FSOM_CREATE_NEW));
    ASSERT_TRUE(storage_file_seek(src, 2, true));
    EXPECT_TRUE(storage_file_copy_to_file(src, dst, 4));
    EXPECT_TRUE(storage_file_copy_to_file(src, dst, 100)); // stops at the end
    storage_file_free(src);
    storage_file_free(dst);
    EXPECT_EQ(host_read("dst"), "cdefgh");
}

// Small writes wait in the file's buffer, and every other view of the card sees them: a read back
// through the same file, a stat, a folder read, the host path, a card pulled out while the file
// is open. Writes at another place and a seek back in between keep every byte where it belongs.
TEST_F(StorageFixture, BufferedBytesAreSeenEverywhereAndReachTheCard) {
    File* file = storage_file_alloc(storage_);
    ASSERT_TRUE(storage_file_open(file, "/ext/log.txt", FSAM_READ_WRITE, FSOM_CREATE_ALWAYS));
    for(const char* piece : {"Key", ":", " ", "value", "\n"})
        EXPECT_EQ(storage_file_write(file, piece, static_cast<uint16_t>(strlen(piece))), strlen(piece));
    FileInfo info{};
    EXPECT_EQ(storage_common_stat(storage_, "/ext/log.txt", &info), FSE_OK);
    EXPECT_EQ(info.size, 11u);
    ASSERT_TRUE(storage_file_seek(file, 0, true));
    EXPECT_EQ(storage_file_write(file, "k", 1), 1);
    ASSERT_TRUE(storage_file_seek(file, 3, true));
    char buffer[16] = {};
    EXPECT_EQ(storage_file_read(file, buffer, sizeof buffer), 8);
    EXPECT_STREQ(buffer, ": value\n");
    EXPECT_EQ(storage_file_write(file, "more", 4), 4);
    service_.set_card_inserted(false);
    EXPECT_EQ(host_read("log.txt"), "key: value\nmore");
    service_.set_card_inserted(true);
    EXPECT_EQ(storage_file_write(file, "!", 1), 1);
    storage_file_free(file);
    EXPECT_EQ(host_read("log.txt"), "key: value\nmore!");
}

// ---- Common calls ----

TEST_F(StorageFixture, StatExistsMkdirRemove) {
    host_write("f.txt", "12345");
    FileInfo info{};
    EXPECT_EQ(storage_common_stat(storage_, "/ext/f.txt", &info), FSE_OK);
    EXPECT_FALSE(file_info_is_dir(&info));
    EXPECT_EQ(info.size, 5u);
    EXPECT_EQ(storage_common_stat(storage_, "/ext", &info), FSE_OK);
    EXPECT_TRUE(file_info_is_dir(&info));
    EXPECT_EQ(storage_common_stat(storage_, "/ext/missing", &info), FSE_NOT_EXIST);
    EXPECT_TRUE(storage_file_exists(storage_, "/ext/f.txt"));
    EXPECT_FALSE(storage_dir_exists(storage_, "/ext/f.txt"));
    EXPECT_TRUE(storage_dir_exists(storage_, "/ext"));
    EXPECT_TRUE(storage_common_exists(storage_, "/ext/f.txt"));
    EXPECT_FALSE(storage_common_exists(storage_, "/ext/missing"));
    uint32_t stamp = 0;
    EXPECT_EQ(storage_common_timestamp(storage_, "/ext/f.txt", &stamp), FSE_OK);
    EXPECT_GT(stamp, 0u);

    EXPECT_EQ(storage_common_mkdir(storage_, "/ext/d"), FSE_OK);
    EXPECT_EQ(storage_common_mkdir(storage_, "/ext/d"), FSE_EXIST);
    EXPECT_EQ(storage_common_mkdir(storage_, "/ext/f.txt"), FSE_EXIST); // any entry of that name
    EXPECT_TRUE(storage_simply_mkdir(storage_, "/ext/f.txt"));          // so "simply" says yes
    EXPECT_EQ(storage_common_mkdir(storage_, "/ext/no/parent"), FSE_NOT_EXIST);
    EXPECT_FALSE(storage_simply_mkdir(storage_, "/ext/no/parent"));

    host_write("d/inner/x", "x");
    EXPECT_EQ(storage_common_remove(storage_, "/ext/d"), FSE_DENIED); // not empty
    EXPECT_EQ(storage_common_remove(storage_, "/ext/missing"), FSE_NOT_EXIST);
    EXPECT_TRUE(storage_simply_remove(storage_, "/ext/missing"));
    EXPECT_EQ(storage_common_remove(storage_, "/ext"), FSE_INVALID_NAME);
    EXPECT_TRUE(storage_simply_remove_recursive(storage_, "/ext/d/"));
    EXPECT_FALSE(fs::exists(root_ / "d"));
    EXPECT_TRUE(storage_simply_remove_recursive(storage_, "/ext/d")); // absent

    uint64_t total = 0, free = 0;
    EXPECT_EQ(storage_common_fs_info(storage_, "/ext", &total, &free), FSE_OK);
    EXPECT_GT(total, 0u);
    EXPECT_LE(free, total);
    EXPECT_STREQ(storage_error_get_desc(FSE_NOT_READY), "filesystem not ready");
    EXPECT_STREQ(filesystem_api_error_get_desc(FSE_ALREADY_OPEN), "file is already open");
}

TEST_F(StorageFixture, RenameReplacesAFileButNeverAFolder) {
    struct Case {
        const char* name;
        const char* from;
        const char* to;
        FS_Error error;
        const char* from_after; // content left at `from` (null: gone)
        const char* to_after;   // content at `to` (null: not a file)
    };
    const Case cases[] = {
        {"to a new name", "/ext/a", "/ext/new", FSE_OK, nullptr, "A"},
        {"over a file", "/ext/a", "/ext/b", FSE_OK, nullptr, "A"},
        {"onto itself", "/ext/a", "/any/a", FSE_OK, "A", "A"},
        {"missing source", "/ext/missing", "/ext/b", FSE_INVALID_NAME, nullptr, "B"},
        {"over a folder", "/ext/a", "/ext/dir", FSE_EXIST, "A", nullptr},
        {"into a missing folder", "/ext/a", "/ext/nowhere/a", FSE_NOT_EXIST, "A", nullptr},
        {"across /data", "/ext/a", "/data/a", FSE_OK, nullptr, "A"},
    };
    for(const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root_);
        fs::create_directories(root_ / "dir");
        host_write("a", "A");
        host_write("b", "B");
        EXPECT_EQ(storage_common_rename(storage_, c.from, c.to), c.error);
        const auto from = c.from_after ? std::optional<std::string>(c.from_after) : std::nullopt;
        EXPECT_EQ(read(c.from), from);
        const auto to = c.to_after ? std::optional<std::string>(c.to_after) : std::nullopt;
        EXPECT_EQ(read(c.to), to);
    }
    // Folders move with what is in them, but not into themselves.
    host_write("dir/x", "X");
    EXPECT_EQ(storage_common_rename(storage_, "/ext/dir", "/ext/dir/sub"), FSE_INVALID_NAME);
    EXPECT_EQ(storage_common_rename(storage_, "/ext/dir", "/ext/moved"), FSE_OK);
    EXPECT_EQ(read("/ext/moved/x"), "X");
    // The target open elsewhere stays: the rename fails, nothing is lost.
    host_write("a", "A");
    File* open = storage_file_alloc(storage_);
    ASSERT_TRUE(storage_file_open(open, "/ext/b", FSAM_READ, FSOM_OPEN_EXISTING));
    EXPECT_EQ(storage_common_rename(storage_, "/ext/a", "/ext/b"), FSE_EXIST);
    storage_file_free(open);
    EXPECT_EQ(read("/ext/a"), "A");
    EXPECT_EQ(read("/ext/b"), "B");
}

// ---- Folders ----

std::vector<std::string> list(Storage* storage, const char* path, uint16_t name_length = 256) {
    std::vector<std::string> names;
    File* dir = storage_file_alloc(storage);
    if(storage_dir_open(dir, path)) {
        EXPECT_TRUE(storage_file_is_dir(dir));
        FileInfo info{};
        char name[256];
        while(storage_dir_read(dir, &info, name, name_length)) {
            names.push_back(
                std::string(name) + (file_info_is_dir(&info) ? "/" : "") + ":" +
                std::to_string(info.size));
        }
        EXPECT_EQ(storage_file_get_error(dir), FSE_NOT_EXIST); // the end of the folder
    } else {
        names.push_back(std::string("error ") + storage_file_get_error_desc(dir));
    }
    storage_dir_close(dir);
    storage_file_free(dir);
    return names;
}

TEST_F(StorageFixture, FolderReadsComeInTheOrderOfCreation) {
    // From before this run: by birth time, then modification time, then name. Written in one go,
    // the host's coarse clock may give them equal times, so the test sets modification times.
    host_write("old_b", "bb");
    host_write("old_a", "a");
    host_write("old_c", "");
    const auto base = fs::file_time_type::clock::now() - std::chrono::hours(1);
    fs::last_write_time(root_ / "old_b", base);
    fs::last_write_time(root_ / "old_a", base + std::chrono::seconds(1));
    fs::last_write_time(root_ / "old_c", base + std::chrono::seconds(1));
    // Then what the service made, in the order it made it; a rename makes a new entry.
    EXPECT_EQ(write("/ext/zeta", "z"), FSE_OK);
    EXPECT_EQ(storage_common_mkdir(storage_, "/ext/alpha"), FSE_OK);
    EXPECT_EQ(write("/ext/mid", "m"), FSE_OK);
    EXPECT_EQ(storage_common_rename(storage_, "/ext/zeta", "/ext/zeta2"), FSE_OK);
    // Links leading out and things FAT has no name for are not listed.
    fs::create_symlink("/", root_ / "escape");
    fs::create_symlink(root_ / "missing", root_ / "dangling");

    // (Birth times, where the host has them, agree: the old files were made in that order.)
    const std::vector<std::string> names = list(storage_, "/ext");
    EXPECT_EQ(
        names,
        (std::vector<std::string>{
            "old_b:2", "old_a:1", "old_c:0", "alpha/:0", "mid:1", "zeta2:1"}));
    EXPECT_EQ(list(storage_, "/any/"), names);
}

TEST_F(StorageFixture, FolderReadsCutNamesAndReportErrors) {
    EXPECT_EQ(write("/ext/a_long_file_name.uhf", ""), FSE_OK);
    EXPECT_EQ(
        list(storage_, "/ext", 7),
        (std::vector<std::string>{"a_long:0"})); // strlcpy: 6 characters and the zero
    EXPECT_EQ(
        list(storage_, "/ext/a_long_file_name.uhf"),
        (std::vector<std::string>{"error file/dir not exist"}));
    EXPECT_EQ(
        list(storage_, "/ext/missing"), (std::vector<std::string>{"error file/dir not exist"}));
    EXPECT_EQ(list(storage_, "/ext/../x"), (std::vector<std::string>{"error invalid name/path"}));
    EXPECT_EQ(list(storage_, "/data"), (std::vector<std::string>{})); // created when first used
    File* dir = storage_file_alloc(storage_);
    ASSERT_TRUE(storage_dir_open(dir, "/ext"));
    EXPECT_TRUE(storage_dir_read(dir, nullptr, nullptr, 0)); // info and name are optional
    storage_file_free(dir);                                  // closes the folder
    EXPECT_EQ(service_.open_count(), 0u);
}

} // namespace
} // namespace storage_test
