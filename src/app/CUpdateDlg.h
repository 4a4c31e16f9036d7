#pragma once
// The main dialog's controller: the whole update state, the start-up, the two update
// sequences and the teardown. It holds no widget; it talks to its window through DialogHost.
// Operations are defined in the files of their area (src/serial, src/lan, src/settings, ...).
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/DialogHost.h"
#include "app/HostGate.h"
#include "app/LogLimiter.h"
#include "app/WrittenImage.h"
#include "package/Config.h"
#include "package/Package.h"
#include "platform/Clock.h"
#include "platform/InstanceGuard.h"
#include "platform/TimerService.h"
#include "protocol/CommandChannel.h"
#include "protocol/DeviceIdentity.h"
#include "protocol/Reporter.h"
#include "lan/LanRoad.h"
#include "protocol/RoadContext.h"
#include "protocol/UpdatePlan.h"
#include "serial/SerialRoad.h"
#include "settings/KeptBackups.h"
#include "settings/SettingsCarrier.h"

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
    std::string AboutText1() const { return cfg.NAME1; }
    std::string AboutText2() const { return cfg.NAME2; }

    // Steps 6 to 8 alone, for `verup config`: paths, configuration, presence (images built
    // only with PackageImages::Build). True when the presence rules accept the package.
    bool LoadPackage(PackageImages images = PackageImages::Skip);
    // The settings decision of step 13 (DecideSettingsPlan) shown and applied: 1 to go on,
    // 0 when the start-up has failed.
    int DecideSettingsCarry();
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
    void SetStatusText(const std::string& text);
    void SetNoticeText(const std::string& text);
    // The notice line at the end of an update: empty, or where the settings backup (or the
    // settings area's file) is kept when this run saved the settings and did not put them back.
    void ShowFinalNotice();
    void SetCurrentVersionText(const std::string& text);
    BoundTexts SnapshotTexts() const;
    const std::string& DebugLogText() const { return DebugLog; }

    // ---- The roads and the settings carrier ----
    // The road the start-up chose (null before it, and after the teardown).
    Road* ActiveRoad();
    // What the roads and the carrier are given of this update.
    RoadContext MakeRoadContext();
    // The serial road, made by the start-up and by tests.
    SerialRoad& MakeSerialRoad();
    // The LAN road, made by the start-up and by tests.
    LanRoad& MakeLanRoad();
    // The link the device is reached on, for texts and file names: the serial port's name.
    std::string PortName() const;
    // The update sequences (app/SerialUpdate.cpp, app/LanUpdate.cpp).
    void SerialUpdate();
    void LanUpdate();

    // ---- Kept settings files (app/KeptBackupFiles.cpp, settings/KeptBackupRestore.cpp) ----
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
    // Puts a kept file back on the device reached by the start-up: converted first when the
    // device's firmware numbers its settings the new way, restored, the device waited for, the
    // restore confirmed. The kept file is deleted only when confirmed. `any_device`: also a
    // file of another MAC address. `reason` says why on NotRestored and Refused.
    enum class KeptRestore { Confirmed, NotRestored, Refused };
    KeptRestore RestoreKeptBackup(const std::string& file, bool any_device, std::string& reason);
    // The window's offer: RestoreKeptBackup on the worker thread, its result in the status line.
    void OnRestoreKept(const std::string& file);
    std::atomic<KeptRestore> KeptRestoreResult{KeptRestore::Refused};

    // ================= The data model =================
private:
    HostGate gate_;  // the one way to the host: one call at a time, whichever thread makes it

public:
    DialogHost& host;
    StartupEnvironment env;

private:
    const Clock own_clock_;  // used when the environment brings no clock

public:
    const Clock& clock;
    TimerService timers;

    // The package as the start-up read it; nothing reads the package's files afterwards.
    Package UpdatePackage;
    Config cfg;  // the package's values; the settings decision may clear SAVE

    // Titles and texts (CP932). The four bound texts are guarded by texts_mutex_.
    std::string TitleText;
    std::string TitleVersionText;

    // Link choice
    int LinkKind = 0;
    int ComPortNumber = 1;
    std::string DeviceAddress;
    std::string SerialPortPath;  // a device path given instead of a COM number (never scanned)

    // What the start-up learnt about the device (its version text is the bound one).
    DeviceIdentity Device;

    // Settings decision
    double DeviceVersion = 0.0;
    int DeviceRevision = 0;
    int SettingsReset = 0;
    int OldLayoutSave = 0;
    int AddedBlockCount = 0;
    // Files earlier runs kept for the device the start-up reached, newest first.
    std::vector<KeptBackup> KeptBackups;
    // What the start-up found in the state folder besides: temporary files of interrupted writes.
    std::vector<std::string> StateFolderNotes;

    // Progress and status
    std::string DebugLog;
    // Receives every reported text whatever DEBUG says (the console's --log file); may be empty.
    std::function<void(const std::string&)> LogSink;
    int LogLineCount = 0;
    // The progress bar: the update sequences declare their steps, the steps tick. Worker only.
    Reporter Progress;
    std::atomic<int> UpdateStage{0};
    std::string StageText;
    std::atomic<int> DotPhase{0};
    // Why the update refused the package's images before touching the device, one line per
    // file (empty when they were usable or not judged). Written by the worker.
    std::vector<std::string> ImagesRefusal;
    // The flash areas this update wrote with the package's images, in order. Written by the worker.
    std::vector<WrittenImage> ImagesWritten;
    // The version text the device reported after the update's restart (CP932), empty when
    // it was not read.
    std::string VersionAfterUpdate;

    // The roads (one update owns them; nothing is process-wide) and the settings carrier.
    std::unique_ptr<SerialRoad> Serial;
    std::unique_ptr<LanRoad> Lan;
    SettingsCarrier Carrier;

    // Run state
    int StartupDone = 0;
    std::unique_ptr<InstanceGuard> InstanceMutex;
    std::unique_ptr<InstanceGuard> DeviceLock;
    bool WaitBoxUp = false;

    // The final outcome of the update, for front ends (exit codes).
    enum class Outcome { NotRun, Done, Failed, SettingsNotRestored, DeviceNotReached };
    std::atomic<Outcome> UpdateOutcome{Outcome::NotRun};
    // When the update did not end as done: what happened, what the device holds, what to do
    // next (plain English, several lines, for the front ends). Written before UpdateOutcome.
    std::string OutcomeDetail;

private:
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
    // Step 12 of the start-up, by road (src/serial/SerialStartup.cpp, src/lan/LanStartup.cpp).
    bool OpenSerialAndIdentify();
    bool OpenLanAndIdentify();

    mutable std::mutex texts_mutex_;
    // Report is called by the start-up thread, the worker and the telnet reader thread.
    std::mutex report_mutex_;
    LogLimiter log_limit_;  // folds repeats and bounds DebugLog and LogSink alike
    void WriteLogLocked(const std::string& text);
    std::string CurrentVersionText_;
    std::string NewVersionText_;
    std::string StatusText_;
    std::string NoticeText_;

    std::thread worker_;
    std::atomic<bool> worker_running_{false};
    std::atomic<bool> worker_started_{false};
    bool closed_ = false;
    bool instance_refused_ = false;

public:
    // Read access to the bound texts for tests and front ends.
    std::string CurrentVersionText() const;
    std::string NewVersionText() const;
    std::string StatusText() const;
    std::string NoticeText() const;
    void SetNewVersionText(const std::string& text);
};

}  // namespace verup
