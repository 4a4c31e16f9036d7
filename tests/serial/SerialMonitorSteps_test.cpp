// The serial device steps on scripted replies: probe, device information, checksums and the
// program download's progress ticks.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "protocol/DeviceInfo.h"
#include "serial/SerialRoad.h"
#include "support/FakeSerialPort.h"
#include "support/RoadParts.h"
#include "support/ScriptedLink.h"

namespace verup {
namespace {

using test::Answer;
using test::ScriptedReply;
using test::Silence;

class SerialStepsTest : public ::testing::Test {
protected:
    SerialStepsTest()
    {
        parts.cfg.RETRY = 3;
        parts.cfg.PROG_RAM_STR_ADR = 0x400000;
        parts.cfg.CHECK_SUM_ADR = 0x400;
        road = std::make_unique<SerialRoad>(parts.Context(), link);
    }

    Clock clock{1000};
    test::RoadParts parts{clock};
    test::ScriptedLink link;
    std::unique_ptr<SerialRoad> road;
};

TEST_F(SerialStepsTest, MonitorPromptIsEnteredWithoutAnyAtCommand)
{
    link.SetResponder([](const std::string& command, int) {
        if (command == "FROM\r\n")
            return Answer("FROM\r\nF-ROM>");
        return Silence(command == "A" ? "\r\nF1>" : "");
    });
    EXPECT_EQ(road->ProbeDevice(0), PROBE_FLASH_MONITOR);
    const std::vector<std::string> expected = {"A", "\x11", "A", "FROM\r\n"};
    EXPECT_EQ(link.Commands(), expected);
}

// An earlier probe sent "FROM": the monitor answers the wake-up bytes at that level.
TEST_F(SerialStepsTest, FlashMonitorPromptIsTakenAsItIs)
{
    link.SetResponder([](const std::string& command, int) { return Silence(command == "A" ? "\r\nF-ROM>" : ""); });
    EXPECT_EQ(road->ProbeDevice(1), PROBE_FLASH_MONITOR);
    const std::vector<std::string> expected = {"A", "\x11", "A"};
    EXPECT_EQ(link.Commands(), expected);
}

TEST_F(SerialStepsTest, RunningFirmwareIsOnlyLookedAtWithFlagZero)
{
    link.SetResponder([](const std::string& command, int) {
        return command == "AT$I99=157\r\n" ? Answer("\r\nOK\r\n") : Silence(command);
    });
    EXPECT_EQ(road->ProbeDevice(0), PROBE_FIRMWARE);
    EXPECT_EQ(link.Commands().back(), "AT$I99=157\r\n");
}

TEST_F(SerialStepsTest, VersionTextIsCutAtNumLen)
{
    parts.cfg.KIKI1 = "NEXAVO7300QB";
    parts.cfg.NUM_LEN = 12;
    link.SetResponder([](const std::string& command, int) {
        if (command == "ati\r")
            return Answer("ati\r\r\nNEXAVO7300QB\r\n\r\nOK\r\n");
        return Answer("at%i2\r\r\nVersion 1.15 3 2026/04/01\r\n\r\nOK\r\n");
    });
    std::string version;
    EXPECT_EQ(road->QueryVersion(version), 1);
    EXPECT_EQ(version, "Version 1.15");

    link.SetResponder([](const std::string&, int) { return Answer("\r\nOTHERBOX\r\n\r\nOK\r\n"); });
    EXPECT_EQ(road->QueryVersion(version), -2);

    // KIKI2 is empty here: an empty word names no product, whatever the answer holds.
    link.SetResponder([](const std::string& command, int) {
        return Answer(command == "ati\r" ? "\r\nOTHERBOX9 Network Terminal\r\n\r\nOK\r\n" : "\r\nVersion 1.15 3\r\n\r\nOK\r\n");
    });
    EXPECT_EQ(road->QueryVersion(version), -2);
}

TEST_F(SerialStepsTest, DeviceInformationLabelsAndMissingOnes)
{
    link.SetResponder([](const std::string&, int) {
        return Answer("show version\r\r\nFarmware:Version 1.15 3\r\nHTTP Server:Version 2.01\r\n"
                      "Eth0 Mac Address=00:80:6d:12:34:56\r\nWL0 Version 1.4\r\n\r\n# ");
    });
    parts.device.Eth1MacText = "stale";
    EXPECT_EQ(QueryDeviceInfo(road->Channel(), parts.device), 0);
    EXPECT_EQ(parts.device.FirmwareVersionText, "Version 1.15 3");
    EXPECT_EQ(parts.device.HttpServerText, "Version 2.01");
    EXPECT_EQ(parts.device.Eth0MacText, "00:80:6d:12:34:56");
    EXPECT_EQ(parts.device.Wl0VersionText, "Version 1.4");
    EXPECT_EQ(parts.device.Eth1MacText, "");
    EXPECT_EQ(parts.device.Usb0MacText, "");

    link.SetResponder([](const std::string&, int) { return Answer("\r\nWL0 Version:UNKNOWN\r\n\r\n# "); });
    EXPECT_EQ(QueryDeviceInfo(road->Channel(), parts.device), 0);
    EXPECT_EQ(parts.device.Wl0VersionText, "UNKNOWN");

    // A late prompt (the answer to the "\r" before) ends the first exchange before the listing:
    // the listing is asked for again, so the MAC address the backups are named by is not lost.
    int asked = 0;
    link.SetResponder([&asked](const std::string&, int) {
        return Answer(++asked == 1 ? "\r\n# " : "show version\r\r\nEth0 Mac Address=00:80:6d:12:34:57\r\n# ");
    });
    EXPECT_EQ(QueryDeviceInfo(road->Channel(), parts.device), 0);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(parts.device.Eth0MacText, "00:80:6d:12:34:57");
}

TEST_F(SerialStepsTest, RamChecksumIsWrittenEvenWhenAlreadyZero)
{
    link.SetResponder([](const std::string& command, int) {
        return Answer(command + "\r\nFLASH SUM(12AB) RAM SUM(0000)\r\nF-ROM>");
    });
    EXPECT_EQ(road->FixRamChecksum(), ChecksumResult::Zero);
    const std::vector<std::string> expected = {"cs\r", "ms/w400400=0000\r", "cs\r"};
    EXPECT_EQ(link.Commands(), expected);
    EXPECT_EQ(road->CheckFlashChecksum(), ChecksumResult::Failed);  // the first value is not 0000
}

TEST_F(SerialStepsTest, ChecksumReplyWithoutItsMarksFails)
{
    link.SetResponder([](const std::string&, int) { return Answer("cs\r\r\nFLASH SUM 0000 RAM SUM 0000\r\nF-ROM>"); });
    EXPECT_EQ(road->CheckFlashChecksum(), ChecksumResult::Failed);
    EXPECT_EQ(road->FixRamChecksum(), ChecksumResult::Failed);
    link.SetResponder([](const std::string&, int) { return Answer("cs\r\r\nFLASH SUM(0000)\r\nF-ROM>"); });
    EXPECT_EQ(road->CheckFlashChecksum(), ChecksumResult::Failed);
}

class ProgramDownloadTest : public SerialStepsTest {
protected:
    ProgramDownloadTest()
    {
        road = std::make_unique<SerialRoad>(
            parts.Context(), std::make_unique<SerialLink>(clock, std::make_unique<test::FakeSerialPort>(port)));
        EXPECT_EQ(road->Port()->Open("COM1"), SERIAL_OPENED);
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
        parts.progress.Tick(Reporter::Step::Start);
    parts.positions.clear();
    int lines = 0;
    port->SetResponder([&](const std::string& written) {
        if (written == "DP\r")
            port->Feed("DP\r\r\nREADY:\r\n");
        else if (++lines == 1000)
            port->Feed("\r\nProgram Down Load OK\r\nF-ROM>");
    });
    EXPECT_EQ(road->DownloadProgram(text, line_count, sector_count), TransferResult::Confirmed);
    EXPECT_EQ(lines, 1000);
    EXPECT_EQ(parts.positions, (std::vector<int>{6, 7, 8, 9}));
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
    EXPECT_EQ(road->DownloadProgram(text, line_count, sector_count), TransferResult::Confirmed);
    EXPECT_EQ(tries, 2);
}

TEST_F(ProgramDownloadTest, UnconfirmedDownloadEndsByTheWatchdog)
{
    const std::string program = "S9030000FC\r\n";
    const int line_count = 1, sector_count = 1;
    // Every try ends by the watchdog; several tries also ride out a slow "READY:" under load.
    port->SetResponder([&](const std::string& written) {
        if (written == "DP\r")
            port->Feed("\r\nREADY:\r\n");
    });
    EXPECT_EQ(road->DownloadProgram(program, line_count, sector_count), TransferResult::WatchdogExpired);
    EXPECT_FALSE(parts.timers.IsRunning(TIMER_WATCHDOG));
}

}  // namespace
}  // namespace verup
