// The simulated device over its pseudo-terminal, driven with raw bytes as a terminal would: the
// exchanges every serial update starts with, and a bad record refused as the monitor does.
#include <gtest/gtest.h>

#include "sim/DevsimSupport.h"

namespace {

using verup::test::OpenSerial;
using verup::test::RawStream;

class DevsimSerial : public verup::test::DevsimFixture {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(StartSim([](devsim::HarnessOptions& options) { options.WithTelnet = false; }));
        port_ = OpenSerial(sim_->PtyPath());
        ASSERT_TRUE(port_.IsOpen());
    }

    std::string Command(std::string_view command, std::string_view word)
    {
        EXPECT_TRUE(port_.Send(command));
        return port_.ReadUntil(word);
    }

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

// Started where a killed run may leave the device: in the flash monitor.
class DevsimFlashMonitor : public DevsimSerial {
protected:
    void Configure(devsim::HarnessOptions& o) override { o.Device.StartIn = devsim::StartLevel::FlashMonitor; }
};

TEST_F(DevsimFlashMonitor, BadRecordAnswersErrorAndTheNextDownloadStartsAfresh)
{
    EXPECT_EQ(Command("A", "F-ROM>"), "\r\nF-ROM>");
    EXPECT_EQ(Command("DL\r", "READY:\r\n"), "DL\r\r\nREADY:\r\n");
    // A record whose sum is wrong, then lines that were already on their way.
    ASSERT_TRUE(port_.Send("S1130000285F245F2212226A000424290008237C2B\r\n"));
    EXPECT_EQ(port_.ReadUntil("F-ROM>"), "\r\nERROR!\r\nF-ROM>");
    ASSERT_TRUE(port_.Send("S1130010285F245F2212226A000424290008237C1A\r\nS9030000FC\r\n"));
    EXPECT_EQ(Command("DL\r", "READY:\r\n"), "DL\r\r\nREADY:\r\n");
    ASSERT_TRUE(port_.Send(verup::test::TempDir::ReadFile(dir_.File("from00.mot"))));
    EXPECT_EQ(port_.ReadUntil("F-ROM>"), "\r\nDown Load OK\r\nF-ROM>");
}

}  // namespace
