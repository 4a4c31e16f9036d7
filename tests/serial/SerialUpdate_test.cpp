// The serial road end to end: start-up, update and settings carry against the simulated
// device on a real pseudo-terminal, checking what the device holds afterwards.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/DialogTexts.h"
#include "app/KeptBackupOffer.h"
#include "platform/InstanceGuard.h"
#include "platform/PosixSerialPort.h"
#include "platform/SerialPortNames.h"
#include "serial/SerialLink.h"
#include "settings/KeptBackups.h"
#include "support/SimUpdateFixture.h"

namespace verup {
namespace {

// A restart wait of 25 s takes half a second; the shortest wait a success path relies on
// (a monitor prompt after a 1000 ms wake-up byte) still gives 20 ms.
constexpr double kTimeScale = 25;  // margin for the device's short reply windows on a loaded machine
constexpr int kDevicePort = 3;

// "バージョンアップ完了", "バージョンアップ完了 (設定の復元に失敗)", "バージョンアップ異常"
const std::string kDone = "\x83\x6f\x81\x5b\x83\x57\x83\x87\x83\x93\x83\x41\x83\x62\x83\x76\x8a\xae\x97\xb9";
const std::string kDoneSettingsLost = kDone + " (\x90\xdd\x92\xe8\x82\xcc\x95\x9c\x8c\xb3\x82\xc9\x8e\xb8\x94\x73)";
const std::string kFailed = "\x83\x6f\x81\x5b\x83\x57\x83\x87\x83\x93\x83\x41\x83\x62\x83\x76\x88\xd9\x8f\xed";

class SerialUpdateTest : public test::SimUpdateFixture {
protected:
    SerialUpdateTest() : SimUpdateFixture(kTimeScale, Road::Serial) { package_options_.Save = 2; }
    ~SerialUpdateTest() override { CloseAndReportLogs(); }

    bool StartUp() override { return StartUpOnRoad(kDevicePort); }
    bool StartUp(int com_port) { return StartUpOnRoad(com_port); }

