#include <gtest/gtest.h>

#include "app/DumpArguments.h"

namespace {
TEST(DumpArguments, StartWordsSplitIntoHighAndLowHalves) {
    struct Case {
        const char* word;
        std::uint64_t position;
    };
    const Case cases[] = {
        {"0", 0},
        {"1234", 0x1234},
        {"12345678", 0x12345678},
        {"0x12345678", 0x12345678},
        {"123456789", 0x123456789},
        {"FFFFFFFFFFFFFFFF", 0xFFFFFFFFFFFFFFFF},
        {"0xabcdef0123456789", 0xABCDEF0123456789},
        // Each half is read up to its first character that is no hexadecimal digit.
        {"1234567z9", 0x100234567},
        {"1z345678123", 0x145678123},
    };
    for (const Case& c : cases) {
        std::uint64_t position = 99;
        EXPECT_TRUE(DumpArguments::parseStart(c.word, &position)) << c.word;
        EXPECT_EQ(c.position, position) << c.word;
    }
    for (const char* word : {"", "0x", "x1", "-1", "G12345678", "1G2345678", "12345678z1234567", "10000000000000000"}) {
        std::uint64_t position = 99;
        EXPECT_FALSE(DumpArguments::parseStart(word, &position)) << word;
        EXPECT_EQ(99u, position) << word;
    }
}

TEST(DumpArguments, LengthWords) {
    EXPECT_EQ(512u, DumpArguments::parseLength(""));
    EXPECT_EQ(512u, DumpArguments::parseLength("zz"));
    EXPECT_EQ(0u, DumpArguments::parseLength("0"));
    EXPECT_EQ(0x201u, DumpArguments::parseLength("0x201"));
    EXPECT_EQ(0x200u, DumpArguments::parseLength("00000000000200"));
    EXPECT_EQ(0xFFFFFFFFu, DumpArguments::parseLength("FFFFFFFF"));
    EXPECT_EQ(0xFFFFFFFFu, DumpArguments::parseLength("123456789"));
}
}  // namespace
