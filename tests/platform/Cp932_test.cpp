#include "platform/Cp932.h"

#include <gtest/gtest.h>

namespace verup {
namespace {

TEST(Cp932, ConvertsBothWays)
{
    EXPECT_EQ(Cp932ToUtf8("\x83\x47\x83\x89\x81\x5b"), "\xE3\x82\xA8\xE3\x83\xA9\xE3\x83\xBC");  // エラー
    // Half-width katakana and the full-width tilde that CP932 maps differently from Shift_JIS.
    EXPECT_EQ(Utf8ToCp932(Cp932ToUtf8("\xBF\xB9\xAF\xC4\x81\x60")), "\xBF\xB9\xAF\xC4\x81\x60");
}

TEST(Cp932, BadBytesBecomeReplacementsAndNeverThrow)
{
    EXPECT_EQ(Cp932ToUtf8("a\x83"), "a\xEF\xBF\xBD");  // cut double-byte character
    EXPECT_EQ(Cp932ToUtf8("\xFF" "b"), "\xEF\xBF\xBD" "b");
    EXPECT_EQ(Utf8ToCp932("a\xF0\x9F\x98\x80z"), "a?z");  // emoji has no CP932 form
    EXPECT_EQ(Utf8ToCp932("a\xE3z"), "a?z");              // broken UTF-8
}

}  // namespace
}  // namespace verup
