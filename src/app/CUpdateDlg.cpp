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

CUpdateDlg::CUpdateDlg(DialogHost& host, StartupEnvironment environment)
    : gate_(host),
      host_(gate_),
      env_(std::move(environment)),
      own_clock_(env_.TimeScale),
      clock_(env_.clock != nullptr ? *env_.clock : own_clock_),
      timers_(clock_),
      Progress_([this](int total) { host_.SetProgressRange(0, total); },
                [this](int position, const std::string& text) { Report(position, text); },
                [this](int position) { host_.SetProgressPos(position); }),
      Carrier_(MakeRoadContext())
{
    Carrier_.BackupWritten = [this](const std::string& path) { NoteBackupFile(path); };
    LogLineCount_ = 0;
    UpdateStage_ = 0;
    StartupDone_ = 0;
    cfg_.NAME1.clear();
    cfg_.NAME2.clear();
}

CUpdateDlg::~CUpdateDlg()
{
    JoinWorker();
    timers_.Kill(TIMER_STATUS);
    timers_.Kill(TIMER_WATCHDOG);
    // The links' threads report into this object: stop them before any member goes.
    Lan_.reset();
    Serial_.reset();
}

RoadContext CUpdateDlg::MakeRoadContext()
{
    return RoadContext{clock_, timers_, UpdatePackage_, cfg_, Progress_, Device_,
                       [this](const std::string& text) { Report(-1, text); }};
}

SerialRoad& CUpdateDlg::MakeSerialRoad()
{
    if (!Serial_)
        Serial_ = std::make_unique<SerialRoad>(
            MakeRoadContext(),
            env_.MakeSerialPort ? std::make_unique<SerialLink>(clock_, env_.MakeSerialPort()) : nullptr);
    return *Serial_;
}

LanRoad& CUpdateDlg::MakeLanRoad()
{
    if (!Lan_) {
        Lan_ = std::make_unique<LanRoad>(MakeRoadContext(), env_.TelnetPort);
        Lan_->DeviceAddress = DeviceAddress_;
    }
    return *Lan_;
}

Road* CUpdateDlg::ActiveRoad()
{
    if (LinkKind_ != 0)
        return Lan_.get();
    return Serial_.get();
}

std::string CUpdateDlg::PortName() const
{
    return Serial_ ? Serial_->ComPortName : std::string();
}

bool CUpdateDlg::FailStartup(const std::string& message, MessageIcon icon)
{
    host_.ShowMessage(message, TitleText_, icon, WaitBoxUp_ ? MessageOwner::WaitBox : MessageOwner::MainWindow);
    if (WaitBoxUp_) {
        host_.DestroyWaitBox();
        WaitBoxUp_ = false;
    }
    host_.PostClose();
    return false;
}

bool CUpdateDlg::LoadPackage(PackageImages images)
{
    UpdatePackage_ = Package::Read(env_.CurrentDirectory, images);
    cfg_ = UpdatePackage_.Configuration();
    // Named once the device is known (LookForKeptBackups).
    Carrier_.BackupFilePath.clear();

    TitleText_ = MakeTitleText(cfg_);
    TitleVersionText_ = MakeTitleVersionText(TitleText_);
    SetNewVersionText(CutText(cfg_.NUM, cfg_.NUM_LEN));

    return UpdatePackage_.Presence().Accepted;
}

