#include <gtest/gtest.h>
#include <toolbox/name_generator.h>

#include <cctype>
#include <cstring>
#include <string>

#include "host/random.h"

namespace {

// Fills the buffer with a marker first so a missing terminator or an overrun shows.
std::string make_name(std::size_t max) {
    char buffer[300];
    std::memset(buffer, '#', sizeof buffer);
    name_generator_make_random(buffer, max);
    if(max == 0) {
        EXPECT_EQ(buffer[0], '#') << "max 0 must write nothing";
        return {};
    }
    const void* nul = std::memchr(buffer, '\0', max);
    EXPECT_NE(nul, nullptr) << "no terminator within " << max << " bytes";
    EXPECT_EQ(buffer[max], '#') << "wrote past " << max << " bytes";
    return nul ? std::string(buffer) : std::string();
}

TEST(NameGenerator, RespectsTheBufferSize) {
    host::random::seed();
    for(int round = 0; round < 50; ++round) {
        for(const std::size_t max : {0, 1, 2, 3, 7, 22, 129, 255, 299}) {
            const std::string name = make_name(max);
            if(max == 0) continue;
            EXPECT_LE(name.size(), max - 1u);
            if(max == 1) {
                EXPECT_EQ(name, "");
            } else if(max == 2) {
                EXPECT_EQ(name.size(), 1u);
            } else if(max >= 22) {
                EXPECT_GE(name.size(), 5u) << name; // a whole name fits
            }
            for(const char c : name) {
                EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(c)) || c == '_') << name;
            }
            if(!name.empty()) {
                EXPECT_NE(name.back(), '_') << name;
            }
        }
    }
}

TEST(NameGenerator, LooksLikeAdjectiveUnderscoreLowerCaseNoun) {
    host::random::seed(7);
    const std::string name = make_name(129);
    const auto sep = name.find('_');
    ASSERT_NE(sep, std::string::npos) << name;
    EXPECT_GT(sep, 0u);
    EXPECT_LT(sep + 1, name.size());
    EXPECT_TRUE(std::isupper(static_cast<unsigned char>(name[0])));
    for(std::size_t i = 1; i < name.size(); ++i) {
        EXPECT_FALSE(std::isupper(static_cast<unsigned char>(name[i]))) << name; // "Hidden_door"
    }
}

TEST(NameGenerator, SeedMakesItReproducible) {
    host::random::seed(1234);
    std::string first[8];
    for(auto& n : first) n = make_name(64);
    host::random::seed(1234);
    for(const auto& n : first) EXPECT_EQ(make_name(64), n);

    // Not one fixed name: a handful of draws gives several different ones.
    int distinct = 0;
    for(int i = 1; i < 8; ++i) distinct += first[i] != first[0];
    EXPECT_GT(distinct, 0);
}

} // namespace
