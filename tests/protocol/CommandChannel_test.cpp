#include "protocol/CommandChannel.h"

#include <gtest/gtest.h>

#include "support/ScriptedLink.h"

namespace verup {
namespace {

using test::Answer;
using test::ScriptedLink;
using test::ScriptedReply;
using test::Silence;

class CommandChannelTest : public ::testing::Test {
protected:
    CommandChannelTest() { channel.AttemptCount = 3; }
    Clock clock{1000};
    ScriptedLink serial;
    CommandChannel channel{clock, serial, CommandChannel::Numbering::Serial};
};

TEST_F(CommandChannelTest, NoReplyMakesEveryTryWithANudgeAndLeavesNoText)
{
    serial.SetResponder([](const std::string& command, int) { return Silence(command); });
    EXPECT_EQ(channel.SerialCommand("ati\r", 3000, RK_OK), EXCHANGE_TIMEOUT);
    const std::vector<std::string> expected = {"ati\r", "\r", "ati\r", "\r", "ati\r", "\r"};
    EXPECT_EQ(serial.Commands(), expected);
    EXPECT_EQ(channel.ReplyBuffer, "");
    for (const auto& sent : serial.Sent()) {
        EXPECT_EQ(sent.timeout_ms, 3000);
        EXPECT_EQ(sent.kind, RK_OK);
    }
}

TEST_F(CommandChannelTest, AnsweredNudgeSucceedsWithBothTexts)
{
    serial.Queue(Silence("ati\r"));
    serial.Queue(Answer("\r\r\nOK\r\n"));
    const int64_t before = clock.NowMs();
    EXPECT_EQ(channel.SerialCommand("ati\r", 3000, RK_OK), EXCHANGE_OK);
    EXPECT_EQ(channel.ReplyBuffer, "ati\r\r\r\nOK\r\n");
    EXPECT_EQ(serial.Commands().size(), 2u);
    // The device gets its pause before the next command.
    EXPECT_GE(clock.NowMs() - before, 3000);
}

TEST_F(CommandChannelTest, NoRepeatKeepsWhatArrivedOnATimeOut)
{
    serial.Queue(Silence("A\r\nF1>"));
    EXPECT_EQ(channel.SerialCommand("A", 1000, RK_OK, true), EXCHANGE_TIMEOUT);
    EXPECT_EQ(channel.ReplyBuffer, "A\r\nF1>");
    EXPECT_EQ(serial.Commands().size(), 1u);
}

TEST_F(CommandChannelTest, ErrorWordOnTheLastTryIsTheResult)
{
    serial.SetResponder([](const std::string&, int) { return ScriptedReply{EXCHANGE_ERROR_WORD, "ERROR!"}; });
    channel.AttemptCount = 2;
    EXPECT_EQ(channel.SerialCommand("ER01\r", 5000, RK_ERASE_OK), EXCHANGE_ERROR_WORD);
    EXPECT_EQ(serial.Commands().size(), 4u);
    EXPECT_EQ(channel.ReplyBuffer, "");
}

TEST_F(CommandChannelTest, NoAttemptsMeansNoCommand)
{
    channel.AttemptCount = 0;
    EXPECT_EQ(channel.SerialCommand("ati\r", 3000, RK_OK), 99);
    EXPECT_EQ(channel.Transact("exit\r", 3000, RK_OK), 0);
    EXPECT_TRUE(serial.Commands().empty());
    EXPECT_EQ(channel.ReplyBuffer, "");
}

TEST_F(CommandChannelTest, NotWrittenCountsAsAFailedTry)
{
    serial.SetResponder([](const std::string&, int) { return ScriptedReply{EXCHANGE_NOT_SENT, {}}; });
    channel.AttemptCount = 1;
    EXPECT_EQ(channel.SerialCommand("ati\r", 3000, RK_OK), EXCHANGE_NOT_SENT);
    EXPECT_EQ(serial.Commands().size(), 2u);
}

TEST_F(CommandChannelTest, DataKindsClearTheBufferAndTryOnce)
{
    serial.SetResponder([](const std::string&, int) { return Silence(); });
    EXPECT_EQ(channel.Transact("data", 3000, RK_DOWNLOAD_DATA), 0);
    ASSERT_EQ(serial.Sent().size(), 2u);  // one try and its nudge
    EXPECT_EQ(serial.Sent()[0].kind, RK_DL_RESULT);
    EXPECT_EQ(serial.Clears(), 1);
    EXPECT_EQ(channel.AttemptCount, 3);

    EXPECT_EQ(channel.Transact("upload 1\r", 3000, RK_UPLOAD_DATA), 0);
    EXPECT_EQ(serial.Sent()[2].kind, RK_UPLOAD_BULK);
    EXPECT_EQ(serial.Clears(), 2);
}

TEST_F(CommandChannelTest, TransactTranslatesForTheTelnetNumbering)
{
    serial.SetResponder([](const std::string&, int) { return Answer("\r\nOK\r\n"); });
    EXPECT_EQ(channel.Transact("exit\r", 5000, RK_OK), 1);
    EXPECT_EQ(serial.Sent().back().kind, RK_OK);

    ScriptedLink lan;
    CommandChannel telnet{clock, lan, CommandChannel::Numbering::Telnet};
    telnet.AttemptCount = 3;
    lan.SetResponder([](const std::string&, int) { return Answer("\r\n# "); });
    const std::pair<int, int> table[] = {
        {RK_OK, TRK_SHELL_PROMPT},          {RK_SHELL_PROMPT, TRK_SHELL_PROMPT}, {RK_WRITE_OK_LINE, TRK_WRITE_OK},
        {RK_UPLOAD_BULK, TRK_UPLOAD_BULK},  {RK_DL_PROMPT, TRK_DL_PROMPT},       {RK_ERASE_OK_LINE, TRK_ERASE_OK},
        {RK_UPLOAD_DATA, TRK_UPLOAD_BULK},  {RK_DOWNLOAD_DATA, TRK_DL_RESULT},   {RK_READY, RK_READY},
    };
    for (const auto& [kind, telnet_kind] : table) {
        EXPECT_EQ(telnet.Transact("x\r", 3000, kind), 1);
        EXPECT_EQ(lan.Sent().back().kind, telnet_kind) << "kind " << kind;
    }
    EXPECT_EQ(telnet.ReplyBuffer, "\r\n# ");
    EXPECT_EQ(serial.Sent().size(), 1u);
}

TEST_F(CommandChannelTest, LargeReplyAndNudgeAreKeptWhole)
{
    const std::string big(65790, 'x');
    serial.Queue(Silence(big));
    serial.Queue(Answer(big));
    EXPECT_EQ(channel.SerialCommand("getdata 1\r", 3000, RK_SHELL_PROMPT), EXCHANGE_OK);
    EXPECT_EQ(channel.ReplyBuffer.size(), 2 * big.size());
}

}  // namespace
}  // namespace verup
