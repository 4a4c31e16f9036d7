// The firmware update over the LAN: save the settings, erase and write the flash areas through
// the firmware's commands, restart, reconnect, check the version, restore the settings.
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string_view>
#include <vector>

#include "app/CUpdateDlg.h"
#include "image/ImageBuilder.h"
#include "lan/LanTexts.h"
#include "lan/TelnetLink.h"
#include "lan/TelnetWords.h"
#include "platform/Paths.h"
#include "protocol/FlashAreas.h"
#include "protocol/ReplyKind.h"
#include "protocol/TextFormat.h"
#include "settings/KeptBackups.h"

namespace verup {
namespace {

using telnet::kConnectEcho11;
using telnet::kConnectEcho32;
using telnet::kConnectNoEcho;
using telnet::kEraseTimeoutMs;
using telnet::kRestoreRestartHeadStartMs;
using telnet::kWriteTimeoutMs;
constexpr int64_t kMsPerSecond = 1000;

// How a run, or one of its stages, ends.
enum class RunEnd {
    Done,
    Failed,
    Unreachable,  // the device did not come back after a restart
};

}  // namespace

// One run of the sequence: the buffers it owns and the steps that share them.
class LanUpdateRun {
public:
    explicit LanUpdateRun(CUpdateDlg& dlg)
        : dlg_(dlg),
          road_(*dlg.Lan_),
          carrier_(dlg.Carrier_),
          cfg_(dlg.cfg_),
          package_(dlg.UpdatePackage_),
          present_(package_.Presence()),
          plan_(dlg.Plan()),
          sector_count_(package_.SectorCount())
    {
    }

    [[nodiscard]] RunEnd Run();
    bool SettingsLost() const { return settings_lost_; }
    // The settings area's file when the run ends without having written the area back.
    const std::string& SettingsAreaFile() const { return settings_area_file_; }

private:
    using Step = Reporter::Step;
    void Advance(Step step, const std::string& text = std::string()) { dlg_.Progress_.Tick(step, text); }
    // The steps of this run and their ticks, before the first.
    void DeclareSteps();
    void Log(const std::string& text) { dlg_.Report(-1, text); }
    bool Erase(int area) { return road_.Channel().LanCommand(FormatText(telnet::kEraseFormat, area), kEraseTimeoutMs, TRK_ERASE_OK) > 0; }
    bool Write(int area) { return road_.Channel().LanCommand(FormatText(telnet::kWriteFormat, area), kWriteTimeoutMs, TRK_WRITE_OK) > 0; }
    void Restart()
    {
        Log(lantext::kRestartLog);
        // A restarting device does not answer; the wait is the restart time.
        (void)road_.Channel().LanCommand(telnet::kRestartCommand, cfg_.LANBOOT * static_cast<int>(kMsPerSecond),
                                      TRK_COMMAND_PROMPT, true);
    }
    // Reconnects after a restart. False: the device was not reached again (outcome 2).
    bool Reconnect(int mode);

    // The uploaded area goes to disk before anything is erased: if the device is not written
    // back, the file is the settings' only copy once the tool has closed. False: not written.
    bool SaveSettingsAreaFile();
    void DeleteSettingsAreaFile();

    // The images were built when the package was read: their verdict, before anything is erased.
    bool JudgeImages();
    // The settings could not be saved: nothing has been erased (the reason is SettingsProblem).
    [[nodiscard]] RunEnd StopUnsaved();
    // The device did not come back after a restart: what was written, what was not, what next.
    void ExplainUnreachable();
    [[nodiscard]] RunEnd WriteProgram();
    [[nodiscard]] RunEnd WriteFpga();
    [[nodiscard]] RunEnd WriteMonitor();

