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
    if (cfg_.DEBUG == kDebugMode || env_.LogSink)
        for (const std::string& line : log_limit_.Take(text))
            WriteLogLocked(line);
    if (position >= 0)
        host_.SetProgressPos(position);
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
    if (cfg_.DEBUG == kDebugMode) {
        DebugLog_ += text;
        host_.AppendDebugLog(text);
        ++LogLineCount_;
    }
    if (env_.LogSink)
        env_.LogSink(text);
}

void CUpdateDlg::OnTimer(int id)
{
    // The download watchdog is the serial road's own timer.
    if (id != TIMER_STATUS)
        return;
    const int stage = UpdateStage_.load();
    const int phase = DotPhase_.load();
    {
        std::lock_guard lock(texts_mutex_);
        if (stage >= 0 && stage < kStageCount)
            StageText_ = kStageTexts[stage];
        if (phase >= 0 && phase < kPhaseCount)
            StatusText_ = StageText_ + kDotTexts[phase];
    }
    // Phases run 0, 1, 2, 3, 4, 0, ...
    DotPhase_ = phase == kPhaseCount - 1 ? 0 : phase + 1;
    PostRefresh();
}

void CUpdateDlg::PostRefresh()
{
    host_.RefreshFields(SnapshotTexts());
}

void CUpdateDlg::StartStatusAnimation()
{
    timers_.Set(TIMER_STATUS, kStatusPeriodMs, [this] { OnTimer(TIMER_STATUS); });
}

void CUpdateDlg::StopStatusAnimation()
{
    timers_.Kill(TIMER_STATUS);
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
    DotPhase_ = 0;
    StartStatusAnimation();
    UpdateStage_ = 0;
    Progress_.Reset();
    ImagesWritten_.clear();
    VersionAfterUpdate_.clear();
    Carrier_.SettingsWrittenBack = false;
    Carrier_.SettingsAreaKeptPath.clear();
    OutcomeDetail_.clear();
    // The range until the run has declared its steps.
    host_.SetProgressRange(0, 10);
    Report(0);
    host_.EnableCloseButton(false);
    host_.EnableStartButton(false);
    host_.EnableCloseCommand(false);
    SetStatusText(kStatusWorking);
    PostRefresh();
}

void CUpdateDlg::EndUpdate(Outcome outcome)
{
    // The animation stops before the result is written, so no tick overwrites it.
    StopStatusAnimation();
    DotPhase_ = 0;
    switch (outcome) {
    case Outcome::Done:
        SetStatusText(kStatusDone);
        break;
    case Outcome::SettingsNotRestored:
        SetStatusText(kStatusDoneSettingsLost);
        OutcomeDetail_ = Carrier_.SettingsNotRestoredDetail();
        break;
    default:
        SetStatusText(kStatusFailed);
        break;
    }
    UpdateOutcome_ = outcome;
    ShowFinalNotice();
    host_.EnableCloseButton(true);
    host_.EnableCloseCommand(true);
}

void CUpdateDlg::ShowFinalNotice()
{
    std::string notice;
    // A refused package: the device was not touched, and the window says which file is at fault.
    if (!ImagesRefusal_.empty())
        notice = Utf8ToCp932("Nothing written, the package is refused: " + ImagesRefusal_.front());
    // The backup is then the settings' only copy.
    if (Carrier_.BackupWrittenThisRun && !Carrier_.SettingsRestored) {
        notice = std::string(kNoticeSettingsBackupAt) + Utf8ToCp932(Carrier_.BackupFilePath);
        Report(-1, "settings backup kept: " + Carrier_.BackupFilePath + "\r\n");
    }
    // The settings area read over the LAN and not written back.
    if (!Carrier_.SettingsAreaKeptPath.empty()) {
        if (!notice.empty())
            notice += ' ';
        notice += std::string(kNoticeSettingsBackupAt) + Utf8ToCp932(Carrier_.SettingsAreaKeptPath);
        Report(-1, "settings area kept: " + Carrier_.SettingsAreaKeptPath + "\r\n");
    }
    SetNoticeText(notice);
    PostRefresh();
}

}  // namespace verup