bool CUpdateDlg::OnInitDialog()
{
    // Steps 2 to 4: the window starts at half height with no title.
    host_.SetFullHeight(false);
    host_.SetWindowTitle(std::string());

    // Step 5: a second instance closes without a word and touches nothing. A lock that cannot
    // be taken at all refuses the start-up too: unguarded, two copies could spoil each other's
    // backups.
    std::string lock_problem;
    const InstanceGuard::Result lock = env_.SingleInstance
                                           ? InstanceGuard::Acquire(env_.StateDirectory, InstanceMutex_, &lock_problem)
                                           : InstanceGuard::Result::Acquired;
    if (lock != InstanceGuard::Result::Acquired) {
        instance_refused_ = true;
        if (lock == InstanceGuard::Result::HeldElsewhere) {
            host_.PostClose();
            return false;
        }
        Report(-1, "instance lock not taken: " + lock_problem + "\r\n");
        return FailStartup(kMsgLockFailed + Utf8ToCp932(lock_problem));
    }
    // Only lock holders write into the state folder: what a killed write left is judged now.
    StateFolderNotes_ = CleanLeftTemporaryFiles(env_.StateDirectory);
    for (const std::string& note : StateFolderNotes_)
        Report(-1, note + "\r\n");

    // Steps 6 to 8. Putting kept settings back needs verup.dat alone.
    if (!LoadPackage(env_.RestoreOnly ? PackageImages::Skip : PackageImages::Build) &&
        !(env_.RestoreOnly && UpdatePackage_.Presence().ConfigFileSize > 0))
        return FailStartup(kMsgFilesMissing);
    // A package that cannot tell its device from another, or cannot check what it wrote, is
    // refused before anything talks to a device.
    if (const auto refusals = CheckPackageIdentity(cfg_); !refusals.empty())
        return FailStartup(refusals.front().Message);

    // Step 9: the connection dialog chosen by SEL.
    ConnectionRequest request;
    request.SEL = cfg_.SEL;
    request.AUTO = cfg_.AUTO;
    request.TitleText = TitleText_;
    request.ConfigFilePath = UpdatePackage_.ConfigFilePath();
    const std::optional<ConnectionResult> choice = host_.RunConnectionDialog(request);
    if (!choice) {
        host_.PostClose();
        return false;
    }
    if (cfg_.SEL == 0) {
        LinkKind_ = 1;
        DeviceAddress_ = choice->DeviceAddress;
    } else if (cfg_.SEL == 1) {
        LinkKind_ = 0;
        ComPortNumber_ = choice->ComPortNumber;
    } else {
        LinkKind_ = choice->LinkKind != 0 ? 1 : 0;
        ComPortNumber_ = choice->ComPortNumber;
        DeviceAddress_ = choice->DeviceAddress;
    }
    if (LinkKind_ == 0)
        SerialPortPath_ = choice->PortPath;

    // One device is updated by one run at a time; the serial road locks each port it opens.
    if (LinkKind_ != 0) {
        std::string holder;
        const InstanceGuard::Result device = LockDevice(false, DeviceAddress_, holder);
        if (device != InstanceGuard::Result::Acquired)
            return RefuseDeviceLock(device, holder);
    }

    // Step 10.
    host_.ShowWaitBox();
    WaitBoxUp_ = true;

    // Step 11.
    Report(-1, kLogStartup);
    Device_.ProbeResult = -9;

    // Step 12: the roads fail the start-up themselves.
    const bool identified = LinkKind_ == 0 ? OpenSerialAndIdentify() : OpenLanAndIdentify();
    if (!identified)
        return false;
    LookForKeptBackups();

    // Step 13.
    Settings_ = SettingsPlan{};
    Carrier_.ConvertOnRestore = 0;
    if (!env_.RestoreOnly && Device_.ProbeResult != PROBE_FLASH_MONITOR && !DecideSettingsCarry())
        return false;

    // Step 14.
    if (cfg_.AUTO == 1 && !env_.RestoreOnly)
        host_.PostStart();
    host_.DestroyWaitBox();
    WaitBoxUp_ = false;
    StartupDone_ = 1;

    // Step 15.
    host_.SetFullHeight(cfg_.DEBUG == kDebugMode);
    host_.SetWindowTitle(TitleText_);
    SetStatusText(kStatusReady);
    SetNoticeText(kNoticeDoNotDisconnect);
    PostRefresh();
    return true;
}

InstanceGuard::Result CUpdateDlg::LockDevice(bool serial, const std::string& name, std::string& holder)
{
    DeviceLock_.reset();
    const std::string lock = (serial ? "serial-" : "lan-") + FileNameSafe(serial ? PortIdentity(name) : name);
    return InstanceGuard::Acquire(env_.StateDirectory, DeviceLock_, &holder, lock);
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
    DeviceIdentity identity = Device_;
    identity.CurrentVersionText = CurrentVersionText();
    return identity;
}

