// Updates with a fault, on both roads against the simulated device, by where they end: the
// device untouched (a start-up that refuses, a save that fails before anything is erased), the
// settings kept on disk (a restore not confirmed, a device not reached after a restart), or the
// device updated with its settings read back (faults the update survives; the LAN's settings
// area read whole however TCP splits it).
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
    // What shows the fault was met: a line of the tool's log, and at least so many device log lines.
    const char* logged = "";
    const char* device_line = "";
    int device_lines = 0;
    // A start-up that must refuse: verup.dat's edits ("KEY=value"), its message, and whether
    // the device stops answering once started.
    std::vector<std::string> edits = {};
    std::string message = "";
    bool silenced = false;
    // A run that keeps the settings on disk: how it ends and what its report says.
    CUpdateDlg::Outcome outcome = CUpdateDlg::Outcome::DeviceNotReached;
    std::vector<std::string> detail = {};
};

void PrintTo(const Carry& c, std::ostream* os) { *os << c.name; }

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

    // The device started, its flash noted.
    void StartDeviceAndKeepFlash()
    {
        StartDevice(GetParam().edits);
        for (int area = 0; area < devsim::SimDevice::kAreaCount; ++area)
            flash_before_[static_cast<std::size_t>(area)] = sim_->Device().Area(area);
        mode_before_ = sim_->Device().Mode();
    }
    // Start-up, then the update (with the state folder open to others when the case says so).
    void Run()
    {
        StartDeviceAndKeepFlash();
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
    devsim::RunMode mode_before_ = devsim::RunMode::Firmware;
};

// ---------------------------------------------------------------- the device untouched
// A start-up that refuses, with its message, or a save that fails, which stops the update
// before its first erase: the device keeps its flash, its settings and its firmware.

class DeviceUntouchedTest : public SettingsCarryTest {};

TEST_P(DeviceUntouchedTest, LeavesTheDeviceAsItWasAndSaysWhy)
{
    const Carry& c = GetParam();
    if (c.message.empty()) {
        Run();
        ExpectOutcome(CUpdateDlg::Outcome::Failed, kStatusFailed);
        EXPECT_EQ(Occurrences("settings not saved: nothing erased\r\n"), 1);
        EXPECT_FALSE(dlg_->Carrier().SettingsProblem.empty());
        EXPECT_NE(dlg_->OutcomeDetail().find("could not be saved: " + dlg_->Carrier().SettingsProblem), std::string::npos)
            << dlg_->OutcomeDetail();
        EXPECT_NE(dlg_->OutcomeDetail().find("before anything was erased"), std::string::npos);
        if (c.via == Via::Serial) {
            EXPECT_EQ(sim_->Device().CommandLog().back(), "serial: exit") << "the shell is left as on the normal path";
        }
    } else {
        StartDeviceAndKeepFlash();
        if (c.silenced)
            sim_->Device().Restart(false);
        EXPECT_FALSE(StartUp());
        EXPECT_EQ(StartupMessage(), c.message);
        EXPECT_EQ(host_.PostCloses, 1);
        EXPECT_EQ(DeviceLogLines("getdata"), 0);
    }
    EXPECT_TRUE(FlashUntouched());
    EXPECT_TRUE(SettingsAsBefore());
    if (!c.silenced) {
        EXPECT_EQ(sim_->Device().Mode(), mode_before_);
        EXPECT_EQ(DeviceLogLines("device: restarting"), 0);
    }
}

void Nothing(devsim::PackageOptions&, devsim::DeviceOptions&) {}
Arrange Product(const char* word, bool without_second_word = false)
{
    return [=](devsim::PackageOptions& p, devsim::DeviceOptions& d) {
        d.Product = word;
        if (without_second_word)
            p.Kiki2.clear();
    };
}
// A start-up that refuses with `message`.
Carry Refused(const char* name, Via via, Arrange arrange, std::string message, std::vector<std::string> edits = {},
              bool silenced = false)
{
    return Carry{.name = name, .via = via, .save = 2, .arrange = std::move(arrange), .edits = std::move(edits),
                 .message = std::move(message), .silenced = silenced};
}
const std::string kNotAnswered = std::string(kMsgVersionUnanswered) + kHintPowerCycle;

