// verup-devsim as a program: make-package, and a power cut by SIGKILL.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <memory>
#include <thread>

#include "sim/DevsimSupport.h"
#include "support/Subprocess.h"

#if defined(DEVSIM_BINARY)

namespace {

using verup::test::RunProgram;
using verup::test::TempDir;

// The simulator started as a child process, which the test may kill to cut its power.
struct Device {
    Device(const TempDir& dir, std::vector<std::string> argv) : out(dir.File("device.out"))
    {
        argv.insert(argv.begin(), DEVSIM_BINARY);
        process = std::make_unique<verup::test::Subprocess>(argv, std::map<std::string, std::string>{}, out,
                                                            dir.File("device.err"));
    }
    // The pty path the device printed.
    std::string Pty() const { return verup::test::WaitForLine(out, "pty: ", verup::test::RawStream::kCap); }
    void PowerCut()
    {
        process->Signal(SIGKILL);
        process->Wait(verup::test::RawStream::kCap);
    }

    std::string out;
    std::unique_ptr<verup::test::Subprocess> process;
};

TEST(DevsimCli, MakePackageLeavesOutWhatItIsTold)
{
    TempDir dir;
    const auto run = RunProgram({DEVSIM_BINARY, "make-package", dir.File("pkg"), "--no-fpga", "--version", "Version 1.30"}, {}, dir);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(dir.Read("pkg/verup.dat").find("NUM=Version 1.30\r\n"), std::string::npos);
    EXPECT_NE(dir.Read("pkg/rt00.mot").size(), 0u);
    EXPECT_NE(dir.Read("pkg/from00.mot").size(), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir.File("pkg/fpga01.mot")));
}

TEST(DevsimCli, PowerCutDuringTheProgramWriteLeavesTheMonitorOnTheNextStart)
{
    TempDir dir;
    ASSERT_EQ(RunProgram({DEVSIM_BINARY, "make-package", dir.File("pkg")}, {}, dir).exit_code, 0);
    const std::vector<std::string> device_args = {"--package", dir.File("pkg"), "--state", dir.File("state"),
                                                  "--no-telnet", "--time-scale", "50"};
    {
        Device device(dir, device_args);
        auto port = verup::test::OpenSerial(device.Pty());
        ASSERT_TRUE(port.IsOpen());
        port.Send("AT!F1\r\n");
        ASSERT_NE(port.ReadUntil("F0>").find("F0>"), std::string::npos);
        // The monitor answers once the restart is over: wake it as the tool does.
        std::string woken;
        for (int i = 0; i < 150 && woken.find("F1>") == std::string::npos; ++i) {
            port.Close();
            port = verup::test::OpenSerial(device.Pty());
            port.Send("A");
            woken = port.ReadUntil("F1>", std::chrono::milliseconds(100));
        }
        ASSERT_NE(woken.find("F1>"), std::string::npos);
        port.Send("FROM\r\n");
        port.ReadUntil("F-ROM>");
        for (const char* erase : {"ER01\r", "ER02\r", "ER03\r", "ER04\r"}) {
            port.Send(erase);
            ASSERT_NE(port.ReadUntil("F-ROM>").find("Erase OK"), std::string::npos);
        }
        port.Send("DP\r");
        port.ReadUntil("READY:\r\n");
        port.Send(dir.Read("pkg/rt00.mot"));
        ASSERT_NE(port.ReadUntil("F-ROM>").find("Program Down Load OK"), std::string::npos);
        port.Send("MP01\r");
        port.ReadUntil("F-ROM>");
        port.Send("WR01\r");
        ASSERT_NE(port.ReadUntil("F-ROM>").find(" Write OK "), std::string::npos);
        device.PowerCut();
    }
    const auto inspected = RunProgram({DEVSIM_BINARY, "inspect", "--package", dir.File("pkg"), "--state", dir.File("state")}, {}, dir);
    ASSERT_EQ(inspected.exit_code, 0) << inspected.err;
    EXPECT_NE(inspected.out.find("next start: boot monitor"), std::string::npos) << inspected.out;
    EXPECT_NE(inspected.out.find("  3.1 = user3.1\n"), std::string::npos) << "the settings area was not touched";

    Device again(dir, device_args);
    auto port = verup::test::OpenSerial(again.Pty());
    port.Send("A");
    EXPECT_EQ(port.ReadUntil("F1>"), "\r\nF1>");
    port.Send("AT\r\n");
    EXPECT_EQ(port.ReadUntil("F1>"), "\r\nF1>") << "no firmware answers OK";
}

}  // namespace

#endif
