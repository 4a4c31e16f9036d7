#include "serial/ResponseMatcher.h"

#include <gtest/gtest.h>

#include <string>

namespace verup {
namespace {

const std::string kKatakanaError = "\x83\x47\x83\x89\x81\x5b";  // "エラー"

class ResponseMatcherTest : public ::testing::Test {
protected:
    // Arms an exchange as SerialLink::Exchange does.
    void Expect(int kind)
    {
        buffer.ResetForWrite();
        matcher.Reset();
        words.ExpectedReply = kind;
        words.ExchangeState = STATE_WAITING;
        words.MatchingEnabled = true;
        words.ReplyEvent.Reset();
    }
    // Feeds `text` byte by byte; returns the number of bytes fed when the event was first
    // set, or 0 when it never was.
    std::size_t Feed(const std::string& text)
    {
        std::size_t signalled_at = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            matcher.OnByte(static_cast<uint8_t>(text[i]));
            if (signalled_at == 0 && words.ReplyEvent.IsSet())
                signalled_at = i + 1;
        }
        return signalled_at;
    }
    int State() const { return words.ExchangeState.load(); }

    ReceiveBuffer buffer;
    ExchangeWords words;
    ResponseMatcher matcher{buffer, words};
};

// A word is decided on its last byte, blanks included, in either letter case (each kind's
// word in the device's own case is the end-to-end runs' part).
TEST_F(ResponseMatcherTest, WordsAreFoundInEitherLetterCaseOnTheirLastByte)
{
    const std::pair<int, std::string> cases[] = {
        {RK_OK, "at%i2\r\r\nVersion 1.20\r\n\r\nok\r\n"}, {RK_ERASE_OK, " erase ok "}, {RK_FROM_PROMPT, "f-Rom>"},
        {RK_DL_RESULT, "\r\nDL.ok"}, {RK_SHELL_PROMPT, "\r\n# "},
    };
    for (const auto& [kind, word] : cases) {
        Expect(kind);
        EXPECT_EQ(Feed("xx" + word), word.size() + 2) << "kind " << kind;
        EXPECT_EQ(State(), STATE_RECOGNISED) << "kind " << kind;
        EXPECT_EQ(buffer.Bytes(), "xx" + word);
    }
}

TEST_F(ResponseMatcherTest, OtherWordsTheUploadKindAndTextPastAZeroByteDecideNothing)
{
    const std::pair<int, std::string> cases[] = {
        {RK_MP_OK, "\r\nOK\r\n Write OK F-ROM>"},
        {RK_UPLOAD_BULK, "UL.OK\r\nOK\r\n\r\n# "},
        {RK_OK, std::string("abc\0\r\nOK\r\nERROR!", 16)},
        // The katakana error word alone, before the reply word, decides nothing by itself.
        {RK_SHELL_PROMPT, kKatakanaError + "abc"},
    };
    for (const auto& [kind, text] : cases) {
        Expect(kind);
        EXPECT_EQ(Feed(text), 0u) << kind;
        EXPECT_EQ(State(), STATE_WAITING) << kind;
    }
    Feed("\r\n# ");
    EXPECT_EQ(State(), STATE_ERROR_WORD) << "the katakana word counts once the reply word is in";
}

TEST_F(ResponseMatcherTest, ErrorWordsFailEvenAfterTheReplyWord)
{
    Expect(RK_DL_RESULT);
    EXPECT_GT(Feed("\r\nDL.ERROR"), 0u);
    EXPECT_EQ(State(), STATE_ERROR_WORD);
    for (const std::string& late : {std::string("ERROR!"), "xx" + kKatakanaError}) {
        Expect(RK_SHELL_PROMPT);
        Feed("show version\r\r\n# ");
        ASSERT_EQ(State(), STATE_RECOGNISED);
        Feed(late);
        EXPECT_EQ(State(), STATE_ERROR_WORD) << late;
    }
}

}  // namespace
}  // namespace verup
