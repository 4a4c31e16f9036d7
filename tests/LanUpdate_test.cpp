// The LAN road end to end: start-up, update and settings carry against the simulated device
// on loopback, checking what the device and the backup file hold afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "PackageMaker.h"
#include "SimHarness.h"
#include "app/CUpdateDlg.h"
#include "app/DialogTexts.h"
#include "image/ImageBuilder.h"
#include "image/LineTable.h"
#include "lan/LanTexts.h"
#include "lan/TelnetLink.h"
#include "platform/Clock.h"
#include "support/RecordingHost.h"
#include "support/TempDir.h"

namespace verup {
namespace {

// Restart waits of 10 s take 100 ms; the shortest wait of a success path (a login exchange,
// 5000 ms) still gives 50 ms.
constexpr double kTimeScale = 100;

class LanUpdateTest : public ::testing::Test {
protected:
    LanUpdateTest()
    {
        package_options_.ProgramSize = 100 * 1024;  // two program areas: MAIN 2, FPGA 3
        package_options_.Save = 0;
        device_.FirmwareVersion = "Version 1.15";
        device_.RestartMs = 4000;
    }
    ~LanUpdateTest() override
    {
        // The link first: its reader reports into the dialog.
        if (dlg_ && dlg_->Telnet)
            dlg_->Telnet->Close();
        dlg_.reset();
        if (sim_)
            sim_->Stop();
    }

    // Writes the package, applies `edits` ("KEY=value") to verup.dat, starts the device.
    void StartDevice(const std::vector<std::string>& edits = {})
    {
        std::string error;
        ASSERT_TRUE(devsim::WritePackage(package_.Path(), package_options_, &error)) << error;
        std::string dat = package_.Read("verup.dat");
        for (const auto& edit : edits) {
            const std::string key = edit.substr(0, edit.find('=') + 1);
            std::size_t line = dat.compare(0, key.size(), key) == 0 ? 0 : dat.find("\n" + key);
            ASSERT_NE(line, std::string::npos) << key;
            line += dat[line] == '\n' ? 1 : 0;
            dat.replace(line, dat.find_first_of("\r\n", line) - line, edit);
        }
        package_.Write("verup.dat", dat);
        devsim::HarnessOptions options;
        ASSERT_TRUE(devsim::SimHarness::UsePackage(options, package_.Path(), &error)) << error;
        options.Device = device_;
        options.WithSerial = false;
        sim_ = std::make_unique<devsim::SimHarness>(options, clock_);
        ASSERT_TRUE(sim_->Start(&error)) << error;
        settings_before_ = sim_->Device().SavedSettings();
        area31_before_ = sim_->Device().Area(devsim::SimDevice::kSettingsArea);
    }

    // Start-up over the LAN; true when the window is ready.
    bool StartUp()
    {
        host_.ConnectionAnswer = ConnectionResult{1, 1, "127.0.0.1"};
        env_.CurrentDirectory = package_.Path();
        env_.StateDirectory = state_.Path();
        env_.RuntimeDirectory = state_.Path();
        env_.clock = &clock_;
        dlg_ = std::make_unique<CUpdateDlg>(host_, env_);
        dlg_->Telnet = std::make_unique<TelnetLink>(clock_, static_cast<std::uint16_t>(sim_->TelnetPort()));
        return dlg_->OnInitDialog();
    }

    void Update()
    {
        ASSERT_TRUE(StartUp()) << StartupMessage();
        dlg_->OnStart();
        dlg_->JoinWorker();
    }

    std::string StartupMessage()
    {
        auto lock = host_.Lock();
        return host_.Messages.empty() ? std::string() : host_.Messages.back().Text;
    }
    std::string Log()
    {
        auto lock = host_.Lock();
        return host_.Log;
    }
    int Occurrences(const std::string& text)
    {
        const std::string log = Log();
        int n = 0;
        for (auto p = log.find(text); p != std::string::npos; p = log.find(text, p + 1))
            ++n;
        return n;
    }
    int DeviceRestarts()
    {
        int n = 0;
        for (const auto& line : sim_->Device().CommandLog())
            n += line.find("device: restarting") != std::string::npos ? 1 : 0;
        return n;
    }

