// The simulated device over its pseudo-terminal, driven with raw bytes as a terminal would.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "settings/GetdataReply.h"
#include "sim/DevsimSupport.h"

namespace {

using devsim::RunMode;
using verup::test::OpenSerial;
using verup::test::RawStream;

class DevsimSerial : public verup::test::DevsimFixture {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(StartSim([this](devsim::HarnessOptions& options) {
            options.WithTelnet = false;
            options.Device.StatePath = dir_.File("device.state");
        }));
        port_ = OpenSerial(sim_->PtyPath());
        ASSERT_TRUE(port_.IsOpen());
    }

    std::string Command(std::string_view command, std::string_view word)
    {
        EXPECT_TRUE(port_.Send(command));
        return port_.ReadUntil(word);
    }
    // Closes the port, waits for the restart that began (boot count above `before`) to end,
    // and opens the port again, as the tool does after every restart.
    void ReopenAfterRestart(uint64_t before)
    {
        port_.Close();
        const auto end = std::chrono::steady_clock::now() + RawStream::kCap;
        while ((Device().BootCount() <= before || Device().Mode() == RunMode::Restarting) &&
               std::chrono::steady_clock::now() < end) {
            Device().Tick();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_NE(Device().Mode(), RunMode::Restarting);
        port_ = OpenSerial(sim_->PtyPath());
        ASSERT_TRUE(port_.IsOpen());
    }
    void EnterFlashMonitor()
    {
        const uint64_t boots = Device().BootCount();
        EXPECT_EQ(Command("AT!F1\r\n", "F0>"), "AT!F1\r\r\nF0>");
        ReopenAfterRestart(boots);
        EXPECT_EQ(Command("A", "F1>"), "\r\nF1>");
        EXPECT_EQ(Command("FROM\r\n", "F-ROM>"), "FROM\r\r\nF-ROM>");
    }
    // The two "cs" values: flash, then RAM.
    std::pair<std::string, std::string> Checksums()
    {
        const std::string reply = Command("cs\r", "F-ROM>");
        const auto first = reply.find('(');
        const auto second = reply.find('(', first + 1);
        if (first == std::string::npos || second == std::string::npos)
            return {};
        return {reply.substr(first + 1, 4), reply.substr(second + 1, 4)};
    }
    // The command that writes the RAM checksum into its slot.
    std::string FixRamChecksum()
    {
        const auto ram = Checksums().second;
        EXPECT_EQ(ram.size(), 4u);
        EXPECT_NE(ram, "0000");
        char fix[64];
        std::snprintf(fix, sizeof fix, "ms/w%x=%s\r", Cfg().PROG_RAM_STR_ADR + Cfg().CHECK_SUM_ADR, ram.c_str());
        return fix;
    }
    std::string Package(std::string_view name) { return verup::test::TempDir::ReadFile(dir_.File(name)); }
    verup::Config Cfg() { return options_.Profile.Cfg; }

    RawStream port_;
};

TEST_F(DevsimSerial, AtInterpreterEchoesAndAnswersEachCommand)
{
    // The wake-up bytes are echoed ("A", "A") and never answered with OK; the probe follows.
    ASSERT_TRUE(port_.Send("A"));
    ASSERT_TRUE(port_.Send("\x11"));
    ASSERT_TRUE(port_.Send("A"));
    EXPECT_EQ(Command("AT$I99=157\r\n", "OK\r\n"), "AAAT$I99=157\r\r\nOK\r\n");
    EXPECT_EQ(port_.ReadBytes(1), "\n");  // the echo of the LF, after the reply
    EXPECT_EQ(Command("AT\r\n", "OK\r\n"), "AT\r\r\nOK\r\n");
    EXPECT_EQ(port_.ReadBytes(1), "\n");
    EXPECT_EQ(Command("ati\r", "OK\r\n"), "ati\r\r\nNEXAVO7300QB Network Terminal\r\n\r\nOK\r\n");
    EXPECT_EQ(Command("at%i2\r", "OK\r\n"), "at%i2\r\r\nVersion 1.10 3\r\n\r\nOK\r\n");
    EXPECT_EQ(Command("at%z\r", "OK\r\n"), "at%z\r\r\nOK\r\n");
    EXPECT_EQ(Command("ATT1\r", "# "), "ATT1\r\r\n# ");
    EXPECT_EQ(Command("exit\r", "OK\r\n"), "exit\r\r\nOK\r\n");
    EXPECT_EQ(Command("ati\r", "OK\r\n").find("NEXAVO7300QB"), 6u) << "back in the AT interpreter";
}

TEST_F(DevsimSerial, ShowVersionGivesEveryLabelTheToolReads)
{
    Command("ATT1\r", "\r\n# ");
    const std::string reply = Command("show version\r", "\r\n# ");
    // Each value follows its label after one blank and runs to CR.
    for (const std::string_view line : {"Farmware Version 1.10 3", "HTTP Server Version 1.02", "TELNET Server Version 2.00",
                                        "Eth1 Mac Address 00:80:6D:73:00:11", "Eth0 Mac Address 00:80:6D:73:00:10",
                                        "WL0 Mac Address 00:80:6D:73:00:12", "WL0 Version 2.3.1",
                                        "Usb0 Mac Address 00:80:6D:73:00:13"})
        EXPECT_NE(reply.find(std::string(line) + "\r"), std::string::npos) << line;
}

TEST_F(DevsimSerial, SettingsCommandsFollowTheReadingRulesAndSurviveARestart)
{
    Command("ATT1\r", "\r\n# ");
    const std::string block37 = Command("getdata 37\r", "\r\n# ");
    EXPECT_NE(block37.find("load data_37 ok\r\n"), std::string::npos);
    std::vector<std::string> items;
    ASSERT_TRUE(verup::ReadGetdataItems(block37, 2, items));
    EXPECT_EQ(items[0], "101\x01" "102\x01" "103\x01" "104\x01" "105\x01" "106\x01" "-1\x01" "108\x01" "109\x01" "110\x01" "-1");

    EXPECT_EQ(Command("getdata 3\r", "\r\n# "), "getdata 3\r\r\nuser3.1\r\r\nuser3.2\r\r\nload data_3 ok\r\n\r\n# ");
    EXPECT_EQ(Command("putdata 3 2 a b\x01" "c\r", "\r\n# "), "putdata 3 2 a b\x01" "c\r\r\nwrite data_3 ok\r\n\r\n# ");
    EXPECT_EQ(Command("putdata 3 1 \r", "\r\n# "), "putdata 3 1 \r\r\nwrite data_3 ok\r\n\r\n# ");
    EXPECT_EQ(Command("putdata 99 1 x\r", "\r\n# "), "putdata 99 1 x\r\r\nwrite data_99 ng\r\n\r\n# ");
    // Not saved yet: area 31 still holds the old values.
    EXPECT_EQ(*Device().SavedSettings()->Item(3, 2), "user3.2");

    const uint64_t boots = Device().BootCount();
    EXPECT_EQ(Command("savedata restart\r", "Write OK"), "savedata restart\r\r\nWrite OK");
    ReopenAfterRestart(boots);
    EXPECT_EQ(Command("AT\r\n", "OK\r\n"), "AT\r\r\nOK\r\n");
    Command("ATT1\r", "\r\n# ");
    EXPECT_EQ(Command("getdata 3\r", "\r\n# "), "getdata 3\r\r\n\r\r\na b\x01" "c\r\r\nload data_3 ok\r\n\r\n# ");
    EXPECT_EQ(*Device().SavedSettings()->Item(3, 2), "a b\x01" "c");
}

TEST_F(DevsimSerial, ErasedProgramAreaRestartsIntoTheMonitor)
{
    Command("ATT1\r", "\r\n# ");
    EXPECT_EQ(Command("fromer 01\r", "Erase OK"), "fromer 01\r\r\nErase OK");
    EXPECT_TRUE(Device().AreaErased(1));
    const uint64_t boots = Device().BootCount();
    ASSERT_TRUE(port_.Send("restart reboot\r"));
    ReopenAfterRestart(boots);
    EXPECT_EQ(Device().Mode(), RunMode::Monitor);
    EXPECT_EQ(Command("A", "F1>"), "\r\nF1>");
    EXPECT_EQ(Command("FROM\r\n", "F-ROM>"), "FROM\r\r\nF-ROM>");
    // A wake-up shows the level the monitor is at; it stays in the flash monitor.
    EXPECT_EQ(Command("A", "F-ROM>"), "\r\nF-ROM>");
    EXPECT_EQ(Command("S", "F-ROM>"), "\r\nF-ROM>");
    EXPECT_NE(Command("cs\r", "F-ROM>").find("FLASH SUM("), std::string::npos);
}

TEST_F(DevsimSerial, BadLineAnswersErrorAndTheNextDownloadStartsAfresh)
{
    EnterFlashMonitor();
    EXPECT_EQ(Command("DL\r", "READY:\r\n"), "DL\r\r\nREADY:\r\n");
    // A record whose sum is wrong, then lines that were already on their way.
    ASSERT_TRUE(port_.Send("S1130000285F245F2212226A000424290008237C2B\r\n"));
    EXPECT_EQ(port_.ReadUntil("F-ROM>"), "\r\nERROR!\r\nF-ROM>");
    ASSERT_TRUE(port_.Send("S1130010285F245F2212226A000424290008237C1A\r\nS9030000FC\r\n"));
    EXPECT_EQ(Command("DL\r", "READY:\r\n"), "DL\r\r\nREADY:\r\n");
    ASSERT_TRUE(port_.Send(Package("from00.mot")));
    EXPECT_EQ(port_.ReadUntil("F-ROM>"), "\r\nDown Load OK\r\nF-ROM>");
}

TEST_F(DevsimSerial, WritingWithoutEraseCorruptsTheFlashChecksum)
{
    // Flash bits only go from 1 to 0: a program written over an unerased sector is wrong,
    // and "cs" shows it.
    EnterFlashMonitor();
    EXPECT_EQ(Command("DP\r", "READY:\r\n"), "DP\r\r\nREADY:\r\n");
    ASSERT_TRUE(port_.Send(Package("rt00.mot")));
    port_.ReadUntil("F-ROM>");
    Command(FixRamChecksum(), "F-ROM>");
    Command("MP01\r", "F-ROM>");
    Command("WR01\r", "F-ROM>");
    EXPECT_NE(Checksums().first, "0000");
}

class DevsimSerialFaults : public DevsimSerial {
protected:
    void Configure(devsim::HarnessOptions& o) override
    {
        o.Device.Faults.NoReply = {{"at%i2", 1}};
        o.Device.Faults.ErrorWord = {{"getdata 2", 1}};
        o.Device.Faults.KanjiError = {{"ati", 2}};
        o.Device.Faults.StreamErrorLine = 3;
    }
};

TEST_F(DevsimSerialFaults, CountedFaultsHitOnlyTheirCommand)
{
    // First at%i2: echo only. The next command shows that nothing else came.
    ASSERT_TRUE(port_.Send("at%i2\r"));
    EXPECT_EQ(Command("AT\r\n", "OK\r\n"), "at%i2\rAT\r\r\nOK\r\n");
    port_.ReadBytes(1);
    EXPECT_EQ(Command("at%i2\r", "OK\r\n"), "at%i2\r\r\nVersion 1.10 3\r\n\r\nOK\r\n");
    EXPECT_EQ(Command("ati\r", "OK\r\n"), "ati\r\r\nNEXAVO7300QB Network Terminal\r\n\r\nOK\r\n");
    EXPECT_EQ(Command("ati\r", "OK\r\n"), "ati\r\r\n\x83\x47\x83\x89\x81\x5b\r\n\r\nOK\r\n");
    Command("ATT1\r", "\r\n# ");
    EXPECT_EQ(Command("getdata 2\r", "\r\n# "), "getdata 2\r\r\nERROR!\r\n\r\n# ");
    EXPECT_NE(Command("getdata 2\r", "\r\n# ").find("load data_2 ok"), std::string::npos);
    Command("exit\r", "OK\r\n");

    EnterFlashMonitor();
    Command("DL\r", "READY:\r\n");
    ASSERT_TRUE(port_.Send(Package("from00.mot")));
    EXPECT_EQ(port_.ReadUntil("F-ROM>"), "\r\nERROR!\r\nF-ROM>");
    Command("DL\r", "READY:\r\n");
    ASSERT_TRUE(port_.Send(Package("from00.mot")));
    EXPECT_EQ(port_.ReadUntil("F-ROM>"), "\r\nDown Load OK\r\nF-ROM>") << "the streaming fault comes once";
}

// The simulator started where a killed run may have left the device.
struct StartCase {
    const char* name;
    devsim::StartLevel level;
    const char* send;     // first bytes sent
    const char* until;    // read up to this word
    const char* reply;    // what came back
};

void PrintTo(const StartCase& p, std::ostream* os) { *os << p.name; }

class DevsimStartLevel : public DevsimSerial, public ::testing::WithParamInterface<StartCase> {
protected:
    void Configure(devsim::HarnessOptions& o) override { o.Device.StartIn = GetParam().level; }
};

TEST_P(DevsimStartLevel, AnswersAtItsLevel)
{
    EXPECT_EQ(Command(GetParam().send, GetParam().until), GetParam().reply);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, DevsimStartLevel,
    ::testing::Values(StartCase{"Shell", devsim::StartLevel::Shell, "\r", "# ", "\r\r\n# "},
                      StartCase{"Monitor", devsim::StartLevel::Monitor, "A", "F1>", "\r\nF1>"},
                      StartCase{"FlashMonitor", devsim::StartLevel::FlashMonitor, "A", "F-ROM>", "\r\nF-ROM>"},
                      // The half record that was left ends as a bad line; the monitor takes
                      // commands again.
                      StartCase{"Download", devsim::StartLevel::Download, "\r\n", "F-ROM>", "\r\nERROR!\r\nF-ROM>"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