    // Commands the device received, by how they begin.
    int DeviceCommands(const std::string& prefix) const { return DeviceLogLines(prefix, "serial"); }
};

// ---------------------------------------------------------------- updates that succeed

// An earlier start-up found the device in its boot monitor and left it at "F-ROM>". The
// monitor takes the "A" of "ATT1\r" as a wake-up byte and refuses the rest with its error word,
// so the start-up goes on; the update's monitor entry finds the device still at "F-ROM>".
TEST_F(SerialUpdateTest, DeviceLeftAtTheFlashMonitorPromptIsUpdatedWithoutShellOrVersionCheck)
{
    package_options_.Save = 0;
    StartDevice();
    sim_->Device().Restart(true);
    clock_.SleepMs(device_.RestartMs + 1000);
    ASSERT_TRUE(StartUp()) << StartupMessage();
    EXPECT_EQ(dlg_->Identity().ProbeResult, PROBE_FLASH_MONITOR);
    ASSERT_TRUE(dlg_->OnClose());
    dlg_.reset();

    UpdateAsPlanned();
    EXPECT_EQ(dlg_->Identity().ProbeResult, PROBE_FLASH_MONITOR);
    ExpectOutcome(CUpdateDlg::Outcome::Done, kDone);
    EXPECT_EQ(Log().find("Version Check OK"), std::string::npos);
    EXPECT_EQ(DeviceCommands("at%z"), 0);
    EXPECT_EQ(DeviceCommands("AT$I99"), 0);
    // GO starts the new program.
    clock_.SleepMs(device_.RestartMs + 1000);
    ExpectImagesWritten();
}

TEST_F(SerialUpdateTest, WithoutUploadOnlyTheSettingsAreSavedAndRestored)
{
    StartDevice({"UPLOAD=0"});
    Update();
    ExpectOutcome(CUpdateDlg::Outcome::Done, kDone);
    EXPECT_EQ(Log().find("moniter mode"), std::string::npos);
    EXPECT_EQ(DeviceCommands("AT!F1"), 0);
    EXPECT_EQ(DeviceCommands("ER"), 0);
    EXPECT_EQ(sim_->Device().VersionText().substr(0, 12), "Version 1.15");
    EXPECT_TRUE(sim_->Device().SavedSettings() == settings_before_);
}

// "fromer 01" erases the program's first area, so the restart wait of the old layout finds
// the boot monitor and takes it to "F-ROM>"; the monitor entry that follows finds it there.
TEST_F(SerialUpdateTest, OldFirmwareMovesToTheNewLayoutWithTheConversionRules)
{
    device_.FirmwareVersion = "Version 1.05";
    StartDevice();
    UpdateAsPlanned();
    ExpectOutcome(CUpdateDlg::Outcome::Done, kDone);
    ExpectImagesWritten();
    const std::string log = Log();
    EXPECT_NE(log.find("old data\r\n"), std::string::npos);
    EXPECT_NE(log.find("fromer 01\r\n"), std::string::npos);
    EXPECT_NE(log.find("restart reboot\r\n"), std::string::npos);
    EXPECT_EQ(log.find("Erase 30\r\n"), std::string::npos);  // "fromer 01" erased it
    EXPECT_EQ(Occurrences(" MP.OK \r\n"), 2);
    // The bar ends full.
    {
        auto lock = host_.Lock();
        ASSERT_FALSE(host_.ProgressRanges.empty());
        EXPECT_EQ(host_.ProgressPositions.back(), host_.ProgressRanges.back().second);
    }

    const auto saved = sim_->Device().SavedSettings();
    ASSERT_TRUE(saved.has_value());
    EXPECT_TRUE(saved->NewLayout);
    ASSERT_NE(saved->Item(19, 2), nullptr);
    EXPECT_EQ(*saved->Item(19, 2), "5");
    ASSERT_NE(saved->Item(37, 1), nullptr);
    for (const auto& record : saved->Blocks[36]) {
        EXPECT_EQ(record.find("65535"), std::string::npos) << record;
        EXPECT_NE(record.find("-1"), std::string::npos) << record;
    }
}

TEST_F(SerialUpdateTest, SettingsResetRevisionRestartsInsteadOfRestoring)
{
    device_.FirmwareVersion = "Version 1.10";
    device_.Revision = 3;
    StartDevice();
    Update();
    EXPECT_EQ(dlg_->SettingsDecision().SettingsReset, 1);
    EXPECT_EQ(dlg_->cfg().SAVE, 0);
    ExpectOutcome(CUpdateDlg::Outcome::Done, kDone);
    ExpectImagesWritten();
    EXPECT_NE(Log().find("init data\r\n"), std::string::npos);
    EXPECT_NE(Log().find("restart reboot\r\n"), std::string::npos);
    EXPECT_EQ(DeviceCommands("getdata"), 0);
    EXPECT_EQ(DeviceCommands("putdata"), 0);
}

// A run killed with the device in its shell, or half-way through a monitor download: the next
// run leaves the shell with "exit", or ends the download, and updates the device from there.
struct LeftBehind {
    const char* name;
    devsim::StartLevel level;
    int probe;
};

void PrintTo(const LeftBehind& p, std::ostream* os) { *os << p.name; }

class SerialLeftBehindTest : public SerialUpdateTest, public ::testing::WithParamInterface<LeftBehind> {};

TEST_P(SerialLeftBehindTest, NextRunRecoversTheDeviceAndUpdatesIt)
{
    package_options_.Save = 0;
    device_.StartIn = GetParam().level;
    StartDevice();
    Update();
    EXPECT_EQ(dlg_->Identity().ProbeResult, GetParam().probe);
    ExpectOutcome(CUpdateDlg::Outcome::Done, kDone);
    clock_.SleepMs(device_.RestartMs + 1000);
    ExpectImagesWritten();
}

INSTANTIATE_TEST_SUITE_P(Levels, SerialLeftBehindTest,
                         ::testing::Values(LeftBehind{"Shell", devsim::StartLevel::Shell, PROBE_FIRMWARE},
                                           LeftBehind{"MonitorDownload", devsim::StartLevel::Download, PROBE_FLASH_MONITOR}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- faults

TEST_F(SerialUpdateTest, ErrorWhileStreamingIsFollowedByASuccessfulTry)
{
    package_options_.Save = 0;
    device_.Faults.StreamErrorLine = 10;
    StartDevice();
    Update();
    ExpectOutcome(CUpdateDlg::Outcome::Done, kDone);
    ExpectImagesWritten();
    EXPECT_EQ(DeviceCommands("DP"), 2);
}

// A wrong version after the update fails it and keeps the backup, which the window names. The
// next start-up finds that file. Declined, the offer sends nothing and names the file;
// accepted, it puts the settings back, confirms them and deletes it.
TEST_F(SerialUpdateTest, WrongVersionKeepsTheBackupAndTheNextStartupOffersIt)
{
    device_.Faults.VersionOverride = "Version 1.19 3";
    StartDevice();
    Update();
    ExpectOutcome(CUpdateDlg::Outcome::Failed, kFailed);
    EXPECT_NE(Log().find("Version Check ERROR\r\n"), std::string::npos);
    EXPECT_NE(Log().find("Version Up Error\r\n"), std::string::npos);
    EXPECT_EQ(DeviceCommands("putdata"), 0);
    EXPECT_TRUE(dlg_->Carrier().BackupWrittenThisRun);
    const std::string kept = dlg_->Carrier().BackupFilePath;
    EXPECT_NE(dlg_->NoticeText().find(kept), std::string::npos) << dlg_->NoticeText();
    ASSERT_TRUE(dlg_->OnClose());
    ASSERT_TRUE(std::filesystem::exists(kept));
    ASSERT_FALSE(sim_->Device().SavedSettings() == settings_before_) << "the update erased them";

    for (const bool restore : {false, true}) {
        SCOPED_TRACE(restore ? "accepted" : "declined");
        dlg_.reset();
        ASSERT_TRUE(StartUp()) << StartupMessage();
        ASSERT_EQ(dlg_->KeptBackups().size(), 1u);
        EXPECT_EQ(dlg_->KeptBackups()[0].Path, kept);
        EXPECT_NE(dlg_->Carrier().BackupFilePath, kept) << "this run's own backup gets a name of its own";
        KeptBackupOffer offer(*dlg_);
        ASSERT_TRUE(offer.HasQuestion());
        EXPECT_NE(offer.Question().find(kept), std::string::npos);
        const int putdata_before = DeviceCommands("putdata");
        offer.Answer(restore);
        dlg_->JoinWorker();
        if (restore) {
            EXPECT_EQ(dlg_->KeptRestoreResult(), CUpdateDlg::KeptRestore::Confirmed);
            EXPECT_EQ(dlg_->StatusText(), kStatusKeptRestored);
            EXPECT_TRUE(sim_->Device().SavedSettings() == settings_before_);
            EXPECT_FALSE(std::filesystem::exists(kept));
        } else {
            EXPECT_EQ(DeviceCommands("putdata"), putdata_before);
            EXPECT_EQ(dlg_->NoticeText(), kNoticeKeptBackup + kept);
            EXPECT_TRUE(std::filesystem::exists(kept));
        }
        ASSERT_TRUE(dlg_->OnClose());
    }
}

TEST_F(SerialUpdateTest, UnansweredProgramStartFailsAfterTenTries)
{
    package_options_.Save = 0;
    package_options_.Fpga = false;
    package_options_.Boot = false;
    // Ten starts of three tries each.
    for (int n = 1; n <= 30; ++n)
        device_.Faults.NoReply.push_back(devsim::CountedFault{"at%z", n});
    StartDevice();
    Update();
    ExpectOutcome(CUpdateDlg::Outcome::DeviceNotReached, kFailed);
    EXPECT_EQ(Occurrences("Program Start ERROR\r\n"), 10);
    EXPECT_EQ(Log().find("Program Start OK"), std::string::npos);
    // What was written, what was not checked, what to do.
    for (const std::string line :
         {"The device did not answer after its restart into the new program (10 tries).\n",
          "Written: main program (sectors 1-2, flash checksum checked).\n", "Not checked: the new firmware's version.\n",
          "Settings: not carried.\n", "Next: power-cycle the device, then run the update again on COM3"}) {
        EXPECT_NE(dlg_->OutcomeDetail().find(line), std::string::npos) << line << "\nin:\n" << dlg_->OutcomeDetail();
        EXPECT_NE(Log().find(line.substr(0, line.size() - 1)), std::string::npos) << line;
    }
}

// The restart into the boot monitor never ends: nothing has been erased yet.
TEST_F(SerialUpdateTest, DeviceThatNeverReachesItsMonitorFailsBeforeTheErase)
{
    device_.Faults.NoReturn = true;
    StartDevice();
    const auto area1 = sim_->Device().Area(1);
    Update();
    ExpectOutcome(CUpdateDlg::Outcome::Failed, kFailed);
    EXPECT_EQ(DeviceCommands("ER"), 0);
    EXPECT_TRUE(sim_->Device().Area(1) == area1);
    EXPECT_NE(dlg_->OutcomeDetail().find("nothing was erased or written.\nNext: power-cycle the device"), std::string::npos)
        << dlg_->OutcomeDetail();
}

// ---------------------------------------------------------------- start-ups that fail

// Start-ups that must not lead to an update: the device keeps its firmware, its flash and its
// settings, and the message says why.
struct RefusedStartup {
    const char* name;
    std::vector<std::string> edits;
    std::function<void(devsim::DeviceOptions&)> arrange;
    std::string message;
    bool silenced = false;  // the device stops answering once started
};

void PrintTo(const RefusedStartup& p, std::ostream* os) { *os << p.name; }

class SerialRefusedStartupTest : public SerialUpdateTest, public ::testing::WithParamInterface<RefusedStartup> {};

TEST_P(SerialRefusedStartupTest, LeavesTheDeviceAsItWas)
{
    const RefusedStartup& p = GetParam();
    if (p.arrange)
        p.arrange(device_);
    StartDevice(p.edits);
    const std::vector<std::uint8_t> program = sim_->Device().ProgramInFlash();
    const std::string version = sim_->Device().VersionText();
    if (p.silenced)
        sim_->Device().Restart(false);
    EXPECT_FALSE(StartUp());
    EXPECT_EQ(StartupMessage(), p.message);
    EXPECT_TRUE(sim_->Device().ProgramInFlash() == program);
    EXPECT_TRUE(sim_->Device().SavedSettings() == settings_before_);
    EXPECT_EQ(DeviceCommands("ER"), 0);
    EXPECT_EQ(DeviceCommands("fromer"), 0);
    EXPECT_EQ(DeviceCommands("AT!F1"), 0);
    EXPECT_EQ(DeviceCommands("getdata"), 0);
    if (!p.silenced) {
        EXPECT_EQ(sim_->Device().Mode(), devsim::RunMode::Firmware);
        EXPECT_EQ(sim_->Device().VersionText(), version);
    }
}

std::vector<devsim::CountedFault> Unanswered(const char* command)
{
    // Every try of the command channel (RETRY 3).
    return {{command, 1}, {command, 2}, {command, 3}};
}

INSTANTIATE_TEST_SUITE_P(
    Startups, SerialRefusedStartupTest,
    ::testing::Values(
        RefusedStartup{"AnotherProductWithoutSecondWord", {"KIKI2="}, [](auto& d) { d.Product = "OTHERBOX9"; },
                       test::NotConnected()},
        RefusedStartup{"NoProductWord", {"KIKI1="}, nullptr, kMsgNoProductWord},
        RefusedStartup{"NoVersionLength", {"NUM_LEN=0"}, nullptr, kMsgVersionNotCheckable},
        RefusedStartup{"NoNewVersion", {"NUM="}, nullptr, kMsgVersionNotCheckable},
        RefusedStartup{"ProductQueryUnanswered", {}, [](auto& d) { d.Faults.NoReply = Unanswered("ati"); },
                       std::string(kMsgVersionUnanswered) + kHintPowerCycle},
        RefusedStartup{"VersionQueryUnanswered", {}, [](auto& d) { d.Faults.NoReply = Unanswered("at%i2"); },
                       std::string(kMsgVersionUnanswered) + kHintPowerCycle},
        RefusedStartup{"SettingsOnlyOnFirmwareBefore1_1", {"UPLOAD=0"},
                       [](auto& d) { d.FirmwareVersion = "Version 1.05"; }, kMsgSettingsOnlyOldFirmware},
        RefusedStartup{"SilentDevice", {}, [](auto& d) { d.Faults.NoReturn = true; },
                       std::string(kMsgDeviceNotConnected) + kHintPowerCycle, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialUpdateTest, ScanThatFindsNoDeviceNamesTheProduct)
{
    StartDevice({"AUTO=1"});
    sim_->Stop();
    sim_.reset();
    EXPECT_FALSE(StartUp(1));
    const std::string expected = dlg_->cfg().NAME1 + std::string(kMsgNotConnectedFormat).substr(2) + kHintPowerCycle;
    EXPECT_EQ(StartupMessage(), expected);
    EXPECT_FALSE(dlg_->Serial()->Port()->IsOpen());
}

TEST_F(SerialUpdateTest, BusyPortCannotBeOpened)
{
    StartDevice();
    SerialLink other(clock_, std::make_unique<PosixSerialPort>([this](const std::string& name) { return PortPath(name); }));
    ASSERT_EQ(other.Open("COM3"), SERIAL_OPENED);
    EXPECT_FALSE(StartUp());
    // The message's first line as ever, then why.
    EXPECT_EQ(StartupMessage(), std::string(kMsgPortOpenFailed) + "\r\nCOM3: " + sim_->PtyPath() +
                                    ": port busy (used by another program)");
    EXPECT_NE(Log().find("busy"), std::string::npos);
}

TEST_F(SerialUpdateTest, ScanFindsTheDeviceOnItsPort)
{
    package_options_.Save = 0;
    StartDevice({"AUTO=1"});
    ASSERT_TRUE(StartUp(1)) << StartupMessage();
    EXPECT_EQ(dlg_->PortName(), "COM3");
    EXPECT_EQ(dlg_->CurrentVersionText(), "Version 1.15");
    EXPECT_FALSE(dlg_->Identity().FirmwareVersionText.empty());
}

// A port that another run is updating is passed over without a byte sent to it.
TEST_F(SerialUpdateTest, ScanPassesOverAPortAnotherRunIsUpdating)
{
    package_options_.Save = 0;
    StartDevice({"AUTO=1"});
    std::unique_ptr<InstanceGuard> other_run;
    ASSERT_EQ(InstanceGuard::Acquire(state_.Path(), other_run, nullptr, "serial-" + FileNameSafe(PortIdentity("COM3"))),
              InstanceGuard::Result::Acquired);
    EXPECT_FALSE(StartUp(1));
    EXPECT_NE(Log().find("COM3 skipped: in use by process " + std::to_string(::getpid())), std::string::npos) << Log();
    EXPECT_EQ(DeviceCommands(""), 0);
}

}  // namespace
}  // namespace verup