UpdatePlan CUpdateDlg::Plan() const
{
    PlanSettings settings;
    settings.Save = cfg_.SAVE;
    settings.FirmwareRunning = LinkKind_ != 0 || Device_.ProbeResult == PROBE_FIRMWARE;
    settings.OldLayoutSave = Settings_.OldLayoutSave == 1;
    settings.ConvertOnRestore = Settings_.ConvertOnRestore == 1;
    settings.Reset = Settings_.SettingsReset == 1;
    settings.LayoutName = Settings_.LayoutName;
    settings.BlockCount = Settings_.Layout.BlockCount;
    settings.AddedBlockCount = Settings_.AddedBlockCount;
    UpdatePlan plan =
        PlanUpdate(cfg_, UpdatePackage_.Images(), settings, LinkKind_ != 0 ? UpdateRoad::Lan : UpdateRoad::Serial);
    // The serial road streams the program's own text: a text that cannot be read refuses it too.
    if (LinkKind_ == 0 && !UpdatePackage_.ProgramTextProblem().empty())
        plan.Refuse(UpdatePackage_.ProgramTextProblem());
    return plan;
}

int CUpdateDlg::DecideSettingsCarry()
{
    const SettingsPlan plan = DecideSettingsPlan(cfg_, Identity(), NewVersionText());
    if (plan.Refused) {
        FailStartup(plan.RefusalMessage, plan.RefusalIsExclamation ? MessageIcon::Exclamation : MessageIcon::Stop);
        return 0;
    }
    const MessageOwner owner = WaitBoxUp_ ? MessageOwner::WaitBox : MessageOwner::MainWindow;
    for (const std::string& warning : plan.Warnings)
        host_.ShowMessage(warning, TitleText_, MessageIcon::Exclamation, owner);
    for (const std::string& line : plan.LogLines)
        Report(-1, line);
    cfg_.SAVE = plan.Save;
    Carrier_.ConvertOnRestore = plan.ConvertOnRestore;
    Carrier_.SettingsLayout = plan.Layout;
    Carrier_.SettingsLayoutName = plan.LayoutName;
    Carrier_.ConversionLayout = plan.ConversionLayout;
    Settings_ = plan;
    return 1;
}

// One update per run, and only once the start-up has finished with an open link.
void CUpdateDlg::OnStart()
{
    // A restore of kept settings may have run on the worker before: it must have ended.
    if (StartupDone_ != 1 || worker_running_ || worker_started_.exchange(true))
        return;
    JoinWorker();
    worker_running_ = true;
    worker_ = std::thread([this] {
        if (LinkKind_ != 0)
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

    timers_.Kill(TIMER_STATUS);
    timers_.Kill(TIMER_WATCHDOG);

    // Only this run's own backup is ever deleted, and only once its settings are back on the
    // device and confirmed (debug mode keeps it even then). Until then it may be the only copy
    // of the device's settings, and the user is told where it is. Files of other runs are
    // never touched: they are put back with "verup settings restore".
    const std::string& backup = Carrier_.BackupFilePath;
    if (!instance_refused_ && Carrier_.BackupWrittenThisRun && !backup.empty()) {
        if (Carrier_.SettingsRestored) {
            if (cfg_.DEBUG != kDebugMode)
                RemoveKeptBackup(backup);
        } else if (FileExists(backup)) {
            Carrier_.BackupKept = true;
            const std::string text = std::string(kMsgBackupKept) + Utf8ToCp932(backup);
            host_.ShowMessage(text, TitleText_, MessageIcon::Exclamation, MessageOwner::MainWindow);
        }
    }

    if (StartupDone_ == 1) {
        // The links close; the roads stay with what they reached, for the front ends' reports.
        if (Serial_ && Serial_->Port() != nullptr)
            Serial_->Port()->Close();
        if (Lan_)
            Lan_->Link().Close();
        Carrier_.SettingsLayout = SettingsLayoutTable{};
        if (Carrier_.ConvertOnRestore == 1)
            Carrier_.ConversionLayout = SettingsLayoutTable{};
    }
    DeviceLock_.reset();
    InstanceMutex_.reset();
    FlushLog();
    return true;
}

}  // namespace verup
