// Whole updates through the real window against the simulated device, on both roads: the
// connection dialog confirmed, the wait box gone, the ready state, "開始", the buttons locked
// while the worker runs, the bar at its end, "バージョンアップ完了", the close path back.
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "GuiTestSupport.h"
#include "SimPackage.h"
#include "app/DialogTexts.h"
#include "ui/ConnectionTexts.h"

using namespace verup;
using namespace verup::gui;
using namespace verup::gui::test;

namespace {

constexpr int kRunWaitMs = 240000;
constexpr double kTimeScale = 50;

// What the window showed at each stage of a run.
struct RunRecord {
    QString DialogCombo;
    bool DialogComboEnabled = true;
    bool ReadySeen = false;
    QString ReadyTitle;
    int ReadyHeight = 0;
    bool ReadyStartEnabled = false;
    bool ReadyCloseEnabled = false;
    bool WaitBoxGoneWhenReady = false;
    QString ReadyCurrentVersion;
    QString ReadyNewVersion;
    bool RunningLocked = false;
    bool CloseRefusedWhileRunning = false;
    QString FinalStatus;
    QString FinalNotice;
    int FinalValue = -1;
    int FinalMaximum = -2;
    bool FinalStartEnabled = true;
    bool FinalCloseEnabled = false;
    int LogLines = 0;
    bool LogAtBottom = false;
};

}  // namespace

class UpdateRunTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        pkg_ = std::make_unique<PackageDir>();
        clock_ = std::make_unique<Clock>(kTimeScale);
    }
    void cleanup()
    {
        window_.reset();
        if (sim_)
            sim_->Stop();
        sim_.reset();
        pkg_.reset();
    }

    void serialUpdateRunsToTheEnd()
    {
        QVERIFY(StartDevice(/*sel=*/1, /*debug=*/0));
        RunRecord run;
        const bool ran = RunUpdate(run, /*auto_start=*/false);
        if (SerialRoadMissing())
            QSKIP("the serial road is not in this build yet");
        QVERIFY2(ran, qPrintable(failure_));
        QCOMPARE(run.DialogCombo, QStringLiteral("COM3"));
        QVERIFY(run.DialogComboEnabled);
        CheckReadyAndFinished(run, /*full_height=*/false);
        QCOMPARE(run.LogLines, 0);
        QVERIFY(sim_->Device().VersionText().rfind(kSimNewVersion, 0) == 0);
    }

    void lanUpdateRunsToTheEndWithTheLogInView()
    {
        QVERIFY(StartDevice(/*sel=*/0, /*debug=*/99));
        RunRecord run;
        QVERIFY2(RunUpdate(run, /*auto_start=*/false), qPrintable(failure_));
        CheckReadyAndFinished(run, /*full_height=*/true);
        QVERIFY(run.LogLines > 10);
        QVERIFY(run.LogAtBottom);
        QVERIFY(sim_->Device().VersionText().rfind(kSimNewVersion, 0) == 0);
    }

    void autoStartsBySelfOverTheLan()
    {
        // The serial-or-LAN dialog with LAN chosen: the COM box still shows the scan, locked.
        sim_ = StartSimPackage(*pkg_, SimPackageSpec{/*Sel=*/2, /*Debug=*/0, /*Auto=*/1, /*Port=*/1}, *clock_);
        QVERIFY(sim_ != nullptr);
        RunRecord run;
        QVERIFY2(RunUpdate(run, /*auto_start=*/true), qPrintable(failure_));
        QCOMPARE(run.DialogCombo, Shown(kComEntries[9]));
        QVERIFY(!run.DialogComboEnabled);
        QVERIFY(run.WaitBoxGoneWhenReady);
        QCOMPARE(run.FinalStatus, Shown(kStageTexts[4]));
        QVERIFY(!run.FinalStartEnabled);
        QVERIFY(sim_->Device().VersionText().rfind(kSimNewVersion, 0) == 0);
        QCOMPARE(ProfileFile(pkg_->File("verup.dat")).GetString("PORTSEL", "COM", "", 8), std::string("3"));
    }

    void autoScansTheComPortsAndStartsBySelf()
    {
        QVERIFY(StartDevice(/*sel=*/1, /*debug=*/0, /*auto_mode=*/1));
        RunRecord run;
        const bool ran = RunUpdate(run, /*auto_start=*/true);
        if (SerialRoadMissing())
            QSKIP("the serial road is not in this build yet");
        QVERIFY2(ran, qPrintable(failure_));
        QCOMPARE(run.DialogCombo, Shown(kComEntries[9]));
        QVERIFY(!run.DialogComboEnabled);
        QCOMPARE(run.FinalStatus, Shown(kStageTexts[4]));
        QVERIFY(!run.FinalStartEnabled);
        QVERIFY(sim_->Device().VersionText().rfind(kSimNewVersion, 0) == 0);
        // AUTO 1 never writes the COM choice.
        QCOMPARE(ProfileFile(pkg_->File("verup.dat")).GetString("PORTSEL", "COM", "", 8), std::string("3"));
    }

    // Settings an earlier run kept for this device: the window asks; declined, nothing is
    // written and the notice line names the file, which stays.
    void keptSettingsAreOfferedAndMayBeDeclined()
    {
        QVERIFY(StartDevice(/*sel=*/0, /*debug=*/0));
        std::filesystem::create_directories(pkg_->State());
        const std::string kept = pkg_->State() + "/7300qb-settings-00-80-6d-73-00-10-20250101T000000Z.txt";
        std::ofstream(kept, std::ios::binary) << "kept\r\n";
        std::ofstream(kept + ".info", std::ios::binary)
            << "kind=settings\nmac=00-80-6d-73-00-10\ntime=2025-01-01T00:00:00Z\nlayout=N_SAVE\n";

        window_ = std::make_unique<UpdateWindow>(pkg_->Environment(clock_.get()));
        QSignalSpy closed(window_.get(), &UpdateWindow::closed);
        window_->Begin();
        UpdateWindow* w = window_.get();
        QString question;
        QString notice;
        UiScript script;
        script
            .When("the connection dialog", [] { return VisibleWindow(QStringLiteral("ConnectionDialog")) != nullptr; },
                  [] { ClickLater(ControlOf<QPushButton>(VisibleWindow(QStringLiteral("ConnectionDialog")), IDC_OK)); })
            .When("the offer", [] { return VisibleWindow<QMessageBox>(QStringLiteral("KeptSettingsQuestion")) != nullptr; },
                  [&] {
                      auto* box = VisibleWindow<QMessageBox>(QStringLiteral("KeptSettingsQuestion"));
                      question = box->text();
                      ClickLater(box->button(QMessageBox::No));
                  })
            .When("the notice", [&] { return ControlOf<QLabel>(w, IDC_NOTICE)->text().contains(QStringLiteral("7300qb-")); },
                  [&] {
                      notice = ControlOf<QLabel>(w, IDC_NOTICE)->text();
                      ClickLater(ControlOf<QPushButton>(w, IDC_CLOSE));
                  });
        QVERIFY2(QTest::qWaitFor([&] { return !closed.isEmpty(); }, kRunWaitMs), qPrintable(script.Waiting()));
        QVERIFY2(question.contains(QString::fromStdString(kept)), qPrintable(question));
        QCOMPARE(notice, Shown(std::string(kNoticeKeptBackup) + kept));
        QVERIFY(std::filesystem::exists(kept));
        QVERIFY(sim_->Device().VersionText().rfind(kSimOldVersion, 0) == 0);
    }

