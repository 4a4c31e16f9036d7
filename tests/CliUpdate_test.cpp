// The verup program end to end: a package made by the simulator, the simulated device on a
// pseudo-terminal, and what the device holds afterwards as the simulator's inspection shows it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>

#include "support/LoopbackServer.h"
#include "support/Subprocess.h"
#include "support/TempDir.h"

#if defined(VERUP_BINARY) && defined(DEVSIM_BINARY)

namespace verup {
namespace {

using test::ProgramRun;
using test::RunProgram;
using test::Subprocess;

// Fast enough for a whole update in seconds, slow enough that the shortest time-out of a
// successful step (1000 ms) stays far above a loaded machine's scheduling delays.
constexpr char kTimeScale[] = "40";

// What "verup-devsim --inspect" prints after this line is the device's settings.
std::string SettingsPart(const std::string& inspection)
{
    const auto start = inspection.find("\nsettings");
    return start == std::string::npos ? std::string() : inspection.substr(start);
}

class CliUpdateTest : public ::testing::Test {
protected:
    void MakePackage(std::vector<std::string> options = {})
    {
        std::vector<std::string> argv = {DEVSIM_BINARY, "make-package", Package()};
        argv.insert(argv.end(), options.begin(), options.end());
        const ProgramRun run = RunProgram(argv, {}, dir);
        ASSERT_EQ(run.exit_code, 0) << run.err;
    }
    // The device's firmware before the update; 1.10 of a revision that carries its settings.
    void StartDevice(std::vector<std::string> options = {"--firmware-version", "Version 1.10", "--revision", "7"},
                     bool lan = false)
    {
        device_options = options;
        std::vector<std::string> argv = {DEVSIM_BINARY, "--package", Package(), "--state", State(), "--time-scale",
                                         kTimeScale};
        if (lan) {
            argv.insert(argv.end(), {"--no-serial", "--telnet-port", "0"});
        } else {
            argv.push_back("--no-telnet");
        }
        argv.insert(argv.end(), options.begin(), options.end());
        device = std::make_unique<Subprocess>(argv, std::map<std::string, std::string>{}, dir.File("sim.out"),
                                              dir.File("sim.err"));
        const std::string tag = lan ? "telnet: 127.0.0.1:" : "pty: ";
        std::string found;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (found.empty() && std::chrono::steady_clock::now() < end) {
            const std::string out = dir.Read("sim.out");
            const auto at = out.find(tag);
            const auto eol = at == std::string::npos ? std::string::npos : out.find('\n', at);
            if (eol != std::string::npos)
                found = out.substr(at + tag.size(), eol - at - tag.size());
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_FALSE(found.empty()) << dir.Read("sim.err");
        (lan ? telnet_port : pty) = found;
    }
    void StopDevice() { device.reset(); }

    ProgramRun Verup(std::vector<std::string> options)
    {
        std::vector<std::string> argv = {VERUP_BINARY, "-C", Package(), "--time-scale", kTimeScale,
                                         "--log", dir.File("verup.log")};
        argv.insert(argv.end(), options.begin(), options.end());
        std::filesystem::create_directories(dir.File("run"));
        return RunProgram(argv,
                          {{"VERUP_COM1", pty},
                           {"VERUP_TELNET_PORT", telnet_port},
                           {"XDG_STATE_HOME", dir.File("state")},
                           {"XDG_RUNTIME_DIR", dir.File("run")}},
                          dir);
    }
    // What the device holds; without a state file, what the fresh device would hold.
    std::string Inspect()
    {
        std::vector<std::string> argv = {DEVSIM_BINARY, "--inspect", "--package", Package(), "--state", State()};
        argv.insert(argv.end(), device_options.begin(), device_options.end());
        const ProgramRun run = RunProgram(argv, {}, dir);
        EXPECT_EQ(run.exit_code, 0) << run.err;
        return run.out;
    }
    std::string Package() const { return dir.File("pkg"); }
    std::string State() const { return dir.File("device.state"); }
    std::string Backup() const { return dir.File("state/verup/7300qb.tmp"); }
    std::string Log() const { return dir.Read("verup.log"); }

    test::TempDir dir;
    std::unique_ptr<Subprocess> device;
    std::vector<std::string> device_options;
    std::string pty = "/dev/null";
    std::string telnet_port = "23";
};

TEST_F(CliUpdateTest, FullUpdateWritesTheNewFirmwareAndKeepsTheSettings)
{
    MakePackage({"--debug", "0"});
    StartDevice();
    const std::string before = Inspect();
    ASSERT_NE(SettingsPart(before), "");

    const ProgramRun run = Verup({"--com", "1"});
    StopDevice();
    ASSERT_EQ(run.exit_code, 0) << run.out << run.err << Log();

    const std::string after = Inspect();
    EXPECT_NE(after.find("program version text: Version 1.20"), std::string::npos) << after;
    EXPECT_EQ(SettingsPart(after), SettingsPart(before));
    EXPECT_NE(Log().find("Version Up OK\n"), std::string::npos);
    EXPECT_NE(Log().find("getdata 1\n"), std::string::npos) << "the settings went through the backup";
    EXPECT_FALSE(std::filesystem::exists(Backup())) << "the backup does not outlive a complete run";
    EXPECT_NE(run.out.find("バージョンアップ完了"), std::string::npos) << run.out;
}

TEST_F(CliUpdateTest, FullUpdateOverTheLanKeepsTheSettings)
{
    MakePackage({"--debug", "0"});
    // The LAN login reads no revision, so firmware 1.1 itself would reset the settings.
    StartDevice({"--firmware-version", "Version 1.15"}, true);
    const std::string before = Inspect();

    const ProgramRun run = Verup({"--lan", "127.0.0.1"});
    StopDevice();
    ASSERT_EQ(run.exit_code, 0) << run.out << run.err << Log();
    const std::string after = Inspect();
    EXPECT_NE(after.find("program version text: Version 1.20"), std::string::npos) << after;
    EXPECT_EQ(SettingsPart(after), SettingsPart(before));
    EXPECT_NE(Log().find("putdata 40\n"), std::string::npos) << Log();
}

TEST_F(CliUpdateTest, OldFirmwareSettingsAreReLaidForTheNewFirmware)
{
    MakePackage({"--debug", "0"});
    StartDevice({"--firmware-version", "Version 1.05"}, true);
    const ProgramRun run = Verup({"--lan", "127.0.0.1"});
    StopDevice();
    ASSERT_EQ(run.exit_code, 0) << run.out << run.err << Log();
    const std::string after = Inspect();
    EXPECT_NE(after.find("settings (new layout, 40 blocks)"), std::string::npos) << after;
    EXPECT_NE(after.find("  19.2 = 5\n"), std::string::npos) << after;
    EXPECT_NE(after.find("\\x01-1\\x01108\\x01109\\x01110\\x01-1\n"), std::string::npos) << after;
    EXPECT_NE(Log().find("new data <- old data\n"), std::string::npos);
}

TEST_F(CliUpdateTest, DryRunTellsThePlanAndLeavesTheDeviceAlone)
{
    MakePackage({"--debug", "0"});
    StartDevice();
    const std::string before = Inspect();

    const ProgramRun run = Verup({"--com", "1", "--dry-run"});
    StopDevice();
    ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("Version 1.10"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Version 1.20"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("N_SAVE"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("rt00.mot"), std::string::npos) << run.out;

    const std::string after = Inspect();
    EXPECT_NE(after.find("program version text: Version 1.10"), std::string::npos) << after;
    EXPECT_EQ(SettingsPart(after), SettingsPart(before));
    EXPECT_EQ(Log().find("getdata"), std::string::npos);
}

TEST_F(CliUpdateTest, MissingImagesRefuseTheStartup)
{
    MakePackage({"--debug", "0"});
    std::filesystem::remove(dir.File("pkg/fpga02.mot"));  // one FPGA image alone is refused
    const ProgramRun run = Verup({"--com", "1"});
    EXPECT_EQ(run.exit_code, 2) << run.out << run.err;
    EXPECT_NE(run.err.find("バージョンアップに必要なファイルが見つかりません。"), std::string::npos) << run.err;
}

TEST_F(CliUpdateTest, FailedRestoreKeepsTheBackupAndExitsWith3)
{
    MakePackage({"--debug", "0"});
    // The first putdata is swallowed: its confirmation never comes.
    StartDevice({"--firmware-version", "Version 1.10", "--revision", "7", "--no-reply", "putdata:1"});
    const ProgramRun run = Verup({"--com", "1"});
    StopDevice();
    ASSERT_EQ(run.exit_code, 3) << run.out << run.err << Log();
    ASSERT_TRUE(std::filesystem::exists(Backup()));
    EXPECT_NE(run.err.find(Backup()), std::string::npos) << run.err;
    EXPECT_EQ(std::filesystem::status(Backup()).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_NE(test::TempDir::ReadFile(Backup()).find("Ver 1.01\r\n"), std::string::npos);
    EXPECT_NE(Inspect().find("program version text: Version 1.20"), std::string::npos);
}

TEST_F(CliUpdateTest, APeerFloodingNegotiationLeavesAShortLog)
{
    MakePackage({"--debug", "0"});
    // A peer that never stops sending telnet commands (DO TERMINAL-TYPE, left unanswered) and
    // never prompts: the login watchdog ends the start-up.
    test::LoopbackServer peer;
    telnet_port = std::to_string(peer.Port());
    std::atomic<bool> done{false};
    std::thread flood([&] {
        if (!peer.Accept())
            return;
        std::string burst;
        for (int i = 0; i < 20000; ++i)
            burst += "\xff\xfd\x18";
        while (!done)
            peer.Send(burst);
    });
    const ProgramRun run = Verup({"--lan", "127.0.0.1"});
    done = true;
    flood.join();
    EXPECT_NE(run.exit_code, 0);
    const std::string log = Log();
    EXPECT_LT(log.size(), 4096u) << log.substr(0, 4096);
    EXPECT_NE(log.find("IAC data\nlast line repeated "), std::string::npos) << log;
}

TEST_F(CliUpdateTest, BadCommandLineIsAUsageError)
{
    MakePackage();
    EXPECT_EQ(Verup({"--com", "12"}).exit_code, 64);
    EXPECT_EQ(Verup({"--com", "1", "--lan", "127.0.0.1"}).exit_code, 64);
    EXPECT_EQ(Verup({"--lan", "1.2.3"}).exit_code, 64);
}

}  // namespace
}  // namespace verup

#endif
