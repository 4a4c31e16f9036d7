#pragma once
// The main dialog's controller: the start-up, the start of an update on a worker thread, the
// teardown, the status animation and the texts. It holds no widget; it talks to its window
// through DialogHost. The roads and the settings carrier do the device's work; the front ends
// read what the start-up and the update found through const getters.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/DialogHost.h"
#include "app/HostGate.h"
#include "app/LogLimiter.h"
#include "app/WrittenImage.h"
#include "lan/LanRoad.h"
#include "package/Config.h"
#include "package/Package.h"
#include "platform/Clock.h"
#include "platform/InstanceGuard.h"
#include "platform/SerialPort.h"
#include "platform/TimerService.h"
#include "protocol/DeviceIdentity.h"
#include "protocol/Reporter.h"
#include "protocol/RoadContext.h"
#include "protocol/UpdatePlan.h"
#include "serial/SerialRoad.h"
#include "settings/KeptBackups.h"
#include "settings/SettingsCarrier.h"
#include "settings/SettingsPlan.h"

namespace verup {

// Where the start-up looks; the front ends fill it from the process environment, tests
// point it at temporary folders.
struct StartupEnvironment {
    std::string CurrentDirectory;  // ImageDirectory; verup.dat lives here
    std::string StateDirectory;    // stand-in for the Windows directory: backups and the lock
    const Clock* clock = nullptr;  // null: a clock of TimeScale, owned by the dialog
    double TimeScale = 1.0;        // device time divided by this (see Clock)
    std::uint16_t TelnetPort = 23;  // the device's telnet port (another for the simulator)
    // The window runs one copy at a time; the command line runs once per device, so that many
    // devices may be updated side by side. Either way one device is never updated twice at once.
    bool SingleInstance = true;
    // The start-up of `verup settings restore`: verup.dat alone suffices, no settings decision.
    bool RestoreOnly = false;
    // Receives every reported text whatever DEBUG says (the console's --log file); may be empty.
    std::function<void(const std::string&)> LogSink;
    // The port the serial road opens; empty: the system's serial ports.
    std::function<std::unique_ptr<SerialPort>()> MakeSerialPort;
    static StartupEnvironment FromProcess();
};

class CUpdateDlg {
public:
    CUpdateDlg(DialogHost& host, StartupEnvironment environment);
    ~CUpdateDlg();
    CUpdateDlg(const CUpdateDlg&) = delete;
    CUpdateDlg& operator=(const CUpdateDlg&) = delete;

    // ---- Start-up, run and teardown (app/CUpdateDlg.cpp) ----
    // Steps 1 to 15 of the start-up; false after a failure (the close is then posted).
    bool OnInitDialog();
    // The start button: one worker thread, serial or LAN by LinkKind.
    void OnStart();
    bool WorkerRunning() const { return worker_running_.load(); }
    void JoinWorker();
    // Teardown for every close. Refused (false) while the worker runs.
    bool OnClose();
    // The about box's two texts.
    std::string AboutText1() const { return cfg_.NAME1; }
    std::string AboutText2() const { return cfg_.NAME2; }

    // Steps 6 to 8 alone, for `verup config`: paths, configuration, presence (images built
    // only with PackageImages::Build). True when the presence rules accept the package.
    bool LoadPackage(PackageImages images = PackageImages::Skip);
    // The device as the start-up identified it, its bound version text included.
    DeviceIdentity Identity() const;
    // What the update will do on the road the start-up took, in order (after the start-up).
    UpdatePlan Plan() const;

    // ---- Progress and status (app/Progress.cpp) ----
    void Report(int position, const std::string& text);
    void Report(int position) { Report(position, std::string()); }
    // Writes the count of repeats still held back by the log's folding (the teardown does).
    void FlushLog();
    void OnTimer(int id);
    void PostRefresh();
    void StartStatusAnimation();
    void StopStatusAnimation();
    void SetNoticeText(const std::string& text);
    const std::string& DebugLogText() const { return DebugLog_; }
    // The link the device is reached on, for texts and file names: the serial port's name.
    std::string PortName() const;

    // ---- Kept settings files (app/KeptBackupFiles.cpp, app/KeptBackupRestore.cpp) ----
    // Puts a kept file back on the device reached by the start-up: converted first when the
    // device's firmware numbers its settings the new way, restored, the device waited for, the
    // restore confirmed. The kept file is deleted only when confirmed. `any_device`: also a
    // file of another MAC address. `reason` says why on NotRestored and Refused.
    enum class KeptRestore { Confirmed, NotRestored, Refused };
    KeptRestore RestoreKeptBackup(const std::string& file, bool any_device, std::string& reason);
    // The window's offer: RestoreKeptBackup on the worker thread, its result in the status line.
    void OnRestoreKept(const std::string& file);

