// The start-up's settings decision and the teardown of the dialog, against the simulated device.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CUpdateDlg.h"
#include "app/DialogTexts.h"
#include "platform/Paths.h"
#include "support/SimUpdateFixture.h"

namespace verup {
namespace {

// Over the LAN, the quicker road to start.
class DeviceStartupTest : public test::SimUpdateFixture {
protected:
    DeviceStartupTest() : SimUpdateFixture(100, Road::Lan) {}
    ~DeviceStartupTest() override { CloseAndReportLogs(); }
    bool StartUp() override { return StartUpOnRoad(3); }
    // Files of earlier runs: one of today's names, one of the fixed name older versions used.
    static constexpr const char* kEarlierFiles[] = {"7300qb-settings-unknown-20250101T000000Z.txt", "7300qb.tmp"};
    void WriteEarlierFiles()
    {
        for (const char* name : kEarlierFiles)
            state_.Write(name, "an earlier run's backup");
    }
    void ExpectEarlierFilesUntouched()
    {
        for (const char* name : kEarlierFiles)
            EXPECT_EQ(test::TempDir::ReadFile(state_.Path() + "/" + name), "an earlier run's backup") << name;
    }
};

// Firmware that cannot carry settings: the message is shown over the wait box, the settings
// are initialised and the start-up goes on.
TEST_F(DeviceStartupTest, SettingsResetIsShownOverTheWaitBoxAndTheStartupGoesOn)
{
    device_.FirmwareVersion = "Version 1.10";
    device_.Revision = 3;
    StartDevice();
    ASSERT_TRUE(StartUp()) << StartupMessage();
    EXPECT_EQ(dlg_->cfg().SAVE, 0);
    EXPECT_EQ(dlg_->SettingsDecision().SettingsReset, 1);
    EXPECT_EQ(dlg_->SettingsDecision().DeviceRevision, 3);
    const auto messages = Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].Text, kMsgSettingsNotSupported);
    EXPECT_EQ(messages[0].Icon, MessageIcon::Exclamation);
    EXPECT_EQ(messages[0].Owner, MessageOwner::WaitBox);
    EXPECT_EQ(messages[0].Caption, dlg_->TitleText());
    EXPECT_EQ(host_.Count("PostClose"), 0);
}

TEST_F(DeviceStartupTest, FirmwareOlderThanFrmVerEndsTheStartupOverTheWaitBox)
{
    device_.FirmwareVersion = "Version 1.05";
    package_options_.FrmVer = 1.06;
    StartDevice();
    EXPECT_FALSE(StartUp());
    EXPECT_FALSE(dlg_->WaitBoxUp());
    const auto messages = Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].Text, kMsgFirmwareTooOld);
    EXPECT_EQ(messages[0].Owner, MessageOwner::WaitBox);
    EXPECT_EQ(host_.Count("DestroyWaitBox"), 1);
    EXPECT_EQ(host_.Count("PostClose"), 1);
    EXPECT_EQ(DeviceLogLines("getdata"), 0);
}

// A backup whose settings were not put back is kept and named once, however often the window
// is closed; debug mode keeps even a restored one, without a word. Earlier runs' files are
// never touched.
TEST_F(DeviceStartupTest, TeardownKeepsABackupNotPutBackAndNamesItOnce)
{
    for (const bool restored : {false, true}) {
        SCOPED_TRACE(restored ? "restored, debug mode" : "not put back");
        package_options_.Debug = restored ? 99 : 0;
        device_.Faults.ErrorWord.clear();
        if (!restored)
            device_.Faults.ErrorWord.push_back(devsim::CountedFault{"savedata", 1});
        StartDevice();
        WriteEarlierFiles();
        Update();
        ASSERT_EQ(dlg_->Carrier().SettingsRestored, restored);
        const std::string backup = dlg_->Carrier().BackupFilePath;
        const int shown = host_.Count("ShowMessage");
        EXPECT_TRUE(dlg_->OnClose());
        EXPECT_TRUE(dlg_->OnClose());
        EXPECT_TRUE(FileExists(backup));
        EXPECT_TRUE(FileExists(backup + ".info"));
        ExpectEarlierFilesUntouched();
        ASSERT_EQ(host_.Count("ShowMessage"), shown + (restored ? 0 : 1));
        EXPECT_EQ(dlg_->Carrier().BackupKept, !restored);
        if (!restored) {
            EXPECT_EQ(Messages().back().Text, std::string(kMsgBackupKept) + backup);
        }
        dlg_.reset();
        sim_->Stop();
    }
}

}  // namespace
}  // namespace verup
