// The simulated device's telnet server, driven with raw bytes over a loopback socket.
#include <gtest/gtest.h>

#include <memory>

#include "PackageMaker.h"
#include "SimHarness.h"
#include "image/ImageBuilder.h"
#include "lan/Fcs16.h"
#include "settings/GetdataReply.h"
#include "support/DevsimClients.h"
#include "support/DevsimFixture.h"
#include "support/TempDir.h"

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

    // Connects, negotiates as the tool does, and reads up to the password prompt.
    RawStream Connect()
    {
        RawStream s = verup::test::ConnectLoopbackWhenUp(sim_->TelnetPort());
        EXPECT_TRUE(s.IsOpen());
        EXPECT_EQ(s.ReadBytes(kOpening.size()), kOpening);
        EXPECT_TRUE(s.Send(kAnswers));
        EXPECT_EQ(s.ReadBytes(3), "\xFF\xFB\x03");
        EXPECT_TRUE(s.Send("\xFF\xFD\x03"));
        EXPECT_EQ(s.ReadUntil("Password: "), "\r\nNEXAVO7300QB\r\n\r\nPassword: ");
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

TEST_F(DevsimTelnet, NegotiationRunsTheToolsTableAndTheSecondSgaWaitsForTheEchoAnswer)
{
    RawStream s = verup::test::ConnectLoopbackWhenUp(sim_->TelnetPort());
    ASSERT_TRUE(s.IsOpen());
    EXPECT_EQ(s.ReadBytes(kOpening.size()), kOpening);
    ASSERT_TRUE(s.Send(kAnswers));
    // Only now, after WILL ECHO answered DO ECHO, the second WILL SUPPRESS-GO-AHEAD.
    EXPECT_EQ(s.ReadBytes(3), "\xFF\xFB\x03");
    ASSERT_TRUE(s.Send("\xFF\xFD\x03"));
    EXPECT_EQ(s.ReadUntil("Password: "), "\r\nNEXAVO7300QB\r\n\r\nPassword: ");
    const auto log = Device().CommandLog();
    for (const char* answer : {"IAC FD 03", "IAC FD 01", "IAC FC 1F", "IAC FE 05", "IAC FC 21", "IAC FE 22", "IAC FB 01"})
        EXPECT_NE(std::find(log.begin(), log.end(), std::string("telnet: ") + answer), log.end()) << answer;
}

TEST_F(DevsimTelnet, LoginBannerNamesProductAndVersionsWithinItsFirst250Bytes)
{
    RawStream s = Connect();
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

TEST_F(DevsimTelnet, BlockDownloadedAndWrittenIsWhatInspectionAndUploadShow)
{
    RawStream s = LogIn();
    const std::size_t sector = options_.Profile.SectorBytes();
    std::vector<uint8_t> block(sector);
    for (std::size_t i = 0; i < sector; ++i)
        block[i] = static_cast<uint8_t>(i * 7 + (i >> 8));  // holds 0xFF bytes: no escaping
    // Plain mode first: exactly SECT_END_ADR + 1 bytes.
    EXPECT_EQ(Command(s, "download 29\r", "DL."), "download 29\r\r\nDL.");
    EXPECT_EQ(Command(s, Block(block), "\r\n#"), "\r\nDL.OK\r\n#");
    EXPECT_EQ(Command(s, "fromwr 29\r", "\r\n#"), "fromwr 29\r\r\nWrite OK\r\n#");
    EXPECT_TRUE(Device().Area(29) == block);

    // CRC mode: the block carries its FCS, and so does the upload.
    Command(s, "mode crc\r", "\r\n#");
    block[0] ^= 0x55;
    std::vector<uint8_t> framed = block;
    verup::Fcs16Append(framed);
    Command(s, "download 28\r", "DL.");
    EXPECT_EQ(Command(s, Block(framed), "\r\n#"), "\r\nDL.OK\r\n#");
    Command(s, "fromwr 28\r", "\r\n#");
    EXPECT_TRUE(Device().Area(28) == block);

    ASSERT_TRUE(s.Send("upload 28\r"));
    std::string reply = s.ReadUntil("UL.OK");
    reply += s.ReadUntil("\r\n#");
    const std::size_t offset = std::string("upload 28\r").size() + 6;
    ASSERT_GE(reply.size(), offset + sector + 2);
    EXPECT_EQ(reply.substr(offset, sector), Block(block));
    EXPECT_EQ(verup::Fcs16Check(reinterpret_cast<const uint8_t*>(reply.data() + offset), sector + 2), 1);
    EXPECT_EQ(reply.substr(offset + sector + 2), "\r\nUL.OK\r\n#");

    // A corrupted FCS is refused and nothing is written.
    framed[100] ^= 1;
    Command(s, "download 27\r", "DL.");
    EXPECT_EQ(Command(s, Block(framed), "\r\n#"), "\r\nDL.ERROR\r\n#");
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

TEST_F(DevsimTelnet, LanUpdateWithRawSettingsAreaRestoresTheSettings)
{
    const auto cfg = options_.Profile.Cfg;
    const std::size_t sector = options_.Profile.SectorBytes();
    const auto used = Device().SavedSettings();
    ASSERT_TRUE(used.has_value());

    RawStream s = LogIn();
    Command(s, "mode crc\r", "\r\n#");
    ASSERT_TRUE(s.Send("upload 31\r"));
    std::string reply = s.ReadUntil("UL.OK");
    reply += s.ReadUntil("\r\n#");
    const std::string area31 = reply.substr(16, sector + 2);
    ASSERT_EQ(verup::Fcs16Check(reinterpret_cast<const uint8_t*>(area31.data()), area31.size()), 1);

    std::vector<uint8_t> image;
    const auto built = verup::BuildProgramImage(cfg, dir_.Path(),
                                                static_cast<uint32_t>(verup::test::TempDir::ReadFile(dir_.File("rt00.mot")).size()), image);
    ASSERT_TRUE(built.Ok()) << built.Reason;
    for (int i = 1; i <= cfg.MAIN; ++i)
        EXPECT_EQ(Command(s, "fromer " + std::to_string(i) + "\r", "\r\n#"), "fromer " + std::to_string(i) + "\r\r\nErase OK\r\n#");
    Command(s, "fromer " + std::to_string(cfg.DATA) + "\r", "\r\n#");
    for (int j = 1; j <= built.SectorCount; ++j) {
        const auto piece = verup::ProgramImageSector(image, j, cfg);
        std::vector<uint8_t> framed(piece.begin(), piece.end());
        verup::Fcs16Append(framed);
        Command(s, "mode crc\r", "\r\n#");
        Command(s, "download " + std::to_string(j) + "\r", "DL.");
        EXPECT_EQ(Command(s, Block(framed), "\r\n#"), "\r\nDL.OK\r\n#");
        Command(s, "fromwr " + std::to_string(j) + "\r", "\r\n#");
    }
    ASSERT_TRUE(s.Send("restart reboot\r"));
    EXPECT_TRUE(s.WaitClosed());
    s = LogIn();
    EXPECT_EQ(Device().VersionText(), "Version 1.20 3");
    EXPECT_EQ(*Device().SavedSettings(), devsim::DefaultSettings(options_.Profile.NewLayout, true));

    Command(s, "mode crc\r", "\r\n#");
    Command(s, "download 31\r", "DL.");
    EXPECT_EQ(Command(s, area31, "\r\n#"), "\r\nDL.OK\r\n#");
    EXPECT_EQ(Command(s, "fromwr 31\r", "\r\n#"), "fromwr 31\r\r\nWrite OK\r\n#");
    EXPECT_EQ(*Device().SavedSettings(), *used);
    std::vector<std::string> items;
    const std::string block3 = Command(s, "getdata 3\r", "\r\n#");
    ASSERT_TRUE(verup::ReadGetdataItems(block3, 2, items));
    EXPECT_EQ(items, (std::vector<std::string>{"user3.1", "user3.2"}));
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
    RawStream s = verup::test::ConnectLoopbackWhenUp(sim_->TelnetPort());
    s.ReadBytes(kOpening.size());
    s.Send(kAnswers);
    s.ReadBytes(3);
    s.Send("\xFF\xFD\x03");
    EXPECT_EQ(s.ReadUntil("Password: "), "\r\nOTHERBOX\r\n\r\nPassword: ");
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

class DevsimTelnetRefused : public DevsimTelnet {
protected:
    void Configure(devsim::HarnessOptions& o) override { o.Device.Faults.RefuseLogin = true; }
};

TEST_F(DevsimTelnetRefused, PasswordIsRefused)
{
    RawStream s = Connect();
    EXPECT_EQ(Command(s, kPassword, "Password: "), "\r\nLogin incorrect\r\n\r\nPassword: ");
}

}  // namespace

namespace {

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
