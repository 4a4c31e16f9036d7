#include "app/CUpdateDlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/DialogTexts.h"
#include "package/ConfigReader.h"
#include "package/VersionNumber.h"
#include "platform/InstanceGuard.h"
#include "platform/Paths.h"
#include "settings/SettingsPlan.h"
#include "support/RecordingHost.h"
#include "support/TempDir.h"

namespace verup {
namespace {

const std::string kTitle = "NEXAVO\x81\x40" "7300QB";

// A package folder and a state folder for the backups and the lock.
class StartupTest : public ::testing::Test {
protected:
    StartupTest() : clock_(50)
    {
        env_.CurrentDirectory = dir_.Path() + "/package";
        env_.StateDirectory = dir_.Path() + "/state";
        env_.clock = &clock_;
        std::filesystem::create_directories(env_.CurrentDirectory);
    }

    void WriteConfig(const std::string& extra = "")
    {
        Write("verup.dat", "[MODE]\r\nDEBUG=0\r\nSEL=0\r\n[VERUP]\r\nNAME1=NEXAVO\r\nNAME2=7300QB\r\n"
                           "KIKI1=NEXAVO7300QB\r\nNUM_LEN=12\r\nNUM=Version 1.20\r\n" + extra);
    }
    void Write(const std::string& name, const std::string& content)
    {
        TempDirWrite(env_.CurrentDirectory + "/" + name, content);
    }
    static void TempDirWrite(const std::string& path, const std::string& content)
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << content;
    }
    std::unique_ptr<CUpdateDlg> MakeDialog() { return std::make_unique<CUpdateDlg>(host_, env_); }
    Package ReadPackage() const { return Package::Read(env_.CurrentDirectory, PackageImages::Skip); }