private:
    // The serial road's start-up still answers with its placeholder message in a build
    // without it; the serial cases wait for that road rather than fail.
    bool SerialRoadMissing() const { return failure_.contains(QStringLiteral("not available in this build")); }

    bool StartDevice(int sel, int debug, int auto_mode = 0)
    {
        sim_ = StartSimPackage(*pkg_, SimPackageSpec{sel, debug, auto_mode, 0}, *clock_);
        return sim_ != nullptr;
    }

    bool RunUpdate(RunRecord& run, bool auto_start)
    {
        window_ = std::make_unique<UpdateWindow>(pkg_->Environment(clock_.get()));
        QSignalSpy closed(window_.get(), &UpdateWindow::closed);
        window_->Begin();

        UpdateWindow* w = window_.get();
        auto start = [w] { return ControlOf<QPushButton>(w, IDC_START); };
        auto close = [w] { return ControlOf<QPushButton>(w, IDC_CLOSE); };
        auto status = [w] { return ControlOf<QLabel>(w, IDC_STATUS)->text(); };
        auto bar = [w] { return ControlOf<QProgressBar>(w, IDC_PROGRESS); };
        QString unexpected;

        UiScript script;
        script
            .When("the connection dialog", [] { return VisibleWindow(QStringLiteral("ConnectionDialog")) != nullptr; },
                  [&] {
                      QWidget* d = VisibleWindow(QStringLiteral("ConnectionDialog"));
                      if (auto* combo = ControlOf<QComboBox>(d, IDC_COM_COMBO)) {
                          run.DialogCombo = combo->currentText();
                          run.DialogComboEnabled = combo->isEnabled();
                      }
                      ClickLater(ControlOf<QPushButton>(d, IDC_OK));
                  })
            .When("the ready state or a failure",
                  [&] {
                      if (TakeUnexpectedMessageBox(unexpected))
                          return true;
                      return w->isVisible() && !w->StartupRunning() &&
                             (status() == Shown(kStatusReady) || w->Controller().WorkerRunning());
                  },
                  [&] {
                      if (!unexpected.isEmpty())
                          return;
                      run.ReadySeen = true;
                      run.ReadyTitle = w->windowTitle();
                      run.ReadyHeight = w->height();
                      run.ReadyStartEnabled = start()->isEnabled();
                      run.ReadyCloseEnabled = close()->isEnabled();
                      run.WaitBoxGoneWhenReady = w->WaitBox() == nullptr;
                      run.ReadyCurrentVersion = ControlOf<QLabel>(w, IDC_CURRENT_VERSION)->text();
                      run.ReadyNewVersion = ControlOf<QLabel>(w, IDC_NEW_VERSION)->text();
                      if (!auto_start)
                          ClickLater(start());
                  })
            .When("the running update", [&] { return !unexpected.isEmpty() || (!start()->isEnabled() && !close()->isEnabled()); },
                  [&] {
                      if (!unexpected.isEmpty())
                          return;
                      run.RunningLocked = w->Controller().WorkerRunning() || !close()->isEnabled();
                      // Neither the window's close nor Escape nor Enter may end it now.
                      w->close();
                      QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                      QApplication::sendEvent(w, &escape);
                      QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
                      QApplication::sendEvent(w, &enter);
                      run.CloseRefusedWhileRunning = w->isVisible() && closed.isEmpty();
                  })
            .When("the finished update",
                  [&] { return !unexpected.isEmpty() || (close()->isEnabled() && !w->Controller().WorkerRunning()); },
                  [&] {
                      if (!unexpected.isEmpty())
                          return;
                      run.FinalStatus = status();
                      run.FinalNotice = ControlOf<QLabel>(w, IDC_NOTICE)->text();
                      run.FinalValue = bar()->value();
                      run.FinalMaximum = bar()->maximum();
                      run.FinalStartEnabled = start()->isEnabled();
                      run.FinalCloseEnabled = close()->isEnabled();
                      auto* log = ControlOf<QPlainTextEdit>(w, IDC_DEBUG_LOG);
                      run.LogLines = log->document()->blockCount() - 1;
                      run.LogAtBottom = log->verticalScrollBar()->value() == log->verticalScrollBar()->maximum();
                      ClickLater(close());
                  });
        const bool finished = QTest::qWaitFor([&] { return !closed.isEmpty() || !unexpected.isEmpty(); }, kRunWaitMs);
        if (!unexpected.isEmpty()) {
            failure_ = QStringLiteral("message box: ") + unexpected;
            return false;
        }
        if (!finished) {
            failure_ = QStringLiteral("stuck waiting for ") + script.Waiting() + QStringLiteral("; status ") + status();
            return false;
        }
        return true;
    }

    void CheckReadyAndFinished(const RunRecord& run, bool full_height)
    {
        QVERIFY(run.ReadySeen);
        QCOMPARE(run.ReadyTitle, Shown(window_->Controller().TitleText));
        QVERIFY(run.ReadyTitle.startsWith(QStringLiteral("NEXAVO7300QB\u3000")));
        QCOMPARE(run.ReadyHeight, MainClientHeight(full_height, window_->Units()));
        QVERIFY(run.ReadyStartEnabled);
        QVERIFY(run.ReadyCloseEnabled);
        QVERIFY(run.WaitBoxGoneWhenReady);
        QVERIFY(run.ReadyCurrentVersion.startsWith(QString::fromStdString(kSimOldVersion)));
        QCOMPARE(run.ReadyNewVersion, QString::fromStdString(kSimNewVersion));
        QVERIFY(run.RunningLocked);
        QVERIFY(run.CloseRefusedWhileRunning);
        QCOMPARE(run.FinalStatus, Shown(kStageTexts[4]));
        QCOMPARE(run.FinalNotice, QString());
        QVERIFY(run.FinalMaximum > 0);
        QCOMPARE(run.FinalValue, run.FinalMaximum);
        QVERIFY(!run.FinalStartEnabled);
        QVERIFY(run.FinalCloseEnabled);
    }

    std::unique_ptr<PackageDir> pkg_;
    std::unique_ptr<Clock> clock_;
    std::unique_ptr<devsim::SimHarness> sim_;
    std::unique_ptr<UpdateWindow> window_;
    QString failure_;
};

QTEST_MAIN(UpdateRunTest)
#include "UpdateRun_test.moc"
