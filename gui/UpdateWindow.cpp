#include "UpdateWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QThread>
#include <QTimer>

#include "AboutDialog.h"
#include "ConnectionDialog.h"
#include "WaitDialog.h"
#include "app/KeptBackupOffer.h"

namespace verup::gui {
namespace {

// Real milliseconds between tries of a close that came while the worker was returning.
constexpr int kCloseRetryMs = 10;
// Real milliseconds between looks at whether the update's worker has ended.
constexpr int kOutcomeWatchMs = 50;

QMessageBox::Icon ToQtIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Stop: return QMessageBox::Critical;
    case MessageIcon::Exclamation: return QMessageBox::Warning;
    case MessageIcon::Information: return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

// Lets queued host calls run while the GUI thread waits for a thread that may need them.
template <class Done>
void PumpUntil(Done done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

}  // namespace

UpdateWindow::UpdateWindow(StartupEnvironment environment, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("UpdateWindow"));
    setFont(DialogFont());
    setWindowIcon(style()->standardIcon(QStyle::SP_ComputerIcon));
    view_ = std::make_unique<TemplateView>(GetDialogTemplate(IDD_UPDATE_DIALOG), this);
    current_version_ = view_->ControlAs<QLabel>(IDC_CURRENT_VERSION);
    new_version_ = view_->ControlAs<QLabel>(IDC_NEW_VERSION);
    status_ = view_->ControlAs<QLabel>(IDC_STATUS);
    notice_ = view_->ControlAs<QLabel>(IDC_NOTICE);
    progress_ = view_->ControlAs<QProgressBar>(IDC_PROGRESS);
    start_ = view_->ControlAs<QPushButton>(IDC_START);
    close_ = view_->ControlAs<QPushButton>(IDC_CLOSE);
    log_ = view_->ControlAs<QPlainTextEdit>(IDC_DEBUG_LOG);
    // The bound texts start empty; the template's placeholders are never shown.
    for (QLabel* label : {current_version_, new_version_, status_, notice_})
        label->clear();
    connect(start_, &QPushButton::clicked, this, &UpdateWindow::OnStartClicked);
    connect(close_, &QPushButton::clicked, this, &UpdateWindow::close);
    view_->FitFixedTexts(view_->ClientSize());
    ApplyHeight();

