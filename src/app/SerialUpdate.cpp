// The whole firmware update over the serial line, on the update's worker thread.
#include <algorithm>

#include "app/CUpdateDlg.h"
#include "app/DialogTexts.h"
#include "protocol/FlashAreas.h"
#include "protocol/ReplyText.h"
#include "protocol/TextFormat.h"
#include "serial/SerialCommands.h"
#include "serial/SerialLink.h"

namespace verup {
namespace {

using namespace serial_cmd;


// The first `size` bytes of `image` (fewer when it is shorter).
std::span<const std::uint8_t> Head(const std::vector<std::uint8_t>& image, std::size_t size)
{
    return {image.data(), std::min(size, image.size())};
}

// "FPGAWR1=01,12,-5\r" for FP_LEN 3 and the values 1, 12, -5: each value "%02d,", the last
// character (the final comma, or "=" when FP_LEN is 0) replaced by "\r".
std::string FpgaParameterLine(int image, const Config& cfg)
{
    const auto& values = image == 1 ? cfg.FpgaParams1 : cfg.FpgaParams2;
    std::string line = image == 1 ? "FPGAWR1=" : "FPGAWR2=";
    const int count = std::clamp(cfg.FP_LEN, 0, static_cast<int>(values.size()));
    for (int i = 0; i < count; ++i)
        line += FormatText("%02d,", values[static_cast<std::size_t>(i)]);
    line.back() = '\r';
    return line;
}

}  // namespace

// One run of the sequence: the state its steps share. Each step returns false when the run
// fails (the failure flag is then set) and goes straight to the end.
class SerialUpdateRun {
public:
    explicit SerialUpdateRun(CUpdateDlg& dlg)
        : dlg_(dlg),
          cfg_(dlg.cfg_),
          road_(*dlg.Serial_),
          carrier_(dlg.Carrier_),
          ch_(road_.Channel()),
          package_(dlg.UpdatePackage_),
          present_(package_.Presence()),
          sector_count_(package_.SectorCount()),
          carry_settings_(cfg_.SAVE == 1 || cfg_.SAVE == 2),
          plan_(dlg.Plan())
    {
    }

    void Run();
    bool Failed() const { return failed_; }
    bool NotBack() const { return not_back_; }
    int SettingsFailures() const { return settings_failures_; }
    // When the new program did not answer: what was written and checked, what to do next.
    void ExplainNotBack();

private:
    using Step = Reporter::Step;
    bool Fail()
    {
        failed_ = true;
        return false;
    }
    bool CommandOk(const std::string& command, int64_t timeout_ms, int kind)
    {
        return ch_.SerialCommand(command, static_cast<int>(timeout_ms), kind) > 0;
    }
    void Log(const std::string& text) { dlg_.Report(-1, text); }

    void DeclareSteps();
    // Steps 2 to 11: true when the run goes on to the settings restore.
    bool ReachRestore();
    bool SaveSettingsInShell();
    bool EnterMonitor();
    bool MonitorNotReached(const std::string& what);
    bool WriteProgram();
    bool WriteFpga();
    bool WriteBoot();
    bool WriteDownloaded(TransferResult downloaded, const std::string& write_command);
    bool StartNewProgram();
    void RestoreSettings();

