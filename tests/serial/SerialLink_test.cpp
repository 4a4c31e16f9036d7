#include "serial/SerialLink.h"

#include <gtest/gtest.h>

#include "support/FakeSerialPort.h"

namespace verup {
namespace {

using test::FakePortState;
using test::FakeSerialPort;

// Generous for replies that do come; the time-out paths use short ones.
constexpr int kAnswered = 200000;
constexpr int kUnanswered = 500;

class SerialLinkTest : public ::testing::Test {
protected:
    SerialLinkTest() : link(clock, std::make_unique<FakeSerialPort>(port)) {}
    void Answer(std::function<std::string(const std::string&)> device)
    {
        port->SetResponder([this, device](const std::string& written) { port->Feed(device(written)); });
    }
    Clock clock{100};
    std::shared_ptr<FakePortState> port = std::make_shared<FakePortState>();
    SerialLink link;
};

TEST_F(SerialLinkTest, FailedOrStalledWriteIsNotSentAndLeavesTheReplyAlone)
{
    std::string reply = "untouched";
    EXPECT_EQ(link.Exchange("ati\r", reply, kUnanswered, RK_OK), EXCHANGE_NOT_SENT);  // not open
    ASSERT_EQ(link.Open("COM1"), SERIAL_OPENED);
    port->fail_writes = true;
    EXPECT_EQ(link.Exchange("ati\r", reply, kUnanswered, RK_OK), EXCHANGE_NOT_SENT);
    port->fail_writes = false;
    port->stall_writes = true;
    EXPECT_EQ(link.Write("ati\r"), -1);
    EXPECT_EQ(reply, "untouched");
}

TEST_F(SerialLinkTest, ReplyLargerThanTheBufferFailsCleanly)
{
    ASSERT_EQ(link.Open("COM1"), SERIAL_OPENED);
    Answer([](const std::string&) { return std::string(70000, 'x') + "\r\n# "; });
    std::string reply;
    EXPECT_EQ(link.Exchange("getdata 1\r", reply, kAnswered, RK_SHELL_PROMPT), EXCHANGE_ERROR_WORD);
    EXPECT_EQ(reply.size(), ReceiveBuffer::Capacity());
}

}  // namespace
}  // namespace verup