    // The program and FPGA images as the package makes them land in the device's areas.
    void ExpectImagesWritten()
    {
        const Config& cfg = dlg_->cfg;
        std::vector<std::uint8_t> program;
        const auto built = BuildProgramImage(cfg, package_.Path(), dlg_->ImageFileSizes[0], program);
        ASSERT_TRUE(built.Ok());
        for (int j = 1; j <= built.SectorCount; ++j) {
            const auto sector = ProgramImageSector(program, j, cfg);
            EXPECT_TRUE(sim_->Device().Area(j) == std::vector<std::uint8_t>(sector.begin(), sector.end()))
                << "program area " << j;
        }
        if (package_options_.Fpga) {
            LineTable one = LineTable::ForFpga(), two = LineTable::ForFpga();
            std::vector<std::uint8_t> fpga;
            ASSERT_TRUE(BuildFpgaImage(cfg, package_.Path(), one, two, fpga).Ok);
            fpga.resize(cfg.SECT_END_ADR + 1);
            EXPECT_TRUE(sim_->Device().Area(cfg.FPGA) == fpga) << "FPGA area " << cfg.FPGA;
        }
        if (package_options_.Boot) {
            LineTable lines = LineTable::ForBoot();
            std::vector<std::uint8_t> boot;
            ASSERT_TRUE(BuildBootImage(cfg, package_.Path(), lines, boot).Ok);
            boot.resize(cfg.SECT_END_ADR + 1);
            EXPECT_TRUE(sim_->Device().Area(0) == boot) << "monitor area";
        }
        EXPECT_EQ(sim_->Device().VersionText().substr(0, 12), "Version 1.20");
    }
    void ExpectSettingsKept()
    {
        EXPECT_TRUE(sim_->Device().SavedSettings() == settings_before_);
    }
    void ExpectOutcome(CUpdateDlg::Outcome outcome, const char* status)
    {
        EXPECT_EQ(dlg_->UpdateOutcome.load(), outcome);
        EXPECT_EQ(dlg_->StatusText(), status);
        // The notice names the backup exactly when it holds settings that were not put back.
        if (dlg_->BackupWrittenThisRun && !dlg_->SettingsRestored)
            EXPECT_NE(dlg_->NoticeText().find(dlg_->BackupFilePath), std::string::npos);
        else
            EXPECT_EQ(dlg_->NoticeText(), "");
        auto lock = host_.Lock();
        EXPECT_TRUE(host_.CloseEnabled);
        EXPECT_TRUE(host_.CloseCommandEnabled);
        EXPECT_FALSE(host_.StartEnabled);
    }

