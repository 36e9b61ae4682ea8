// Card faults set through host::StorageService, and what each storage call answers then.
#include <functional>
#include <string>

#include "storage_fixture.h"

namespace storage_test {
namespace {

class Faults : public StorageFixture {
protected:
    Faults() {
        host_write("keep.txt", "old content");
        host_write("r.txt", "r");
        fs::create_directories(root_ / "dir");
    }

    // Every card call, each reduced to its FS_Error (false from a bool call: the file's error).
    struct Call {
        const char* name;
        std::function<FS_Error(Faults&)> run;
    };
    static std::vector<Call> calls() {
        return {
            {"stat",
             [](Faults& f) { return storage_common_stat(f.storage_, "/ext/keep.txt", nullptr); }},
            {"open to read",
             [](Faults& f) {
                 return f.open_error("/ext/keep.txt", FSAM_READ, FSOM_OPEN_EXISTING);
             }},
            {"open to write",
             [](Faults& f) {
                 return f.open_error("/ext/keep.txt", FSAM_READ_WRITE, FSOM_OPEN_EXISTING);
             }},
            {"create",
             [](Faults& f) { return f.open_error("/ext/new.txt", FSAM_READ, FSOM_CREATE_NEW); }},
            {"dir open",
             [](Faults& f) {
                 File* dir = storage_file_alloc(f.storage_);
                 storage_dir_open(dir, "/ext/dir");
                 const FS_Error error = storage_file_get_error(dir);
                 storage_file_free(dir);
                 return error;
             }},
            {"mkdir", [](Faults& f) { return storage_common_mkdir(f.storage_, "/ext/newdir"); }},
            {"remove", [](Faults& f) { return storage_common_remove(f.storage_, "/ext/dir"); }},
            {"rename",
             [](Faults& f) {
                 return storage_common_rename(f.storage_, "/ext/r.txt", "/ext/r2.txt");
             }},
            {"fs info",
             [](Faults& f) {
                 uint64_t total = 0, free = 1;
                 const FS_Error error = storage_common_fs_info(f.storage_, "/ext", &total, &free);
                 return error == FSE_OK && free != 0 ?
                            FSE_OK :
                            (error == FSE_OK ? FSE_EXIST : error); // EXIST: "no free space"
             }},
        };
    }
    FS_Error open_error(const char* path, FS_AccessMode access, FS_OpenMode mode) {
        File* file = storage_file_alloc(storage_);
        storage_file_open(file, path, access, mode);
        const FS_Error error = storage_file_get_error(file);
        storage_file_free(file);
        return error;
    }
    void expect_calls(const std::vector<FS_Error>& expected) {
        const std::vector<Call> all = calls();
        ASSERT_EQ(all.size(), expected.size());
        for(size_t i = 0; i < all.size(); ++i)
            EXPECT_EQ(all[i].run(*this), expected[i]) << all[i].name;
        EXPECT_EQ(host_read("keep.txt"), "old content");
    }
};

TEST_F(Faults, NoCardMakesEveryCallNotReady) {
    service_.set_card_inserted(false);
    expect_calls(std::vector<FS_Error>(calls().size(), FSE_NOT_READY));
    EXPECT_FALSE(storage_file_exists(storage_, "/ext/keep.txt"));
    EXPECT_FALSE(storage_simply_mkdir(storage_, "/ext/newdir"));
    EXPECT_FALSE(storage_simply_remove(storage_, "/ext/keep.txt")); // not "absent"
    EXPECT_EQ(storage_sd_status(storage_), FSE_NOT_READY);
    EXPECT_EQ(
        storage_common_stat(storage_, "/int/x", nullptr),
        FSE_INVALID_NAME); // the root is checked first

    // A card pulled under an open file.
    service_.set_card_inserted(true);
    EXPECT_EQ(storage_sd_status(storage_), FSE_OK);
    File* file = storage_file_alloc(storage_);
    ASSERT_TRUE(storage_file_open(file, "/ext/keep.txt", FSAM_READ_WRITE, FSOM_OPEN_EXISTING));
    service_.set_card_inserted(false);
    char buffer[4];
    EXPECT_EQ(storage_file_read(file, buffer, sizeof buffer), 0);
    EXPECT_EQ(storage_file_get_error(file), FSE_NOT_READY);
    EXPECT_EQ(storage_file_write(file, "x", 1), 0);
    EXPECT_FALSE(storage_file_seek(file, 0, true));
    EXPECT_FALSE(storage_file_close(file));
    EXPECT_EQ(storage_file_get_error(file), FSE_NOT_READY);
    EXPECT_FALSE(storage_file_is_open(file)); // released all the same
    storage_file_free(file);
    service_.set_card_inserted(true);
    expect_calls({FSE_OK, FSE_OK, FSE_OK, FSE_OK, FSE_OK, FSE_OK, FSE_OK, FSE_OK, FSE_OK});
}

TEST_F(Faults, AWriteProtectedCardReadsButRefusesEveryChange) {
    service_.set_read_only(true);
    // stat, read, write, create, dir open, mkdir, remove, rename, fs info (no free space)
    expect_calls(
        {FSE_OK,
         FSE_OK,
         FSE_INTERNAL,
         FSE_INTERNAL,
         FSE_OK,
         FSE_INTERNAL,
         FSE_INTERNAL,
         FSE_INTERNAL,
         FSE_EXIST});
    EXPECT_FALSE(storage_simply_mkdir(storage_, "/ext/newdir"));
    EXPECT_FALSE(storage_simply_remove(storage_, "/ext/keep.txt"));
    EXPECT_EQ(read("/ext/keep.txt"), "old content");
    EXPECT_FALSE(fs::exists(root_ / "new.txt"));

    // Protected while a file is open for writing: the card refuses the write.
    service_.set_read_only(false);
    File* file = storage_file_alloc(storage_);
    ASSERT_TRUE(storage_file_open(file, "/ext/keep.txt", FSAM_WRITE, FSOM_OPEN_APPEND));
    service_.set_read_only(true);
    EXPECT_EQ(storage_file_write(file, "x", 1), 0);
    EXPECT_EQ(storage_file_get_error(file), FSE_INTERNAL);
    storage_file_free(file);
    service_.clear_faults();
    EXPECT_EQ(write("/ext/new.txt", "n"), FSE_OK);
}

TEST_F(Faults, AFullCardStopsWritesShortWithoutAnError) {
    service_.set_space_left(5);
    File* file = storage_file_alloc(storage_);
    ASSERT_TRUE(storage_file_open(file, "/ext/f", FSAM_READ_WRITE, FSOM_CREATE_ALWAYS));
    EXPECT_EQ(storage_file_write(file, "abc", 3), 3);
    EXPECT_EQ(storage_file_write(file, "defg", 4), 2); // what fits
    EXPECT_EQ(storage_file_get_error(file), FSE_OK);   // FatFs reports a full volume so
    EXPECT_EQ(storage_file_write(file, "h", 1), 0);
    EXPECT_EQ(service_.space_left(), 0u);
    EXPECT_TRUE(storage_file_seek(file, 1, true));
    EXPECT_EQ(storage_file_write(file, "XY", 2), 2); // overwriting needs no room
    EXPECT_TRUE(storage_file_seek(file, 10, true));  // nor does a pointer that can't grow the file
    EXPECT_EQ(storage_file_size(file), 5u);
    EXPECT_TRUE(storage_file_close(file));
    storage_file_free(file);
    EXPECT_EQ(host_read("f"), "aXYde");

    EXPECT_EQ(storage_common_mkdir(storage_, "/ext/newdir"), FSE_DENIED); // no cluster for it
    // stat, read, write, create, dir open, mkdir, remove, rename, fs info
    expect_calls({FSE_OK, FSE_OK, FSE_OK, FSE_OK, FSE_OK, FSE_DENIED, FSE_OK, FSE_OK, FSE_EXIST});
    service_.set_space_left(std::nullopt);
    EXPECT_EQ(write("/ext/big", std::string(1000, 'b')), FSE_OK);
}

TEST_F(Faults, AnIoErrorAtTheNthWriteSpoilsThatFileOnly) {
    service_.fail_write(2);
    File* file = storage_file_alloc(storage_);
    ASSERT_TRUE(storage_file_open(file, "/ext/f", FSAM_READ_WRITE, FSOM_CREATE_ALWAYS));
    EXPECT_EQ(storage_file_write(file, "one", 3), 3);
    EXPECT_EQ(storage_file_write(file, "two", 3), 0);
    EXPECT_EQ(storage_file_get_error(file), FSE_INTERNAL);
    EXPECT_STREQ(storage_file_get_error_desc(file), "internal error");
    EXPECT_EQ(storage_file_write(file, "three", 5), 0); // the file object keeps its error
    EXPECT_TRUE(storage_file_seek(file, 0, true) == false);
    char buffer[8];
    EXPECT_EQ(storage_file_read(file, buffer, sizeof buffer), 0);
    EXPECT_TRUE(storage_file_close(file));
    storage_file_free(file);
    EXPECT_EQ(host_read("f"), "one");
    EXPECT_EQ(write("/ext/g", "fine"), FSE_OK); // once only
    EXPECT_EQ(read("/ext/g"), "fine");

    service_.fail_write(1);
    service_.fail_write(0); // disarmed
    EXPECT_EQ(write("/ext/h", "fine"), FSE_OK);
}

} // namespace
} // namespace storage_test
