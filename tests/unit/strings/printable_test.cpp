// Text from outside made safe to print in a message: what a terminal would act on or not show is
// escaped, valid UTF-8 characters stay.
#include <gtest/gtest.h>

#include <string>

#include "host/printable.h"

namespace {

TEST(Printable, EscapesWhatATerminalWouldNotShow) {
    const struct {
        std::string text;
        const char* shown;
    } cases[] = {
        {"HW Version: M100", "HW Version: M100"},
        {"M100\x92", "M100\\x92"},
        {"a\nb\tc\rd\x1b[2J", "a\\nb\\tc\\x0Dd\\x1B[2J"},
        {std::string("nul\0end", 7), "nul\\x00end"},
        {"\x7f", "\\x7F"},
        {"5 V \u00b7 12.3 s", "5 V \u00b7 12.3 s"},  // a valid character stays
        {"\xC2\x85", "\\xC2\\x85"},                  // a C1 control
        {"\xC0\xAF", "\\xC0\\xAF"},                  // an overlong '/'
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"},         // a surrogate
        {"\xE2\x82", "\\xE2\\x82"},                  // cut short
    };
    for(const auto& c : cases) EXPECT_EQ(host::printable(c.text), c.shown) << c.shown;
    EXPECT_EQ(host::printable("abcdef", 3), "abc...");
    EXPECT_EQ(host::printable("abc", 3), "abc");
}

} // namespace