    Clock clock_{kTimeScale};
    test::TempDir package_;
    test::TempDir state_;
    devsim::PackageOptions package_options_;
    devsim::DeviceOptions device_;
    std::unique_ptr<devsim::SimHarness> sim_;
    test::RecordingHost host_;
    StartupEnvironment env_;
    std::unique_ptr<CUpdateDlg> dlg_;
    std::optional<devsim::SettingsImage> settings_before_;
    std::vector<std::uint8_t> area31_before_;
};

// ---------------------------------------------------------------- updates that succeed

TEST_F(LanUpdateTest, WritesEveryImageWithoutSettings)
{
    StartDevice();
    Update();
    ExpectOutcome(CUpdateDlg::Outcome::Done, lantext::kStatusDone);
    ExpectImagesWritten();
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

TEST_F(LanUpdateTest, WholeSettingsAreaIsUploadedAndWrittenBackByteForByte)
{
    package_options_.Save = 1;
    StartDevice();
    Update();
    ExpectOutcome(CUpdateDlg::Outcome::Done, lantext::kStatusDone);
    ExpectImagesWritten();
    EXPECT_TRUE(sim_->Device().Area(devsim::SimDevice::kSettingsArea) == area31_before_);
    const std::string log = Log();
    const auto uploaded = log.find("upload 31 OK\r\n");
    const auto restored = log.find("Version Check OK\r\ndownload 31 OK\r\nfromwr 31 OK\r\n");
    ASSERT_NE(uploaded, std::string::npos);
    ASSERT_NE(restored, std::string::npos);
    EXPECT_LT(uploaded, log.find("<---FROM"));
}

TEST_F(LanUpdateTest, SettingsAreSavedAndRestoredBlockByBlock)
{
    package_options_.Save = 2;
    StartDevice();
    Update();
    ExpectOutcome(CUpdateDlg::Outcome::Done, lantext::kStatusDone);
    ExpectImagesWritten();
    ExpectSettingsKept();
    // The restore restarts the device once more.
    EXPECT_EQ(DeviceRestarts(), 3);
}

TEST_F(LanUpdateTest, WithoutCrcTheBlocksGoBare)
{
    package_options_.Crc = 0;
    package_options_.Save = 1;
    StartDevice();
    Update();
    ExpectOutcome(CUpdateDlg::Outcome::Done, lantext::kStatusDone);
    ExpectImagesWritten();
    EXPECT_TRUE(sim_->Device().Area(devsim::SimDevice::kSettingsArea) == area31_before_);
    for (const auto& line : sim_->Device().CommandLog())
        EXPECT_EQ(line.find("mode crc"), std::string::npos) << line;
}

TEST_F(LanUpdateTest, OnlyTheProgramRestartsTheDeviceTwice)
{
    package_options_.Fpga = false;
    package_options_.Boot = false;
    StartDevice();
    Update();
    ExpectOutcome(CUpdateDlg::Outcome::Done, lantext::kStatusDone);
    ExpectImagesWritten();
    EXPECT_EQ(DeviceRestarts(), 2);
    EXPECT_EQ(Occurrences("restart reboot\r\n"), 2);
    EXPECT_EQ(Occurrences("<---FPGA"), 0);
}

struct FpgaPlacement {
    const char* name;
    int main;
    int fpga;
    int fpga_erases_in_main_loop;
    int fpga_erases_in_fpga_step;
};

class LanFpgaPlacementTest : public LanUpdateTest, public ::testing::WithParamInterface<FpgaPlacement> {};

TEST_P(LanFpgaPlacementTest, FpgaAreaIsErasedOnceOrNotAtAll)
{
    const FpgaPlacement& p = GetParam();
    StartDevice({"MAIN=" + std::to_string(p.main), "FPGA=" + std::to_string(p.fpga)});
    Update();
    ExpectOutcome(CUpdateDlg::Outcome::Done, lantext::kStatusDone);
    ExpectImagesWritten();
    const std::string log = Log();
    const std::string erase = "fromer " + std::to_string(p.fpga) + "\r\n";
    const std::size_t fpga_step = log.find("<---FPGA\r\n");
    ASSERT_NE(fpga_step, std::string::npos);
    EXPECT_EQ(log.substr(0, fpga_step).find(erase) != std::string::npos ? 1 : 0, p.fpga_erases_in_main_loop);
    EXPECT_EQ(log.substr(fpga_step).find(erase) != std::string::npos ? 1 : 0, p.fpga_erases_in_fpga_step);
}

INSTANTIATE_TEST_SUITE_P(LanPlacements, LanFpgaPlacementTest,
                         ::testing::Values(FpgaPlacement{"Above", 2, 3, 0, 1}, FpgaPlacement{"Equal", 3, 3, 0, 0},
                                           FpgaPlacement{"Below", 4, 3, 1, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- faults the update survives

TEST_F(LanUpdateTest, RefusedBlockIsSentAgain)
{
    device_.Faults.DlError = 1;
    StartDevice();
    Update();
    ExpectOutcome(CUpdateDlg::Outcome::Done, lantext::kStatusDone);
    ExpectImagesWritten();
}

TEST_F(LanUpdateTest, CorruptedUploadIsUploadedAgain)
{
    package_options_.Save = 1;
    device_.Faults.BadUploadFcs = 1;
    StartDevice();
    Update();
    ExpectOutcome(CUpdateDlg::Outcome::Done, lantext::kStatusDone);
    EXPECT_TRUE(sim_->Device().Area(devsim::SimDevice::kSettingsArea) == area31_before_);
    int uploads = 0;
    for (const auto& line : sim_->Device().CommandLog())
        uploads += line.find("upload 31") != std::string::npos ? 1 : 0;
    EXPECT_GE(uploads, 2);
}

TEST_F(LanUpdateTest, RefusedConnectionsAfterARestartAreCounted)
{
    package_options_.Fpga = false;
    package_options_.Boot = false;
    device_.Faults.ReturnAfter = 1;
    StartDevice();
    Update();
    ExpectOutcome(CUpdateDlg::Outcome::Done, lantext::kStatusDone);
    EXPECT_NE(Log().find("open err_cnt=1\r\n"), std::string::npos);
}

// ---------------------------------------------------------------- updates that fail

TEST_F(LanUpdateTest, ConnectionDroppedInABlockFailsAndKeepsTheBackup)
{
    package_options_.Save = 2;
    device_.Faults.DropMidBlock = 1;
    StartDevice();
    Update();
    ExpectOutcome(CUpdateDlg::Outcome::Failed, lantext::kStatusFailed);
    EXPECT_NE(Log().find("Version Up Error\r\n"), std::string::npos);
    // The settings are in the backup file; nothing was restored from it.
    EXPECT_TRUE(std::filesystem::exists(dlg_->BackupFilePath));
    EXPECT_TRUE(dlg_->BackupWrittenThisRun);
    EXPECT_FALSE(dlg_->SettingsRestored);
    EXPECT_TRUE(sim_->Device().Area(devsim::SimDevice::kSettingsArea) == area31_before_);
}

TEST_F(LanUpdateTest, DeviceThatNeverReturnsEndsAsDoneWithoutConnection)
{
    device_.Faults.NoReturn = true;
    StartDevice();
    Update();
    ExpectOutcome(CUpdateDlg::Outcome::DeviceNotReached, lantext::kStatusDoneUnreachable);
    EXPECT_NE(Log().find("Version Up OK\r\n"), std::string::npos);
    EXPECT_EQ(Occurrences("<---FPGA"), 0);
}

TEST_F(LanUpdateTest, WrongVersionAfterTheUpdateFailsAndKeepsTheBackup)
{
    package_options_.Save = 2;
    device_.Faults.VersionOverride = "Version 1.19 0";
    StartDevice();
    Update();
    ExpectOutcome(CUpdateDlg::Outcome::Failed, lantext::kStatusFailed);
    EXPECT_NE(Log().find("Version Check ERROR\r\n"), std::string::npos);
    // Nothing is restored into a firmware of another version; the backup keeps the settings.
    for (const auto& line : sim_->Device().CommandLog())
        EXPECT_EQ(line.find("putdata"), std::string::npos) << line;
    EXPECT_TRUE(std::filesystem::exists(dlg_->BackupFilePath));
    EXPECT_TRUE(dlg_->BackupWrittenThisRun);
    EXPECT_FALSE(dlg_->SettingsRestored);
}

TEST_F(LanUpdateTest, ProgramThatCannotBeConvertedErasesNothing)
{
    StartDevice();
    ASSERT_TRUE(StartUp()) << StartupMessage();
    // The program file turns unreadable after the start-up found it.
    package_.Write("rt00.mot", "S0 not a record\r\n");
    const auto area1 = sim_->Device().Area(1);
    dlg_->OnStart();
    dlg_->JoinWorker();
    ExpectOutcome(CUpdateDlg::Outcome::Failed, lantext::kStatusFailed);
    EXPECT_EQ(Occurrences("fromer"), 0);
    EXPECT_EQ(Occurrences("rt00.mot: "), 1);  // and why
    EXPECT_TRUE(sim_->Device().Area(1) == area1);
    EXPECT_EQ(DeviceRestarts(), 0);
}

// ---------------------------------------------------------------- start-ups that fail

struct StartupFailure {
    const char* name;
    std::function<void(devsim::PackageOptions&, devsim::DeviceOptions&)> arrange;
    std::string message;
};

class LanStartupTest : public LanUpdateTest, public ::testing::WithParamInterface<StartupFailure> {};

TEST_P(LanStartupTest, FailsWithItsMessageAndTouchesNothing)
{
    GetParam().arrange(package_options_, device_);
    StartDevice();
    EXPECT_FALSE(StartUp());
    EXPECT_EQ(StartupMessage(), GetParam().message);
    EXPECT_EQ(host_.PostCloses, 1);
    EXPECT_TRUE(sim_->Device().Area(devsim::SimDevice::kSettingsArea) == area31_before_);
}

std::string NotConnected()
{
    char text[256];
    std::snprintf(text, sizeof text, kMsgNotConnectedFormat, devsim::MakeConfig(devsim::PackageOptions{}).NAME1.c_str());
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    LanStartups, LanStartupTest,
    ::testing::Values(
        StartupFailure{"AnotherProduct", [](auto&, auto& d) { d.Product = "NEXAVO9999"; }, NotConnected()},
        StartupFailure{"RefusedPassword", [](auto&, auto& d) { d.Faults.RefuseLogin = true; }, kMsgLanRefused},
        StartupFailure{"OldTelnetServer", [](auto&, auto& d) { d.TelnetServerVersion = "Version 1.49"; },
                       kMsgTelnetTooOld},
        StartupFailure{"NoRetry", [](auto& s, auto&) { s.Retry = 0; }, kMsgConnectFailed}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace verup
