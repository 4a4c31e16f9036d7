// The simulated device's telnet server, driven with raw bytes over a loopback socket.
#include <gtest/gtest.h>

#include <algorithm>

#include "lan/Fcs16.h"
#include "sim/DevsimSupport.h"

namespace {

using devsim::RunMode;
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
    RawStream Connect(std::string_view product = "NEXAVO7300QB")
    {
        RawStream s = verup::test::ConnectLoopbackWhenUp(sim_->TelnetPort());
        EXPECT_TRUE(s.IsOpen());
        EXPECT_EQ(s.ReadBytes(kOpening.size()), kOpening);
        EXPECT_TRUE(s.Send(kAnswers));
        EXPECT_EQ(s.ReadBytes(3), "\xFF\xFB\x03");
        EXPECT_TRUE(s.Send("\xFF\xFD\x03"));
        EXPECT_EQ(s.ReadUntil("Password: "), "\r\n" + std::string(product) + "\r\n\r\nPassword: ");
        return s;
    }
    RawStream LogIn()
    {
        RawStream s = Connect();
        EXPECT_TRUE(s.Send(kPassword));
        s.ReadUntil("\r\n>");
        EXPECT_TRUE(s.Send("administrator\r"));
        EXPECT_EQ(s.ReadUntil("Password:"), "administrator\r\r\nPassword:");
        EXPECT_TRUE(s.Send(kPassword));
        EXPECT_EQ(s.ReadUntil("\r\n#"), "\r\n#");
        return s;
    }
    static std::string Command(RawStream& s, std::string_view command, std::string_view word)
    {
        EXPECT_TRUE(s.Send(command));
        return s.ReadUntil(word);
    }
    static std::string Block(const std::vector<uint8_t>& data) { return std::string(data.begin(), data.end()); }
};

TEST_F(DevsimTelnet, NegotiationAndLoginBannerNamingProductAndVersionsWithinItsFirst250Bytes)
{
    RawStream s = Connect();
    const auto log = Device().CommandLog();
    for (const char* answer : {"IAC FD 03", "IAC FD 01", "IAC FC 1F", "IAC FE 05", "IAC FC 21", "IAC FE 22", "IAC FB 01"})
        EXPECT_NE(std::find(log.begin(), log.end(), std::string("telnet: ") + answer), log.end()) << answer;
    const std::string banner = Command(s, kPassword, "\r\n>");
    EXPECT_EQ(banner, "\r\n\r\nNEXAVO7300QB Network Terminal\r\nFarmware Version 1.10 3\r\nTelnet Server Version 2.00\r\n\r\n>");
    const std::string first = banner.substr(0, 250);
    EXPECT_EQ(first.substr(first.find("Farmware ") + 9, 12), "Version 1.10");
    EXPECT_EQ(first.substr(first.find("Telnet Server ") + 14, 13), "Version 2.00\r");
    EXPECT_EQ(Command(s, "administrator\r", "Password:"), "administrator\r\r\nPassword:");
    EXPECT_EQ(Command(s, "wrong\r", "\r\n>"), "\r\nLogin incorrect\r\n>");
    Command(s, "administrator\r", "Password:");
    EXPECT_EQ(Command(s, kPassword, "\r\n#"), "\r\n#");
    EXPECT_EQ(Command(s, "mode crc\r", "\r\n#"), "mode crc\r\r\n#");
}

// The CRC-mode block and its upload are what every LAN update sends and checks; here, what
// the tool never sends: a plain block, and a block whose FCS is wrong.
TEST_F(DevsimTelnet, PlainBlockIsWrittenAndABadFcsIsRefused)
{
    RawStream s = LogIn();
    const std::size_t sector = options_.Profile.SectorBytes();
    std::vector<uint8_t> block(sector);
    for (std::size_t i = 0; i < sector; ++i)
        block[i] = static_cast<uint8_t>(i * 7 + (i >> 8));  // holds 0xFF bytes: no escaping
    // Plain mode: exactly SECT_END_ADR + 1 bytes.
    EXPECT_EQ(Command(s, "download 29\r", "DL."), "download 29\r\r\nDL.");
    EXPECT_EQ(Command(s, Block(block), "\r\n#"), "\r\nDL.OK\r\n#");
    EXPECT_EQ(Command(s, "fromwr 29\r", "\r\n#"), "fromwr 29\r\r\nWrite OK\r\n#");
    EXPECT_TRUE(Device().Area(29) == block);

    Command(s, "mode crc\r", "\r\n#");
    verup::Fcs16Append(block);
    block[100] ^= 1;
    Command(s, "download 28\r", "DL.");
    EXPECT_EQ(Command(s, Block(block), "\r\n#"), "\r\nDL.ERROR\r\n#");
}

