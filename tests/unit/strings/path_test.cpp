#include <furi.h>
#include <gtest/gtest.h>
#include <toolbox/path.h>

#include <string>

#include "furi_string_ptr.h"

namespace {

using Str = test_support::FuriStringPtr;
using test_support::make_furi_string;

std::string filename(const char* path, bool trim_ext) {
    Str in = make_furi_string(path);
    Str out = make_furi_string("stale");
    path_extract_filename(in.get(), out.get(), trim_ext);
    return furi_string_get_cstr(out.get());
}

template <typename Fn>
std::string with_cstr(Fn fn, const char* path) {
    Str out = make_furi_string("stale");
    fn(path, out.get());
    return furi_string_get_cstr(out.get());
}

std::string extension(const char* path, size_t max = 8) {
    Str in = make_furi_string(path);
    char ext[16] = "stale";
    path_extract_extension(in.get(), ext, max);
    return ext;
}

TEST(Path, ExtractFilename) {
    EXPECT_EQ(filename("/ext/apps_data/corvane/tag.uhf", false), "tag.uhf");
    EXPECT_EQ(filename("/ext/apps_data/corvane/tag.uhf", true), "tag");
    EXPECT_EQ(filename("tag.uhf", true), "tag");                    // no '/'
    EXPECT_EQ(filename("/ext/my.dir/tag", true), "tag");            // dot only in a folder
    EXPECT_EQ(filename("/ext/tag.backup.uhf", true), "tag.backup"); // cut at the last dot
    EXPECT_EQ(filename("/ext/dir/", false), "");
    EXPECT_EQ(filename("", true), "");

    EXPECT_EQ(with_cstr(path_extract_filename_no_ext, "/ext/my.dir/tag"), "tag");
    EXPECT_EQ(with_cstr(path_extract_filename_no_ext, "/ext/my.dir/tag.uhf"), "tag");
    EXPECT_EQ(with_cstr(path_extract_filename_no_ext, "plain"), "plain");

    // The output may be the input.
    Str p = make_furi_string("/a/b/name.ext");
    path_extract_filename(p.get(), p.get(), true);
    EXPECT_STREQ(furi_string_get_cstr(p.get()), "name");
}

TEST(Path, ExtractExtension) {
    EXPECT_EQ(extension("/ext/a/tag.uhf"), ".uhf");
    EXPECT_EQ(extension("/ext/a/tag"), "");
    EXPECT_EQ(extension("/ext/my.dir/tag"), ""); // a dot in a folder is not an extension
    EXPECT_EQ(extension("tag.tar.gz"), ".gz");
    EXPECT_EQ(extension("/ext/a/tag.uhf", 3), ".u");    // truncated, still terminated
    EXPECT_EQ(extension("/ext/a/tag.uhf", 0), "stale"); // no room: nothing written
}

TEST(Path, DirnameAndBasename) {
    EXPECT_EQ(
        with_cstr(path_extract_dirname, "/ext/apps_data/corvane/tag.uhf"),
        "/ext/apps_data/corvane");
    EXPECT_EQ(with_cstr(path_extract_dirname, "/ext/apps_data/corvane/"), "/ext/apps_data");
    EXPECT_EQ(with_cstr(path_extract_dirname, "/ext/apps_data//"), "/ext");
    EXPECT_EQ(with_cstr(path_extract_dirname, "/ext/my.dir/x.y"), "/ext/my.dir");
    EXPECT_EQ(with_cstr(path_extract_dirname, "/ext"), "");
    EXPECT_EQ(with_cstr(path_extract_dirname, "file"), "file"); // no '/': unchanged

    EXPECT_EQ(with_cstr(path_extract_basename, "/ext/apps_data/corvane/"), "corvane");
    EXPECT_EQ(with_cstr(path_extract_basename, "/ext/tag.uhf"), "tag.uhf");
    EXPECT_EQ(with_cstr(path_extract_basename, "tag"), "tag");
    EXPECT_EQ(with_cstr(path_extract_basename, "/"), "");
}

TEST(Path, AppendAndConcatUseOneSlash) {
    Str p = make_furi_string("/ext/apps_data");
    path_append(p.get(), "corvane");
    EXPECT_STREQ(furi_string_get_cstr(p.get()), "/ext/apps_data/corvane");
    furi_string_set_str(p.get(), "/ext/");
    path_append(p.get(), "/tag.uhf");
    EXPECT_STREQ(furi_string_get_cstr(p.get()), "/ext/tag.uhf");
    furi_string_set_str(p.get(), "/ext");
    path_append(p.get(), "");
    EXPECT_STREQ(furi_string_get_cstr(p.get()), "/ext");

    Str out = make_furi_string();
    path_concat("/data", "tag.uhf", out.get());
    EXPECT_STREQ(furi_string_get_cstr(out.get()), "/data/tag.uhf");
    path_concat(furi_string_get_cstr(out.get()), "x", out.get()); // path read from the output
    EXPECT_STREQ(furi_string_get_cstr(out.get()), "/data/tag.uhf/x");
}

TEST(Path, OnlyAscii) {
    EXPECT_TRUE(path_contains_only_ascii("/ext/Tag 1 (copy)~.uhf"));
    EXPECT_TRUE(path_contains_only_ascii(""));
    EXPECT_FALSE(path_contains_only_ascii("/ext/caf\xC3\xA9"));
    EXPECT_FALSE(path_contains_only_ascii("tab\there"));
}

} // namespace
