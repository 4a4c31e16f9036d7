// The serial road end to end: start-up, update and settings carry against the simulated
// device on a real pseudo-terminal, checking what the device holds afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include <unistd.h>

#include "app/DialogTexts.h"
#include "app/KeptBackupOffer.h"
#include "platform/InstanceGuard.h"
#include "platform/SerialPortNames.h"
#include "settings/KeptBackups.h"
#include "support/SimUpdateFixture.h"

namespace verup {
namespace {

// A restart wait of 25 s takes half a second; the shortest wait a success path relies on
// (a monitor prompt after a 1000 ms wake-up byte) still gives 20 ms.
constexpr double kTimeScale = 25;  // margin for the device's short reply windows on a loaded machine
constexpr int kDevicePort = 3;

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

TEST_F(SerialUpdateTest, WithoutUploadOnlyTheSettingsAreSavedAndRestored)
{
    StartDevice({"UPLOAD=0"});
    Update();
    ExpectOutcome(CUpdateDlg::Outcome::Done, kStatusDone);
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
    // The used old settings hold what the conversion rules rewrite: 4 in 19.2, 65535 in block 37.
    ASSERT_TRUE(settings_before_.has_value() && !settings_before_->NewLayout);
    ASSERT_EQ(*settings_before_->Item(19, 2), "4");
    ASSERT_NE(settings_before_->Item(37, 1)->find("\x01" "65535\x01"), std::string::npos);
    UpdateAsPlanned();
    ExpectOutcome(CUpdateDlg::Outcome::Done, kStatusDone);
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
    ExpectOutcome(CUpdateDlg::Outcome::Done, kStatusDone);
    ExpectImagesWritten();
    EXPECT_NE(Log().find("init data\r\n"), std::string::npos);
    EXPECT_NE(Log().find("restart reboot\r\n"), std::string::npos);
    EXPECT_EQ(DeviceCommands("getdata"), 0);
    EXPECT_EQ(DeviceCommands("putdata"), 0);
}

// A run killed with the device in its shell, in its flash monitor or half-way through a monitor
// download: the next run leaves the shell with "exit", or ends the download, and updates the
// device from there as planned. At "F-ROM>" the monitor takes the "A" of "ATT1\r" as a wake-up
// byte and refuses the rest with its error word, so the start-up goes on; the update's monitor
// entry finds the device still there, without shell or version check.
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
    UpdateAsPlanned();
    EXPECT_EQ(dlg_->Identity().ProbeResult, GetParam().probe);
    ExpectOutcome(CUpdateDlg::Outcome::Done, kStatusDone);
    if (GetParam().level == devsim::StartLevel::FlashMonitor) {
        EXPECT_EQ(Log().find("Version Check OK"), std::string::npos);
        EXPECT_EQ(DeviceCommands("at%z"), 0);
        EXPECT_EQ(DeviceCommands("AT$I99"), 0);
    }
    // GO starts the new program.
    clock_.SleepMs(device_.RestartMs + 1000);
    ExpectImagesWritten();
}

INSTANTIATE_TEST_SUITE_P(
    Levels, SerialLeftBehindTest,
    ::testing::Values(LeftBehind{"Shell", devsim::StartLevel::Shell, PROBE_FIRMWARE},
                      LeftBehind{"FlashMonitor", devsim::StartLevel::FlashMonitor, PROBE_FLASH_MONITOR},
                      LeftBehind{"MonitorDownload", devsim::StartLevel::Download, PROBE_FLASH_MONITOR}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- faults

// A wrong version after the update fails it and keeps the backup, which the window names. The
// next start-up finds that file. Declined, the offer sends nothing and names the file;
// accepted, it puts the settings back, confirms them and deletes it.
TEST_F(SerialUpdateTest, WrongVersionKeepsTheBackupAndTheNextStartupOffersIt)
{
    device_.Faults.VersionOverride = "Version 1.19 3";
    StartDevice();
    Update();
    ExpectOutcome(CUpdateDlg::Outcome::Failed, kStatusFailed);
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

// ---------------------------------------------------------------- the port scan

// The scan finds the device on its port; with no device on any, it names the product.
TEST_F(SerialUpdateTest, ScanFindsTheDeviceOnItsPortOrNamesTheProduct)
{
    package_options_.Save = 0;
    StartDevice({"AUTO=1"});
    ASSERT_TRUE(StartUp(1)) << StartupMessage();
    EXPECT_EQ(dlg_->PortName(), "COM3");
    EXPECT_EQ(dlg_->CurrentVersionText(), "Version 1.15");
    ASSERT_TRUE(dlg_->OnClose());
    dlg_.reset();
    sim_->Stop();
    sim_.reset();
    EXPECT_FALSE(StartUp(1));
    EXPECT_EQ(StartupMessage(), NotConnectedMessage(dlg_->cfg().NAME1) + kHintPowerCycle);
    EXPECT_FALSE(dlg_->Serial()->Port()->IsOpen());
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
