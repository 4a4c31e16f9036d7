// A whole update against the simulated device: the package, the running simulator, the
// dialog and what the device should hold afterwards. Each road adds its own link.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "PackageMaker.h"
#include "SimHarness.h"
#include "UpdateCommand.h"
#include "app/CUpdateDlg.h"
#include "app/DialogTexts.h"
#include "image/ImageBuilder.h"
#include "image/LineTable.h"
#include "lan/TelnetLink.h"
#include "platform/Clock.h"
#include "platform/PosixSerialPort.h"
#include "support/RecordingHost.h"
#include "support/TempDir.h"

namespace verup::test {

// The start-up's message for a device of another product.
inline std::string NotConnected()
{
    return NotConnectedMessage(devsim::MakeConfig(devsim::PackageOptions{}).NAME1);
}

class SimUpdateFixture : public ::testing::Test {
protected:
    enum class Road { Serial, Lan };

    SimUpdateFixture(double time_scale, Road road) : clock_(time_scale), road_(road)
    {
        package_options_.ProgramSize = 100 * 1024;  // two program areas: MAIN 2, FPGA 3
        device_.FirmwareVersion = "Version 1.15";
        device_.RestartMs = 4000;
    }
    ~SimUpdateFixture() override
    {
        dlg_.reset();
        if (sim_)
            sim_->Stop();
    }

    // The line "KEY=..." of `dat` becomes `edit` ("KEY=value"); false when there is none.
    static bool ReplaceLine(std::string& dat, const std::string& edit)
    {
        const std::string key = edit.substr(0, edit.find('=') + 1);
        for (std::size_t p = 0; p < dat.size(); p = dat.find('\n', p) + 1) {
            if (dat.compare(p, key.size(), key) == 0) {
                dat.replace(p, dat.find_first_of("\r\n", p) - p, edit);
                return true;
            }
            if (dat.find('\n', p) == std::string::npos)
                break;
        }
        return false;
    }

    // Writes the package, applies `edits` ("KEY=value") to verup.dat, starts the device.
    void StartDevice(const std::vector<std::string>& edits = {})
    {
        std::string error;
        ASSERT_TRUE(devsim::WritePackage(package_.Path(), package_options_, &error)) << error;
        std::string dat = package_.Read("verup.dat");
        for (const auto& edit : edits)
            if (!ReplaceLine(dat, edit) && every_edit_must_match_)
                FAIL() << edit.substr(0, edit.find('=') + 1);
        package_.Write("verup.dat", dat);
        devsim::HarnessOptions options;
        ASSERT_TRUE(devsim::SimHarness::UsePackage(options, package_.Path(), &error)) << error;
        options.Device = device_;
        (road_ == Road::Lan ? options.WithSerial : options.WithTelnet) = false;
        sim_ = std::make_unique<devsim::SimHarness>(options, clock_);
        ASSERT_TRUE(sim_->Start(&error)) << error;
        settings_before_ = sim_->Device().SavedSettings();
        area31_before_ = sim_->Device().Area(devsim::SimDevice::kSettingsArea);
    }

    // The dialog, answering the connection question with `answer`; the road adds its link.
    void MakeDialog(const ConnectionResult& answer)
    {
        host_.ConnectionAnswer = answer;
        env_.CurrentDirectory = package_.Path();
        env_.StateDirectory = state_.Path();
        env_.clock = &clock_;
        // The tool's log whatever the package's DEBUG says.
        env_.LogSink = [this](const std::string& text) {
            std::lock_guard lock(log_mutex_);
            log_ += text;
        };
        if (sim_ && road_ == Road::Lan)
            env_.TelnetPort = static_cast<std::uint16_t>(sim_->TelnetPort());
        dlg_ = std::make_unique<CUpdateDlg>(host_, env_);
    }

    // Start-up on this road; true when the window is ready.
    virtual bool StartUp() = 0;

    // The start-up over the simulator's telnet server, or over its pty as COM`com_port`.
    bool StartUpOnRoad(int com_port)
    {
        if (road_ == Road::Lan) {
            MakeDialog(ConnectionResult{1, 1, "127.0.0.1", ""});
        } else {
            env_.MakeSerialPort = [this] {
                return std::make_unique<PosixSerialPort>([this](const std::string& name) { return PortPath(name); });
            };
            MakeDialog(ConnectionResult{0, com_port, "", ""});
        }
        return dlg_->OnInitDialog();
    }
    // COM3 is the device; every other port name leads nowhere.
    std::string PortPath(const std::string& name) const
    {
        return name == "COM3" && sim_ ? sim_->PtyPath() : "/nonexistent/" + name;
    }

