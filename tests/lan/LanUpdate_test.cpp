// The LAN road end to end: start-up, update and settings carry against the simulated device
// on loopback, checking what the device and the backup file hold afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/DialogTexts.h"
#include "lan/TelnetLink.h"
#include "support/SimUpdateFixture.h"

namespace verup {
namespace {

// Restart waits of 10 s take 100 ms; the shortest wait of a success path (a login exchange,
// 5000 ms) still gives 50 ms.
constexpr double kTimeScale = 100;

class LanUpdateTest : public test::SimUpdateFixture {
protected:
    LanUpdateTest() : SimUpdateFixture(kTimeScale, Road::Lan)
    {
        package_options_.Save = 0;
        every_edit_must_match_ = true;
    }
    // The link first: its reader reports into the dialog.
    ~LanUpdateTest() override { CloseAndReportLogs(); }

    bool StartUp() override
    {
        MakeDialog(ConnectionResult{1, 1, "127.0.0.1", ""});
        return dlg_->OnInitDialog();
    }

    // The usual update from start to end, as planned: done, with every image the package holds in place.
    void UpdateSucceeds()
    {
        StartDevice();
        UpdateAsPlanned();
        ExpectOutcome(CUpdateDlg::Outcome::Done, kStatusDone);
        ExpectImagesWritten();
    }

    int DeviceRestarts() const { return DeviceLogLines("device: restarting"); }

