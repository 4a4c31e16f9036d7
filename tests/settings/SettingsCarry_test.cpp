// Carrying the settings across an update, on both roads against the simulated device: a save
// that fails stops the update before anything is erased, a restore counts only once the device
// reads back what was written, and the LAN's settings area is read whole however TCP splits it.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/DialogTexts.h"
#include "lan/TelnetLink.h"
#include "platform/PosixSerialPort.h"
#include "serial/SerialLink.h"
#include "support/SimUpdateFixture.h"

namespace verup {
namespace {

enum class Via { Serial, Lan };

using Arrange = std::function<void(devsim::PackageOptions&, devsim::DeviceOptions&)>;

struct Carry {
    const char* name;
    Via via;
    int save;  // SAVE in verup.dat
    Arrange arrange;
    bool unusable_folder = false;  // the state folder may be written by others
};

// Restart waits of 10 s take 100 ms (LAN) or 200 ms (serial), as in the roads' own tests.
double ScaleOf(Via via) { return via == Via::Lan ? 100 : 50; }

devsim::CountedFault Nth(const char* command, int n) { return devsim::CountedFault{command, n}; }

// The `first` ... `last` sends of `command` get no reply, or the device's error word.
Arrange Faulted(bool error_word, const char* command, int first, int last)
{
    return [=](devsim::PackageOptions&, devsim::DeviceOptions& d) {
        for (int n = first; n <= last; ++n)
            (error_word ? d.Faults.ErrorWord : d.Faults.NoReply).push_back(Nth(command, n));
    };
}
Arrange NoReply(const char* command, int first, int last) { return Faulted(false, command, first, last); }
Arrange ErrorWord(const char* command, int first, int last) { return Faulted(true, command, first, last); }
// The same case with the transfers' check sequence off.
Arrange WithoutCrc(Arrange arrange)
{
    return [arrange](devsim::PackageOptions& p, devsim::DeviceOptions& d) {
        p.Crc = 0;
        arrange(p, d);
    };
}

class SettingsCarryTest : public test::SimUpdateFixture, public ::testing::WithParamInterface<Carry> {
protected:
    SettingsCarryTest()
        : SimUpdateFixture(ScaleOf(GetParam().via), GetParam().via == Via::Lan ? Road::Lan : Road::Serial)
    {
        package_options_.Save = GetParam().save;
        package_options_.Debug = 0;  // debug mode would keep every backup
        GetParam().arrange(package_options_, device_);
    }
    ~SettingsCarryTest() override
    { CloseAndReportLogs(); }

    bool StartUp() override { return StartUpOnRoad(3); }

    // Start-up, then the update (with the state folder open to others when the case says so).
    void Run()
    {
        StartDevice();
        for (int area = 0; area < devsim::SimDevice::kAreaCount; ++area)
            flash_before_[static_cast<std::size_t>(area)] = sim_->Device().Area(area);
        ASSERT_TRUE(StartUp()) << StartupMessage();
        namespace fs = std::filesystem;
        if (GetParam().unusable_folder)
            fs::permissions(state_.Path(), fs::perms::group_write | fs::perms::others_write, fs::perm_options::add);
        dlg_->OnStart();
        dlg_->JoinWorker();
        fs::permissions(state_.Path(), fs::perms::owner_all);
    }

    bool FlashUntouched()
    {
        for (int area = 0; area < devsim::SimDevice::kAreaCount; ++area)
            if (sim_->Device().Area(area) != flash_before_[static_cast<std::size_t>(area)])
                return false;
        return true;
    }
    bool SettingsAsBefore() { return sim_->Device().SavedSettings() == settings_before_; }

    // What the teardown leaves: the settings as saved, when they were not confirmed on the device.
    bool CopyKeptAfterClose()
    {
        const std::string path = dlg_->Carrier().SettingsAreaKeptPath.empty() ? dlg_->Carrier().BackupFilePath : dlg_->Carrier().SettingsAreaKeptPath;
        EXPECT_TRUE(dlg_->OnClose());
        return std::filesystem::exists(path);
    }