    CUpdateDlg& dlg_;
    LanRoad& road_;
    SettingsCarrier& carrier_;
    const Config& cfg_;
    const Package& package_;
    const ImagePresence& present_;
    // What this run does, decided before it starts: a refused image stops it before anything
    // is erased, and only the images the plan writes are written.
    const UpdatePlan plan_;
    const int sector_count_;
    std::vector<uint8_t> settings_area_ = std::vector<uint8_t>(TelnetLink::kReceiveBufferBytes, 0);
    std::string image_problem_;
    std::string settings_area_file_;
    bool settings_lost_ = false;
    std::vector<std::string> written_;  // what reached the flash, for the user
    bool fpga_written_ = false;
    bool monitor_written_ = false;
    LanConnect last_connect_ = LanConnect::NoAnswer;
    int open_failures_ = 0;
};

bool LanUpdateRun::Reconnect(int mode)
{
    TelnetLink& link = road_.Link();
    link.Close();
    open_failures_ = 0;
    last_connect_ = road_.ConnectWithRetries(road_.DeviceAddress, mode, &open_failures_);
    // Logged in, or reached but refused: the next command decides.
    return last_connect_ != LanConnect::NoLogin && last_connect_ != LanConnect::NoAnswer;
}

bool LanUpdateRun::SaveSettingsAreaFile()
{
    const auto problem = [this](const std::string& text) {
        carrier_.SettingsProblem = text;
        Log(text + "\r\n");
        return false;
    };
    // A file of its own for every run, named after the device and the time, beside the
    // settings backups: a copy an earlier run kept holds settings that were never written back.
    const std::string folder = dlg_.env_.StateDirectory;
    if (folder.empty() || !EnsurePrivateDirectory(folder))
        return problem("settings area not saved to a file: cannot use the folder " + folder);
    const std::string path = FreeKeptFilePath(folder, kSettingsAreaPrefix, dlg_.DeviceFileTag(), std::time(nullptr),
                                              kSettingsAreaExtension);
    if (path.empty())
        return problem("settings area not saved to a file: earlier copies take every name in " + folder);
    const std::string_view bytes(reinterpret_cast<const char*>(settings_area_.data()), kSettingsAreaBytes);
    if (!WriteFileAtomically(path, bytes, 0600, false))
        return problem("settings area not saved to a file: cannot write " + path + ": " + std::strerror(errno));
    settings_area_file_ = path;
    BackupNote note = dlg_.NewBackupNote("area31");
    note.Items = static_cast<int>(kSettingsAreaBytes);
    std::string error;
    if (!WriteBackupNote(path, note, error))
        Log("settings area note not written: " + error + "\r\n");
    return true;
}

void LanUpdateRun::DeleteSettingsAreaFile()
{
    if (settings_area_file_.empty())
        return;
    if (!RemoveKeptBackup(settings_area_file_))
        Log("settings area file not deleted: " + settings_area_file_ + ": " + std::strerror(errno) + "\r\n");
    settings_area_file_.clear();
}

bool LanUpdateRun::JudgeImages()
{
    for (const std::string& problem : plan_.Refusals)
        image_problem_ += problem + "\r\n";
    dlg_.ImagesRefusal_ = plan_.Refusals;
    return !plan_.Refused();
}

RunEnd LanUpdateRun::WriteProgram()
{
    const int block_size = static_cast<int>(cfg_.SECT_END_ADR) + 1;
    Log(lantext::kProgramStage);
    for (int i = 1; i <= cfg_.MAIN; ++i) {
        if (i - 1 == cfg_.MAIN / 2)
            Advance(Step::ProgramErase);
        // The last program area doubles as the FPGA area: neither step erases it.
        if (cfg_.MAIN == cfg_.FPGA && i == cfg_.FPGA)
            continue;
        if (!Erase(i))
            return RunEnd::Failed;
        Log(FormatText(lantext::kEraseLogFormat, i));
    }
    if (!Erase(cfg_.DATA))
        return RunEnd::Failed;
    Log(FormatText(lantext::kEraseLogFormat, cfg_.DATA));
    Advance(Step::ProgramErase);
    for (int j = 1; j <= sector_count_; ++j) {
        const auto block = ProgramImageSector(package_.Images().ProgramImage, j, cfg_);
        if (static_cast<int>(block.size()) != block_size)
            return RunEnd::Failed;
        if (road_.DownloadBlock(block.data(), block.size(), j) <= 0)
            return RunEnd::Failed;
        Log(FormatText(lantext::kDownloadLogFormat, j));
        if (!Write(j))
            return RunEnd::Failed;
        Advance(Step::ProgramWrite, FormatText(lantext::kWriteOkLogFormat, j));
        dlg_.ImagesWritten_.push_back(WrittenImage::Of(PROGRAM_IMAGE_FILE, j, block));
    }
    written_.push_back(FormatText("main program (areas 1-%d; data area %d erased)", sector_count_, cfg_.DATA));
    Restart();
    if (!Reconnect(kConnectNoEcho))
        return RunEnd::Unreachable;
    Advance(Step::Reconnect, FormatText(lantext::kOpenErrCountFormat, open_failures_));
    return RunEnd::Done;
}

RunEnd LanUpdateRun::WriteFpga()
{
    Log(lantext::kFpgaStage);
    if (cfg_.MAIN < cfg_.FPGA) {
        if (!Erase(cfg_.FPGA))
            return RunEnd::Failed;
        Log(FormatText(lantext::kEraseLogFormat, cfg_.FPGA));
    }
    const std::size_t block_size = static_cast<std::size_t>(cfg_.SECT_END_ADR) + 1;
    const std::vector<uint8_t>& fpga = package_.Images().FpgaImage;
    if (fpga.size() < block_size || road_.DownloadBlock(fpga.data(), block_size, cfg_.FPGA) <= 0)
        return RunEnd::Failed;
    Log(FormatText(lantext::kDownloadLogFormat, cfg_.FPGA));
    if (!Write(cfg_.FPGA))
        return RunEnd::Failed;
    Advance(Step::Fpga, FormatText(lantext::kWriteLogFormat, cfg_.FPGA));
    fpga_written_ = true;
    dlg_.ImagesWritten_.push_back(WrittenImage::Of(kFpgaSectorFiles, cfg_.FPGA, {fpga.data(), block_size}));
    written_.push_back(FormatText("FPGA configurations (area %d)", cfg_.FPGA));
    return RunEnd::Done;
}

RunEnd LanUpdateRun::WriteMonitor()
{
    Log(lantext::kMonitorStage);
    const std::size_t block_size = static_cast<std::size_t>(cfg_.SECT_END_ADR) + 1;
    const std::vector<uint8_t>& boot = package_.Images().BootImage;
    if (boot.size() < block_size || road_.DownloadBlock(boot.data(), block_size, kBootArea) <= 0)
        return RunEnd::Failed;
    Log(lantext::kDownload0Log);
    if (!Write(kBootArea))
        return RunEnd::Failed;
    Advance(Step::Boot, lantext::kWrite0OkLog);
    monitor_written_ = true;
    dlg_.ImagesWritten_.push_back(WrittenImage::Of(BOOT_IMAGE_FILE, kBootArea, {boot.data(), block_size}));
    written_.push_back("boot monitor (area 0)");
    return RunEnd::Done;
}

RunEnd LanUpdateRun::StopUnsaved()
{
    dlg_.OutcomeDetail_ = carrier_.SettingsNotSavedDetail();
    Log("settings not saved: nothing erased\r\n");
    return RunEnd::Failed;
}

void LanUpdateRun::ExplainUnreachable()
{
    const auto join = [](const std::vector<std::string>& parts) {
        std::string text;
        for (const auto& part : parts)
            text += (text.empty() ? "" : ", ") + part;
        return text;
    };
    std::vector<std::string> missing;
    if (plan_.Writes(FpgaImageFile(1)) && !fpga_written_)
        missing.push_back(FormatText("FPGA configurations (area %d)", cfg_.FPGA));
    if (plan_.Writes(BOOT_IMAGE_FILE) && !monitor_written_)
        missing.push_back("boot monitor (area 0)");
    std::string settings;
    if (cfg_.SAVE == 1 && !settings_area_file_.empty())
        settings = "not written back; area 31 as it was is kept in " + settings_area_file_;
    else if (cfg_.SAVE == 2 && carrier_.BackupWrittenThisRun)
        settings = "not restored; they are kept in " + carrier_.BackupFilePath;
    else
        settings = cfg_.SAVE == 0 ? "not carried (SAVE=0)" : "not restored";
    const std::string text =
        "The device did not answer at " + road_.DeviceAddress + " after its restart (" +
        std::to_string(road_.Channel().AttemptCount) + " connection attempts).\n" +
        "Written: " + (written_.empty() ? std::string("nothing") : join(written_)) + ".\n" +
        (missing.empty() ? std::string() : "Not written: " + join(missing) + ".\n") +
        "Not checked: the new firmware's version.\n" + "Settings: " + settings + ".\n" +
        "Next: power-cycle the device, check that it answers at " + road_.DeviceAddress +
        " (ping, telnet), then run the update again; a device that does not start is reached over the serial "
        "cable in its boot monitor.";
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        Log(text.substr(start, end - start) + "\r\n");
        start = end + 1;
    }
    dlg_.OutcomeDetail_ = text;
}