    // The lines of the device's command log that hold `text` (and `also`, when given).
    int DeviceLogLines(const std::string& text, const std::string& also = {}) const
    {
        int n = 0;
        for (const auto& line : sim_->Device().CommandLog())
            n += line.find(text) != std::string::npos && line.find(also) != std::string::npos ? 1 : 0;
        return n;
    }

    // For a fixture's destructor: the dialog and its links gone, and on a failure the tool's and
    // the device's logs added to it.
    void CloseAndReportLogs()
    {
        dlg_.reset();
        if (!HasFailure())
            return;
        std::string device_log;
        if (sim_)
            for (const auto& line : sim_->Device().CommandLog())
                device_log += line + "\n";
        ADD_FAILURE() << "message: " << StartupMessage() << "\ntool log:\n" << Log() << "\ndevice log:\n" << device_log;
    }

    void Update()
    {
        ASSERT_TRUE(StartUp()) << StartupMessage();
        dlg_->OnStart();
        dlg_->JoinWorker();
    }

    std::vector<RecordedMessage> Messages()
    {
        auto lock = host_.Lock();
        return host_.Messages;
    }
    std::string StartupMessage()
    {
        const auto messages = Messages();
        return messages.empty() ? std::string() : messages.back().Text;
    }
    std::string Log()
    {
        std::lock_guard lock(log_mutex_);
        return log_;
    }
    int Occurrences(const std::string& text)
    {
        const std::string log = Log();
        int n = 0;
        for (auto p = log.find(text); p != std::string::npos; p = log.find(text, p + 1))
            ++n;
        return n;
    }

    // What the device was told to erase ("E3") and write ("W3"), area by area, in order.
    std::vector<std::string> FlashCommands()
    {
        std::vector<std::string> out;
        for (const std::string& entry : sim_->Device().CommandLog()) {
            const char* line = entry.c_str() + entry.find(": ") + 2;
            int area = -1;
            if (std::sscanf(line, "fromer %d", &area) == 1 || std::sscanf(line, "ER%d", &area) == 1)
                out.push_back("E" + std::to_string(area));
            else if (std::sscanf(line, "fromwr %d", &area) == 1 || std::sscanf(line, "WR%d", &area) == 1)
                out.push_back("W" + std::to_string(area));
            else if (entry.find(": FPGAWR") != std::string::npos || entry.find(": FMONWR") != std::string::npos)
                out.push_back("W" + std::to_string(entry.find(": FMONWR") != std::string::npos ? 0 : dlg_->cfg().FPGA));
        }
        return out;
    }
    // The same, as `plan` says it will happen.
    static std::vector<std::string> PlannedFlashCommands(const UpdatePlan& plan)
    {
        std::vector<std::string> out;
        for (const PlanStep& step : plan.Steps) {
            const bool erase = step.Kind == PlanStepKind::Erase;
            if (erase || step.Kind == PlanStepKind::Write || step.Kind == PlanStepKind::RestoreSettings)
                for (const int area : step.Areas)
                    out.push_back((erase ? "E" : "W") + std::to_string(area));
        }
        return out;
    }
    // The update after a start-up, checked against the plan the dry run would have printed.
    void UpdateAsPlanned()
    {
        ASSERT_TRUE(StartUp()) << StartupMessage();
        const UpdatePlan plan = dlg_->Plan();
        dlg_->OnStart();
        dlg_->JoinWorker();
        EXPECT_EQ(FlashCommands(), PlannedFlashCommands(plan));
    }

    // The program and FPGA images as the package makes them land in the device's areas.
    void ExpectImagesWritten(const char* version = "Version 1.20")
    {
        const Config& cfg = dlg_->cfg();
        std::vector<std::uint8_t> program;
        const auto built = BuildProgramImage(cfg, package_.Path(), dlg_->UpdatePackage().Presence().ImageFileSizes[0], program);
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
        EXPECT_EQ(sim_->Device().VersionText().substr(0, 12), version);
    }
    // The run has ended with `outcome` and `status`, and only closing is left to the user.
    void ExpectOutcome(CUpdateDlg::Outcome outcome, const std::string& status)
    {
        EXPECT_EQ(dlg_->UpdateOutcome(), outcome);
        EXPECT_EQ(dlg_->StatusText(), status);
        auto lock = host_.Lock();
        EXPECT_TRUE(host_.CloseEnabled);
        EXPECT_TRUE(host_.CloseCommandEnabled);
        EXPECT_FALSE(host_.StartEnabled);
    }

    Clock clock_;
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
    bool every_edit_must_match_ = false;

private:
    Road road_;
    std::mutex log_mutex_;
    std::string log_;
};

}  // namespace verup::test
