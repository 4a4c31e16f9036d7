// The serial device steps on scripted replies, for what the simulated device never answers:
// device information, checksum replies and the program download's watchdog.
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

// A late prompt (the answer to the "\r" before) ends the first exchange before the listing:
// the listing is asked for again, so the MAC address the backups are named by is not lost.
// Labels the listing lacks are cleared.
TEST_F(SerialStepsTest, DeviceInformationAfterALatePrompt)
{
    int asked = 0;
    link.SetResponder([&asked](const std::string&, int) {
        return Answer(++asked == 1 ? "\r\n# "
                                   : "show version\r\r\nFarmware:Version 1.15 3\r\nEth0 Mac Address=00:80:6d:12:34:57\r\n"
                                     "WL0 Version:UNKNOWN\r\n\r\n# ");
    });
    parts.device.Eth1MacText = "stale";
    EXPECT_EQ(QueryDeviceInfo(road->Channel(), parts.device), 0);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(parts.device.FirmwareVersionText, "Version 1.15 3");
    EXPECT_EQ(parts.device.Eth0MacText, "00:80:6d:12:34:57");
    EXPECT_EQ(parts.device.Wl0VersionText, "UNKNOWN");
    EXPECT_EQ(parts.device.Eth1MacText, "");
}

// The RAM checksum is written even when already zero; a reply without its marks fails.
TEST_F(SerialStepsTest, ChecksumsAreReadByTheirMarks)
{
    link.SetResponder([](const std::string& command, int) {
        return Answer(command + "\r\nFLASH SUM(12AB) RAM SUM(0000)\r\nF-ROM>");
    });
    EXPECT_EQ(road->FixRamChecksum(), ChecksumResult::Zero);
    EXPECT_EQ(link.Commands(), (std::vector<std::string>{"cs\r", "ms/w400400=0000\r", "cs\r"}));
    EXPECT_EQ(road->CheckFlashChecksum(), ChecksumResult::Failed);  // the first value is not 0000
    for (const char* reply : {"cs\r\r\nFLASH SUM 0000 RAM SUM 0000\r\nF-ROM>", "cs\r\r\nFLASH SUM(0000)\r\nF-ROM>"}) {
        link.SetResponder([reply](const std::string&, int) { return Answer(reply); });
        EXPECT_EQ(road->CheckFlashChecksum(), ChecksumResult::Failed) << reply;
    }
    EXPECT_EQ(road->FixRamChecksum(), ChecksumResult::Failed);
}

class ProgramDownloadTest : public SerialStepsTest {
protected:
    ProgramDownloadTest()
    {
        auto owned = std::make_unique<test::FakeSerialPort>();
        port = owned.get();
        road = std::make_unique<SerialRoad>(parts.Context(), std::make_unique<SerialLink>(clock, std::move(owned)));
        EXPECT_EQ(road->Port()->Open("COM1"), SERIAL_OPENED);
    }
    test::FakeSerialPort* port = nullptr;
};

TEST_F(ProgramDownloadTest, UnconfirmedDownloadEndsByTheWatchdog)
{
    // Every try ends by the watchdog; several tries also ride out a slow "READY:" under load.
    port->SetResponder([&](const std::string& written) {
        if (written == "DP\r")
            port->Feed("\r\nREADY:\r\n");
    });
    EXPECT_EQ(road->DownloadProgram("S9030000FC\r\n", 1, 1), TransferResult::WatchdogExpired);
    EXPECT_FALSE(parts.timers.IsRunning(TIMER_WATCHDOG));
}

}  // namespace
}  // namespace verup
