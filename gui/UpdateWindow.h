#pragma once
// The main window (template 102) and the DialogHost of the update core. The start-up and the
// update run off the GUI thread; every host call is carried over to the GUI thread, and the
// two that wait for the user (message box, connection dialog) block their caller until the
// user has answered.
#include <QPointer>
#include <QWidget>

#include <atomic>
#include <memory>
#include <thread>

#include "TemplateView.h"
#include "WaitDialog.h"
#include "app/CUpdateDlg.h"
#include "app/DialogHost.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace verup::gui {

class UpdateWindow : public QWidget, public DialogHost {
    Q_OBJECT
public:
    explicit UpdateWindow(StartupEnvironment environment, QWidget* parent = nullptr);
    ~UpdateWindow() override;

    // Runs the start-up (connection dialog, link, identification) on its own thread. The
    // window shows itself with the wait box, or when the start-up has succeeded.
    void Begin();

    CUpdateDlg& Controller() { return *dlg_; }
    bool StartupRunning() const { return startup_running_; }
    QWidget* Control(int id) const { return view_->Control(id); }
    WaitDialog* WaitBox() const { return wait_; }
    bool FullHeight() const { return full_height_; }
    DialogBaseUnits Units() const { return view_->Units(); }

    // The version-information box.
    void ShowAbout();

    // ---- DialogHost ----
    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                     MessageOwner owner) override;
    std::optional<ConnectionResult> RunConnectionDialog(const ConnectionRequest& request) override;
    void ShowWaitBox() override;
    void DestroyWaitBox() override;
    void EnableStartButton(bool enable) override;
    void EnableCloseButton(bool enable) override;
    void EnableCloseCommand(bool enable) override;
    void SetProgressRange(int lower, int upper) override;
    void SetProgressPos(int position) override;
    void AppendDebugLog(const std::string& text) override;
    void RefreshFields(const BoundTexts& texts) override;
    void SetWindowTitle(const std::string& title) override;
    void SetFullHeight(bool full) override;
    void PostStart() override;
    void PostClose() override;

signals:
    void startupFinished(bool ok);
    // The close was accepted and the teardown has run.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void OnStartClicked();
    void StartupReturned(bool ok);
    // Settings an earlier run kept for this device: the user may have them put back now.
    void OfferKeptSettings();
    // Waits (without blocking) for the update's worker to end, then explains a failure.
    void WatchOutcome();
    // When the update did not end as done: what happened, what the device holds and what to
    // do next, in a box that does not hold up the window.
    void ShowOutcome();
    void ApplyHeight();
    template <class F>
    void Queue(F&& f);
    template <class F>
    auto Blocking(F&& f) -> decltype(f());

    std::unique_ptr<TemplateView> view_;
    std::unique_ptr<CUpdateDlg> dlg_;
    std::thread startup_;
    std::atomic<bool> startup_thread_done_{false};
    // GUI-thread state
    bool startup_running_ = false;
    bool start_pending_ = false;
    bool close_pending_ = false;
    bool close_command_enabled_ = true;
    bool full_height_ = false;
    bool closed_ = false;
    QPointer<WaitDialog> wait_;
    QTimer* outcome_watch_ = nullptr;
    QLabel* current_version_ = nullptr;
    QLabel* new_version_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* notice_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* close_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
};

}  // namespace verup::gui
