#include "protocol/ReplyText.h"

#include <gtest/gtest.h>

namespace verup {
namespace {

using namespace std::string_literals;

TEST(ReplyTextFindText, FoldsAsciiLettersAndReportsOneBasedPosition)
{
    EXPECT_EQ(FindText("\r\nOK\r\n", "ok"), 3);
    EXPECT_EQ(FindText("O", "OK"), 0);
    EXPECT_EQ(FindText("Version", "vERSION"), 1);
    EXPECT_EQ(FindText("Version", "Versions"), 0);
    EXPECT_EQ(FindText("abcabc", "cab"), 3);
    EXPECT_EQ(FindText("abc", "abd"), 0);
    EXPECT_EQ(FindText("abc", ""), 1);
    EXPECT_EQ(FindText("", ""), 1);
    EXPECT_EQ(FindText("", "a"), 0);
    EXPECT_EQ(FindText("xx F0>", "F0>"), 4);
}

TEST(ReplyTextFindText, StopsAtTheFirstZeroByteLikeTheDevicesTexts)
{
    EXPECT_EQ(FindText("ab\0OK"s, "OK"), 0);
    EXPECT_EQ(FindText("abOK"s, "OK\0zz"s), 3);
}

TEST(ReplyTextFindText, FoldsBytesInsideDoubleByteCharactersToo)
{
    // "ア" is 0x83 0x41; the second byte folds like "A".
    EXPECT_EQ(FindText("\x83\x41", "\x83\x61"), 1);
    EXPECT_EQ(FindText("\x83\x41", "a"), 2);
    // Bytes above 0x7F never fold.
    EXPECT_EQ(FindText("\xC1", "\xE1"), 0);
}

TEST(ReplyTextGetToken, DelimiterSelectorsZeroToEightGiveWholeTextWhenAbsent)
{
    std::string out = "old";
    EXPECT_EQ(GetToken("abcd\refgh", out, 7), 4);
    EXPECT_EQ(out, "abcd");
    EXPECT_EQ(GetToken("Version 1.10 3", out, 0), 7);
    EXPECT_EQ(out, "Version");
    EXPECT_EQ(GetToken("1.10", out, 1), 1);
    EXPECT_EQ(out, "1");
    EXPECT_EQ(GetToken("a,b", out, 2), 1);
    EXPECT_EQ(GetToken("a/b", out, 3), 1);
    EXPECT_EQ(GetToken("a-b", out, 4), 1);
    EXPECT_EQ(GetToken("12:34", out, 5), 2);
    EXPECT_EQ(GetToken("x*y", out, 6), 1);
    EXPECT_EQ(GetToken("no delimiter", out, 7), 12);
    EXPECT_EQ(out, "no delimiter");
    EXPECT_EQ(GetToken("whole text", out, 8), 10);
    EXPECT_EQ(out, "whole text");
    EXPECT_EQ(GetToken("\rrest", out, 7), 0);
    EXPECT_EQ(out, "");
}

TEST(ReplyTextGetToken, SelectorsTenToEighteenRequireTheDelimiter)
{
    std::string out = "untouched";
    EXPECT_EQ(GetToken("no carriage return", out, 17), -1);
    EXPECT_EQ(out, "untouched");
    EXPECT_EQ(GetToken("ab\rcd", out, 17), 2);
    EXPECT_EQ(out, "ab");
    EXPECT_EQ(GetToken("whole", out, 18), 5);  // the end of the text is always there
    EXPECT_EQ(out, "whole");
    out = "untouched";
    EXPECT_EQ(GetToken("x", out, 9), -1);
    EXPECT_EQ(GetToken("x", out, 19), -1);
    EXPECT_EQ(GetToken("x", out, -1), -1);
    EXPECT_EQ(out, "untouched");
}

TEST(ReplyTextGetToken, LongTokensAreReturnedWholeWithTheirTrueLength)
{
    const std::string line(300, 'x');
    std::string out;
    EXPECT_EQ(GetToken(line + "\rnext", out, 7), 300);
    EXPECT_EQ(out, line);
    EXPECT_EQ(GetToken(std::string(128, 'y'), out, 8), 128);
}

TEST(ReplyTextGetToken, TextEndsAtItsFirstZeroByte)
{
    std::string out;
    EXPECT_EQ(GetToken("ab\0c\r"s, out, 17), -1);
    EXPECT_EQ(GetToken("ab\0c\r"s, out, 8), 2);
    EXPECT_EQ(out, "ab");
}

TEST(ReplyTextHasPasswordPrompt, NeedsTheBlankAndStaysWithinLength)
{
    EXPECT_EQ(HasPasswordPrompt("\r\nPassword:", 11), 0);
    const std::string text = "\r\nPassword: ";
    EXPECT_EQ(HasPasswordPrompt(text, text.size()), 1);
    EXPECT_EQ(HasPasswordPrompt(text, text.size() - 1), 0);
    EXPECT_EQ(HasPasswordPrompt("Password: ", 10), 1);
    EXPECT_EQ(HasPasswordPrompt("Password: ", 9), 0);
    EXPECT_EQ(HasPasswordPrompt("password: ", 10), 0);  // no case folding
    EXPECT_EQ(HasPasswordPrompt("\0\0Password: "s, 12), 1);  // zero bytes do not end it
    // A length beyond the text never reads past it.
    EXPECT_EQ(HasPasswordPrompt("Pass", 4096), 0);
}

}  // namespace
}  // namespace verup
