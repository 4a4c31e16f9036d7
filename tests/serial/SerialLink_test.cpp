#include "serial/SerialLink.h"

#include <gtest/gtest.h>

#include "support/FakeSerialPort.h"

namespace verup {
namespace {

using test::FakeSerialPort;

class SerialLinkTest : public ::testing::Test {
protected:
    Clock clock{100};
    std::unique_ptr<FakeSerialPort> owned = std::make_unique<FakeSerialPort>();
    FakeSerialPort* port = owned.get();
    SerialLink link{clock, std::move(owned)};
};

TEST_F(SerialLinkTest, FailedWriteIsNotSentAndLeavesTheReplyAlone)
{
    std::string reply = "untouched";
    EXPECT_EQ(link.Exchange("ati\r", reply, 500, RK_OK), EXCHANGE_NOT_SENT);  // not open
    ASSERT_EQ(link.Open("COM1"), SERIAL_OPENED);
    port->fail_writes = true;
    EXPECT_EQ(link.Exchange("ati\r", reply, 500, RK_OK), EXCHANGE_NOT_SENT);
    EXPECT_EQ(reply, "untouched");
}

TEST_F(SerialLinkTest, ReplyLargerThanTheBufferFailsCleanly)
{
    ASSERT_EQ(link.Open("COM1"), SERIAL_OPENED);
    port->SetResponder([this](const std::string&) { port->Feed(std::string(70000, 'x') + "\r\n# "); });
    std::string reply;
    EXPECT_EQ(link.Exchange("getdata 1\r", reply, 200000, RK_SHELL_PROMPT), EXCHANGE_ERROR_WORD);
    EXPECT_EQ(reply.size(), ReceiveBuffer::Capacity());
}

}  // namespace
}  // namespace verup