    dlg_ = std::make_unique<CUpdateDlg>(*this, std::move(environment));
}

UpdateWindow::~UpdateWindow()
{
    // Both threads may be waiting for a host call that only this thread can answer.
    if (startup_.joinable()) {
        PumpUntil([this] { return startup_thread_done_.load(); });
        startup_.join();
    }
    PumpUntil([this] { return !dlg_->WorkerRunning(); });
    if (!closed_)
        dlg_->OnClose();
    dlg_.reset();
    delete wait_.data();
}

void UpdateWindow::Begin()
{
    if (startup_running_ || startup_.joinable())
        return;
    startup_running_ = true;
    startup_ = std::thread([this] {
        const bool ok = dlg_->OnInitDialog();
        QMetaObject::invokeMethod(this, [this, ok] { StartupReturned(ok); }, Qt::QueuedConnection);
        startup_thread_done_ = true;
    });
}

void UpdateWindow::StartupReturned(bool ok)
{
    if (startup_.joinable())
        startup_.join();
    startup_running_ = false;
    if (ok && !close_pending_) {
        show();
        close_->setFocus();
    }
    emit startupFinished(ok);
    // A failed start-up always ends the tool, whether or not it asked for the close.
    if (close_pending_ || !ok) {
        close_pending_ = false;
        close();
    } else if (start_pending_) {
        start_pending_ = false;
        OnStartClicked();
    } else if (ok) {
        OfferKeptSettings();
    }
}

void UpdateWindow::OfferKeptSettings()
{
    KeptBackupOffer offer(*dlg_);
    if (!offer.HasQuestion())
        return;
    QMessageBox box(QMessageBox::Question, FromCp932(dlg_->TitleText()), FromCp932(offer.Question()),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("KeptSettingsQuestion"));
    box.setDefaultButton(QMessageBox::No);
    const bool restore = box.exec() == QMessageBox::Yes;
    offer.Answer(restore);
    // The worker gives the buttons back when the restore has ended.
    if (restore && dlg_->WorkerRunning()) {
        start_->setEnabled(false);
        close_->setEnabled(false);
        close_command_enabled_ = false;
    }
}

void UpdateWindow::OnStartClicked()
{
    if (startup_running_)
        return;
    // One update per run: the button never comes back.
    start_->setEnabled(false);
    dlg_->OnStart();
    WatchOutcome();
    // The worker locks the close paths itself, but only once its request reaches this thread;
    // no close may slip in before that. It gives them back when it ends.
    if (dlg_->WorkerRunning()) {
        close_->setEnabled(false);
        close_command_enabled_ = false;
    }
}

void UpdateWindow::WatchOutcome()
{
    if (outcome_watch_ == nullptr) {
        outcome_watch_ = new QTimer(this);
        outcome_watch_->setInterval(kOutcomeWatchMs);
        connect(outcome_watch_, &QTimer::timeout, this, [this] {
            if (dlg_->WorkerRunning())
                return;
            outcome_watch_->stop();
            ShowOutcome();
        });
    }
    outcome_watch_->start();
}

void UpdateWindow::ShowOutcome()
{
    // The worker has ended: what it wrote is settled and may be read here.
    const CUpdateDlg::Outcome outcome = dlg_->UpdateOutcome();
    if (outcome == CUpdateDlg::Outcome::NotRun || outcome == CUpdateDlg::Outcome::Done)
        return;
    QString text = QString::fromStdString(dlg_->OutcomeDetail());
    if (!dlg_->ImagesRefusal().empty()) {
        if (!text.isEmpty())
            text += QStringLiteral("\n\n");
        text += QStringLiteral("Nothing was written: the package cannot be written as it is.");
        for (const std::string& problem : dlg_->ImagesRefusal())
            text += QStringLiteral("\n  ") + QString::fromStdString(problem);
        text += QStringLiteral("\nReplace the damaged files with complete ones (or correct verup.dat) and run again.");
    }
    if (text.isEmpty())
        return;
    const bool failed = outcome != CUpdateDlg::Outcome::SettingsNotRestored;
    auto* box = new QMessageBox(failed ? QMessageBox::Critical : QMessageBox::Warning, windowTitle(), text,
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("OutcomeBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void UpdateWindow::ApplyHeight()
{
    setFixedSize(view_->ClientSize().width(), MainClientHeight(full_height_, view_->Units()));
}

void UpdateWindow::ShowAbout()
{
    if (startup_running_)
        return;
    AboutDialog about(dlg_->AboutText1(), dlg_->AboutText2(), this);
    about.exec();
}

// ---- Events ----

void UpdateWindow::closeEvent(QCloseEvent* event)
{
    // No close while the start-up or the worker holds the link; a close asked for by the
    // start-up itself is carried out when it has returned.
    if (closed_) {
        event->accept();
        return;
    }
    if (startup_running_ || !close_command_enabled_) {
        event->ignore();
        return;
    }
    if (dlg_->WorkerRunning()) {
        // The worker has given the close back and is returning: honour the click once it has.
        event->ignore();
        QTimer::singleShot(kCloseRetryMs, this, &UpdateWindow::close);
        return;
    }
    if (!dlg_->OnClose()) {
        event->ignore();
        return;
    }
    closed_ = true;
    delete wait_.data();
    event->accept();
    emit closed();
}

void UpdateWindow::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Enter acts as the focused button and never ends the window by itself.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button != nullptr && button->isEnabled())
            button->click();
        event->accept();
        return;
    case Qt::Key_Escape:
    case Qt::Key_F1:
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void UpdateWindow::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    QAction* about = menu.addAction(FromCp932(GetDialogTemplate(IDD_ABOUTBOX).caption) + QStringLiteral("..."));
    about->setEnabled(!startup_running_);
    if (menu.exec(event->globalPos()) == about)
        ShowAbout();
}

// ---- Carrying host calls to the GUI thread ----

template <class F>
void UpdateWindow::Queue(F&& f)
{
    QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::QueuedConnection);
}

template <class F>
auto UpdateWindow::Blocking(F&& f) -> decltype(f())
{
    using Result = decltype(f());
    if (QThread::currentThread() == thread())
        return f();
    if constexpr (std::is_void_v<Result>) {
        QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::BlockingQueuedConnection);
    } else {
        Result result{};
        QMetaObject::invokeMethod(this, [&] { result = f(); }, Qt::BlockingQueuedConnection);
        return result;
    }
}