    test::TempDir dir_;
    Clock clock_;
    StartupEnvironment env_;
    test::RecordingHost host_;
};

constexpr char kImage[] = "S00600004844521B\r\nS9030000FC\r\n";

// ---------------------------------------------------------------- presence rules

struct PresenceCase {
    const char* name;
    std::vector<std::string> present;  // non-empty files
    std::vector<std::string> empty;    // zero-length files
    bool accepted;
};

class PresenceTest : public StartupTest, public ::testing::WithParamInterface<PresenceCase> {};

TEST_P(PresenceTest, AppliesTheRules)
{
    const PresenceCase& c = GetParam();
    WriteConfig();
    for (const auto& file : c.present)
        Write(file, kImage);
    for (const auto& file : c.empty)
        Write(file, "");
    const Package package = ReadPackage();
    EXPECT_EQ(package.Presence().Accepted, c.accepted) << c.name;
    EXPECT_EQ(package.Presence().Refusals.empty(), c.accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Packages, PresenceTest,
    ::testing::Values(PresenceCase{"program alone", {"rt00.mot"}, {}, true},
                      PresenceCase{"boot alone", {"from00.mot"}, {}, true},
                      PresenceCase{"both fpga", {"fpga01.mot", "fpga02.mot"}, {}, true},
                      PresenceCase{"everything", {"rt00.mot", "fpga01.mot", "fpga02.mot", "from00.mot"}, {}, true},
                      PresenceCase{"one fpga alone", {"fpga01.mot"}, {}, false},
                      PresenceCase{"one fpga with program", {"rt00.mot", "fpga02.mot"}, {}, false},
                      PresenceCase{"one fpga with boot", {"from00.mot", "fpga01.mot"}, {}, false},
                      PresenceCase{"nothing", {}, {}, false},
                      PresenceCase{"empty program", {}, {"rt00.mot"}, false},
                      PresenceCase{"second fpga empty", {"fpga01.mot", "rt00.mot"}, {"fpga02.mot"}, false}),
    [](const auto& info) {
        std::string name = info.param.name;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

TEST_F(StartupTest, MissingOrEmptyConfigurationIsRefusedEvenWithAllImages)
{
    for (const char* image : {"rt00.mot", "fpga01.mot", "fpga02.mot", "from00.mot"})
        Write(image, kImage);
    EXPECT_FALSE(ReadPackage().Presence().Accepted);
    Write("verup.dat", "");
    const Package package = ReadPackage();
    EXPECT_FALSE(package.Presence().Accepted);
    EXPECT_EQ(package.Presence().ConfigFileSize, 0u);
}

TEST_F(StartupTest, LoadPackageFormsPathsTitlesAndSizes)
{
    WriteConfig("[MODE]\r\nRETRY=4\r\n");  // a second MODE section is never read
    Write("rt00.mot", kImage);
    Write("fpga01.mot", "S0");
    Write("fpga02.mot", "S0S0S0");
    auto dlg = MakeDialog();
    ASSERT_TRUE(dlg->LoadPackage());
    const Package& package = dlg->UpdatePackage();
    EXPECT_EQ(package.ConfigFilePath(), env_.CurrentDirectory + "/verup.dat");
    EXPECT_EQ(package.Directory(), env_.CurrentDirectory);
    EXPECT_EQ(dlg->Carrier().BackupFilePath, "") << "named once the device is known";
    EXPECT_EQ(dlg->TitleText(), kTitle);
    EXPECT_EQ(dlg->TitleVersionText(), kTitle + "\x81\x40Ver 1.01");
    EXPECT_EQ(dlg->NewVersionText(), "Version 1.20");
    const ImagePresence& present = package.Presence();
    EXPECT_EQ(present.ImageFileSizes, (std::array<uint32_t, 5>{sizeof kImage - 1, 2u, 6u, 6u, 0u}));
    EXPECT_TRUE(present.ProgramPresent);
    EXPECT_EQ(present.FpgaImageCount, 2);
    EXPECT_FALSE(present.BootPresent);
}

// ---------------------------------------------------------------- start-up chain

TEST_F(StartupTest, SecondInstanceClosesSilentlyAndLeavesTheBackupAlone)
{
    WriteConfig();
    Write("rt00.mot", kImage);
    std::unique_ptr<InstanceGuard> first;
    ASSERT_EQ(InstanceGuard::Acquire(env_.StateDirectory, first), InstanceGuard::Result::Acquired);
    std::filesystem::create_directories(env_.StateDirectory);
    TempDirWrite(env_.StateDirectory + "/7300qb.tmp", "the first instance's backup");

    auto dlg = MakeDialog();
    EXPECT_FALSE(dlg->OnInitDialog());
    EXPECT_TRUE(dlg->OnClose());
    EXPECT_TRUE(FileExists(env_.StateDirectory + "/7300qb.tmp"));
    auto lock = host_.Lock();
    EXPECT_TRUE(host_.Messages.empty());
    EXPECT_TRUE(host_.ConnectionRequests.empty());
    EXPECT_EQ(host_.WaitBoxShown, 0);
    EXPECT_EQ(host_.PostCloses, 1);
}

// A lock that cannot be taken refuses the start-up with the reason; nothing runs unguarded.
TEST_F(StartupTest, LockThatCannotBeTakenRefusesTheStartup)
{
    WriteConfig();
    Write("rt00.mot", kImage);
    const std::vector<std::pair<const char*, std::function<void()>>> cases = {
        {"symbolic link at the lock's name",
         [&] {
             std::filesystem::create_directories(env_.StateDirectory);
             std::filesystem::permissions(env_.StateDirectory, std::filesystem::perms::owner_all);
             std::filesystem::create_symlink(dir_.Path() + "/elsewhere", env_.StateDirectory + "/7300QB_UPDATE_MUTEX");
         }},
        {"state folder others may write into",
         [&] {
             std::filesystem::create_directories(env_.StateDirectory);
             std::filesystem::permissions(env_.StateDirectory, std::filesystem::perms::owner_all |
                                                                   std::filesystem::perms::others_write);
         }},
        {"a file where the state folder should be", [&] { TempDirWrite(env_.StateDirectory, "not a folder"); }},
    };
    for (const auto& [what, make] : cases) {
        SCOPED_TRACE(what);
        std::filesystem::remove_all(env_.StateDirectory);
        make();
        test::RecordingHost host;
        CUpdateDlg dlg(host, env_);
        EXPECT_FALSE(dlg.OnInitDialog());
        EXPECT_TRUE(dlg.OnClose());
        auto lock = host.Lock();
        ASSERT_EQ(host.Messages.size(), 1u);
        EXPECT_EQ(host.Messages[0].Text.rfind(kMsgLockFailed, 0), 0u) << host.Messages[0].Text;
        EXPECT_NE(host.Messages[0].Text.find(env_.StateDirectory), std::string::npos) << "names the place";
        EXPECT_TRUE(host.ConnectionRequests.empty());
        EXPECT_EQ(host.PostCloses, 1);
    }
    std::filesystem::remove_all(env_.StateDirectory);
    EXPECT_FALSE(std::filesystem::exists(dir_.Path() + "/elsewhere")) << "the link was never followed";
}

TEST_F(StartupTest, TemporaryFileOfAKilledWriteIsCleanedOnceTheLockIsHeld)
{
    WriteConfig();
    std::filesystem::create_directories(env_.StateDirectory);
    const std::string left = env_.StateDirectory + "/.verup-999999999-AbCdEf";
    TempDirWrite(left, "half a backup");
    auto dlg = MakeDialog();
    EXPECT_FALSE(dlg->OnInitDialog());  // no images
    EXPECT_FALSE(FileExists(left));
    ASSERT_EQ(dlg->StateFolderNotes().size(), 1u);
    EXPECT_EQ(dlg->StateFolderNotes()[0], "temporary file of an interrupted write deleted: " + left);
    EXPECT_TRUE(dlg->OnClose());
}

TEST_F(StartupTest, InstanceLockIsReleasedByTheTeardown)
{
    WriteConfig();
    {
        auto dlg = MakeDialog();
        EXPECT_FALSE(dlg->OnInitDialog());  // no images
        std::unique_ptr<InstanceGuard> other;
        EXPECT_EQ(InstanceGuard::Acquire(env_.StateDirectory, other), InstanceGuard::Result::HeldElsewhere);
        EXPECT_TRUE(dlg->OnClose());
    }
    std::unique_ptr<InstanceGuard> after;
    EXPECT_EQ(InstanceGuard::Acquire(env_.StateDirectory, after), InstanceGuard::Result::Acquired);
}

TEST_F(StartupTest, ConnectionChoiceFollowsSel)
{
    Write("rt00.mot", kImage);
    ConnectionResult answer;
    answer.LinkKind = 1;
    answer.ComPortNumber = 4;
    answer.DeviceAddress = "192.168.1.5";
    host_.ConnectionAnswer = answer;
    // A failing road keeps the test away from real ports and networks; the choice is made
    // before it.
    const struct {
        int sel;
        int link;
        int port;
        const char* address;
    } cases[] = {{0, 1, 1, "192.168.1.5"}, {1, 0, 4, ""}, {2, 1, 4, "192.168.1.5"}, {7, 1, 4, "192.168.1.5"}};
    for (const auto& c : cases) {
        Write("verup.dat", "[MODE]\r\nSEL=" + std::to_string(c.sel) +
                               "\r\nRETRY=0\r\n[VERUP]\r\nNAME1=NEXAVO\r\nNAME2=7300QB\r\nKIKI1=NEXAVO7300QB\r\n"
                               "NUM_LEN=12\r\nNUM=Version 1.20\r\n");
        auto dlg = MakeDialog();
        (void)dlg->OnInitDialog();
        EXPECT_EQ(dlg->LinkKind(), c.link) << "SEL " << c.sel;
        EXPECT_EQ(dlg->ComPortNumber(), c.port) << "SEL " << c.sel;
        EXPECT_EQ(dlg->DeviceAddress(), c.address) << "SEL " << c.sel;
        {
            auto lock = host_.Lock();
            EXPECT_EQ(host_.ConnectionRequests.back().SEL, c.sel);
        }
        dlg->OnClose();
    }
}

// ---------------------------------------------------------------- settings decision

class SettingsDecisionTest : public StartupTest {
protected:
    // `mode` and `verup` keys come first, so they win over the defaults after them.
    void WritePackage(const std::string& mode, const std::string& verup)
    {
        Write("verup.dat", "[MODE]\r\n" + mode + "DEBUG=99\r\nSAVE=2\r\nUPLOAD=1\r\n[VERUP]\r\n" + verup +
                               "NAME1=NEXAVO\r\nNAME2=7300QB\r\nNUM_LEN=12\r\nNUM=Version 1.20\r\n"
                               "[N_SAVE]\r\nNUM=3\r\n1=10\r\n2=20\r\n3=30\r\n"
                               "[O_SAVE]\r\nNUM=2\r\n1=5\r\n2=6\r\n"
                               "[C_DATA]\r\nNUM=4\r\n1=5\r\n2=6\r\n3=7\r\n4=8\r\n");
        Write("rt00.mot", kImage);
    }
    SettingsPlan Decide(const std::string& current, const std::string& firmware, const std::string& mode,
                        const std::string& verup)
    {
        WritePackage(mode, verup);
        const Config cfg = ReadPackage().Configuration();
        DeviceIdentity device;
        device.CurrentVersionText = current;
        device.FirmwareVersionText = firmware;
        return DecideSettingsPlan(cfg, device, CutText(cfg.NUM, cfg.NUM_LEN));
    }
};

// The device's version against the package's: which layout is saved, and how it comes back.
TEST_F(SettingsDecisionTest, LayoutFollowsTheVersionsOnBothSides)
{
    const struct {
        const char* current;
        const char* firmware;
        const char* verup;
        int convert, old_layout, reset, save;
        const char* layout;
        int blocks, conversion_blocks, added;
        const char* log;
    } cases[] = {
        {"Version 1.05", "Version 1.05", "", 1, 1, 0, 2, "O_SAVE", 2, 4, 2, "old data\r\n"},
        {"Version 1.05", "", "NUM=Version 1.08\r\n", 0, 1, 0, 2, "O_SAVE", 2, 0, 0, "old data\r\n"},
        {"Version 1.10", "Version 1.10 7", "", 0, 0, 0, 2, "N_SAVE", 3, 0, 0, "new data\r\n"},
        // A downgrade below 1.1 resets the settings, without tables.
        {"Version 1.20", "Version 1.20 9", "NUM=Version 1.05\r\n", 0, 0, 1, 0, "", 0, 0, 0, "init data\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.current) + " to " + c.verup);
        const SettingsPlan plan = Decide(c.current, c.firmware, "", c.verup);
        EXPECT_EQ(plan.ConvertOnRestore, c.convert);
        EXPECT_EQ(plan.OldLayoutSave, c.old_layout);
        EXPECT_EQ(plan.SettingsReset, c.reset);
        EXPECT_EQ(plan.Save, c.save);
        if (*c.layout != '\0') {
            EXPECT_EQ(plan.LayoutName, c.layout);
        }
        EXPECT_EQ(plan.Layout.BlockCount, c.blocks);
        EXPECT_EQ(plan.ConversionLayout.BlockCount, c.conversion_blocks);
        EXPECT_EQ(plan.AddedBlockCount, c.added);
        EXPECT_EQ(plan.LogLines, std::vector<std::string>{c.log});
        EXPECT_EQ(plan.Warnings.size(), c.reset ? 1u : 0u);
    }
    const SettingsPlan plan = Decide("Version 1.10", "Version 1.10 7", "", "");
    EXPECT_EQ(plan.DeviceRevision, 7);
    EXPECT_DOUBLE_EQ(plan.DeviceVersion, 1.1);
    EXPECT_EQ(plan.Layout.Items(3), 30);
}

// Revision 3 of 1.1, no revision at all (it reads as 0), or a new firmware 1.1 of a low
// REV_VER: the settings are initialised, with the message, and the start-up goes on.
TEST_F(SettingsDecisionTest, FirmwareThatCannotCarrySettingsResetsThem)
{
    struct Case {
        const char* current;
        const char* firmware;
        const char* verup;
        int reset;
    };
    for (const Case& c : {Case{"Version 1.10", "Version 1.10 3", "", 1}, Case{"Version 1.10", "Version 1.10", "", 1},
                          Case{"Version 1.20", "Version 1.20 9", "NUM=Version 1.10\r\nREV_VER=4\r\n", 1},
                          Case{"Version 1.20", "Version 1.20 9", "NUM=Version 1.10\r\nREV_VER=5\r\n", 0},
                          Case{"Version 1.20", "Version 1.20 9", "NUM=Version 1.10\r\n", 1}}) {
        const SettingsPlan plan = Decide(c.current, c.firmware, "", c.verup);
        EXPECT_EQ(plan.SettingsReset, c.reset) << c.firmware << " " << c.verup;
        EXPECT_EQ(plan.Save, c.reset ? 0 : 2);
        EXPECT_EQ(plan.Warnings.size(), c.reset ? 1u : 0u);
        EXPECT_EQ(plan.Layout.BlockCount, 3);
    }
}

TEST_F(SettingsDecisionTest, FirmwareOlderThanFrmVerIsRefusedOnlyWhileSaving)
{
    EXPECT_FALSE(Decide("Version 1.05", "", "SAVE=0\r\n", "FRM_VER=1.06\r\n").Refused);
    const SettingsPlan refused = Decide("Version 1.05", "", "", "FRM_VER=1.06\r\n");
    EXPECT_TRUE(refused.Refused);
    EXPECT_TRUE(refused.RefusalIsExclamation);
    EXPECT_EQ(refused.RefusalMessage, kMsgFirmwareTooOld);
}

// Firmware before 1.1 clears its settings by erasing the program's first area: a run that
// does not write the program is refused, whatever becomes of the settings.
TEST_F(SettingsDecisionTest, SettingsOnlyRunOnFirmwareBefore1_1IsRefused)
{
    for (const char* save : {"SAVE=0\r\n", "SAVE=2\r\n"}) {
        const SettingsPlan refused = Decide("Version 1.05", "", std::string("UPLOAD=0\r\n") + save, "");
        EXPECT_TRUE(refused.Refused);
        EXPECT_FALSE(refused.RefusalIsExclamation);
        EXPECT_EQ(refused.RefusalMessage, kMsgSettingsOnlyOldFirmware);
    }
    EXPECT_EQ(Decide("Version 1.10 7", "Version 1.10 7", "UPLOAD=0\r\n", "").Save, 2);
}

TEST(ReadVersionNumber, CutsAndReadsFromTheNinthCharacter)
{
    EXPECT_DOUBLE_EQ(ReadVersionNumber("Version 1.20 beta", 12), 1.2);
    EXPECT_DOUBLE_EQ(ReadVersionNumber("Version 1.2345", 11), 1.2);
    EXPECT_DOUBLE_EQ(ReadVersionNumber("Version 1.2345", 10), 1.0);
    EXPECT_EQ(ReadVersionNumber("Version 1.20", 8), 0.0);
    EXPECT_EQ(ReadVersionNumber("Version ", 30), 0.0);
    EXPECT_EQ(ReadVersionNumber("Version 1.20", 0), 0.0);
    EXPECT_EQ(ReadVersionNumber("Version x", 12), 0.0);
    EXPECT_EQ(ReadVersionNumber("Version inf", 12), 0.0);
    EXPECT_DOUBLE_EQ(ReadVersionNumber("Version 1.10 3", 12), 1.1);
    // The telnet server's version is read uncut, with the same guard.
    EXPECT_DOUBLE_EQ(ReadVersionNumber("Version 1.02 (build 7)"), 1.02);
    EXPECT_EQ(ReadVersionNumber("Version inf"), 0.0);
    EXPECT_EQ(ReadRevision("Version 1.10 3", 12), 3);
    EXPECT_EQ(ReadRevision("Version 1.10", 12), 0);
}

TEST_F(StartupTest, StartIsRefusedBeforeTheStartUpHasFinished)
{
    WriteConfig();
    auto dlg = MakeDialog();
    dlg->LoadPackage();
    dlg->OnStart();
    EXPECT_FALSE(dlg->WorkerRunning());
    EXPECT_TRUE(dlg->OnClose());
}

}  // namespace
}  // namespace verup