INSTANTIATE_TEST_SUITE_P(
    BothRoads, DeviceUntouchedTest,
    ::testing::Values(
        Refused("SerialAnotherProductWithoutSecondWord", Via::Serial, Product("OTHERBOX9"), test::NotConnected(),
                {"KIKI2="}),
        Refused("SerialNoProductWord", Via::Serial, Nothing, kMsgNoProductWord, {"KIKI1="}),
        Refused("SerialNoVersionLength", Via::Serial, Nothing, kMsgVersionNotCheckable, {"NUM_LEN=0"}),
        Refused("SerialProductQueryUnanswered", Via::Serial, NoReply("ati", 1, 3), kNotAnswered),
        Refused("SerialVersionQueryUnanswered", Via::Serial, NoReply("at%i2", 1, 3), kNotAnswered),
        Refused("SerialSettingsOnlyOnFirmwareBefore1_1", Via::Serial,
                [](auto&, auto& d) { d.FirmwareVersion = "Version 1.05"; }, kMsgSettingsOnlyOldFirmware, {"UPLOAD=0"}),
        Refused("SerialSilentDevice", Via::Serial, [](auto&, auto& d) { d.Faults.NoReturn = true; },
                std::string(kMsgDeviceNotConnected) + kHintPowerCycle, {}, true),
        Refused("LanAnotherProduct", Via::Lan, Product("NEXAVO9999"), test::NotConnected()),
        Refused("LanAnotherProductWithoutSecondWord", Via::Lan, Product("OTHERBOX9", true), test::NotConnected()),
        Refused("LanRefusedPassword", Via::Lan, [](auto&, auto& d) { d.Faults.RefuseLogin = true; }, kMsgLanRefused),
        Refused("LanOldTelnetServer", Via::Lan, [](auto&, auto& d) { d.TelnetServerVersion = "Version 1.49"; },
                kMsgTelnetTooOld),
        Refused("LanNoRetry", Via::Lan, [](auto& p, auto&) { p.Retry = 0; }, kMsgConnectFailed),
        Refused("LanDeviceInItsBootMonitor", Via::Lan, [](auto&, auto& d) { d.StartIn = devsim::StartLevel::Monitor; },
                std::string(kMsgConnectFailed) + kHintPowerCycle + kHintSerialForMonitor),
        Carry{"SerialGetdataError", Via::Serial, 2, ErrorWord("getdata", 1, 3)},
        Carry{"LanGetdataError", Via::Lan, 2, ErrorWord("getdata", 1, 3)},
        Carry{"SerialGetdataUnanswered", Via::Serial, 2, NoReply("getdata", 1, 3)},
        Carry{"LanGetdataUnanswered", Via::Lan, 2, NoReply("getdata", 1, 3)},
        Carry{"SerialBackupUnwritable", Via::Serial, 2, Nothing, true},
        Carry{"LanBackupUnwritable", Via::Lan, 2, Nothing, true},
        Carry{"LanAreaUploadUnanswered", Via::Lan, 1, NoReply("upload", 1, 3)},
        Carry{"LanAreaFileUnwritable", Via::Lan, 1, Nothing, true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- the settings kept on disk
// A run that cannot put the settings back, or does not reach the device after a restart: it says
// so (what was written, what was not checked, what to do; in its log too once the device was
// written) and keeps the settings it saved for the user.

class SettingsKeptTest : public SettingsCarryTest {};

TEST_P(SettingsKeptTest, RunSaysWhatHappenedAndKeepsTheSavedSettings)
{
    const Carry& c = GetParam();
    Run();
    const bool unconfirmed = c.outcome == CUpdateDlg::Outcome::SettingsNotRestored;
    ExpectOutcome(c.outcome, unconfirmed ? kStatusDoneSettingsLost : kStatusFailed);
    if (unconfirmed) {
        ExpectImagesWritten();
        EXPECT_FALSE(dlg_->Carrier().SettingsRestored);
        EXPECT_FALSE(dlg_->Carrier().SettingsProblem.empty());
        EXPECT_NE(dlg_->OutcomeDetail().find(dlg_->Carrier().SettingsProblem), std::string::npos) << dlg_->OutcomeDetail();
    }
    for (const std::string& line : c.detail) {
        EXPECT_NE(dlg_->OutcomeDetail().find(line), std::string::npos) << line << "\nin:\n" << dlg_->OutcomeDetail();
        if (c.outcome == CUpdateDlg::Outcome::DeviceNotReached) {
            EXPECT_NE(Log().find(line.substr(0, line.find('\n'))), std::string::npos) << line;
        }
    }
    // Nothing was erased when the restart into the boot monitor never ended.
    EXPECT_EQ(FlashUntouched(), c.outcome == CUpdateDlg::Outcome::Failed);
    if (c.save != 0 && c.outcome != CUpdateDlg::Outcome::Failed) {
        EXPECT_TRUE(CopyKeptAfterClose());
    }
}

void NoProgramStartAnswer(devsim::PackageOptions& p, devsim::DeviceOptions& d)
{
    p.Fpga = false;
    p.Boot = false;
    // Ten starts of three tries each.
    for (int n = 1; n <= 30; ++n)
        d.Faults.NoReply.push_back(Nth("at%z", n));
}
void NeverReturns(devsim::PackageOptions&, devsim::DeviceOptions& d) { d.Faults.NoReturn = true; }
void SavedataNotSaved(devsim::PackageOptions&, devsim::DeviceOptions& d) { d.Faults.SavedataNotSaved = true; }
// A restore the device does not confirm.
Carry Unconfirmed(const char* name, Via via, int save, Arrange arrange)
{
    return Carry{.name = name, .via = via, .save = save, .arrange = std::move(arrange),
                 .outcome = CUpdateDlg::Outcome::SettingsNotRestored};
}

INSTANTIATE_TEST_SUITE_P(
    BothRoads, SettingsKeptTest,
    ::testing::Values(
        Unconfirmed("SerialSavedataNotSaved", Via::Serial, 2, SavedataNotSaved),
        Unconfirmed("LanSavedataNotSaved", Via::Lan, 2, SavedataNotSaved),
        Unconfirmed("SerialSavedataError", Via::Serial, 2, ErrorWord("savedata", 1, 1)),
        Unconfirmed("LanSavedataError", Via::Lan, 2, ErrorWord("savedata", 1, 1)),
        Unconfirmed("LanAreaReadBackUnanswered", Via::Lan, 1, NoReply("upload", 2, 4)),
        Carry{.name = "SerialProgramStartUnanswered", .via = Via::Serial, .save = 0, .arrange = NoProgramStartAnswer,
              .detail = {"The device did not answer after its restart into the new program (10 tries).\n",
                         "Written: main program (sectors 1-2, flash checksum checked).\n",
                         "Not checked: the new firmware's version.\n", "Settings: not carried.\n",
                         "Next: power-cycle the device, then run the update again on COM3"}},
        Carry{.name = "SerialMonitorNeverReached", .via = Via::Serial, .save = 2, .arrange = NeverReturns,
              .outcome = CUpdateDlg::Outcome::Failed,
              .detail = {"nothing was erased or written.\nNext: power-cycle the device"}},
        // The first restart: the program is written, the FPGA and the boot monitor are not.
        Carry{.name = "LanNeverReturns", .via = Via::Lan, .save = 2, .arrange = NeverReturns,
              .detail = {"The device did not answer at 127.0.0.1 after its restart (3 connection attempts).\n",
                         "Written: main program (areas 1-2; data area 30 erased).\n",
                         "Not written: FPGA configurations (area 3), boot monitor (area 0).\n",
                         "Not checked: the new firmware's version.\n", "Settings: not restored; they are kept in ",
                         "power-cycle"}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- restores that are confirmed
// Faults the update survives end here as well: the device updated, its settings read back.

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
    // The whole area goes up before the first erase and back after the version check.
    if (GetParam().save == 1) {
        const std::string log = Log();
        EXPECT_LT(log.find("upload 31 OK\r\n"), log.find("<---FROM"));
        EXPECT_LT(log.find("Version Check OK\r\n"), log.find("download 31 OK\r\n"));
        EXPECT_LT(log.find("download 31 OK\r\n"), log.find("fromwr 31 OK\r\n"));
    }
    EXPECT_NE(Log().find(GetParam().logged), std::string::npos) << GetParam().logged;
    if (*GetParam().device_line != '\0') {
        EXPECT_GE(DeviceLogLines(GetParam().device_line), GetParam().device_lines) << GetParam().device_line;
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

// The device refuses the first connection after each restart: counted, and tried again.
void ReturnsLate(devsim::PackageOptions& p, devsim::DeviceOptions& d)
{
    p.Fpga = false;
    p.Boot = false;
    d.Faults.ReturnAfter = 1;
}
void StreamError(devsim::PackageOptions&, devsim::DeviceOptions& d) { d.Faults.StreamErrorLine = 10; }
void RefusedBlock(devsim::PackageOptions&, devsim::DeviceOptions& d) { d.Faults.DlError = 1; }
void CorruptedUpload(devsim::PackageOptions&, devsim::DeviceOptions& d) { d.Faults.BadUploadFcs = 1; }

INSTANTIATE_TEST_SUITE_P(
    BothRoads, ConfirmedRestoreTest,
    ::testing::Values(Carry{"SerialStreamErrorIsFollowedByASuccessfulTry", Via::Serial, 2, StreamError, false, "",
                            "serial: DP", 2},
                      Carry{"LanRefusedBlockIsSentAgain", Via::Lan, 2, RefusedBlock},
                      Carry{"LanCorruptedUploadIsUploadedAgain", Via::Lan, 1, CorruptedUpload, false, "", "upload 31",
                            3},
                      Carry{"LanDeviceReturningLate", Via::Lan, 2, ReturnsLate, false, "open err_cnt=1\r\n"},
                      Carry{"SerialLostGetdataReply", Via::Serial, 2, NoReply("getdata", 1, 1)},
                      Carry{"LanLostGetdataReply", Via::Lan, 2, NoReply("getdata", 1, 1)},
                      Carry{"LanLatePromptBlank", Via::Lan, 2, LateBlank},
                      Carry{"LanAreaLatePromptBlank", Via::Lan, 1, LateBlank},
                      Carry{"LanAreaLatePromptBlankWithoutCrc", Via::Lan, 1, WithoutCrc(LateBlank)},
                      Carry{"LanAreaHoldingTheUploadEnd", Via::Lan, 1, AreaHoldsUploadEnd},
                      Carry{"LanAreaHoldingTheUploadEndWithoutCrc", Via::Lan, 1, WithoutCrc(AreaHoldsUploadEnd)}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace verup