    // ---- What the start-up and the update found, for the front ends ----
    // Read them once the start-up (or the worker) has ended; the worker writes them.
    const StartupEnvironment& Environment() const { return env_; }
    // The package as the start-up read it; nothing reads the package's files afterwards.
    const Package& UpdatePackage() const { return UpdatePackage_; }
    // The package's values; the settings decision may clear SAVE.
    const Config& cfg() const { return cfg_; }
    const std::string& TitleText() const { return TitleText_; }
    const std::string& TitleVersionText() const { return TitleVersionText_; }
    // The link the user chose: 0 serial (COM number, or a device path), else the LAN address.
    int LinkKind() const { return LinkKind_; }
    int ComPortNumber() const { return ComPortNumber_; }
    const std::string& DeviceAddress() const { return DeviceAddress_; }
    const std::string& SerialPortPath() const { return SerialPortPath_; }
    // The start-up's settings decision (empty before it, and when none was needed).
    const SettingsPlan& SettingsDecision() const { return Settings_; }
    // Files earlier runs kept for the device the start-up reached, newest first.
    const std::vector<KeptBackup>& KeptBackups() const { return KeptBackups_; }
    // What the start-up found in the state folder besides: temporary files of interrupted writes.
    const std::vector<std::string>& StateFolderNotes() const { return StateFolderNotes_; }
    int LogLineCount() const { return LogLineCount_; }
    // 1 once the start-up has finished with an open link.
    int StartupDone() const { return StartupDone_; }
    bool WaitBoxUp() const { return WaitBoxUp_; }
    // Why the update refused the package's images before touching the device, one line per
    // file (empty when they were usable or not judged).
    const std::vector<std::string>& ImagesRefusal() const { return ImagesRefusal_; }
    // The flash areas this update wrote with the package's images, in order.
    const std::vector<WrittenImage>& ImagesWritten() const { return ImagesWritten_; }
    // The version text the device reported after the update's restart (CP932), empty when
    // it was not read.
    const std::string& VersionAfterUpdate() const { return VersionAfterUpdate_; }
    // The roads the start-up made (null when it did not take that road).
    const SerialRoad* Serial() const { return Serial_.get(); }
    const LanRoad* Lan() const { return Lan_.get(); }
    const SettingsCarrier& Carrier() const { return Carrier_; }

    // The final outcome of the update, for front ends (exit codes).
    enum class Outcome { NotRun, Done, Failed, SettingsNotRestored, DeviceNotReached };
    Outcome UpdateOutcome() const { return UpdateOutcome_.load(); }
    // When the update did not end as done: what happened, what the device holds, what to do
    // next (plain English, several lines). Written before UpdateOutcome.
    const std::string& OutcomeDetail() const { return OutcomeDetail_; }
    KeptRestore KeptRestoreResult() const { return KeptRestoreResult_.load(); }

    // Read access to the bound texts (locked: the worker and the timer write them).
    std::string CurrentVersionText() const;
    std::string NewVersionText() const;
    std::string StatusText() const;
    std::string NoticeText() const;

private:
    // The update sequences' runs, split along their steps (app/SerialUpdate.cpp, LanUpdate.cpp).
    friend class SerialUpdateRun;
    friend class LanUpdateRun;

    // Failing a start-up step: message box (owned by the wait box when it is up), wait box
    // destroyed, close posted.
    bool FailStartup(const std::string& message, MessageIcon icon = MessageIcon::Stop);
    // The opening and the end of an update on either road: this run's state cleared, the
    // buttons locked and the status animated; then the animation stopped, the outcome's status
    // text and notice shown, and the buttons given back.
    void BeginUpdate();
    void EndUpdate(Outcome outcome);
    // Takes the lock of one device (a serial port, by PortIdentity, or a LAN address) and keeps
    // it until the teardown; `holder` names the run that has it when HeldElsewhere.
    InstanceGuard::Result LockDevice(bool serial, const std::string& name, std::string& holder);
    // The start-up's refusal when the device's lock was not taken (false, always).
    bool RefuseDeviceLock(InstanceGuard::Result lock, const std::string& holder);
    // Step 12 of the start-up, by road (app/SerialStartup.cpp, app/LanStartup.cpp).
    bool OpenSerialAndIdentify();
    bool OpenLanAndIdentify();
    // The settings decision of step 13 (DecideSettingsPlan) shown and applied: 1 to go on,
    // 0 when the start-up has failed.
    int DecideSettingsCarry();

