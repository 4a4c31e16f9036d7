// Start-up, the start command and the teardown of the main dialog.
#include "app/CUpdateDlg.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "app/DialogTexts.h"
#include "package/ConfigReader.h"
#include "package/ImagePresence.h"
#include "package/PackageIdentity.h"
#include "platform/Cp932.h"
#include "platform/InstanceGuard.h"
#include "platform/Paths.h"
#include "platform/ProfileFile.h"
#include "platform/SerialPortNames.h"
#include "settings/SettingsPlan.h"
#include "settings/SettingsTable.h"

namespace verup {
namespace {

constexpr char kLogStartup[] = "Version Up Proguram\r\n";

constexpr int kDebugMode = 99;

}  // namespace

StartupEnvironment StartupEnvironment::FromProcess()
{
    StartupEnvironment env;
    env.CurrentDirectory = verup::CurrentDirectory();
    env.StateDirectory = DefaultStateDirectory();
    return env;
}

CUpdateDlg::CUpdateDlg(DialogHost& host_, StartupEnvironment environment)
    : gate_(host_),
      host(gate_),
      env(std::move(environment)),
      own_clock_(env.TimeScale),
      clock(env.clock != nullptr ? *env.clock : own_clock_),
      timers(clock),
      Progress([this](int total) { host.SetProgressRange(0, total); },
               [this](int position, const std::string& text) { Report(position, text); },
               [this](int position) { host.SetProgressPos(position); }),
      Carrier(MakeRoadContext())
{
    Carrier.BackupWritten = [this](const std::string& path) { NoteBackupFile(path); };
    LogLineCount = 0;
    UpdateStage = 0;
    StartupDone = 0;
    cfg.NAME1.clear();
    cfg.NAME2.clear();
}

CUpdateDlg::~CUpdateDlg()
{
    JoinWorker();
    timers.Kill(TIMER_STATUS);
    timers.Kill(TIMER_WATCHDOG);
    // The links' threads report into this object: stop them before any member goes.
    Lan.reset();
    Serial.reset();
}

RoadContext CUpdateDlg::MakeRoadContext()
{
    return RoadContext{clock, timers, UpdatePackage, cfg, Progress, Device,
                       [this](const std::string& text) { Report(-1, text); }};
}

SerialRoad& CUpdateDlg::MakeSerialRoad()
{
    if (!Serial)
        Serial = std::make_unique<SerialRoad>(MakeRoadContext());
    return *Serial;
}

LanRoad& CUpdateDlg::MakeLanRoad()
{
    if (!Lan) {
        Lan = std::make_unique<LanRoad>(MakeRoadContext(), env.TelnetPort);
        Lan->DeviceAddress = DeviceAddress;
    }
    return *Lan;
}

Road* CUpdateDlg::ActiveRoad()
{
    if (LinkKind != 0)
        return Lan.get();
    return Serial.get();
}

std::string CUpdateDlg::PortName() const
{
    return Serial ? Serial->ComPortName : std::string();
}

bool CUpdateDlg::FailStartup(const std::string& message, MessageIcon icon)
{
    host.ShowMessage(message, TitleText, icon, WaitBoxUp ? MessageOwner::WaitBox : MessageOwner::MainWindow);
    if (WaitBoxUp) {
        host.DestroyWaitBox();
        WaitBoxUp = false;
    }
    host.PostClose();
    return false;
}

bool CUpdateDlg::LoadPackage(PackageImages images)
{
    UpdatePackage = Package::Read(env.CurrentDirectory, images);
    cfg = UpdatePackage.Configuration();
    // Named once the device is known (LookForKeptBackups).
    Carrier.BackupFilePath.clear();

    TitleText = MakeTitleText(cfg);
    TitleVersionText = MakeTitleVersionText(TitleText);
    SetNewVersionText(CutText(cfg.NUM, cfg.NUM_LEN));

    return UpdatePackage.Presence().Accepted;
}

bool CUpdateDlg::OnInitDialog()
{
    // Steps 2 to 4: the window starts at half height with no title.
    host.SetFullHeight(false);
    host.SetWindowTitle(std::string());

    // Step 5: a second instance closes without a word and touches nothing. A lock that cannot
    // be taken at all refuses the start-up too: unguarded, two copies could spoil each other's
    // backups.
    std::string lock_problem;
    const InstanceGuard::Result lock = env.SingleInstance
                                           ? InstanceGuard::Acquire(env.StateDirectory, InstanceMutex, &lock_problem)
                                           : InstanceGuard::Result::Acquired;
    if (lock != InstanceGuard::Result::Acquired) {
        instance_refused_ = true;
        if (lock == InstanceGuard::Result::HeldElsewhere) {
            host.PostClose();
            return false;
        }
        Report(-1, "instance lock not taken: " + lock_problem + "\r\n");
        return FailStartup(kMsgLockFailed + Utf8ToCp932(lock_problem));
    }
    // Only lock holders write into the state folder: what a killed write left is judged now.
    StateFolderNotes = CleanLeftTemporaryFiles(env.StateDirectory);
    for (const std::string& note : StateFolderNotes)
        Report(-1, note + "\r\n");

    // Steps 6 to 8. Putting kept settings back needs verup.dat alone.
    if (!LoadPackage(env.RestoreOnly ? PackageImages::Skip : PackageImages::Build) &&
        !(env.RestoreOnly && UpdatePackage.Presence().ConfigFileSize > 0))
        return FailStartup(kMsgFilesMissing);
    // A package that cannot tell its device from another, or cannot check what it wrote, is
    // refused before anything talks to a device.
    if (const auto refusals = CheckPackageIdentity(cfg); !refusals.empty())
        return FailStartup(refusals.front().Message);

    // Step 9: the connection dialog chosen by SEL.
    ConnectionRequest request;
    request.SEL = cfg.SEL;
    request.AUTO = cfg.AUTO;
    request.TitleText = TitleText;
    request.ConfigFilePath = UpdatePackage.ConfigFilePath();
    const std::optional<ConnectionResult> choice = host.RunConnectionDialog(request);
    if (!choice) {
        host.PostClose();
        return false;
    }
    if (cfg.SEL == 0) {
        LinkKind = 1;
        DeviceAddress = choice->DeviceAddress;
    } else if (cfg.SEL == 1) {
        LinkKind = 0;
        ComPortNumber = choice->ComPortNumber;
    } else {
        LinkKind = choice->LinkKind != 0 ? 1 : 0;
        ComPortNumber = choice->ComPortNumber;
        DeviceAddress = choice->DeviceAddress;
    }
    if (LinkKind == 0)
        SerialPortPath = choice->PortPath;

    // One device is updated by one run at a time; the serial road locks each port it opens.
    if (LinkKind != 0) {
        std::string holder;
        const InstanceGuard::Result device = LockDevice(false, DeviceAddress, holder);
        if (device != InstanceGuard::Result::Acquired)
            return RefuseDeviceLock(device, holder);
    }

    // Step 10.
    host.ShowWaitBox();
    WaitBoxUp = true;

    // Step 11.
    Report(-1, kLogStartup);
    Device.ProbeResult = -9;

    // Step 12: the roads fail the start-up themselves.
    const bool identified = LinkKind == 0 ? OpenSerialAndIdentify() : OpenLanAndIdentify();
    if (!identified)
        return false;
    LookForKeptBackups();

    // Step 13.
    AddedBlockCount = 0;
    Carrier.ConvertOnRestore = 0;
    SettingsReset = 0;
    OldLayoutSave = 0;
    if (!env.RestoreOnly && Device.ProbeResult != PROBE_FLASH_MONITOR && !DecideSettingsCarry())
        return false;

    // Step 14.
    if (cfg.AUTO == 1 && !env.RestoreOnly)
        host.PostStart();
    host.DestroyWaitBox();
    WaitBoxUp = false;
    StartupDone = 1;

    // Step 15.
    host.SetFullHeight(cfg.DEBUG == kDebugMode);
    host.SetWindowTitle(TitleText);
    SetStatusText(kStatusReady);
    SetNoticeText(kNoticeDoNotDisconnect);
    PostRefresh();
    return true;
}

InstanceGuard::Result CUpdateDlg::LockDevice(bool serial, const std::string& name, std::string& holder)
{
    DeviceLock.reset();
    const std::string lock = (serial ? "serial-" : "lan-") + FileNameSafe(serial ? PortIdentity(name) : name);
    return InstanceGuard::Acquire(env.StateDirectory, DeviceLock, &holder, lock);
}

bool CUpdateDlg::RefuseDeviceLock(InstanceGuard::Result lock, const std::string& holder)
{
    if (lock == InstanceGuard::Result::HeldElsewhere) {
        Report(-1, "device in use by " + holder + "\r\n");
        return FailStartup(std::string(kMsgDeviceInUse1) + holder + kMsgDeviceInUse2);
    }
    Report(-1, "device lock not taken: " + holder + "\r\n");
    return FailStartup(kMsgLockFailed + Utf8ToCp932(holder));
}

DeviceIdentity CUpdateDlg::Identity() const
{
    DeviceIdentity identity = Device;
    identity.CurrentVersionText = CurrentVersionText();
    return identity;
}

UpdatePlan CUpdateDlg::Plan() const
{
    PlanSettings settings;
    settings.Save = cfg.SAVE;
    settings.FirmwareRunning = LinkKind != 0 || Device.ProbeResult == PROBE_FIRMWARE;
    settings.OldLayoutSave = OldLayoutSave == 1;
    settings.ConvertOnRestore = Carrier.ConvertOnRestore == 1;
    settings.Reset = SettingsReset == 1;
    settings.LayoutName = Carrier.SettingsLayoutName;
    settings.BlockCount = Carrier.SettingsLayout.BlockCount;
    settings.AddedBlockCount = AddedBlockCount;
    UpdatePlan plan =
        PlanUpdate(cfg, UpdatePackage.Images(), settings, LinkKind != 0 ? UpdateRoad::Lan : UpdateRoad::Serial);
    // The serial road streams the program's own text: a text that cannot be read refuses it too.
    if (LinkKind == 0 && !UpdatePackage.ProgramTextProblem().empty())
        plan.Refuse(UpdatePackage.ProgramTextProblem());
    return plan;
}

int CUpdateDlg::DecideSettingsCarry()
{
    const SettingsPlan plan = DecideSettingsPlan(cfg, Identity(), NewVersionText());
    if (plan.Refused) {
        FailStartup(plan.RefusalMessage, plan.RefusalIsExclamation ? MessageIcon::Exclamation : MessageIcon::Stop);
        return 0;
    }
    const MessageOwner owner = WaitBoxUp ? MessageOwner::WaitBox : MessageOwner::MainWindow;
    for (const std::string& warning : plan.Warnings)
        host.ShowMessage(warning, TitleText, MessageIcon::Exclamation, owner);
    for (const std::string& line : plan.LogLines)
        Report(-1, line);
    cfg.SAVE = plan.Save;
    DeviceVersion = plan.DeviceVersion;
    DeviceRevision = plan.DeviceRevision;
    SettingsReset = plan.SettingsReset;
    OldLayoutSave = plan.OldLayoutSave;
    Carrier.ConvertOnRestore = plan.ConvertOnRestore;
    Carrier.SettingsLayout = plan.Layout;
    Carrier.SettingsLayoutName = plan.LayoutName;
    Carrier.ConversionLayout = plan.ConversionLayout;
    AddedBlockCount = plan.AddedBlockCount;
    return 1;
}

// One update per run, and only once the start-up has finished with an open link.
void CUpdateDlg::OnStart()
{
    // A restore of kept settings may have run on the worker before: it must have ended.
    if (StartupDone != 1 || worker_running_ || worker_started_.exchange(true))
        return;
    JoinWorker();
    worker_running_ = true;
    worker_ = std::thread([this] {
        if (LinkKind != 0)
            LanUpdate();
        else
            SerialUpdate();
        worker_running_ = false;
    });
}

void CUpdateDlg::JoinWorker()
{
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id())
        worker_.join();
}

