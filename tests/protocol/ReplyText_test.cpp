#include "protocol/ReplyText.h"

#include <gtest/gtest.h>

namespace verup {
namespace {

using namespace std::string_literals;

TEST(ReplyText, FindTextFoldsAsciiLettersAndStopsAtAZeroByte)
{
    const struct {
        std::string text, word;
        int at;  // 1-based, 0 when absent
    } cases[] = {
        {"\r\nOK\r\n", "ok", 3}, {"O", "OK", 0}, {"Version", "vERSION", 1}, {"Version", "Versions", 0},
        {"abcabc", "cab", 3}, {"abc", "abd", 0}, {"abc", "", 1}, {"", "", 1}, {"", "a", 0}, {"xx F0>", "F0>", 4},
        // Texts end at their first zero byte, as the device's do.
        {"ab\0OK"s, "OK", 0}, {"abOK", "OK\0zz"s, 3},
        // Bytes inside double-byte characters fold too ("ア" is 0x83 0x41); bytes above 0x7F never.
        {"\x83\x41", "\x83\x61", 1}, {"\x83\x41", "a", 2}, {"\xC1", "\xE1", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindText(c.text, c.word), c.at) << c.text << " / " << c.word;
}

TEST(ReplyText, GetTokenCutsAtTheSelectedDelimiter)
{
    const struct {
        std::string text;
        int selector;
        int length;       // -1: delimiter required but absent
        const char* out;  // null: the output is left as it was
    } cases[] = {
        {"abcd\refgh", 7, 4, "abcd"}, {"Version 1.10 3", 0, 7, "Version"}, {"12:34", 5, 2, "12"},
        // Selectors 0 ... 8 give the whole text when the delimiter is absent.
        {"no delimiter", 7, 12, "no delimiter"}, {"whole text", 8, 10, "whole text"}, {"\rrest", 7, 0, ""},
        // 10 ... 18 require it; the end of the text (18) is always there.
        {"no carriage return", 17, -1, nullptr}, {"ab\rcd", 17, 2, "ab"}, {"whole", 18, 5, "whole"},
        {"x", 9, -1, nullptr}, {"x", 19, -1, nullptr}, {"x", -1, -1, nullptr},
        // Long tokens come whole with their true length; the text ends at a zero byte.
        {std::string(300, 'x') + "\rnext", 7, 300, nullptr}, {std::string(128, 'y'), 8, 128, nullptr},
        {"ab\0c\r"s, 17, -1, nullptr}, {"ab\0c\r"s, 8, 2, "ab"},
    };
    for (const auto& c : cases) {
        std::string out = "untouched";
        EXPECT_EQ(GetToken(c.text, out, c.selector), c.length) << c.text << " / " << c.selector;
        const std::string want = c.out != nullptr ? c.out
                                 : c.length < 0   ? "untouched"
                                                  : c.text.substr(0, static_cast<std::size_t>(c.length));
        EXPECT_EQ(out, want) << c.text << " / " << c.selector;
    }
}

TEST(ReplyText, PasswordPromptNeedsTheBlankAndStaysWithinLength)
{
    const std::string text = "\r\nPassword: ";
    EXPECT_EQ(HasPasswordPrompt(text, text.size()), 1);
    EXPECT_EQ(HasPasswordPrompt(text, text.size() - 1), 0);
    EXPECT_EQ(HasPasswordPrompt("password: ", 10), 0);       // no case folding
    EXPECT_EQ(HasPasswordPrompt("\0\0Password: "s, 12), 1);  // zero bytes do not end it
    EXPECT_EQ(HasPasswordPrompt("Pass", 4096), 0);           // never reads past the text
}

}  // namespace
}  // namespace verup
