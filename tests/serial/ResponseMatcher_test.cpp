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

TEST_F(ResponseMatcherTest, OkIsDecidedOnTheFinalLineFeed)
{
    Expect(RK_OK);
    const std::string reply = "at%i2\r\r\nVersion 1.20\r\n\r\nOK\r\n";
    EXPECT_EQ(Feed(reply), reply.size());
    EXPECT_EQ(State(), STATE_RECOGNISED);
    EXPECT_EQ(buffer.Bytes(), reply);
}

TEST_F(ResponseMatcherTest, WordsNeedEveryByteIncludingTheirBlanks)
{
    Expect(RK_ERASE_OK);
    EXPECT_EQ(Feed("ER02\r Erase OK"), 0u);
    EXPECT_EQ(State(), STATE_WAITING);
    EXPECT_GT(Feed(" "), 0u);
    EXPECT_EQ(State(), STATE_RECOGNISED);

    Expect(RK_SHELL_PROMPT);
    EXPECT_EQ(Feed("ATT1\r\r\n#"), 0u);
    EXPECT_EQ(Feed(" "), 1u);
}

TEST_F(ResponseMatcherTest, EveryKindFindsItsWordInEitherLetterCase)
{
    const std::pair<int, std::string> cases[] = {
        {RK_OK, "\r\nok\r\n"},         {RK_WRITE_OK, " write ok "},     {RK_READY, "ready:\r\n"},
        {RK_FROM_PROMPT, "f-rom>"},    {RK_ERASE_OK, " ERASE OK "},     {RK_SHELL_PROMPT, "\r\n# "},
        {RK_WRITE_OK_LINE, "\r\nWrite OK"}, {RK_F0_PROMPT, "f0>"},      {RK_MM_OK, "mm.ok"},
        {RK_MP_OK, "MP.OK"},           {RK_DL_PROMPT, "\r\ndl."},       {RK_DL_RESULT, "\r\nDL.ok"},
        {RK_ERASE_OK_LINE, "\r\nerase ok"},
    };
    for (const auto& [kind, word] : cases) {
        Expect(kind);
        EXPECT_EQ(Feed("xx" + word), word.size() + 2) << "kind " << kind;
        EXPECT_EQ(State(), STATE_RECOGNISED) << "kind " << kind;
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
    Expect(RK_OK);
    EXPECT_EQ(Feed("Error!"), 6u);
    EXPECT_EQ(State(), STATE_ERROR_WORD);
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

TEST_F(ResponseMatcherTest, MatchingOffOnlyCollectsAndAZeroedHeadHidesAnEarlierErrorWord)
{
    Expect(RK_OK);
    words.MatchingEnabled = false;
    EXPECT_EQ(Feed("\r\nOK\r\nERROR!"), 0u);
    EXPECT_EQ(State(), STATE_WAITING);
    EXPECT_EQ(buffer.Count(), 12u);
    // The raw downloads still learn of the error word.
    EXPECT_TRUE(matcher.ErrorWordSeen());
    buffer.ZeroHead();
    matcher.HeadZeroed();
    Feed("ERROR!");
    EXPECT_FALSE(matcher.ErrorWordSeen());
}

TEST_F(ResponseMatcherTest, BulkUploadWordNeedsOneMoreByteAndMaySpanReads)
{
    auto bulk = [&](const std::string& bytes) { matcher.OnBulkBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()); };
    Expect(RK_UPLOAD_BULK);
    bulk(std::string(300, '\x55') + "UL.OK");
    EXPECT_FALSE(words.ReplyEvent.IsSet());
    bulk("\r");
    EXPECT_TRUE(words.ReplyEvent.IsSet());
    EXPECT_EQ(State(), STATE_RECOGNISED);

    Expect(RK_UPLOAD_BULK);
    bulk(std::string("\0\0ul.", 5));
    bulk(std::string("ok\0", 3));
    EXPECT_EQ(State(), STATE_RECOGNISED);
}

TEST_F(ResponseMatcherTest, OverflowFailsTheExchangeAndKeepsTheBufferTerminated)
{
    Expect(RK_OK);
    const std::string flood(ReceiveBuffer::Capacity() + 100, 'x');
    EXPECT_EQ(Feed(flood), ReceiveBuffer::Capacity() + 1);
    EXPECT_EQ(State(), STATE_ERROR_WORD);
    EXPECT_TRUE(matcher.Overflowed());
    EXPECT_EQ(buffer.Count(), ReceiveBuffer::Capacity());
}

}  // namespace
}  // namespace verup
