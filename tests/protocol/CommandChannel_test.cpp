// The retry rules of one exchange. The data kinds, the single try without repeat and the
// error words are the end-to-end runs' part (every download, the monitor probe, the faults).
#include "protocol/CommandChannel.h"

#include <gtest/gtest.h>

#include "support/ScriptedLink.h"

namespace verup {
namespace {

using test::Answer;
using test::ScriptedLink;
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