bool CUpdateDlg::OnClose()
{
    // The close paths are disabled while the worker runs; a close that still arrives must not
    // pull the links and tables from under it.
    if (worker_running_)
        return false;
    JoinWorker();
    if (closed_)
        return true;
    closed_ = true;

    timers.Kill(TIMER_STATUS);
    timers.Kill(TIMER_WATCHDOG);

    // Only this run's own backup is ever deleted, and only once its settings are back on the
    // device and confirmed (debug mode keeps it even then). Until then it may be the only copy
    // of the device's settings, and the user is told where it is. Files of other runs are
    // never touched: they are put back with "verup settings restore".
    const std::string& backup = Carrier.BackupFilePath;
    if (!instance_refused_ && Carrier.BackupWrittenThisRun && !backup.empty()) {
        if (Carrier.SettingsRestored) {
            if (cfg.DEBUG != kDebugMode)
                RemoveKeptBackup(backup);
        } else if (FileExists(backup)) {
            Carrier.BackupKept = true;
            const std::string text = std::string(kMsgBackupKept) + Utf8ToCp932(backup);
            host.ShowMessage(text, TitleText, MessageIcon::Exclamation, MessageOwner::MainWindow);
        }
    }

    if (StartupDone == 1) {
        // The links close; the roads stay with what they reached, for the front ends' reports.
        if (Serial && Serial->Port() != nullptr)
            Serial->Port()->Close();
        if (Lan)
            Lan->Link().Close();
        Carrier.SettingsLayout = SettingsLayoutTable{};
        if (Carrier.ConvertOnRestore == 1)
            Carrier.ConversionLayout = SettingsLayoutTable{};
    }
    DeviceLock.reset();
    InstanceMutex.reset();
    FlushLog();
    return true;
}

}  // namespace verup
