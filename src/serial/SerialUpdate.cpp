// The whole firmware update over the serial line, on the update's worker thread.
#include <algorithm>

#include "app/CUpdateDlg.h"
#include "app/DialogTexts.h"
#include "protocol/ReplyText.h"
#include "protocol/TextFormat.h"
#include "serial/SerialCommands.h"
#include "serial/SerialLink.h"

namespace verup {
namespace {

using namespace serial_cmd;

// "バージョンアップ作業中"
constexpr char kStatusWorking[] = "\x83\x6f\x81\x5b\x83\x57\x83\x87\x83\x93\x83\x41\x83\x62\x83\x76\x8d\xec\x8b\xc6\x92\x86";
// "バージョンアップ完了"
constexpr char kStatusDone[] = "\x83\x6f\x81\x5b\x83\x57\x83\x87\x83\x93\x83\x41\x83\x62\x83\x76\x8a\xae\x97\xb9";
// "バージョンアップ完了 (設定の復元に失敗)"
constexpr char kStatusDoneSettingsLost[] =
    "\x83\x6f\x81\x5b\x83\x57\x83\x87\x83\x93\x83\x41\x83\x62\x83\x76\x8a\xae\x97\xb9 (\x90\xdd\x92\xe8\x82\xcc\x95\x9c\x8c\xb3\x82\xc9\x8e\xb8\x94\x73)";
// "バージョンアップ異常"
constexpr char kStatusFailed[] = "\x83\x6f\x81\x5b\x83\x57\x83\x87\x83\x93\x83\x41\x83\x62\x83\x76\x88\xd9\x8f\xed";

// "設定情報の保存先：" followed by the backup file's path.

// The progress bar's range until the run's steps are declared.
constexpr int PROGRESS_INITIAL_RANGE = 10;

// FMONWR writes the boot area.
constexpr int BOOT_AREA = 0;

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

void CUpdateDlg::SerialUpdate()
{
    CommandChannel& ch = Channel;
    bool failed = false;
    int settings_failures = 0;
    using Step = Reporter::Step;
    const auto command_ok = [&](const std::string& command, int64_t timeout_ms, int kind) {
        return ch.SerialCommand(command, static_cast<int>(timeout_ms), kind) > 0;
    };
    const bool carry_settings = cfg.SAVE == 1 || cfg.SAVE == 2;

    // 1. Preparation.
    DotPhase = 0;
    StartStatusAnimation();
    UpdateStage = 0;
    Progress.Reset();
    ImagesWritten.clear();
    VersionAfterUpdate.clear();
    SettingsWrittenBack = false;
    host.SetProgressRange(0, PROGRESS_INITIAL_RANGE);
    Report(0);
    const int last_erase_sector = std::max(cfg.MAIN, cfg.FPGA);
    host.EnableCloseButton(false);
    host.EnableStartButton(false);
    host.EnableCloseCommand(false);
    SetStatusText(kStatusWorking);
    PostRefresh();

    const Package& package = UpdatePackage;
    const ImagePresence& present = package.Presence();
    const int sector_count = package.SectorCount();
    const int remainder_flag = sector_count != 0 && package.ProgramLineCount() % sector_count != 0 ? 1 : 0;
    // A file that does not convert completely was refused when the package was read; nothing
    // is erased then.
    std::vector<std::string> refusals = package.ImageProblems();
    if (!package.ProgramTextProblem().empty())
        refusals.push_back(package.ProgramTextProblem());
    ImagesRefusal = refusals;

    Progress.Declare(Step::Start, 1);
    Progress.Declare(Step::SettingsErase, 1);
    if (cfg.UPLOAD == 1 && present.ProgramPresent) {
        Progress.Declare(Step::ProgramErase, 2);  // half the sectors, then all
        Progress.Declare(Step::ProgramDownload, sector_count + remainder_flag);
        Progress.Declare(Step::ProgramWrite, 2);  // half the sectors, then the checksum
    }
    if (present.FpgaImageCount > 0)
        Progress.Declare(Step::Fpga, 2);
    if (present.BootPresent)
        Progress.Declare(Step::Boot, 1);
    Progress.Declare(Step::VersionCheck, 1);
    // The settings: saved, restored, and read back to confirm them; the restore and the check
    // also cover the blocks the new firmware adds.
    if (Device.ProbeResult == PROBE_FIRMWARE && carry_settings) {
        Progress.Declare(Step::SettingsSave, SettingsLayout.BlockCount);
        Progress.Declare(Step::SettingsRestore, SettingsLayout.BlockCount + AddedBlockCount);
        Progress.Declare(Step::SettingsConfirm, SettingsLayout.BlockCount + AddedBlockCount);
    }
    Progress.Declare(Step::Finish, 1);
    Progress.Announce();
    Progress.Tick(Step::Start);
    if (cfg.SAVE != 0)
        UpdateStage = 1;

    // Every image must be usable before anything is erased (the device keeps running its old
    // firmware).
    const bool images_unusable = !refusals.empty();

    const auto fail = [&] {
        failed = true;
        return false;
    };
    // Set when the device did not answer after the restart into the new program.
    bool not_back = false;
    OutcomeDetail.clear();
    const bool reach_restore = [&] {
        if (images_unusable) {
            for (const std::string& refusal : refusals)
                Report(-1, refusal + "\r\n");
            return fail();
        }
        // 2. The firmware's shell: settings saved, the old layout's settings sector erased.
        if (Device.ProbeResult == PROBE_FIRMWARE) {
            if (!command_ok(SHELL, SHELL_TIMEOUT_MS, RK_SHELL_PROMPT)) {
                return fail();
            }
            ch.SerialCommand(NUDGE, SHORT_NUDGE_TIMEOUT_MS, RK_OK);
            if (carry_settings && SaveDeviceSettings(BackupFilePath) == 0) {
                // Settings that cannot be saved would be lost with the erase: nothing is erased,
                // and the device is left running its firmware, out of its shell.
                ch.SerialCommand(SHELL_EXIT, SHELL_TIMEOUT_MS, RK_OK);
                Report(-1, "settings not saved: nothing erased\r\n");
                OutcomeDetail = SettingsNotSavedDetail();
                return fail();
            }
            if (OldLayoutSave == 1) {
                Report(-1, "fromer 01\r\n");
                ch.SerialCommand(ERASE_SETTINGS_OLD, SHELL_TIMEOUT_MS, RK_ERASE_OK_LINE);
                ch.SerialCommand(RESTART, RESTART_TIMEOUT_MS, RK_OK, true);
                WaitForDevice(0, 1);
            } else {
                ch.SerialCommand(SHELL_EXIT, SHELL_TIMEOUT_MS, RK_OK);
            }
        }

        // 3.
        UpdateStage = 2;
        if (cfg.UPLOAD != 1)
            return true;

        // 4. The flash monitor.
        Report(-1, "moniter mode\r\n");
        // A device that does not come back from that restart shows here or at the first erase.
        const auto monitor_not_reached = [&](const std::string& what) {
            OutcomeDetail = what + "; nothing was erased or written.\nNext: power-cycle the device, then run the update "
                                   "again on " + ComPortName + ".";
            Report(-1, "boot monitor not reached: nothing erased\r\n");
            return fail();
        };
        if (ProbeDevice(1) == PROBE_NONE)
            return monitor_not_reached("The device did not answer in its boot monitor after it was sent there");

        // 5. The settings sector.
        if (OldLayoutSave != 1) {
            if (!command_ok(FormatText(ERASE_FORMAT, cfg.DATA), ERASE_TIMEOUT_MS, RK_ERASE_OK))
                return monitor_not_reached("The device's boot monitor did not take the first erase (" +
                                           FormatText("ER%02d", cfg.DATA) + ")");
            Report(-1, FormatText("Erase %d\r\n", cfg.DATA));
        }
        Progress.Tick(Step::SettingsErase);

        // 6. The program.
        if (present.ProgramPresent) {
            Report(-1, "<---FROM\r\n");
            for (int s = 1; s <= last_erase_sector; ++s) {
                if (s - 1 == cfg.MAIN / 2)
                    Progress.Tick(Step::ProgramErase);
                if (s == cfg.FPGA && present.FpgaImageCount == 0)
                    continue;
                if (!command_ok(FormatText(ERASE_FORMAT, s), ERASE_TIMEOUT_MS, RK_ERASE_OK)) {
                    return fail();
                }
                Report(-1, FormatText("Erase %d OK\r\n", s));
            }
            Progress.Tick(Step::ProgramErase);
            Report(-1, "DP\r\n");
            if (DownloadProgram(package.ProgramText(), package.ProgramLineCount(), sector_count) != 99) {
                Report(-1, "Program Download ERROR\r\n");
                return fail();
            }
            Report(-1, "Program Download OK\r\n");
            if (FixRamChecksum() == -1) {
                Report(-1, "Check Sum ERROR\r\n");
                return fail();
            }
            for (int k = 1; k <= sector_count; ++k) {
                if (k - 1 == sector_count / 2)
                    Progress.Tick(Step::ProgramWrite);
                if (!command_ok(FormatText(PROGRAM_SECTOR_FORMAT, k), SECTOR_PROGRAM_TIMEOUT_MS, RK_MP_OK)) {
                    return fail();
                }
                Report(-1, " MP.OK \r\n");
                if (!command_ok(FormatText(WRITE_SECTOR_FORMAT, k), SECTOR_WRITE_TIMEOUT_MS, RK_WRITE_OK)) {
                    return fail();
                }
                Report(-1, " Write OK \r\n");
                ImagesWritten.push_back(
                    WrittenImage::Of(PROGRAM_IMAGE_FILE, k, ProgramImageSector(package.Images().ProgramImage, k, cfg)));
            }
            clock.SleepMs(CHECKSUM_SETTLE_MS);
            if (CheckFlashChecksum() != 1) {
                Report(-1, "Check Sum ERROR\r\n");
                return fail();
            }
            Progress.Tick(Step::ProgramWrite);
        }

        // 7. The two FPGA configurations.
        if (present.FpgaImageCount > 0) {
            Report(-1, "<---FPGA\r\n");
            if (cfg.MAIN < cfg.FPGA) {
                if (!command_ok(FormatText(ERASE_FORMAT, cfg.FPGA), ERASE_TIMEOUT_MS, RK_ERASE_OK)) {
                    return fail();
                }
                Report(-1, FormatText("Erase %d OK\r\n", cfg.FPGA));
            }
            for (int m = 1; m <= 2; ++m) {
                Report(-1, "DL\r\n");
                if (DownloadFpgaImage(m) != 99) {
                    Report(-1, "Download ERROR\r\n");
                    return fail();
                }
                Report(-1, "Download OK\r\n");
                clock.SleepMs(AFTER_DOWNLOAD_PAUSE_MS);
                if (!command_ok(FpgaParameterLine(m, cfg), FLASH_WRITE_TIMEOUT_MS, RK_WRITE_OK)) {
                    return fail();
                }
                Progress.Tick(Step::Fpga, " F-ROM(FPGA) Write OK \r\n");
            }
            ImagesWritten.push_back(WrittenImage::Of(kFpgaSectorFiles, cfg.FPGA,
                                                     Head(package.Images().FpgaImage, cfg.SECT_END_ADR + std::size_t{1})));
        }

        // 8. The boot area with the flash monitor.
        if (present.BootPresent) {
            Report(-1, "<---FMON\r\n");
            Report(-1, "DL\r\n");
            if (DownloadBootImage(0) != 99) {
                Report(-1, "Download ERROR\r\n");
                return fail();
            }
            Report(-1, "Download OK\r\n");
            clock.SleepMs(AFTER_DOWNLOAD_PAUSE_MS);
            if (!command_ok(WRITE_BOOT, FLASH_WRITE_TIMEOUT_MS, RK_WRITE_OK)) {
                return fail();
            }
            Report(-1, " F-ROM(BOOT & F-ROM.MONI) Write OK \r\n");
            ImagesWritten.push_back(WrittenImage::Of(BOOT_IMAGE_FILE, BOOT_AREA,
                                                     Head(package.Images().BootImage, cfg.SECT_END_ADR + std::size_t{1})));
            Progress.Tick(Step::Boot);
        }

        // 9. Start the new program.
        ch.SerialCommand(GO, GO_TIMEOUT_MS, RK_OK, true);

        // 10. A device found in its monitor is left to start alone.
        if (Device.ProbeResult != PROBE_FIRMWARE) {
            if (Serial)
                Serial->Close();
            clock.SleepMs(MONITOR_RUN_SETTLE_MS);
            return true;
        }

        // 11. The new program and its version.
        WaitForDevice(0, 0);
        Progress.Tick(Step::VersionCheck, "Version Check OK\r\n");
        for (int start = 0; start < START_ATTEMPTS; ++start) {
            failed = false;
            if (ch.SerialCommand(START_PROGRAM, START_TIMEOUT_MS, RK_OK) > 0) {
                Report(-1, "Program Start OK\r\n");
                if (!command_ok(VERSION, QUERY_TIMEOUT_MS, RK_OK)) {
                    return fail();
                }
                const int at = FindText(ch.ReplyBuffer, VERSION_MARK);
                if (at == 0) {
                    return fail();
                }
                std::string_view reply(ch.ReplyBuffer);
                reply = reply.substr(static_cast<std::size_t>(at - 1));
                reply = reply.substr(0, std::min(reply.find('\0'), static_cast<std::size_t>(std::max(cfg.NUM_LEN, 0))));
                VersionAfterUpdate.assign(reply);
                // An empty text checks nothing: it never passes.
                if (reply.empty() || reply != NewVersionText()) {
                    Report(-1, "Version Check ERROR\r\n");
                    return fail();
                }
                return true;
            }
            Report(-1, "Program Start ERROR\r\n");
            failed = true;
        }
        // Ten unanswered starts: the restore still runs, the update is reported failed.
        not_back = true;
        return true;
    }();

    // 12. Settings restore.
    if (reach_restore) {
        [&] {
            if (cfg.SAVE != 0)
                UpdateStage = 3;
            if (Device.ProbeResult != PROBE_FIRMWARE)
                return;
            if (!command_ok(SHELL, SHELL_TIMEOUT_MS, RK_SHELL_PROMPT)) {
                failed = true;
                return;
            }
            ch.SerialCommand(NUDGE, SHELL_TIMEOUT_MS, RK_SHELL_PROMPT);
            if (OldLayoutSave == 1 || SettingsReset == 1) {
                Report(-1, "restart reboot\r\n");
                ch.SerialCommand(RESTART, RESTART_TIMEOUT_MS, RK_OK, true);
                WaitForDevice(0, 0);
                if (!command_ok(SHELL, SHELL_TIMEOUT_MS, RK_SHELL_PROMPT)) {
                    failed = true;
                    return;
                }
                ch.SerialCommand(NUDGE, SHELL_TIMEOUT_MS, RK_SHELL_PROMPT);
            }
            if (carry_settings && BackupWrittenThisRun) {
                if (RestoreDeviceSettings(BackupFilePath) != 0) {
                    // The restore ends with the device's restart; what it stored is read back.
                    WaitForDevice(0, 0);
                    if (ConfirmRestoredSettings() == 0)
                        ++settings_failures;
                } else {
                    ++settings_failures;
                    ch.SerialCommand(SHELL_EXIT, SHELL_TIMEOUT_MS, RK_OK);
                }
            } else {
                // Without a backup written by this run there is nothing of this device's to put back.
                if (carry_settings)
                    ++settings_failures;
                ch.SerialCommand(SHELL_EXIT, SHELL_TIMEOUT_MS, RK_OK);
            }
        }();
    }

    // When the new program did not answer: everything was written and checked by the monitor
    // before the restart; nothing after it was.
    const auto explain_not_back = [&] {
        std::string written;
        const auto add = [&written](const std::string& part) { written += (written.empty() ? "" : ", ") + part; };
        if (present.ProgramPresent)
            add(FormatText("main program (sectors 1-%d, flash checksum checked)", sector_count));
        if (present.FpgaImageCount > 0)
            add("FPGA configurations");
        if (present.BootPresent)
            add("boot monitor");
        std::string settings = "not carried";
        if (SettingsRestored)
            settings = "restored and confirmed";
        else if (BackupWrittenThisRun)
            settings = "not restored; they are kept in " + BackupFilePath;
        OutcomeDetail = "The device did not answer after its restart into the new program (" +
                        std::to_string(START_ATTEMPTS) + " tries).\nWritten: " + written +
                        ".\nNot checked: the new firmware's version.\nSettings: " + settings +
                        ".\nNext: power-cycle the device, then run the update again on " + ComPortName +
                        "; a device that does not start is updated from its boot monitor.";
        for (std::size_t start = 0; start < OutcomeDetail.size();) {
            const std::size_t end = std::min(OutcomeDetail.find('\n', start), OutcomeDetail.size());
            Report(-1, OutcomeDetail.substr(start, end - start) + "\r\n");
            start = end + 1;
        }
    };

    // 13. End, on success and from every failure.
    UpdateStage = 4;
    if (Device.ProbeResult == PROBE_FIRMWARE && Serial)
        Serial->Close();

    // The animation stops first so that it cannot overwrite the final text.
    StopStatusAnimation();
    DotPhase = 0;
    if (!failed) {
        Report(-1, "Version Up OK\r\n");
        Progress.Finish();
        SetStatusText(settings_failures != 0 ? kStatusDoneSettingsLost : kStatusDone);
        if (settings_failures != 0)
            OutcomeDetail = SettingsNotRestoredDetail();
        UpdateOutcome = settings_failures != 0 ? Outcome::SettingsNotRestored : Outcome::Done;
    } else {
        if (not_back)
            explain_not_back();
        Report(-1, "Version Up Error\r\n");
        SetStatusText(kStatusFailed);
        UpdateOutcome = not_back ? Outcome::DeviceNotReached : Outcome::Failed;
    }
    ShowFinalNotice();

    host.EnableCloseButton(true);
    host.EnableCloseCommand(true);
}

}  // namespace verup
