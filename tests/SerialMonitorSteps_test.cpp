// The serial device steps on scripted replies: probe, device information, checksums and the
// program download's progress ticks.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/CUpdateDlg.h"
#include "serial/SerialLink.h"
#include "support/FakeSerialPort.h"
#include "support/RecordingHost.h"
#include "support/ScriptedLink.h"
#include "support/StartupFolders.h"
#include "support/TempDir.h"

namespace verup {
namespace {

using test::Answer;
using test::ScriptedReply;
using test::Silence;

class SerialStepsTest : public ::testing::Test {
protected:
    SerialStepsTest()
    {
        env = test::EnvironmentIn(dir.Path(), clock);
        dlg = std::make_unique<CUpdateDlg>(host, env);
        dlg->Channel.SetSerialLink(&link);
        dlg->Channel.AttemptCount = 3;
        dlg->cfg.PROG_RAM_STR_ADR = 0x400000;
        dlg->cfg.CHECK_SUM_ADR = 0x400;
    }
    ~SerialStepsTest() override { dlg->Channel.SetSerialLink(nullptr); }

    Clock clock{1000};
    test::TempDir dir;
    test::RecordingHost host;
    StartupEnvironment env;
    test::ScriptedLink link;
    std::unique_ptr<CUpdateDlg> dlg;
};

TEST_F(SerialStepsTest, MonitorPromptIsEnteredWithoutAnyAtCommand)
{
    link.SetResponder([](const std::string& command, int) {
        if (command == "FROM\r\n")
            return Answer("FROM\r\nF-ROM>");
        return Silence(command == "A" ? "\r\nF1>" : "");
    });
    EXPECT_EQ(dlg->ProbeDevice(0), PROBE_FLASH_MONITOR);
    const std::vector<std::string> expected = {"A", "\x11", "A", "FROM\r\n"};
    EXPECT_EQ(link.Commands(), expected);
}

// An earlier probe sent "FROM": the monitor answers the wake-up bytes at that level.
TEST_F(SerialStepsTest, FlashMonitorPromptIsTakenAsItIs)
{
    link.SetResponder([](const std::string& command, int) { return Silence(command == "A" ? "\r\nF-ROM>" : ""); });
    EXPECT_EQ(dlg->ProbeDevice(1), PROBE_FLASH_MONITOR);
    const std::vector<std::string> expected = {"A", "\x11", "A"};
    EXPECT_EQ(link.Commands(), expected);
}

TEST_F(SerialStepsTest, RunningFirmwareIsOnlyLookedAtWithFlagZero)
{
    link.SetResponder([](const std::string& command, int) {
        return command == "AT$I99=157\r\n" ? Answer("\r\nOK\r\n") : Silence(command);
    });
    EXPECT_EQ(dlg->ProbeDevice(0), PROBE_FIRMWARE);
    EXPECT_EQ(link.Commands().back(), "AT$I99=157\r\n");
}

TEST_F(SerialStepsTest, VersionTextIsCutAtNumLen)
{
    dlg->cfg.KIKI1 = "NEXAVO7300QB";
    dlg->cfg.NUM_LEN = 12;
    link.SetResponder([](const std::string& command, int) {
        if (command == "ati\r")
            return Answer("ati\r\r\nNEXAVO7300QB\r\n\r\nOK\r\n");
        return Answer("at%i2\r\r\nVersion 1.15 3 2026/04/01\r\n\r\nOK\r\n");
    });
    std::string version;
    EXPECT_EQ(dlg->QueryVersion(version), 1);
    EXPECT_EQ(version, "Version 1.15");

    link.SetResponder([](const std::string&, int) { return Answer("\r\nOTHERBOX\r\n\r\nOK\r\n"); });
    EXPECT_EQ(dlg->QueryVersion(version), -2);

    // KIKI2 is empty here: an empty word names no product, whatever the answer holds.
    link.SetResponder([](const std::string& command, int) {
        return Answer(command == "ati\r" ? "\r\nOTHERBOX9 Network Terminal\r\n\r\nOK\r\n" : "\r\nVersion 1.15 3\r\n\r\nOK\r\n");
    });
    EXPECT_EQ(dlg->QueryVersion(version), -2);
}

TEST_F(SerialStepsTest, DeviceInformationLabelsAndMissingOnes)
{
    link.SetResponder([](const std::string&, int) {
        return Answer("show version\r\r\nFarmware:Version 1.15 3\r\nHTTP Server:Version 2.01\r\n"
                      "Eth0 Mac Address=00:80:6d:12:34:56\r\nWL0 Version 1.4\r\n\r\n# ");
    });
    dlg->Device.Eth1MacText = "stale";
    EXPECT_EQ(dlg->QueryDeviceInfo(), 0);
    EXPECT_EQ(dlg->Device.FirmwareVersionText, "Version 1.15 3");
    EXPECT_EQ(dlg->Device.HttpServerText, "Version 2.01");
    EXPECT_EQ(dlg->Device.Eth0MacText, "00:80:6d:12:34:56");
    EXPECT_EQ(dlg->Device.Wl0VersionText, "Version 1.4");
    EXPECT_EQ(dlg->Device.Eth1MacText, "");
    EXPECT_EQ(dlg->Device.Usb0MacText, "");

    link.SetResponder([](const std::string&, int) { return Answer("\r\nWL0 Version:UNKNOWN\r\n\r\n# "); });
    EXPECT_EQ(dlg->QueryDeviceInfo(), 0);
    EXPECT_EQ(dlg->Device.Wl0VersionText, "UNKNOWN");

    // A late prompt (the answer to the "\r" before) ends the first exchange before the listing:
    // the listing is asked for again, so the MAC address the backups are named by is not lost.
    int asked = 0;
    link.SetResponder([&asked](const std::string&, int) {
        return Answer(++asked == 1 ? "\r\n# " : "show version\r\r\nEth0 Mac Address=00:80:6d:12:34:57\r\n# ");
    });
    EXPECT_EQ(dlg->QueryDeviceInfo(), 0);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(dlg->Device.Eth0MacText, "00:80:6d:12:34:57");
}

TEST_F(SerialStepsTest, RamChecksumIsWrittenEvenWhenAlreadyZero)
{
    link.SetResponder([](const std::string& command, int) {
        return Answer(command + "\r\nFLASH SUM(12AB) RAM SUM(0000)\r\nF-ROM>");
    });
    EXPECT_EQ(dlg->FixRamChecksum(), ChecksumResult::Zero);
    const std::vector<std::string> expected = {"cs\r", "ms/w400400=0000\r", "cs\r"};
    EXPECT_EQ(link.Commands(), expected);
    EXPECT_EQ(dlg->CheckFlashChecksum(), ChecksumResult::Failed);  // the first value is not 0000
}

TEST_F(SerialStepsTest, ChecksumReplyWithoutItsMarksFails)
{
    link.SetResponder([](const std::string&, int) { return Answer("cs\r\r\nFLASH SUM 0000 RAM SUM 0000\r\nF-ROM>"); });
    EXPECT_EQ(dlg->CheckFlashChecksum(), ChecksumResult::Failed);
    EXPECT_EQ(dlg->FixRamChecksum(), ChecksumResult::Failed);
    link.SetResponder([](const std::string&, int) { return Answer("cs\r\r\nFLASH SUM(0000)\r\nF-ROM>"); });
    EXPECT_EQ(dlg->CheckFlashChecksum(), ChecksumResult::Failed);
}

class ProgramDownloadTest : public SerialStepsTest {
protected:
    ProgramDownloadTest()
    {
        auto serial = std::make_unique<SerialLink>(clock, std::make_unique<test::FakeSerialPort>(port));
        dlg->Serial = std::move(serial);
        EXPECT_EQ(dlg->Serial->Open("COM1"), SERIAL_OPENED);
        dlg->Channel.SetSerialLink(dlg->Serial.get());
    }
    std::shared_ptr<test::FakePortState> port = std::make_shared<test::FakePortState>();
};

TEST_F(ProgramDownloadTest, TicksEveryLinesPerSectorAndOnceForTheRemainder)
{
    std::string text;
    for (int i = 0; i < 1000; ++i)
        text += "S1130000000102030405060708090A0B0C0D0E0F64\r\n";
    const int line_count = 1000, sector_count = 3;
    for (int i = 0; i < 5; ++i)
        dlg->Progress.Tick(Reporter::Step::Start);
    {
        auto lock = host.Lock();
        host.ProgressPositions.clear();
    }
    int lines = 0;
    port->SetResponder([&](const std::string& written) {
        if (written == "DP\r")
            port->Feed("DP\r\r\nREADY:\r\n");
        else if (++lines == 1000)
            port->Feed("\r\nProgram Down Load OK\r\nF-ROM>");
    });
    EXPECT_EQ(dlg->DownloadProgram(text, line_count, sector_count), TransferResult::Confirmed);
    EXPECT_EQ(lines, 1000);
    auto lock = host.Lock();
    EXPECT_EQ(host.ProgressPositions, (std::vector<int>{6, 7, 8, 9}));
}

TEST_F(ProgramDownloadTest, ErrorWordRestartsFromTheFirstLine)
{
    std::string text;
    for (int i = 0; i < 20; ++i)
        text += "S1130000000102030405060708090A0B0C0D0E0F64\r\n";
    const int line_count = 20, sector_count = 1;
    int lines = 0;
    int tries = 0;
    port->SetResponder([&](const std::string& written) {
        if (written == "DP\r") {
            ++tries;
            lines = 0;
            port->Feed("\r\nREADY:\r\n");
        } else if (++lines == 10 && tries == 1) {
            port->Feed("\r\nERROR!\r\nF-ROM>");
        } else if (lines == 20 && tries > 1) {
            port->Feed("\r\nProgram Down Load OK\r\n");
        }
    });
    // The monitor ignores the rest of a failed try: the error word (or, had it been missed,
    // the watchdog) ends it.
    EXPECT_EQ(dlg->DownloadProgram(text, line_count, sector_count), TransferResult::Confirmed);
    EXPECT_EQ(tries, 2);
}

TEST_F(ProgramDownloadTest, UnconfirmedDownloadEndsByTheWatchdog)
{
    const std::string program = "S9030000FC\r\n";
    const int line_count = 1, sector_count = 1;
    dlg->Channel.AttemptCount = 1;
    port->SetResponder([&](const std::string& written) {
        if (written == "DP\r")
            port->Feed("\r\nREADY:\r\n");
    });
    EXPECT_EQ(dlg->DownloadProgram(program, line_count, sector_count), TransferResult::WatchdogExpired);
    EXPECT_FALSE(dlg->timers.IsRunning(TIMER_WATCHDOG));
}

}  // namespace
}  // namespace verup
