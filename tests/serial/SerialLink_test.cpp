#include "serial/SerialLink.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <thread>
#include <unistd.h>

#include "platform/PosixSerialPort.h"
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

// ---- The termios port on a real pseudo-terminal ----

class PtyPair {
public:
    PtyPair()
    {
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) == 0)
            path = name;
    }
    ~PtyPair()
    {
        if (master >= 0)
            ::close(master);
        if (slave >= 0)
            ::close(slave);
    }
    int master = -1;
    int slave = -1;
    std::string path;
};

std::string ReadSome(int fd, std::size_t want)
{
    std::string got;
    char buf[256];
    while (got.size() < want) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
}

TEST(PosixSerialPortTest, RawExchangeOverAPseudoTerminalAndASecondOpenerIsBusy)
{
    PtyPair pty;
    ASSERT_FALSE(pty.path.empty());
    Clock clock(100);
    auto resolver = [&](const std::string&) { return pty.path; };
    SerialLink link(clock, std::make_unique<PosixSerialPort>(resolver));
    // A pseudo-terminal has no modem lines; that is no error.
    ASSERT_EQ(link.Open("COM1"), SERIAL_OPENED) << link.OpenFailureReason();

    SerialLink second(clock, std::make_unique<PosixSerialPort>(resolver));
    EXPECT_EQ(second.Open("COM1"), SERIAL_OPEN_FAILED);
    EXPECT_NE(second.OpenFailureReason().find("busy"), std::string::npos) << second.OpenFailureReason();

    // Raw mode: bytes pass unchanged both ways (no CR/LF translation, no flow control, no echo).
    std::thread binary([&] {
        const std::string got = ReadSome(pty.master, 3);
        const std::string answer = got + "\x11\x13\x83\x47\x7f\r\nOK\r\n";
        [[maybe_unused]] auto n = ::write(pty.master, answer.data(), answer.size());
    });
    std::string reply;
    EXPECT_EQ(link.Exchange("\r\n\x11", reply, kAnswered, RK_OK), EXCHANGE_OK);
    binary.join();
    EXPECT_EQ(reply, "\r\n\x11\x11\x13\x83\x47\x7f\r\nOK\r\n");

    EXPECT_EQ(link.Close(), 1);
    EXPECT_EQ(second.Open("COM1"), SERIAL_OPENED) << second.OpenFailureReason();
}

}  // namespace
}  // namespace verup