    std::array<std::vector<std::uint8_t>, devsim::SimDevice::kAreaCount> flash_before_;
};

// ---------------------------------------------------------------- a save that fails

class SaveFailureTest : public SettingsCarryTest {};

TEST_P(SaveFailureTest, StopsBeforeTheFirstEraseAndSaysWhy)
{
    Run();
    ExpectOutcome(CUpdateDlg::Outcome::Failed, kStatusFailed);
    EXPECT_TRUE(FlashUntouched());
    EXPECT_TRUE(SettingsAsBefore());
    EXPECT_EQ(sim_->Device().VersionText().substr(0, 12), "Version 1.15");
    EXPECT_EQ(DeviceLogLines("fromer"), 0);
    EXPECT_EQ(DeviceLogLines("AT!F1"), 0);
    EXPECT_EQ(DeviceLogLines("device: restarting"), 0);
    if (GetParam().via == Via::Serial) {
        EXPECT_EQ(sim_->Device().CommandLog().back(), "serial: exit") << "the shell is left as the normal path does";
    }
    EXPECT_EQ(Occurrences("settings not saved: nothing erased\r\n"), 1);
    EXPECT_NE(dlg_->OutcomeDetail().find("could not be saved: " + dlg_->Carrier().SettingsProblem), std::string::npos)
        << dlg_->OutcomeDetail();
    EXPECT_FALSE(dlg_->Carrier().SettingsProblem.empty());
    EXPECT_NE(dlg_->OutcomeDetail().find("before anything was erased"), std::string::npos);
}

void Nothing(devsim::PackageOptions&, devsim::DeviceOptions&) {}

INSTANTIATE_TEST_SUITE_P(
    BothRoads, SaveFailureTest,
    ::testing::Values(Carry{"SerialGetdataError", Via::Serial, 2, ErrorWord("getdata", 1, 3)},
                      Carry{"LanGetdataError", Via::Lan, 2, ErrorWord("getdata", 1, 3)},
                      Carry{"SerialGetdataUnanswered", Via::Serial, 2, NoReply("getdata", 1, 3)},
                      Carry{"LanGetdataUnanswered", Via::Lan, 2, NoReply("getdata", 1, 3)},
                      Carry{"SerialBackupUnwritable", Via::Serial, 2, Nothing, true},
                      Carry{"LanBackupUnwritable", Via::Lan, 2, Nothing, true},
                      Carry{"LanAreaUploadUnanswered", Via::Lan, 1, NoReply("upload", 1, 3)},
                      Carry{"LanAreaFileUnwritable", Via::Lan, 1, Nothing, true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- restores that are confirmed

class ConfirmedRestoreTest : public SettingsCarryTest {};

TEST_P(ConfirmedRestoreTest, CarriesTheSettingsAndReadsThemBack)
{
    Run();
    ExpectOutcome(CUpdateDlg::Outcome::Done, kStatusDone);
    ExpectImagesWritten();
    EXPECT_TRUE(SettingsAsBefore());
    EXPECT_TRUE(sim_->Device().Area(devsim::SimDevice::kSettingsArea) == area31_before_ || GetParam().save == 2);
    EXPECT_TRUE(dlg_->Carrier().SettingsRestored);
    EXPECT_EQ(Occurrences(GetParam().save == 1 ? "area 31 check OK\r\n" : "data 40 check OK\r\n"), 1);
    // On the LAN, the block restore restarts the device once more; without CRC the blocks go bare.
    if (GetParam().via == Via::Lan && GetParam().save == 2) {
        EXPECT_EQ(DeviceLogLines("device: restarting"), 3);
    }
    if (package_options_.Crc == 0) {
        EXPECT_EQ(DeviceLogLines("mode crc"), 0);
    }
    EXPECT_FALSE(CopyKeptAfterClose());
}

void LateBlank(devsim::PackageOptions&, devsim::DeviceOptions& d) { d.Faults.LatePromptBlank = true; }
// The end word of an upload early in the area, as a settings item may hold it, in the first
// of the reply's segments.
void AreaHoldsUploadEnd(devsim::PackageOptions&, devsim::DeviceOptions& d)
{
    d.SettingsItems.push_back(devsim::SettingsItemEdit{1, 1, "\r\nUL.OK\r\n#"});
    d.Faults.UploadSegmentMs = 2000;
}

INSTANTIATE_TEST_SUITE_P(
    BothRoads, ConfirmedRestoreTest,
    ::testing::Values(Carry{"SerialLostGetdataReply", Via::Serial, 2, NoReply("getdata", 1, 1)},
                      Carry{"LanLostGetdataReply", Via::Lan, 2, NoReply("getdata", 1, 1)},
                      Carry{"LanLatePromptBlank", Via::Lan, 2, LateBlank},
                      Carry{"LanAreaLatePromptBlank", Via::Lan, 1, LateBlank},
                      Carry{"LanAreaLatePromptBlankWithoutCrc", Via::Lan, 1, WithoutCrc(LateBlank)},
                      Carry{"LanAreaHoldingTheUploadEnd", Via::Lan, 1, AreaHoldsUploadEnd},
                      Carry{"LanAreaHoldingTheUploadEndWithoutCrc", Via::Lan, 1, WithoutCrc(AreaHoldsUploadEnd)}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- restores that are not

class UnconfirmedRestoreTest : public SettingsCarryTest {};

TEST_P(UnconfirmedRestoreTest, IsReportedAndKeepsTheCopy)
{
    Run();
    ExpectOutcome(CUpdateDlg::Outcome::SettingsNotRestored, kStatusDoneSettingsLost);
    ExpectImagesWritten();
    EXPECT_FALSE(dlg_->Carrier().SettingsRestored);
    EXPECT_FALSE(dlg_->Carrier().SettingsProblem.empty());
    EXPECT_NE(dlg_->OutcomeDetail().find(dlg_->Carrier().SettingsProblem), std::string::npos) << dlg_->OutcomeDetail();
    EXPECT_TRUE(CopyKeptAfterClose());
}

void SavedataNotSaved(devsim::PackageOptions&, devsim::DeviceOptions& d) { d.Faults.SavedataNotSaved = true; }

INSTANTIATE_TEST_SUITE_P(
    BothRoads, UnconfirmedRestoreTest,
    ::testing::Values(Carry{"SerialSavedataNotSaved", Via::Serial, 2, SavedataNotSaved},
                      Carry{"LanSavedataNotSaved", Via::Lan, 2, SavedataNotSaved},
                      Carry{"SerialSavedataError", Via::Serial, 2, ErrorWord("savedata", 1, 1)},
                      Carry{"LanSavedataError", Via::Lan, 2, ErrorWord("savedata", 1, 1)},
                      Carry{"LanAreaReadBackUnanswered", Via::Lan, 1, NoReply("upload", 2, 4)}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace verup
