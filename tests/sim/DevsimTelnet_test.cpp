// The simulated device's telnet server, driven with raw bytes over a loopback socket: the
// negotiation and login every LAN update starts with, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>

#include "sim/DevsimSupport.h"

namespace {

using verup::test::RawStream;

constexpr std::string_view kPassword = "q4x8m2r7k1w9t3v6b0n5c8z2h7jpdkwa\r";
// What the server opens with: WILL SGA, WILL ECHO, DO NAWS, WILL STATUS, DO 33,
// WONT LINEMODE, DO TERMINAL-TYPE, DO ECHO.
const std::string kOpening("\xFF\xFB\x03\xFF\xFB\x01\xFF\xFD\x1F\xFF\xFB\x05\xFF\xFD\x21\xFF\xFC\x22\xFF\xFD\x18\xFF\xFD\x01", 24);
// The tool's answers, in the order its negotiation table gives them.
const std::string kAnswers("\xFF\xFD\x03\xFF\xFD\x01\xFF\xFC\x1F\xFF\xFE\x05\xFF\xFC\x21\xFF\xFE\x22\xFF\xFB\x01", 21);

class DevsimTelnet : public verup::test::DevsimFixture {
protected:
    void SetUp() override
    {
        StartSim([](devsim::HarnessOptions& options) { options.WithSerial = false; });
    }

    // Connects, negotiates as the tool does, and reads up to the password prompt. Only after
    // WILL ECHO answered DO ECHO comes the second WILL SUPPRESS-GO-AHEAD.
    RawStream Connect()
    {
        RawStream s = verup::test::ConnectLoopback(sim_->TelnetPort());
        EXPECT_TRUE(s.IsOpen());
        EXPECT_EQ(s.ReadBytes(kOpening.size()), kOpening);
        EXPECT_TRUE(s.Send(kAnswers));
        EXPECT_EQ(s.ReadBytes(3), "\xFF\xFB\x03");
        EXPECT_TRUE(s.Send("\xFF\xFD\x03"));
        EXPECT_EQ(s.ReadUntil("Password: "), "\r\nNEXAVO7300QB\r\n\r\nPassword: ");
        return s;
    }
    static std::string Command(RawStream& s, std::string_view command, std::string_view word)
    {
        EXPECT_TRUE(s.Send(command));
        return s.ReadUntil(word);
    }
};

TEST_F(DevsimTelnet, NegotiationAndLoginAsTheToolDoesThem)
{
    RawStream s = Connect();
    const auto log = Device().CommandLog();
    for (const char* answer : {"IAC FD 03", "IAC FD 01", "IAC FC 1F", "IAC FE 05", "IAC FC 21", "IAC FE 22", "IAC FB 01"})
        EXPECT_NE(std::find(log.begin(), log.end(), std::string("telnet: ") + answer), log.end()) << answer;
    const std::string banner = Command(s, kPassword, "\r\n>");
    EXPECT_EQ(banner, "\r\n\r\nNEXAVO7300QB Network Terminal\r\nFarmware Version 1.10 3\r\nTelnet Server Version 2.00\r\n\r\n>");
    EXPECT_EQ(Command(s, "administrator\r", "Password:"), "administrator\r\r\nPassword:");
    EXPECT_EQ(Command(s, "wrong\r", "\r\n>"), "\r\nLogin incorrect\r\n>");
    Command(s, "administrator\r", "Password:");
    EXPECT_EQ(Command(s, kPassword, "\r\n#"), "\r\n#");
    EXPECT_EQ(Command(s, "mode crc\r", "\r\n#"), "mode crc\r\r\n#");
}

}  // namespace
