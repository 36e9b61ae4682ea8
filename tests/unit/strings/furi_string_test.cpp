#include <furi.h>
#include <gtest/gtest.h>

#include <string>

#include "furi_string_ptr.h"
#include "host/memory.h"

namespace {

using Str = test_support::FuriStringPtr;
using test_support::make_furi_string;
using test_support::text_of;

TEST(FuriString, AllocationsAreCountedAndReleased) {
    const auto before = host::memory::stats().live_blocks;
    FuriString* s = furi_string_alloc();
    // Long enough to leave the small-string buffer: the contents come from the runtime heap too.
    furi_string_set_str(s, "a string that is well past any small-string optimisation");
    EXPECT_GT(host::memory::stats().live_blocks, before);

    // alloc_move takes over the source and frees it; move frees the second argument.
    FuriString* moved = furi_string_alloc_move(s);
    EXPECT_STREQ(
        furi_string_get_cstr(moved), "a string that is well past any small-string optimisation");
    FuriString* other = furi_string_alloc_set_str("other");
    furi_string_move(moved, other);
    EXPECT_STREQ(furi_string_get_cstr(moved), "other");
    furi_string_free(moved);
    EXPECT_EQ(host::memory::stats().live_blocks, before);
}

TEST(FuriString, PrintfGrowsPastSmallBuffers) {
    const std::string long_word(1000, 'x');
    Str s{furi_string_alloc_printf("%s-%d", long_word.c_str(), 42)};
    EXPECT_EQ(furi_string_size(s.get()), 1003u);
    EXPECT_EQ(text_of(s), long_word + "-42");

    // printf replaces, cat_printf appends; both return the formatted length.
    EXPECT_EQ(furi_string_printf(s.get(), "%05u", 7u), 5);
    EXPECT_EQ(text_of(s), "00007");
    EXPECT_EQ(furi_string_cat_printf(s.get(), "|%s|", long_word.c_str()), 1002);
    EXPECT_EQ(furi_string_size(s.get()), 1007u);
    EXPECT_EQ(text_of(s).substr(0, 6), "00007|");
    EXPECT_EQ(text_of(s).back(), '|');

    // Exactly at and around the internal first-try buffer size.
    for(const std::size_t n : {126u, 127u, 128u, 129u}) {
        const std::string word(n, 'y');
        furi_string_printf(s.get(), "%s", word.c_str());
        EXPECT_EQ(text_of(s), word) << n;
    }
}

TEST(FuriString, PrintfMayReadTheStringItWrites) {
    Str s = make_furi_string("abc");
    furi_string_printf(s.get(), "[%s]", furi_string_get_cstr(s.get()));
    EXPECT_EQ(text_of(s), "[abc]");
    furi_string_cat_printf(s.get(), "%s", furi_string_get_cstr(s.get()));
    EXPECT_EQ(text_of(s), "[abc][abc]");
    furi_string_cat_str(s.get(), furi_string_get_cstr(s.get()));
    EXPECT_EQ(text_of(s), "[abc][abc][abc][abc]");
}

TEST(FuriString, SearchBoundaries) {
    Str s = make_furi_string("a.b.c");
    EXPECT_EQ(furi_string_search_char(s.get(), '.', 0), 1u);
    EXPECT_EQ(furi_string_search_char(s.get(), '.', 1), 1u);
    EXPECT_EQ(furi_string_search_char(s.get(), '.', 2), 3u);
    EXPECT_EQ(furi_string_search_char(s.get(), '.', 4), FURI_STRING_FAILURE);
    EXPECT_EQ(furi_string_search_char(s.get(), '.', 5), FURI_STRING_FAILURE); // start == size
    EXPECT_EQ(furi_string_search_char(s.get(), 'z', 0), FURI_STRING_FAILURE);

    // rchar finds the last occurrence at or after start.
    EXPECT_EQ(furi_string_search_rchar(s.get(), '.', 0), 3u);
    EXPECT_EQ(furi_string_search_rchar(s.get(), '.', 3), 3u);
    EXPECT_EQ(furi_string_search_rchar(s.get(), '.', 4), FURI_STRING_FAILURE);
    EXPECT_EQ(furi_string_search_rchar(s.get(), 'a', 0), 0u);
    EXPECT_EQ(furi_string_search_rchar(s.get(), 'a', 1), FURI_STRING_FAILURE);

    EXPECT_EQ(furi_string_search_str(s.get(), "b.c", 0), 2u);
    EXPECT_EQ(furi_string_search_str(s.get(), "b.c", 3), FURI_STRING_FAILURE);
    EXPECT_EQ(furi_string_search_str(s.get(), "c", 4), 4u);
    EXPECT_EQ(furi_string_search_str(s.get(), "c.", 0), FURI_STRING_FAILURE); // runs off the end
    EXPECT_EQ(furi_string_search_str(s.get(), "", 5), 5u);

    Str empty = make_furi_string();
    EXPECT_EQ(furi_string_search_char(empty.get(), '.', 0), FURI_STRING_FAILURE);
    EXPECT_EQ(furi_string_search_rchar(empty.get(), '.', 0), FURI_STRING_FAILURE);
}

TEST(FuriString, LeftRightMidClampAtTheEnd) {
    Str s = make_furi_string("0123456789");
    furi_string_left(s.get(), 20);
    EXPECT_EQ(text_of(s), "0123456789");
    furi_string_left(s.get(), 10);
    EXPECT_EQ(text_of(s), "0123456789");
    furi_string_left(s.get(), 8);
    EXPECT_EQ(text_of(s), "01234567");
    furi_string_right(s.get(), 3); // drops the first three
    EXPECT_EQ(text_of(s), "34567");
    furi_string_right(s.get(), 5);
    EXPECT_EQ(text_of(s), "");
    furi_string_right(s.get(), 1);
    EXPECT_EQ(text_of(s), "");

    furi_string_set_str(s.get(), "0123456789");
    furi_string_mid(s.get(), 2, 3);
    EXPECT_EQ(text_of(s), "234");
    furi_string_set_str(s.get(), "0123456789");
    furi_string_mid(s.get(), 7, 100);
    EXPECT_EQ(text_of(s), "789");
    furi_string_set_str(s.get(), "0123456789");
    furi_string_mid(s.get(), 10, 1);
    EXPECT_EQ(text_of(s), "");
    furi_string_set_str(s.get(), "0123456789");
    furi_string_mid(s.get(), 50, 1);
    EXPECT_EQ(text_of(s), "");
}

TEST(FuriString, Trim) {
    Str s = make_furi_string(" \t\r\n hello world \n");
    furi_string_trim(s.get(), nullptr); // platform default set: space, \n, \r, \t
    EXPECT_EQ(text_of(s), "hello world");
    furi_string_trim(s.get(), "hd");
    EXPECT_EQ(text_of(s), "ello worl");
    furi_string_set_str(s.get(), "xxxx");
    furi_string_trim(s.get(), "x");
    EXPECT_EQ(text_of(s), "");
    furi_string_set_str(s.get(), "");
    furi_string_trim(s.get(), nullptr);
    EXPECT_EQ(text_of(s), "");
    furi_string_set_str(s.get(), "a");
    furi_string_trim(s.get(), " ");
    EXPECT_EQ(text_of(s), "a");
}

TEST(FuriString, SettersCompareAndEdit) {
    Str s = make_furi_string();
    furi_string_set_strn(s.get(), "abcdef", 3);
    EXPECT_EQ(text_of(s), "abc");
    furi_string_set_strn(s.get(), "ab", 10); // stops at the terminator
    EXPECT_EQ(text_of(s), "ab");
    furi_string_set_str(s.get(), furi_string_get_cstr(s.get()) + 1); // from its own buffer
    EXPECT_EQ(text_of(s), "b");

    Str src = make_furi_string("source");
    furi_string_set_n(s.get(), src.get(), 2, 3);
    EXPECT_EQ(text_of(s), "urc");
    furi_string_set_n(s.get(), src.get(), 4, 99);
    EXPECT_EQ(text_of(s), "ce");
    furi_string_set_n(s.get(), src.get(), 6, 1);
    EXPECT_EQ(text_of(s), "");

    furi_string_set_str(s.get(), "Tag");
    EXPECT_EQ(furi_string_cmp_str(s.get(), "Tag"), 0);
    EXPECT_LT(furi_string_cmp_str(s.get(), "Tah"), 0);
    EXPECT_GT(furi_string_cmp_str(s.get(), "Ta"), 0);
    EXPECT_EQ(furi_string_cmpi_str(s.get(), "tAG"), 0);
    EXPECT_LT(furi_string_cmpi_str(s.get(), "tags"), 0);
    EXPECT_TRUE(furi_string_equal_str(s.get(), "Tag"));
    EXPECT_FALSE(furi_string_equal_str(s.get(), "Tag "));
    EXPECT_FALSE(furi_string_start_with_str(s.get(), "Tags"));
    EXPECT_FALSE(furi_string_end_with_str(s.get(), "xTag"));

    furi_string_set_str(s.get(), "a-b-c");
    furi_string_replace_all_str(s.get(), "-", "--");
    EXPECT_EQ(text_of(s), "a--b--c");
    furi_string_replace_all_str(s.get(), "--", "");
    EXPECT_EQ(text_of(s), "abc");
    furi_string_replace_at(s.get(), 1, 1, "XYZ");
    EXPECT_EQ(text_of(s), "aXYZc");
    furi_string_replace_at(s.get(), 5, 0, "!");
    EXPECT_EQ(text_of(s), "aXYZc!");

    furi_string_set_str(s.get(), "h\xC3\xA9llo"); // é is two bytes
    EXPECT_EQ(furi_string_size(s.get()), 6u);
    EXPECT_EQ(furi_string_utf8_length(s.get()), 5u);
}

class FuriStringDeathTest : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(FuriStringDeathTest, OutOfRangeAndNullAreFatal) {
    Str s = make_furi_string("abc");
    EXPECT_DEATH(furi_string_get_char(s.get(), 3), "index");
    EXPECT_DEATH(furi_string_set_char(s.get(), 3, 'x'), "index");
    EXPECT_DEATH(furi_string_search_char(s.get(), 'a', 4), "start");
    EXPECT_DEATH(furi_string_set_n(s.get(), s.get(), 4, 1), "offset");
    EXPECT_DEATH(furi_string_replace_at(s.get(), 2, 2, "x"), "len");
    EXPECT_DEATH(furi_string_set_str(s.get(), nullptr), "nullptr");
    EXPECT_DEATH(furi_string_size(nullptr), "nullptr");
    EXPECT_DEATH(furi_string_free(nullptr), "nullptr");
}

} // namespace
