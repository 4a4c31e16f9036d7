// Putting a kept settings file back on the device the start-up reached: `verup settings
// restore` and the window's offer. The kept file itself is never changed: a copy of it is this
// run's backup (converted in place when the device's firmware needs the new layout).
#include <algorithm>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "app/CUpdateDlg.h"
#include "app/DialogTexts.h"
#include "lan/TelnetWords.h"
#include "package/ConfigReader.h"
#include "package/VersionNumber.h"
#include "platform/Cp932.h"
#include "platform/Paths.h"
#include "protocol/FlashAreas.h"
#include "platform/ProfileFile.h"
#include "protocol/ReplyKind.h"
#include "protocol/TextFormat.h"
#include "settings/BackupFile.h"
#include "settings/KeptBackups.h"
#include "settings/SettingsTable.h"

namespace verup {
namespace {

using telnet::kConnectEcho32;
using telnet::kRestoreRestartHeadStartMs;
constexpr int kAreaWriteTimeoutMs = telnet::kWriteTimeoutMs;
constexpr int64_t kMsPerSecond = 1000;

int ItemTotal(const SettingsLayoutTable& layout)
{
    int items = 0;
    for (int b = 1; b <= layout.BlockCount; ++b)
        items += layout.Items(b);
    return items;
}

// Item lines after the title line of a backup file.
int ItemLines(const std::string& content)
{
    int lines = 0;
    for (std::size_t p = content.find('\r'); p != std::string::npos; p = content.find('\r', p + 2))
        ++lines;
    return lines > 0 ? lines - 1 : 0;
}

// What a kept-file restore changes in the carrier, put back afterwards so that an update of the
// same run still follows the start-up's settings decision.
struct SettingsState {
    explicit SettingsState(SettingsCarrier& carrier)
        : carrier_(carrier),
          path_(carrier.BackupFilePath),
          layout_(carrier.SettingsLayout),
          layout_name_(carrier.SettingsLayoutName),
          conversion_(carrier.ConversionLayout),
          convert_(carrier.ConvertOnRestore)
    {
    }
    ~SettingsState()
    {
        carrier_.BackupFilePath = path_;
        carrier_.SettingsLayout = layout_;
        carrier_.SettingsLayoutName = layout_name_;
        carrier_.ConversionLayout = conversion_;
        carrier_.ConvertOnRestore = convert_;
        carrier_.BackupWrittenThisRun = false;
        carrier_.SettingsRestored = false;
    }
    SettingsCarrier& carrier_;
    std::string path_;
    SettingsLayoutTable layout_;
    std::string layout_name_;
    SettingsLayoutTable conversion_;
    int convert_;
};

}  // namespace

CUpdateDlg::KeptRestore CUpdateDlg::RestoreKeptBackup(const std::string& file, bool any_device, std::string& reason)
{
    const auto refuse = [&](std::string why) {
        reason = std::move(why);
        Report(-1, "kept settings not restored: " + reason + "\r\n");
        return KeptRestore::Refused;
    };
    Road* road = ActiveRoad();
    if (StartupDone_ != 1 || road == nullptr)
        return refuse("the device was not reached");
    if (LinkKind_ == 0 && Device_.ProbeResult != PROBE_FIRMWARE)
        return refuse("the device is in its boot monitor: write the firmware first (verup --com N), then put the "
                      "settings back");

    BackupNote note;
    const bool has_note = ReadBackupNote(file, note);
    const bool area = has_note ? note.Kind == "area31" : file.size() >= 4 && file.ends_with(kSettingsAreaExtension);
    if (has_note && !any_device && !note.Mac.empty() && !DeviceMac().empty() && note.Mac != DeviceMac())
        return refuse("the file holds the settings of the device " + note.Mac + ", not of this one (" + DeviceMac() +
                      "); add --any-device to write them all the same");

    std::string content;
    std::string error;
    if (!ReadBackupFile(file, content, error))
        return refuse(error);

    if (area) {
        if (LinkKind_ == 0)
            return refuse("a settings area file is written back over the LAN: use --lan ADDR");
        if (content.size() != kSettingsAreaBytes)
            return refuse(file + " holds " + std::to_string(content.size()) + " bytes, not the " +
                          std::to_string(kSettingsAreaBytes) + " of the settings area");
        // Room for the FCS the download appends in CRC mode.
        std::vector<uint8_t> buffer(kSettingsAreaBytes + telnet::kFcsBytes, 0);
        std::copy(content.begin(), content.end(), buffer.begin());
        Report(-1, "settings area restore from " + file + "\r\n");
        if (Lan_->DownloadArea(buffer.data(), kSettingsAreaBytes, kSettingsArea) != 1 ||
            Lan_->Channel().LanCommand(FormatText(telnet::kWriteFormat, kSettingsArea), kAreaWriteTimeoutMs, TRK_WRITE_OK) <= 0) {
            reason = "the device did not take the settings area";
            return KeptRestore::NotRestored;
        }
        // Read back: the area on the device must be what the file holds.
        Carrier_.SettingsAreaWritten.assign(buffer.begin(), buffer.begin() + kSettingsAreaBytes);
        const bool confirmed = Carrier_.ConfirmRestoredSettings(*road) == 1;
        Carrier_.SettingsAreaWritten.clear();
        Carrier_.SettingsRestored = false;
        if (!confirmed) {
            reason = Carrier_.SettingsProblem + "; " + file + " is kept";
            return KeptRestore::NotRestored;
        }
        RemoveKeptBackup(file);
        return KeptRestore::Confirmed;
    }

    // The layout the file follows, and the one the device's firmware needs.
    std::string layout = has_note ? note.Layout : std::string();
    if (layout.empty()) {
        const int lines = ItemLines(content);
        for (const char* section : {"N_SAVE", "O_SAVE", "C_SAVE"})
            if (lines == ItemTotal(*cfg_.LayoutSection(section))) {
                layout = section;
                break;
            }
        if (layout.empty())
            return refuse("cannot tell which layout of verup.dat the " + std::to_string(lines) + " items of " + file +
                          " follow");
    }
    if (layout != "N_SAVE" && layout != "O_SAVE" && layout != "C_SAVE")
        return refuse("unknown settings layout \"" + layout + "\" in " + NotePathOf(file));

    const double current = ReadVersionNumber(CurrentVersionText(), cfg_.NUM_LEN);
    const bool device_new = current >= kNewLayoutVersion;
    if (layout != "O_SAVE" && !device_new)
        return refuse("the file holds settings of firmware 1.1 or later, and the device runs an older one");
    if (device_new) {
        const int revision = ReadRevision(Device_.FirmwareVersionText, cfg_.NUM_LEN);
        if (ReadVersionNumber(Device_.FirmwareVersionText, cfg_.NUM_LEN) == kNewLayoutVersion && RevisionWithoutCarry(revision))
            return refuse("the device's firmware cannot take settings back");
    }

    SettingsState keep(Carrier_);
    Carrier_.SettingsLayoutName = layout;
    Carrier_.SettingsLayout = *cfg_.LayoutSection(layout);
    Carrier_.ConvertOnRestore = layout == "O_SAVE" && device_new ? 1 : 0;
    if (Carrier_.ConvertOnRestore)
        Carrier_.ConversionLayout = cfg_.C_DATA;

    // This run's copy, which the conversion may rewrite; the kept file stays as it is.
    const std::string copy = FreeKeptFilePath(env_.StateDirectory, kSettingsBackupPrefix, DeviceFileTag(),
                                              std::time(nullptr), kSettingsBackupExtension);
    if (!WriteNewBackupFile(copy, content, error))
        return refuse(error);
    Carrier_.BackupFilePath = copy;
    Carrier_.BackupWrittenThisRun = true;
    NoteBackupFile(copy);
    Report(-1, "kept settings " + file + " restored through " + copy + "\r\n");

    bool restored = false;
    std::string shell_problem;
    if (LinkKind_ == 0) {
        if (road->EnterShell(shell_problem)) {
            // The restore ends with the device's restart; it must answer again.
            restored = Carrier_.RestoreDeviceSettings(*road, copy) == 1 &&
                       Serial_->WaitForDevice(0, 0) == DeviceWait::Answered;
        } else {
            Carrier_.SettingsProblem = shell_problem + " to put the settings back";
        }
    } else {
        restored = Carrier_.RestoreDeviceSettings(*road, copy) == 1;
        if (restored) {
            const int64_t wait_ms = static_cast<int64_t>(cfg_.LANBOOT) * kMsPerSecond - kRestoreRestartHeadStartMs;
            clock_.SleepMs(wait_ms > 0 ? wait_ms : 0);
            Lan_->Link().Close();
            restored = Lan_->ConnectWithRetries(DeviceAddress_, kConnectEcho32) == LanConnect::LoggedIn;
        }
    }
    // What the device lists once it is up again must be what was written.
    restored = restored && Carrier_.ConfirmRestoredSettings(*road) == 1;

    RemoveKeptBackup(copy);
    if (!restored) {
        const std::string& problem = Carrier_.SettingsProblem;
        reason = (problem.empty() ? std::string("the device did not come back after its restart") : problem) +
                 "; " + file + " is kept";
        return KeptRestore::NotRestored;
    }
    RemoveKeptBackup(file);
    return KeptRestore::Confirmed;
}

void CUpdateDlg::OnRestoreKept(const std::string& file)
{
    if (StartupDone_ != 1 || worker_running_.exchange(true))
        return;
    JoinWorker();
    host_.EnableStartButton(false);
    host_.EnableCloseButton(false);
    host_.EnableCloseCommand(false);
    worker_ = std::thread([this, file] {
        UpdateStage_ = 3;
        StartStatusAnimation();
        std::string reason;
        const KeptRestore result = RestoreKeptBackup(file, false, reason);
        StopStatusAnimation();
        UpdateStage_ = 0;
        KeptRestoreResult_ = result;
        SetStatusText(result == KeptRestore::Confirmed ? kStatusKeptRestored : kStatusKeptNotRestored);
        // A file that did not go back stays, and the notice line says where.
        SetNoticeText(result == KeptRestore::Confirmed ? std::string(kNoticeDoNotDisconnect)
                                                       : kNoticeKeptBackup + Utf8ToCp932(file));
        if (result != KeptRestore::Confirmed)
            Report(-1, "kept settings not restored: " + reason + "\r\n");
        PostRefresh();
        host_.EnableCloseButton(true);
        host_.EnableCloseCommand(true);
        // The update may still follow, unless it has run already.
        host_.EnableStartButton(!worker_started_.load());
        worker_running_ = false;
    });
}

}  // namespace verup
