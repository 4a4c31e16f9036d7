// The simulated device over its pseudo-terminal, driven with raw bytes as a terminal would: the
// exchanges every serial update starts with, and the checks that make a careless update fail.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "sim/DevsimSupport.h"

namespace {

using devsim::RunMode;
using verup::test::OpenSerial;
using verup::test::RawStream;

class DevsimSerial : public verup::test::DevsimFixture {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(StartSim([](devsim::HarnessOptions& options) {
            options.WithTelnet = false;
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
    std::string Package(std::string_view name) { return verup::test::TempDir::ReadFile(dir_.File(name)); }

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

TEST_F(DevsimSerial, FlashMonitorRefusesABadRecordAndShowsAWriteOverUnerasedFlash)
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

    // Flash bits only go from 1 to 0: a program written over an unerased sector is wrong,
    // and "cs" shows it.
    EXPECT_EQ(Command("DP\r", "READY:\r\n"), "DP\r\r\nREADY:\r\n");
    ASSERT_TRUE(port_.Send(Package("rt00.mot")));
    port_.ReadUntil("F-ROM>");
    const auto ram = Checksums().second;
    ASSERT_EQ(ram.size(), 4u);
    const verup::Config& cfg = options_.Profile.Cfg;
    char fix[64];
    std::snprintf(fix, sizeof fix, "ms/w%x=%s\r", cfg.PROG_RAM_STR_ADR + cfg.CHECK_SUM_ADR, ram.c_str());
    Command(fix, "F-ROM>");
    Command("MP01\r", "F-ROM>");
    Command("WR01\r", "F-ROM>");
    EXPECT_NE(Checksums().first, "0000");
}

}  // namespace