    CUpdateDlg& dlg_;
    const Config& cfg_;
    SerialRoad& road_;
    SettingsCarrier& carrier_;
    CommandChannel& ch_;
    const Package& package_;
    const ImagePresence& present_;
    const int sector_count_;
    const bool carry_settings_;
    // What this run does, decided before it starts: a refused image stops it before anything
    // is erased, and only the images the plan writes are written.
    const UpdatePlan plan_;
    bool failed_ = false;
    // Set when the device did not answer after the restart into the new program.
    bool not_back_ = false;
    int settings_failures_ = 0;
};

void SerialUpdateRun::DeclareSteps()
{
    const int remainder_flag =
        sector_count_ != 0 && package_.ProgramLineCount() % sector_count_ != 0 ? 1 : 0;
    Reporter& progress = dlg_.Progress_;
    progress.Declare(Step::Start, 1);
    progress.Declare(Step::SettingsErase, 1);
    if (cfg_.UPLOAD == 1 && present_.ProgramPresent) {
        progress.Declare(Step::ProgramErase, 2);  // half the sectors, then all
        progress.Declare(Step::ProgramDownload, sector_count_ + remainder_flag);
        progress.Declare(Step::ProgramWrite, 2);  // half the sectors, then the checksum
    }
    if (present_.FpgaImageCount > 0)
        progress.Declare(Step::Fpga, 2);
    if (present_.BootPresent)
        progress.Declare(Step::Boot, 1);
    progress.Declare(Step::VersionCheck, 1);
    // The settings: saved, restored, and read back to confirm them; the restore and the check
    // also cover the blocks the new firmware adds.
    if (dlg_.Device_.ProbeResult == PROBE_FIRMWARE && carry_settings_) {
        progress.DeclareSettingsBlocks(carrier_.SettingsLayout.BlockCount, dlg_.Settings_.AddedBlockCount);
    }
    progress.Declare(Step::Finish, 1);
    progress.Announce();
}

void SerialUpdateRun::Run()
{
    dlg_.ImagesRefusal_ = plan_.Refusals;
    DeclareSteps();
    dlg_.Progress_.Tick(Step::Start);
    if (cfg_.SAVE != 0)
        dlg_.UpdateStage_ = 1;
    if (ReachRestore())
        RestoreSettings();
}

bool SerialUpdateRun::ReachRestore()
{
    // Every image must be usable before anything is erased (the device keeps running its old
    // firmware).
    if (plan_.Refused()) {
        for (const std::string& refusal : plan_.Refusals)
            Log(refusal + "\r\n");
        return Fail();
    }
    if (dlg_.Device_.ProbeResult == PROBE_FIRMWARE && !SaveSettingsInShell())
        return false;

    // 3.
    dlg_.UpdateStage_ = 2;
    if (!plan_.WritesFirmware)
        return true;

    if (!EnterMonitor())
        return false;
    if (plan_.Writes(PROGRAM_IMAGE_FILE) && !WriteProgram())
        return false;
    if (plan_.Writes(FpgaImageFile(1)) && !WriteFpga())
        return false;
    if (plan_.Writes(BOOT_IMAGE_FILE) && !WriteBoot())
        return false;
    return StartNewProgram();
}

// 2. The firmware's shell: settings saved, the old layout's settings sector erased.
bool SerialUpdateRun::SaveSettingsInShell()
{
    if (!CommandOk(SHELL, SHELL_TIMEOUT_MS, RK_SHELL_PROMPT))
        return Fail();
    ch_.SerialCommand(NUDGE, SHORT_NUDGE_TIMEOUT_MS, RK_OK);
    if (carry_settings_ && carrier_.SaveDeviceSettings(road_, carrier_.BackupFilePath) == 0) {
        // Settings that cannot be saved would be lost with the erase: nothing is erased, and
        // the device is left running its firmware, out of its shell.
        ch_.SerialCommand(SHELL_EXIT, SHELL_TIMEOUT_MS, RK_OK);
        Log("settings not saved: nothing erased\r\n");
        dlg_.OutcomeDetail_ = carrier_.SettingsNotSavedDetail();
        return Fail();
    }
    if (dlg_.Settings_.OldLayoutSave == 1) {
        Log("fromer 01\r\n");
        ch_.SerialCommand(ERASE_SETTINGS_OLD, SHELL_TIMEOUT_MS, RK_ERASE_OK_LINE);
        ch_.SerialCommand(RESTART, RESTART_TIMEOUT_MS, RK_OK, true);
        (void)road_.WaitForDevice(0, 1);
    } else {
        ch_.SerialCommand(SHELL_EXIT, SHELL_TIMEOUT_MS, RK_OK);
    }
    return true;
}

// A device that does not come back from the restart into its monitor shows here or at the
// first erase.
bool SerialUpdateRun::MonitorNotReached(const std::string& what)
{
    dlg_.OutcomeDetail_ = what + "; nothing was erased or written.\nNext: power-cycle the device, then run the update "
                                "again on " + road_.ComPortName + ".";
    Log("boot monitor not reached: nothing erased\r\n");
    return Fail();
}

// 4. The flash monitor, and 5. the settings sector.
bool SerialUpdateRun::EnterMonitor()
{
    Log("moniter mode\r\n");
    if (road_.ProbeDevice(1) == PROBE_NONE)
        return MonitorNotReached("The device did not answer in its boot monitor after it was sent there");
    if (dlg_.Settings_.OldLayoutSave != 1) {
        if (!CommandOk(FormatText(ERASE_FORMAT, cfg_.DATA), ERASE_TIMEOUT_MS, RK_ERASE_OK))
            return MonitorNotReached("The device's boot monitor did not take the first erase (" +
                                     FormatText("ER%02d", cfg_.DATA) + ")");
        Log(FormatText("Erase %d\r\n", cfg_.DATA));
    }
    dlg_.Progress_.Tick(Step::SettingsErase);
    return true;
}

// 6. The program.
bool SerialUpdateRun::WriteProgram()
{
    Reporter& progress = dlg_.Progress_;
    const int last_erase_sector = std::max(cfg_.MAIN, cfg_.FPGA);
    Log("<---FROM\r\n");
    for (int s = 1; s <= last_erase_sector; ++s) {
        if (s - 1 == cfg_.MAIN / 2)
            progress.Tick(Step::ProgramErase);
        if (s == cfg_.FPGA && !plan_.Writes(FpgaImageFile(1)))
            continue;
        if (!CommandOk(FormatText(ERASE_FORMAT, s), ERASE_TIMEOUT_MS, RK_ERASE_OK))
            return Fail();
        Log(FormatText("Erase %d OK\r\n", s));
    }
    progress.Tick(Step::ProgramErase);
    Log("DP\r\n");
    if (road_.DownloadProgram(package_.ProgramText(), package_.ProgramLineCount(), sector_count_) !=
        TransferResult::Confirmed) {
        Log("Program Download ERROR\r\n");
        return Fail();
    }
    Log("Program Download OK\r\n");
    if (road_.FixRamChecksum() == ChecksumResult::Failed) {
        Log("Check Sum ERROR\r\n");
        return Fail();
    }
    for (int k = 1; k <= sector_count_; ++k) {
        if (k - 1 == sector_count_ / 2)
            progress.Tick(Step::ProgramWrite);
        if (!CommandOk(FormatText(PROGRAM_SECTOR_FORMAT, k), SECTOR_PROGRAM_TIMEOUT_MS, RK_MP_OK))
            return Fail();
        Log(" MP.OK \r\n");
        if (!CommandOk(FormatText(WRITE_SECTOR_FORMAT, k), SECTOR_WRITE_TIMEOUT_MS, RK_WRITE_OK))
            return Fail();
        Log(" Write OK \r\n");
        dlg_.ImagesWritten_.push_back(
            WrittenImage::Of(PROGRAM_IMAGE_FILE, k, ProgramImageSector(package_.Images().ProgramImage, k, cfg_)));
    }
    dlg_.clock_.SleepMs(CHECKSUM_SETTLE_MS);
    if (road_.CheckFlashChecksum() != ChecksumResult::Zero) {
        Log("Check Sum ERROR\r\n");
        return Fail();
    }
    progress.Tick(Step::ProgramWrite);
    return true;
}

// 7. The two FPGA configurations.
bool SerialUpdateRun::WriteFpga()
{
    Log("<---FPGA\r\n");
    if (cfg_.MAIN < cfg_.FPGA) {
        if (!CommandOk(FormatText(ERASE_FORMAT, cfg_.FPGA), ERASE_TIMEOUT_MS, RK_ERASE_OK))
            return Fail();
        Log(FormatText("Erase %d OK\r\n", cfg_.FPGA));
    }
    for (int m = 1; m <= 2; ++m) {
        Log("DL\r\n");
        if (!WriteDownloaded(road_.DownloadFpgaImage(m), FpgaParameterLine(m, cfg_)))
            return false;
        dlg_.Progress_.Tick(Step::Fpga, " F-ROM(FPGA) Write OK \r\n");
    }
    dlg_.ImagesWritten_.push_back(WrittenImage::Of(kFpgaSectorFiles, cfg_.FPGA,
                                                  Head(package_.Images().FpgaImage, cfg_.SECT_END_ADR + std::size_t{1})));
    return true;
}

// After an image's download (`downloaded`): the monitor writes it to the flash on `write_command`.
bool SerialUpdateRun::WriteDownloaded(TransferResult downloaded, const std::string& write_command)
{
    if (downloaded != TransferResult::Confirmed) {
        Log("Download ERROR\r\n");
        return Fail();
    }
    Log("Download OK\r\n");
    dlg_.clock_.SleepMs(AFTER_DOWNLOAD_PAUSE_MS);
    return CommandOk(write_command, FLASH_WRITE_TIMEOUT_MS, RK_WRITE_OK) || Fail();
}

// 8. The boot area with the flash monitor.
bool SerialUpdateRun::WriteBoot()
{
    Log("<---FMON\r\n");
    Log("DL\r\n");
    if (!WriteDownloaded(road_.DownloadBootImage(0), WRITE_BOOT))
        return false;
    Log(" F-ROM(BOOT & F-ROM.MONI) Write OK \r\n");
    dlg_.ImagesWritten_.push_back(WrittenImage::Of(BOOT_IMAGE_FILE, kBootArea,
                                                  Head(package_.Images().BootImage, cfg_.SECT_END_ADR + std::size_t{1})));
    dlg_.Progress_.Tick(Step::Boot);
    return true;
}

// 9. Start the new program; 10. a device found in its monitor is left to start alone;
// 11. the new program and its version.
bool SerialUpdateRun::StartNewProgram()
{
    ch_.SerialCommand(GO, GO_TIMEOUT_MS, RK_OK, true);

    if (dlg_.Device_.ProbeResult != PROBE_FIRMWARE) {
        if (road_.Port() != nullptr)
            road_.Port()->Close();
        dlg_.clock_.SleepMs(MONITOR_RUN_SETTLE_MS);
        return true;
    }

    (void)road_.WaitForDevice(0, 0);
    dlg_.Progress_.Tick(Step::VersionCheck, "Version Check OK\r\n");
    for (int start = 0; start < START_ATTEMPTS; ++start) {
        failed_ = false;
        if (ch_.SerialCommand(START_PROGRAM, START_TIMEOUT_MS, RK_OK) > 0) {
            Log("Program Start OK\r\n");
            if (!CommandOk(VERSION, QUERY_TIMEOUT_MS, RK_OK))
                return Fail();
            const std::optional<std::string> version = TextFrom(ch_.ReplyBuffer, VERSION_MARK, cfg_.NUM_LEN);
            if (!version)
                return Fail();
            dlg_.VersionAfterUpdate_ = *version;
            // An empty text checks nothing: it never passes.
            if (version->empty() || *version != dlg_.NewVersionText()) {
                Log("Version Check ERROR\r\n");
                return Fail();
            }
            return true;
        }
        Log("Program Start ERROR\r\n");
        failed_ = true;
    }
    // Ten unanswered starts: the restore still runs, the update is reported failed.
    not_back_ = true;
    return true;
}

// 12. Settings restore.
void SerialUpdateRun::RestoreSettings()
{
    if (cfg_.SAVE != 0)
        dlg_.UpdateStage_ = 3;
    if (dlg_.Device_.ProbeResult != PROBE_FIRMWARE)
        return;
    if (!CommandOk(SHELL, SHELL_TIMEOUT_MS, RK_SHELL_PROMPT)) {
        failed_ = true;
        return;
    }
    ch_.SerialCommand(NUDGE, SHELL_TIMEOUT_MS, RK_SHELL_PROMPT);
    if (dlg_.Settings_.OldLayoutSave == 1 || dlg_.Settings_.SettingsReset == 1) {
        Log("restart reboot\r\n");
        ch_.SerialCommand(RESTART, RESTART_TIMEOUT_MS, RK_OK, true);
        (void)road_.WaitForDevice(0, 0);
        if (!CommandOk(SHELL, SHELL_TIMEOUT_MS, RK_SHELL_PROMPT)) {
            failed_ = true;
            return;
        }
        ch_.SerialCommand(NUDGE, SHELL_TIMEOUT_MS, RK_SHELL_PROMPT);
    }
    if (carry_settings_ && carrier_.BackupWrittenThisRun) {
        if (carrier_.RestoreDeviceSettings(road_, carrier_.BackupFilePath) != 0) {
            // The restore ends with the device's restart; what it stored is read back.
            (void)road_.WaitForDevice(0, 0);
            if (carrier_.ConfirmRestoredSettings(road_) == 0)
                ++settings_failures_;
        } else {
            ++settings_failures_;
            ch_.SerialCommand(SHELL_EXIT, SHELL_TIMEOUT_MS, RK_OK);
        }
    } else {
        // Without a backup written by this run there is nothing of this device's to put back.
        if (carry_settings_)
            ++settings_failures_;
        ch_.SerialCommand(SHELL_EXIT, SHELL_TIMEOUT_MS, RK_OK);
    }
}

// Everything was written and checked by the monitor before the restart; nothing after it was.
void SerialUpdateRun::ExplainNotBack()
{
    std::string written;
    const auto add = [&written](const std::string& part) { written += (written.empty() ? "" : ", ") + part; };
    if (plan_.Writes(PROGRAM_IMAGE_FILE))
        add(FormatText("main program (sectors 1-%d, flash checksum checked)", sector_count_));
    if (plan_.Writes(FpgaImageFile(1)))
        add("FPGA configurations");
    if (plan_.Writes(BOOT_IMAGE_FILE))
        add("boot monitor");
    std::string settings = "not carried";
    if (carrier_.SettingsRestored)
        settings = "restored and confirmed";
    else if (carrier_.BackupWrittenThisRun)
        settings = "not restored; they are kept in " + carrier_.BackupFilePath;
    std::string& detail = dlg_.OutcomeDetail_;
    detail = "The device did not answer after its restart into the new program (" + std::to_string(START_ATTEMPTS) +
             " tries).\nWritten: " + written + ".\nNot checked: the new firmware's version.\nSettings: " + settings +
             ".\nNext: power-cycle the device, then run the update again on " + road_.ComPortName +
             "; a device that does not start is updated from its boot monitor.";
    for (std::size_t start = 0; start < detail.size();) {
        const std::size_t end = std::min(detail.find('\n', start), detail.size());
        Log(detail.substr(start, end - start) + "\r\n");
        start = end + 1;
    }
}

void CUpdateDlg::SerialUpdate()
{
    // 1. Preparation.
    BeginUpdate();
    SerialUpdateRun run(*this);
    run.Run();

    // 13. End, on success and from every failure.
    UpdateStage_ = 4;
    if (Device_.ProbeResult == PROBE_FIRMWARE && Serial_ && Serial_->Port() != nullptr)
        Serial_->Port()->Close();
    if (run.Failed()) {
        if (run.NotBack())
            run.ExplainNotBack();
        Report(-1, "Version Up Error\r\n");
        EndUpdate(run.NotBack() ? Outcome::DeviceNotReached : Outcome::Failed);
    } else {
        Report(-1, "Version Up OK\r\n");
        Progress_.Finish();
        EndUpdate(run.SettingsFailures() != 0 ? Outcome::SettingsNotRestored : Outcome::Done);
    }
}

}  // namespace verup