    // ---- Progress and status ----
    void WriteLogLocked(const std::string& text);
    // The notice line at the end of an update: empty, or where the settings backup (or the
    // settings area's file) is kept when this run saved the settings and did not put them back.
    void ShowFinalNotice();
    BoundTexts SnapshotTexts() const;
    void SetStatusText(const std::string& text);
    void SetCurrentVersionText(const std::string& text);
    void SetNewVersionText(const std::string& text);

    // ---- The roads and the settings carrier ----
    // The road the start-up chose (null before it, and after the teardown).
    Road* ActiveRoad();
    // What the roads and the carrier are given of this update.
    RoadContext MakeRoadContext();
    // The road of each kind, made by the start-up.
    SerialRoad& MakeSerialRoad();
    LanRoad& MakeLanRoad();
    // The update sequences (app/SerialUpdate.cpp, app/LanUpdate.cpp).
    void SerialUpdate();
    void LanUpdate();

    // ---- Kept settings files ----
    // The device's MAC address from its version answers (lower case), else empty.
    std::string DeviceMac() const;
    // The link the device was reached on: "COM1 /dev/ttyUSB0" or "LAN 192.168.1.10".
    std::string LinkText() const;
    // The device's part of a kept file's name: its MAC address, else the port path or address.
    std::string DeviceFileTag() const;
    // After the device is identified: names this run's backup file and finds the files that
    // earlier runs kept for this device (KeptBackups).
    void LookForKeptBackups();
    // The note beside a file this run wrote: what it holds and whose it is.
    BackupNote NewBackupNote(const char* kind) const;
    // Writes the note of this run's settings backup `path` (layout SettingsLayoutName).
    void NoteBackupFile(const std::string& path);

    HostGate gate_;  // the one way to the host: one call at a time, whichever thread makes it
    DialogHost& host_;
    StartupEnvironment env_;
    const Clock own_clock_;  // used when the environment brings no clock
    const Clock& clock_;
    TimerService timers_;

    Package UpdatePackage_;
    Config cfg_;
    std::string TitleText_;  // CP932
    std::string TitleVersionText_;

    // Link choice
    int LinkKind_ = 0;
    int ComPortNumber_ = 1;
    std::string DeviceAddress_;
    std::string SerialPortPath_;  // a device path given instead of a COM number (never scanned)

    // What the start-up learnt about the device (its version text is the bound one).
    DeviceIdentity Device_;
    SettingsPlan Settings_;
    std::vector<KeptBackup> KeptBackups_;
    std::vector<std::string> StateFolderNotes_;

    // Progress and status
    std::string DebugLog_;
    int LogLineCount_ = 0;
    // The progress bar: the update sequences declare their steps, the steps tick. Worker only.
    Reporter Progress_;
    std::atomic<int> UpdateStage_{0};
    std::string StageText_;
    std::atomic<int> DotPhase_{0};
    std::vector<std::string> ImagesRefusal_;
    std::vector<WrittenImage> ImagesWritten_;
    std::string VersionAfterUpdate_;

    // The roads (one update owns them; nothing is process-wide) and the settings carrier.
    std::unique_ptr<SerialRoad> Serial_;
    std::unique_ptr<LanRoad> Lan_;
    SettingsCarrier Carrier_;

    // Run state
    int StartupDone_ = 0;
    std::unique_ptr<InstanceGuard> InstanceMutex_;
    std::unique_ptr<InstanceGuard> DeviceLock_;
    bool WaitBoxUp_ = false;
    std::atomic<Outcome> UpdateOutcome_{Outcome::NotRun};
    std::string OutcomeDetail_;
    std::atomic<KeptRestore> KeptRestoreResult_{KeptRestore::Refused};

    mutable std::mutex texts_mutex_;
    // Report is called by the start-up thread, the worker and the telnet reader thread.
    std::mutex report_mutex_;
    LogLimiter log_limit_;  // folds repeats and bounds DebugLog and the log sink alike
    std::string CurrentVersionText_;
    std::string NewVersionText_;
    std::string StatusText_;
    std::string NoticeText_;

    std::thread worker_;
    std::atomic<bool> worker_running_{false};
    std::atomic<bool> worker_started_{false};
    bool closed_ = false;
    bool instance_refused_ = false;
};

}  // namespace verup