void LanUpdateRun::DeclareSteps()
{
    Reporter& progress = dlg_.Progress_;
    progress.Declare(Step::Start, 1);
    if (cfg_.UPLOAD == 1 && present_.ProgramPresent) {
        progress.Declare(Step::ProgramErase, 2);  // half the areas, then all
        progress.Declare(Step::ProgramWrite, sector_count_);
        progress.Declare(Step::Reconnect, 1);
    }
    if (present_.FpgaImageCount > 0)
        progress.Declare(Step::Fpga, 1);
    if (present_.BootPresent)
        progress.Declare(Step::Boot, 1);
    // The settings: saved, restored, and read back to confirm them, as area 31 (SAVE 1) or
    // block by block (SAVE 2, the restore and the check also covering the added blocks).
    if (cfg_.SAVE == 1)
        progress.DeclareSettingsBlocks(1, 0);
    else if (cfg_.SAVE == 2)
        progress.DeclareSettingsBlocks(carrier_.SettingsLayout.BlockCount, dlg_.Settings_.AddedBlockCount);
    progress.Declare(Step::Finish, 1);
    progress.Announce();
}

RunEnd LanUpdateRun::Run()
{
    // Only what will be written is judged; a settings-only run writes no image.
    const bool images_ok = !plan_.WritesFirmware || JudgeImages();

    DeclareSteps();
    Advance(Step::Start);

    // Nothing is erased, and the device is not even asked for its settings, unless every image
    // that will be written is usable: a program area erased with nothing good to write, or a
    // boot area written half, leaves a device that does not start.
    if (!images_ok) {
        Log(image_problem_);
        return RunEnd::Failed;
    }

    if (cfg_.SAVE != 0)
        dlg_.UpdateStage_ = 1;
    // Settings that cannot be saved would be lost with the erase: the update stops first.
    if (cfg_.SAVE == 1) {
        if (road_.UploadArea(settings_area_.data(), kSettingsAreaBytes, kSettingsArea) != 1) {
            carrier_.SettingsProblem = "the settings area (31) could not be read";
            return StopUnsaved();
        }
        Advance(Step::SettingsSave, lantext::kUpload31Ok);
        if (!SaveSettingsAreaFile())
            return StopUnsaved();
    } else if (cfg_.SAVE == 2) {
        if (carrier_.SaveDeviceSettings(road_, carrier_.BackupFilePath) == 0)
            return StopUnsaved();
    }

    dlg_.UpdateStage_ = 2;
    if (plan_.WritesFirmware) {
        if (plan_.Writes(PROGRAM_IMAGE_FILE)) {
            if (const RunEnd outcome = WriteProgram(); outcome != RunEnd::Done) {
                if (outcome == RunEnd::Unreachable)
                    ExplainUnreachable();
                return outcome;
            }
        }
        if (plan_.Writes(FpgaImageFile(1))) {
            if (const RunEnd outcome = WriteFpga(); outcome != RunEnd::Done)
                return outcome;
        }
        if (plan_.Writes(BOOT_IMAGE_FILE)) {
            if (const RunEnd outcome = WriteMonitor(); outcome != RunEnd::Done)
                return outcome;
        }
        // The check reads only what the new login found: a greeting without the version
        // leaves the text empty, and an empty text never passes.
        dlg_.Device_.FirmwareVersionText.clear();
        Restart();
        if (!Reconnect(kConnectEcho11)) {
            ExplainUnreachable();
            return RunEnd::Unreachable;
        }
        Log(FormatText(lantext::kOpenErrCountFormat, open_failures_));
        // Only a new login reads the new version; a device that refused it is not verified.
        const std::string& found = dlg_.Device_.FirmwareVersionText;
        if (last_connect_ == LanConnect::LoggedIn)
            dlg_.VersionAfterUpdate_ = found;
        if (last_connect_ != LanConnect::LoggedIn || found.empty() || found != dlg_.NewVersionText()) {
            Log(lantext::kVersionCheckError);
            return RunEnd::Failed;
        }
        Log(lantext::kVersionCheckOk);
    }

    if (cfg_.SAVE != 0)
        dlg_.UpdateStage_ = 3;
    if (cfg_.SAVE == 1) {
        carrier_.SettingsAreaWritten.assign(settings_area_.begin(), settings_area_.begin() + kSettingsAreaBytes);
        if (road_.DownloadArea(settings_area_.data(), kSettingsAreaBytes, kSettingsArea) != 1)
            return RunEnd::Failed;
        Log(lantext::kDownload31Ok);
        if (!Write(kSettingsArea))
            return RunEnd::Failed;
        Advance(Step::SettingsRestore, lantext::kWrite31Ok);
        carrier_.SettingsWrittenBack = true;
        // The copy on disk goes only once the device shows the area as written.
        if (carrier_.ConfirmRestoredSettings(road_) == 1)
            DeleteSettingsAreaFile();
        else
            settings_lost_ = true;
        return RunEnd::Done;
    }
    if (cfg_.SAVE == 2) {
        const bool restored = carrier_.RestoreDeviceSettings(road_, carrier_.BackupFilePath) != 0;
        if (!restored)
            settings_lost_ = true;
        // A LANBOOT below 5 s leaves nothing to wait.
        const int64_t wait_ms = static_cast<int64_t>(cfg_.LANBOOT) * kMsPerSecond - kRestoreRestartHeadStartMs;
        dlg_.clock_.SleepMs(wait_ms > 0 ? wait_ms : 0);
        if (!Reconnect(kConnectEcho32)) {
            // The firmware is written and its version checked; the settings are not confirmed.
            carrier_.SettingsProblem = "the device did not answer at " + road_.DeviceAddress +
                                   " after the restart that stores the settings";
            Log(carrier_.SettingsProblem + "\r\n");
            settings_lost_ = true;
            return RunEnd::Done;
        }
        if (restored && carrier_.ConfirmRestoredSettings(road_) != 1)
            settings_lost_ = true;
        return RunEnd::Done;
    }
    return RunEnd::Done;
}

void CUpdateDlg::LanUpdate()
{
    BeginUpdate();
    RunEnd outcome = RunEnd::Failed;
    bool settings_lost = false;
    {
        LanUpdateRun run(*this);
        outcome = run.Run();
        settings_lost = run.SettingsLost();
        Carrier_.SettingsAreaKeptPath = run.SettingsAreaFile();
        // The failed reconnect has closed what it opened.
        if (outcome != RunEnd::Unreachable)
            Lan_->Link().Close();
        UpdateStage_ = 4;
    }

    // A device that did not come back has not been updated: a failure, whatever was written.
    if (outcome != RunEnd::Done) {
        Report(-1, lantext::kVersionUpError);
        EndUpdate(outcome == RunEnd::Unreachable ? Outcome::DeviceNotReached : Outcome::Failed);
    } else {
        Progress_.Finish(lantext::kVersionUpOk);
        EndUpdate(settings_lost ? Outcome::SettingsNotRestored : Outcome::Done);
    }
}

}  // namespace verup