void UpdateWindow::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                               MessageOwner owner)
{
    Blocking([&] {
        QWidget* parent = (owner == MessageOwner::WaitBox && wait_) ? static_cast<QWidget*>(wait_.data()) : this;
        QMessageBox box(ToQtIcon(icon), FromCp932(caption), FromCp932(text), QMessageBox::Ok, parent);
        box.setObjectName(QStringLiteral("MessageBox"));
        box.exec();
    });
}

std::optional<ConnectionResult> UpdateWindow::RunConnectionDialog(const ConnectionRequest& request)
{
    return Blocking([&]() -> std::optional<ConnectionResult> {
        ConnectionDialog dialog(request, this);
        dialog.setObjectName(QStringLiteral("ConnectionDialog"));
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.Result();
    });
}

void UpdateWindow::ShowWaitBox()
{
    Queue([this] {
        show();
        if (!wait_)
            wait_ = new WaitDialog(this);
        wait_->ShowOverOwner();
    });
}

void UpdateWindow::DestroyWaitBox()
{
    Queue([this] { delete wait_.data(); });
}

void UpdateWindow::EnableStartButton(bool enable)
{
    Queue([this, enable] { start_->setEnabled(enable); });
}

void UpdateWindow::EnableCloseButton(bool enable)
{
    Queue([this, enable] { close_->setEnabled(enable); });
}

void UpdateWindow::EnableCloseCommand(bool enable)
{
    Queue([this, enable] { close_command_enabled_ = enable; });
}

void UpdateWindow::SetProgressRange(int lower, int upper)
{
    Queue([this, lower, upper] { progress_->setRange(lower, upper); });
}

void UpdateWindow::SetProgressPos(int position)
{
    Queue([this, position] { progress_->setValue(position); });
}

void UpdateWindow::AppendDebugLog(const std::string& text)
{
    Queue([this, line = FromCp932(text)] {
        log_->moveCursor(QTextCursor::End);
        log_->insertPlainText(line);
        QScrollBar* bar = log_->verticalScrollBar();
        bar->setValue(bar->maximum());
    });
}

void UpdateWindow::RefreshFields(const BoundTexts& texts)
{
    Queue([this, current = FromCp932(texts.CurrentVersionText), fresh = FromCp932(texts.NewVersionText),
           status = FromCp932(texts.StatusText), notice = FromCp932(texts.NoticeText)] {
        current_version_->setText(current);
        new_version_->setText(fresh);
        status_->setText(status);
        notice_->setText(notice);
    });
}

void UpdateWindow::SetWindowTitle(const std::string& title)
{
    Queue([this, text = FromCp932(title)] { setWindowTitle(text); });
}

void UpdateWindow::SetFullHeight(bool full)
{
    Queue([this, full] {
        full_height_ = full;
        ApplyHeight();
    });
}

void UpdateWindow::PostStart()
{
    Queue([this] {
        if (startup_running_)
            start_pending_ = true;
        else
            OnStartClicked();
    });
}

void UpdateWindow::PostClose()
{
    Queue([this] {
        if (startup_running_)
            close_pending_ = true;
        else
            close();
    });
}

}  // namespace verup::gui
