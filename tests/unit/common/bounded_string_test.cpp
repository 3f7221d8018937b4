#include "bounded_string.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(AppendString, FillsTheBufferExactlyAndRefusesOneByteMore) {
    char buffer[8] = "abc";
    ASSERT_TRUE(AppendString(buffer, sizeof buffer, "defg"));  // 7 bytes and the NUL: full
    EXPECT_STREQ(buffer, "abcdefg");

    char tooSmall[8] = "abc";
    std::memset(tooSmall + 4, '#', 4);  // what lies behind the string must stay as it is
    EXPECT_FALSE(AppendString(tooSmall, sizeof tooSmall, "defgh"));
    EXPECT_STREQ(tooSmall, "abc");
    EXPECT_EQ(std::string(tooSmall + 4, 4), "####");
}

TEST(AppendString, AppendsNothingToAnEmptySuffix) {
    char buffer[4] = "abc";
    EXPECT_TRUE(AppendString(buffer, sizeof buffer, ""));
    EXPECT_STREQ(buffer, "abc");
}

TEST(AppendString, RefusesABufferWithoutATerminator) {
    char buffer[4] = {'a', 'b', 'c', 'd'};
    EXPECT_FALSE(AppendString(buffer, sizeof buffer, ""));
    EXPECT_EQ(std::string(buffer, 4), "abcd");
}

TEST(CopyBytes, CopiesAPrefixAndTerminatesIt) {
    char buffer[4];
    ASSERT_TRUE(CopyBytes(buffer, sizeof buffer, "abcdef", 3));
    EXPECT_STREQ(buffer, "abc");
    std::memcpy(buffer, "xyz", 4);
    EXPECT_FALSE(CopyBytes(buffer, sizeof buffer, "abcdef", 4));
    EXPECT_STREQ(buffer, "xyz");
    EXPECT_TRUE(CopyBytes(buffer, sizeof buffer, "", 0));
    EXPECT_STREQ(buffer, "");
}

TEST(StringLength, CountsBytesUpToTheNul) {
    EXPECT_EQ(StringLength(""), 0u);
    EXPECT_EQ(StringLength("\x95\x5C" "a"), 3u);
}

}  // namespace
