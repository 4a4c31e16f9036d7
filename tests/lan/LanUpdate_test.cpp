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

    bool StartUp() override { return StartUpOnRoad(0); }

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

// Every image the package holds, without settings. An FPGA area above MAIN is erased before its
// images, one equal to it by neither step, one below it by the program's: the device sees the
// erases the plan (its own tests) lists.
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
    EXPECT_NE(Log().find("Version Check OK\r\n"), std::string::npos);
    EXPECT_NE(Log().find("Version Up OK\r\n"), std::string::npos);
    // The bar ends full: the last position reported is the total of the last range.
    auto lock = host_.Lock();
    ASSERT_FALSE(host_.ProgressRanges.empty());
    EXPECT_EQ(host_.ProgressPositions.back(), host_.ProgressRanges.back().second);
    if (p.main == 2) {
        EXPECT_EQ(host_.ProgressRanges.back().second, 9) << "2 + (2 sectors + 3) + FPGA + monitor";
    }
}

INSTANTIATE_TEST_SUITE_P(LanPlacements, LanFpgaPlacementTest,
                         ::testing::Values(FpgaPlacement{"Above", 2, 3}, FpgaPlacement{"Equal", 3, 3},
                                           FpgaPlacement{"Below", 4, 3}),
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

// A run that ends after the erase keeps the settings on disk and restores nothing: the block
// backup (SAVE 2) or the area file (SAVE 1) is named and outlives the teardown.
struct AfterTheErase {
    const char* name;
    int save;
    std::function<void(devsim::DeviceOptions&)> fault;
    std::vector<std::string> edits;
    CUpdateDlg::Outcome outcome;
    const char* logged;
};

void PrintTo(const AfterTheErase& p, std::ostream* os) { *os << p.name; }

class LanFailureAfterTheEraseTest : public LanSettingsAreaFileTest,
                                    public ::testing::WithParamInterface<AfterTheErase> {};

TEST_P(LanFailureAfterTheEraseTest, KeepsTheSettingsOnDisk)
{
    const AfterTheErase& p = GetParam();
    package_options_.Save = p.save;
    p.fault(device_);
    StartDevice(p.edits);
    Update();
    EXPECT_NE(Log().find("fromer 1\r\n"), std::string::npos);
    EXPECT_NE(Log().find(p.logged), std::string::npos) << p.logged;
    if (p.save == 1) {
        ExpectAreaFileKept(p.outcome, kStatusFailed);
        return;
    }
    ExpectOutcome(p.outcome, kStatusFailed);
    EXPECT_EQ(DeviceLogLines("putdata"), 0);
    EXPECT_TRUE(dlg_->Carrier().BackupWrittenThisRun);
    EXPECT_FALSE(dlg_->Carrier().SettingsRestored);
    ASSERT_TRUE(dlg_->OnClose());
    EXPECT_TRUE(std::filesystem::exists(dlg_->Carrier().BackupFilePath));
}

void WrongVersion(devsim::DeviceOptions& d) { d.Faults.VersionOverride = "Version 1.19 0"; }

INSTANTIATE_TEST_SUITE_P(
    Faults, LanFailureAfterTheEraseTest,
    ::testing::Values(
        AfterTheErase{"WrongVersion", 2, WrongVersion, {}, CUpdateDlg::Outcome::Failed, "Version Check ERROR\r\n"},
        AfterTheErase{"DroppedInABlock", 2, [](auto& d) { d.Faults.DropMidBlock = 1; }, {}, CUpdateDlg::Outcome::Failed,
                      "Version Up Error\r\n"},
        AfterTheErase{"AreaWrongVersion", 1, WrongVersion, {}, CUpdateDlg::Outcome::Failed, "Version Check ERROR\r\n"},
        AfterTheErase{"AreaNeverReturns", 1, [](auto& d) { d.Faults.NoReturn = true; }, {},
                      CUpdateDlg::Outcome::DeviceNotReached, "Version Up Error\r\n"},
        AfterTheErase{"AreaRefusedBlock", 1, [](auto& d) { d.Faults.DlError = 1; }, {"RETRY=1"},
                      CUpdateDlg::Outcome::Failed, "Version Up Error\r\n"}),
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

}  // namespace
}  // namespace verup