    void ExpectSettingsAreaKept()
    {
        EXPECT_TRUE(sim_->Device().Area(devsim::SimDevice::kSettingsArea) == area31_before_);
    }
    void ExpectOutcome(CUpdateDlg::Outcome outcome, const char* status)
    {
        SimUpdateFixture::ExpectOutcome(outcome, status);
        // The notice names the backup exactly when it holds settings that were not put back.
        if (dlg_->Carrier().BackupWrittenThisRun && !dlg_->Carrier().SettingsRestored) {
            EXPECT_NE(dlg_->NoticeText().find(dlg_->Carrier().BackupFilePath), std::string::npos);
        } else if (dlg_->ImagesRefusal().empty()) {
            EXPECT_EQ(dlg_->NoticeText(), "");
        }
    }
};

// ---------------------------------------------------------------- updates that succeed

TEST_F(LanUpdateTest, WritesEveryImageWithoutSettings)
{
    UpdateSucceeds();
    const std::string log = Log();
    EXPECT_NE(log.find("Version Check OK\r\n"), std::string::npos);
    EXPECT_NE(log.find("Version Up OK\r\n"), std::string::npos);
    // The bar ends full: the last position reported is the total of the last range.
    auto lock = host_.Lock();
    ASSERT_FALSE(host_.ProgressRanges.empty());
    EXPECT_EQ(host_.ProgressPositions.back(), host_.ProgressRanges.back().second);
    // 2 + (2 sectors + 3) + FPGA + monitor
    EXPECT_EQ(host_.ProgressRanges.back().second, 9);
}

// The device refuses the first connection after each restart: counted, and tried again.
TEST_F(LanUpdateTest, OnlyTheProgramRestartsTheDeviceTwice)
{
    package_options_.Fpga = false;
    package_options_.Boot = false;
    device_.Faults.ReturnAfter = 1;
    UpdateSucceeds();
    EXPECT_EQ(DeviceRestarts(), 2);
    EXPECT_EQ(Occurrences("restart reboot\r\n"), 2);
    EXPECT_EQ(Occurrences("<---FPGA"), 0);
    EXPECT_NE(Log().find("open err_cnt=1\r\n"), std::string::npos);
}

// An FPGA area above MAIN is erased before its images, one equal to it by neither step, one
// below it by the program's: the device sees the erases the plan (its own tests) lists.
struct FpgaPlacement {
    const char* name;
    int main;
    int fpga;
};

class LanFpgaPlacementTest : public LanUpdateTest, public ::testing::WithParamInterface<FpgaPlacement> {};

TEST_P(LanFpgaPlacementTest, DeviceIsErasedAndWrittenAsPlanned)
{
    const FpgaPlacement& p = GetParam();
    StartDevice({"MAIN=" + std::to_string(p.main), "FPGA=" + std::to_string(p.fpga)});
    UpdateAsPlanned();
    ExpectOutcome(CUpdateDlg::Outcome::Done, kStatusDone);
    ExpectImagesWritten();
}

INSTANTIATE_TEST_SUITE_P(LanPlacements, LanFpgaPlacementTest,
                         ::testing::Values(FpgaPlacement{"Above", 2, 3}, FpgaPlacement{"Equal", 3, 3},
                                           FpgaPlacement{"Below", 4, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- faults the update survives

TEST_F(LanUpdateTest, RefusedBlockIsSentAgain)
{
    device_.Faults.DlError = 1;
    UpdateSucceeds();
}

TEST_F(LanUpdateTest, CorruptedUploadIsUploadedAgain)
{
    package_options_.Save = 1;
    device_.Faults.BadUploadFcs = 1;
    StartDevice();
    Update();
    ExpectOutcome(CUpdateDlg::Outcome::Done, kStatusDone);
    ExpectSettingsAreaKept();
    EXPECT_GE(DeviceLogLines("upload 31"), 2);
}

// ---------------------------------------------------------------- updates that fail

TEST_F(LanUpdateTest, ConnectionDroppedInABlockFailsAndKeepsTheBackup)
{
    package_options_.Save = 2;
    device_.Faults.DropMidBlock = 1;
    StartDevice();
    Update();
    ExpectOutcome(CUpdateDlg::Outcome::Failed, kStatusFailed);
    EXPECT_NE(Log().find("Version Up Error\r\n"), std::string::npos);
    // The settings are in the backup file; nothing was restored from it.
    EXPECT_TRUE(std::filesystem::exists(dlg_->Carrier().BackupFilePath));
    EXPECT_TRUE(dlg_->Carrier().BackupWrittenThisRun);
    EXPECT_FALSE(dlg_->Carrier().SettingsRestored);
    ExpectSettingsAreaKept();
}

// The first restart: the program is written, the FPGA and the boot monitor are not.
TEST_F(LanUpdateTest, DeviceThatNeverReturnsFailsAndSaysWhatWasWritten)
{
    package_options_.Save = 2;
    device_.Faults.NoReturn = true;
    StartDevice();
    Update();
    ExpectOutcome(CUpdateDlg::Outcome::DeviceNotReached, kStatusFailed);
    EXPECT_EQ(Occurrences("Version Up Error\r\n"), 1);
    EXPECT_EQ(Occurrences("Version Up OK"), 0);
    EXPECT_EQ(Occurrences("<---FPGA"), 0);
    const std::string& detail = dlg_->OutcomeDetail();
    for (const std::string& line :
         {std::string("The device did not answer at 127.0.0.1 after its restart (3 connection attempts).\n"),
          std::string("Written: main program (areas 1-2; data area 30 erased).\n"),
          std::string("Not written: FPGA configurations (area 3), boot monitor (area 0).\n"),
          std::string("Not checked: the new firmware's version.\n"),
          "Settings: not restored; they are kept in " + dlg_->Carrier().BackupFilePath + ".\n", std::string("power-cycle")}) {
        EXPECT_NE(detail.find(line), std::string::npos) << line << "\nin:\n" << detail;
        EXPECT_NE(Log().find(line.substr(0, line.size() - 1)), std::string::npos) << line;
    }
    ASSERT_TRUE(dlg_->OnClose());
    EXPECT_TRUE(std::filesystem::exists(dlg_->Carrier().BackupFilePath));
}

TEST_F(LanUpdateTest, WrongVersionAfterTheUpdateFailsAndKeepsTheBackup)
{
    package_options_.Save = 2;
    device_.Faults.VersionOverride = "Version 1.19 0";
    StartDevice();
    Update();
    ExpectOutcome(CUpdateDlg::Outcome::Failed, kStatusFailed);
    EXPECT_NE(Log().find("Version Check ERROR\r\n"), std::string::npos);
    // Nothing is restored into a firmware of another version; the backup keeps the settings.
    EXPECT_EQ(DeviceLogLines("putdata"), 0);
    EXPECT_TRUE(std::filesystem::exists(dlg_->Carrier().BackupFilePath));
    EXPECT_TRUE(dlg_->Carrier().BackupWrittenThisRun);
    EXPECT_FALSE(dlg_->Carrier().SettingsRestored);
}

// ---------------------------------------------------------------- start-ups that fail

struct StartupFailure {
    const char* name;
    std::function<void(devsim::PackageOptions&, devsim::DeviceOptions&)> arrange;
    std::string message;
    std::vector<std::string> edits = {};
};

void PrintTo(const StartupFailure& p, std::ostream* os) { *os << p.name; }

class LanStartupTest : public LanUpdateTest, public ::testing::WithParamInterface<StartupFailure> {};

TEST_P(LanStartupTest, FailsWithItsMessageAndTouchesNothing)
{
    GetParam().arrange(package_options_, device_);
    StartDevice(GetParam().edits);
    const std::vector<std::uint8_t> program = sim_->Device().ProgramInFlash();
    EXPECT_FALSE(StartUp());
    EXPECT_EQ(StartupMessage(), GetParam().message);
    EXPECT_EQ(host_.PostCloses, 1);
    ExpectSettingsAreaKept();
    EXPECT_TRUE(sim_->Device().ProgramInFlash() == program);
}

INSTANTIATE_TEST_SUITE_P(
    LanStartups, LanStartupTest,
    ::testing::Values(
        StartupFailure{"AnotherProduct", [](auto&, auto& d) { d.Product = "NEXAVO9999"; }, test::NotConnected()},
        StartupFailure{"RefusedPassword", [](auto&, auto& d) { d.Faults.RefuseLogin = true; }, kMsgLanRefused},
        StartupFailure{"OldTelnetServer", [](auto&, auto& d) { d.TelnetServerVersion = "Version 1.49"; },
                       kMsgTelnetTooOld},
        StartupFailure{"NoRetry", [](auto& s, auto&) { s.Retry = 0; }, kMsgConnectFailed},
        StartupFailure{"AnotherProductWithoutSecondWord",
                       [](auto& s, auto& d) {
                           s.Kiki2.clear();
                           d.Product = "OTHERBOX9";
                       },
                       test::NotConnected()},
        StartupFailure{"NoProductWord", [](auto& s, auto&) { s.Kiki1.clear(); }, kMsgNoProductWord},
        StartupFailure{"NoVersionLength", [](auto&, auto&) {}, kMsgVersionNotCheckable, {"NUM_LEN=0"}},
        StartupFailure{"SettingsOnlyOnFirmwareBefore1_1", [](auto&, auto& d) { d.FirmwareVersion = "Version 1.05"; },
                       kMsgSettingsOnlyOldFirmware, {"UPLOAD=0"}},
        StartupFailure{"DeviceInItsBootMonitor", [](auto&, auto& d) { d.StartIn = devsim::StartLevel::Monitor; },
                       std::string(kMsgConnectFailed) + kHintPowerCycle + kHintSerialForMonitor}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- the settings area's file

class LanSettingsAreaFileTest : public LanUpdateTest {
protected:
    LanSettingsAreaFileTest() { package_options_.Save = 1; }

    // The area files in the state folder, named after the device's MAC address and the time.
    std::vector<std::string> AreaFiles() const
    {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(state_.Path())) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("7300qb-area31-", 0) == 0 && name.size() > 4 && name.substr(name.size() - 4) == ".bin")
                files.push_back(entry.path().string());
        }
        return files;
    }

    // The run ended with the file holding the device's area 31 as it was before the update,
    // named in the notice and the log, and the teardown leaves it for the user.
    void ExpectAreaFileKept(CUpdateDlg::Outcome outcome, const char* status)
    {
        SimUpdateFixture::ExpectOutcome(outcome, status);
        const std::string path = dlg_->Carrier().SettingsAreaKeptPath;
        EXPECT_EQ(AreaFiles(), std::vector<std::string>{path});
        EXPECT_EQ(path.rfind(state_.Path() + "/7300qb-area31-00-80-6d-73-00-10-20", 0), 0u) << path;
        EXPECT_NE(test::TempDir::ReadFile(path + ".info").find("kind=area31\n"), std::string::npos);
        const std::string bytes = test::TempDir::ReadFile(path);
        ASSERT_EQ(bytes.size(), 65536u);
        ASSERT_GE(area31_before_.size(), bytes.size());
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), area31_before_.begin(),
                               [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
        EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        EXPECT_NE(dlg_->NoticeText().find(kNoticeSettingsBackupAt + path), std::string::npos);
        EXPECT_EQ(Occurrences("settings area kept: " + path + "\r\n"), 1);
        ASSERT_TRUE(dlg_->OnClose());
        EXPECT_TRUE(std::filesystem::exists(path));
    }
};

// A run that ends after the erase without writing the area back: a wrong version, a device that
// never returns, and (with one try) a refused first block.
struct AfterTheErase {
    const char* name;
    std::function<void(devsim::DeviceOptions&)> fault;
    std::vector<std::string> edits;
    CUpdateDlg::Outcome outcome;
};

void PrintTo(const AfterTheErase& p, std::ostream* os) { *os << p.name; }

class LanAreaFileKeptTest : public LanSettingsAreaFileTest, public ::testing::WithParamInterface<AfterTheErase> {};

TEST_P(LanAreaFileKeptTest, RunThatFailsAfterTheEraseKeepsTheFile)
{
    GetParam().fault(device_);
    StartDevice(GetParam().edits);
    Update();
    EXPECT_NE(Log().find("fromer 1\r\n"), std::string::npos);
    ExpectAreaFileKept(GetParam().outcome, kStatusFailed);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, LanAreaFileKeptTest,
    ::testing::Values(
        AfterTheErase{"WrongVersion", [](auto& d) { d.Faults.VersionOverride = "Version 1.19 0"; }, {},
                      CUpdateDlg::Outcome::Failed},
        AfterTheErase{"NeverReturns", [](auto& d) { d.Faults.NoReturn = true; }, {}, CUpdateDlg::Outcome::DeviceNotReached},
        AfterTheErase{"RefusedBlock", [](auto& d) { d.Faults.DlError = 1; }, {"RETRY=1"}, CUpdateDlg::Outcome::Failed}),
    [](const auto& info) { return std::string(info.param.name); });

// The kept file beside an earlier run's copy, which it never replaces.
TEST_F(LanSettingsAreaFileTest, KeptFileGoesBackIntoTheAreaAndIsReadBack)
{
    const std::string earlier = state_.Write("7300qb-area31-00-80-6d-73-00-10-20250101T000000Z.bin", "settings of an earlier run");
    device_.Faults.VersionOverride = "Version 1.19 0";
    StartDevice();
    Update();
    const std::string kept = dlg_->Carrier().SettingsAreaKeptPath;
    EXPECT_EQ(test::TempDir::ReadFile(earlier), "settings of an earlier run");
    EXPECT_NE(kept, earlier);
    EXPECT_EQ(test::TempDir::ReadFile(kept).size(), 65536u);
    ASSERT_TRUE(dlg_->OnClose());
    dlg_.reset();
    ASSERT_TRUE(sim_->Device().EraseArea(devsim::SimDevice::kSettingsArea));

    // A file whose note names another device's MAC address is refused unless asked for.
    const std::string note = test::TempDir::ReadFile(kept + ".info");
    const std::string own_mac = "mac=00-80-6d-73-00-10\n";
    ASSERT_NE(note.find(own_mac), std::string::npos) << note;
    std::string other = note;
    other.replace(other.find(own_mac), own_mac.size(), "mac=00-80-6d-00-00-99\n");
    std::ofstream(kept + ".info", std::ios::binary | std::ios::trunc) << other;

    std::string reason;
    ASSERT_TRUE(StartUp()) << StartupMessage();
    EXPECT_EQ(dlg_->RestoreKeptBackup(kept, false, reason), CUpdateDlg::KeptRestore::Refused);
    EXPECT_NE(reason.find("--any-device"), std::string::npos) << reason;
    EXPECT_TRUE(sim_->Device().AreaErased(devsim::SimDevice::kSettingsArea)) << "nothing was written";
    EXPECT_EQ(dlg_->RestoreKeptBackup(kept, true, reason), CUpdateDlg::KeptRestore::Confirmed) << reason;
    EXPECT_TRUE(sim_->Device().Area(devsim::SimDevice::kSettingsArea) == area31_before_);
    EXPECT_FALSE(std::filesystem::exists(kept));
    EXPECT_FALSE(std::filesystem::exists(kept + ".info"));
}

// The whole area goes up before the first erase and back after the version check; a copy an
// earlier run kept stays as it was, and this run leaves no file of its own.
TEST_F(LanSettingsAreaFileTest, WrittenBackAreaLeavesNoFileAndAnEarlierCopyAlone)
{
    const std::string earlier = state_.Write("7300qb-area31-00-80-6d-73-00-10-20250101T000000Z.bin", "settings of an earlier run");
    UpdateSucceeds();
    ExpectSettingsAreaKept();
    const std::string log = Log();
    const auto uploaded = log.find("upload 31 OK\r\n");
    ASSERT_NE(uploaded, std::string::npos);
    EXPECT_LT(uploaded, log.find("<---FROM"));
    EXPECT_NE(log.find("Version Check OK\r\ndownload 31 OK\r\nfromwr 31 OK\r\n"), std::string::npos);
    EXPECT_EQ(dlg_->Carrier().SettingsAreaKeptPath, "");
    EXPECT_EQ(Occurrences("settings area"), 0);
    EXPECT_EQ(test::TempDir::ReadFile(earlier), "settings of an earlier run");
    EXPECT_EQ(AreaFiles(), std::vector<std::string>{earlier});
}

}  // namespace
}  // namespace verup
