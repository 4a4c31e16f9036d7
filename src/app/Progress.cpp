// Progress reports, the status animation and the hand-over of the bound texts to the host.
#include "app/CUpdateDlg.h"
#include "app/DialogTexts.h"
#include "platform/Cp932.h"

namespace verup {
namespace {

constexpr int kDebugMode = 99;
constexpr int64_t kStatusPeriodMs = 1000;  // one animation step a second
constexpr int kPhaseCount = 5;
constexpr int kStageCount = 5;

}  // namespace

void CUpdateDlg::Report(int position, const std::string& text)
{
    std::lock_guard lock(report_mutex_);
    if (cfg.DEBUG == kDebugMode || LogSink)
        for (const std::string& line : log_limit_.Take(text))
            WriteLogLocked(line);
    if (position >= 0)
        host.SetProgressPos(position);
    PostRefresh();
}

void CUpdateDlg::FlushLog()
{
    std::lock_guard lock(report_mutex_);
    for (const std::string& line : log_limit_.Flush())
        WriteLogLocked(line);
}

void CUpdateDlg::WriteLogLocked(const std::string& text)
{
    if (cfg.DEBUG == kDebugMode) {
        DebugLog += text;
        host.AppendDebugLog(text);
        ++LogLineCount;
    }
    if (LogSink)
        LogSink(text);
}

void CUpdateDlg::OnTimer(int id)
{
    // The download watchdog is the serial road's own timer.
    if (id != TIMER_STATUS)
        return;
    const int stage = UpdateStage.load();
    const int phase = DotPhase.load();
    {
        std::lock_guard lock(texts_mutex_);
        if (stage >= 0 && stage < kStageCount)
            StageText = kStageTexts[stage];
        if (phase >= 0 && phase < kPhaseCount)
            StatusText_ = StageText + kDotTexts[phase];
    }
    // Phases run 0, 1, 2, 3, 4, 0, ...
    DotPhase = phase == kPhaseCount - 1 ? 0 : phase + 1;
    PostRefresh();
}

void CUpdateDlg::PostRefresh()
{
    host.RefreshFields(SnapshotTexts());
}

void CUpdateDlg::StartStatusAnimation()
{
    timers.Set(TIMER_STATUS, kStatusPeriodMs, [this] { OnTimer(TIMER_STATUS); });
}

void CUpdateDlg::StopStatusAnimation()
{
    timers.Kill(TIMER_STATUS);
}

BoundTexts CUpdateDlg::SnapshotTexts() const
{
    std::lock_guard lock(texts_mutex_);
    return BoundTexts{CurrentVersionText_, NewVersionText_, StatusText_, NoticeText_};
}

void CUpdateDlg::SetStatusText(const std::string& text)
{
    std::lock_guard lock(texts_mutex_);
    StatusText_ = text;
}

void CUpdateDlg::SetNoticeText(const std::string& text)
{
    std::lock_guard lock(texts_mutex_);
    NoticeText_ = text;
}

void CUpdateDlg::SetCurrentVersionText(const std::string& text)
{
    std::lock_guard lock(texts_mutex_);
    CurrentVersionText_ = text;
}

void CUpdateDlg::SetNewVersionText(const std::string& text)
{
    std::lock_guard lock(texts_mutex_);
    NewVersionText_ = text;
}

std::string CUpdateDlg::CurrentVersionText() const
{
    std::lock_guard lock(texts_mutex_);
    return CurrentVersionText_;
}

std::string CUpdateDlg::NewVersionText() const
{
    std::lock_guard lock(texts_mutex_);
    return NewVersionText_;
}

std::string CUpdateDlg::StatusText() const
{
    std::lock_guard lock(texts_mutex_);
    return StatusText_;
}

std::string CUpdateDlg::NoticeText() const
{
    std::lock_guard lock(texts_mutex_);
    return NoticeText_;
}

void CUpdateDlg::BeginUpdate()
{
    DotPhase = 0;
    StartStatusAnimation();
    UpdateStage = 0;
    Progress.Reset();
    ImagesWritten.clear();
    VersionAfterUpdate.clear();
    Carrier.SettingsWrittenBack = false;
    Carrier.SettingsAreaKeptPath.clear();
    OutcomeDetail.clear();
    // The range until the run has declared its steps.
    host.SetProgressRange(0, 10);
    Report(0);
    host.EnableCloseButton(false);
    host.EnableStartButton(false);
    host.EnableCloseCommand(false);
    SetStatusText(kStatusWorking);
    PostRefresh();
}

void CUpdateDlg::EndUpdate(Outcome outcome)
{
    // The animation stops before the result is written, so no tick overwrites it.
    StopStatusAnimation();
    DotPhase = 0;
    switch (outcome) {
    case Outcome::Done:
        SetStatusText(kStatusDone);
        break;
    case Outcome::SettingsNotRestored:
        SetStatusText(kStatusDoneSettingsLost);
        OutcomeDetail = Carrier.SettingsNotRestoredDetail();
        break;
    default:
        SetStatusText(kStatusFailed);
        break;
    }
    UpdateOutcome = outcome;
    ShowFinalNotice();
    host.EnableCloseButton(true);
    host.EnableCloseCommand(true);
}

void CUpdateDlg::ShowFinalNotice()
{
    std::string notice;
    // A refused package: the device was not touched, and the window says which file is at fault.
    if (!ImagesRefusal.empty())
        notice = Utf8ToCp932("Nothing written, the package is refused: " + ImagesRefusal.front());
    // The backup is then the settings' only copy.
    if (Carrier.BackupWrittenThisRun && !Carrier.SettingsRestored) {
        notice = std::string(kNoticeSettingsBackupAt) + Utf8ToCp932(Carrier.BackupFilePath);
        Report(-1, "settings backup kept: " + Carrier.BackupFilePath + "\r\n");
    }
    // The settings area read over the LAN and not written back.
    if (!Carrier.SettingsAreaKeptPath.empty()) {
        if (!notice.empty())
            notice += ' ';
        notice += std::string(kNoticeSettingsBackupAt) + Utf8ToCp932(Carrier.SettingsAreaKeptPath);
        Report(-1, "settings area kept: " + Carrier.SettingsAreaKeptPath + "\r\n");
    }
    SetNoticeText(notice);
    PostRefresh();
}

}  // namespace verup