TEST_F(DevsimTelnet, RestartDropsTheConnectionAndRefusesUntilTheDeviceIsBack)
{
    RawStream s = LogIn();
    const uint64_t boots = Device().BootCount();
    ASSERT_TRUE(s.Send("restart reboot\r"));
    EXPECT_TRUE(s.WaitClosed());
    if (Device().Mode() == RunMode::Restarting) {
        EXPECT_FALSE(verup::test::ConnectLoopback(sim_->TelnetPort()).IsOpen());
    }
    RawStream again = Connect();
    EXPECT_GT(Device().BootCount(), boots);
    EXPECT_NE(Command(again, kPassword, "\r\n>").find("Farmware Version 1.10 3"), std::string::npos);
}

class DevsimTelnetFaults : public DevsimTelnet {
protected:
    void Configure(devsim::HarnessOptions& o) override
    {
        o.Device.Product = "OTHERBOX";
        o.Device.TelnetServerVersion = "Version 1.00";
        o.Device.Faults.DlError = 1;
        o.Device.Faults.BadUploadFcs = 1;
        o.Device.Faults.DropMidBlock = 2;
        o.Device.Faults.KanjiError = {{"fromer", 1}};
    }
};

TEST_F(DevsimTelnetFaults, FaultsShowOnTheWire)
{
    RawStream s = Connect("OTHERBOX");
    const std::string banner = Command(s, kPassword, "\r\n>");
    EXPECT_NE(banner.find("OTHERBOX Network Terminal"), std::string::npos);
    EXPECT_EQ(banner.find("NEXAVO7300QB"), std::string::npos);
    EXPECT_NE(banner.find("Telnet Server Version 1.00"), std::string::npos);
    Command(s, "administrator\r", "Password:");
    Command(s, kPassword, "\r\n#");

    EXPECT_EQ(Command(s, "fromer 7\r", "\r\n#"), "fromer 7\r\r\n\x83\x47\x83\x89\x81\x5b\r\n\r\n#");
    Command(s, "mode crc\r", "\r\n#");
    std::vector<uint8_t> block(options_.Profile.SectorBytes(), 0x42);
    verup::Fcs16Append(block);
    Command(s, "download 9\r", "DL.");
    EXPECT_EQ(Command(s, Block(block), "\r\n#"), "\r\nDL.ERROR\r\n#") << "first block: DL.ERROR";
    ASSERT_TRUE(s.Send("upload 9\r"));
    const std::string reply = s.ReadUntil("UL.OK");
    EXPECT_EQ(verup::Fcs16Check(reinterpret_cast<const uint8_t*>(reply.data() + 16), options_.Profile.SectorBytes() + 2), 0);
    s.ReadUntil("\r\n#");
    Command(s, "download 9\r", "DL.");
    ASSERT_TRUE(s.Send(Block(block)));
    EXPECT_TRUE(s.WaitClosed()) << "second block: dropped half way";
}

class DevsimTelnetSlowReturn : public DevsimTelnet {
protected:
    void Configure(devsim::HarnessOptions& o) override { o.Device.Faults.ReturnAfter = 1; }
};

TEST_F(DevsimTelnetSlowReturn, FirstConnectionAfterARestartIsDropped)
{
    RawStream s = LogIn();  // at power-on the device answers at once
    const uint64_t boots = Device().BootCount();
    ASSERT_TRUE(s.Send("restart reboot\r"));
    EXPECT_TRUE(s.WaitClosed());
    RawStream first = verup::test::ConnectLoopbackWhenUp(sim_->TelnetPort());
    ASSERT_TRUE(first.IsOpen());
    EXPECT_TRUE(first.WaitClosed());
    EXPECT_GT(Device().BootCount(), boots);
    RawStream second = Connect();
    EXPECT_NE(Command(second, kPassword, "\r\n>").find("Farmware Version 1.10 3"), std::string::npos);
}

}  // namespace
