// A whole update through the real window against the simulated device: the connection dialog
// confirmed, the wait box gone, the ready state, "開始", the buttons locked while the worker
// runs, the bar at its end, "バージョンアップ完了", the close path back; and a refused one.
#include <QComboBox>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

#include "AboutDialog.h"
#include "GuiTestSupport.h"
#include "SimPackage.h"
#include "app/DialogTexts.h"

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
    QImage DialogShot, ReadyShot, RunningShot, AboutShot;
};

// A picture must hold more than its background: text and frames drawn in a darker colour.
bool HasDrawing(const QImage& image)
{
    if (image.isNull())
        return false;
    int dark = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            dark += qGray(image.pixel(x, y)) < 96 ? 1 : 0;
    return dark > 50;
}

}  // namespace

class UpdateRunTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        pkg_ = std::make_unique<PackageDir>();
        clock_ = std::make_unique<Clock>(kTimeScale);
        failure_.clear();
    }
    void cleanup()
    {
        closed_.reset();
        window_.reset();
        if (sim_)
            sim_->Stop();
        sim_.reset();
        pkg_.reset();
    }

    // The LAN road in debug mode from the serial-or-LAN dialog, taking the README's pictures on
    // the way; the roads themselves are the controller's tests. One row, named as the README's
    // command for the pictures names it.
    void updateRunsToTheEnd_data()
    {
        QTest::addColumn<int>("sel");
        QTest::newRow("lan-debug") << 2;
    }

    void updateRunsToTheEnd()
    {
        QFETCH(int, sel);
        sim_ = StartSimPackage(*pkg_, SimPackageSpec{sel, /*Debug=*/99, /*Auto=*/0, /*Port=*/1}, *clock_);
        QVERIFY(sim_ != nullptr);
        RunRecord run;
        QVERIFY2(RunUpdate(run), qPrintable(failure_));
        // The COM list also says what each name stands for: COM3 is the simulator's terminal.
        QCOMPARE(run.DialogCombo, QStringLiteral("COM3 (") + QString::fromStdString(sim_->PtyPath()) + QStringLiteral(")"));
        QVERIFY(!run.DialogComboEnabled);
        CheckReadyAndFinished(run);
        QVERIFY(run.LogLines > 10);
        QVERIFY(run.LogAtBottom);
        QVERIFY(sim_->Device().VersionText().rfind(kSimNewVersion, 0) == 0);
        SavePictures(run);
    }

    // A boot image cut short is refused before anything is erased; the window says why and
    // what to do in a box that leaves the window usable, and the device keeps its firmware.
    void refusedUpdateIsExplained()
    {
        sim_ = StartSimPackage(*pkg_, SimPackageSpec{/*Sel=*/0, /*Debug=*/0, /*Auto=*/0, /*Port=*/0}, *clock_);
        QVERIFY(sim_ != nullptr);
        {
            std::ifstream in(pkg_->File("from00.mot"), std::ios::binary);
            std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            text.resize(text.rfind("\nS", text.size() - 3) + 1);  // without its termination record
            std::ofstream(pkg_->File("from00.mot"), std::ios::binary | std::ios::trunc) << text;
        }
        UpdateWindow* w = Begin();
        QString explanation;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        UiScript script;
        script.ConfirmConnectionDialog()
            .When("the ready state",
                  [w] { return w->isVisible() && ControlOf<QLabel>(w, IDC_STATUS)->text() == Shown(kStatusReady); },
                  [w] { ClickLater(ControlOf<QPushButton>(w, IDC_START)); })
            .When("the explanation", [] { return VisibleWindow<QMessageBox>(QStringLiteral("OutcomeBox")) != nullptr; },
                  [&] {
                      auto* box = VisibleWindow<QMessageBox>(QStringLiteral("OutcomeBox"));
                      explanation = box->text();
                      icon = box->icon();
                      ClickLater(box->button(QMessageBox::Ok));
                  })
            .When("the box gone", [] { return VisibleWindow<QMessageBox>(QStringLiteral("OutcomeBox")) == nullptr; },
                  [w] { ClickLater(ControlOf<QPushButton>(w, IDC_CLOSE)); });
        QVERIFY2(QTest::qWaitFor([&] { return !closed_->isEmpty(); }, kRunWaitMs), qPrintable(script.Waiting()));
        QCOMPARE(icon, QMessageBox::Critical);
        QVERIFY2(explanation.contains(QStringLiteral("Nothing was written")), qPrintable(explanation));
        QVERIFY2(explanation.contains(QStringLiteral("from00.mot")), qPrintable(explanation));
        QVERIFY(sim_->Device().VersionText().rfind(kSimOldVersion, 0) == 0);
    }

private:
    UpdateWindow* Begin()
    {
        window_ = std::make_unique<UpdateWindow>(pkg_->Environment(clock_.get()));
        closed_ = std::make_unique<QSignalSpy>(window_.get(), &UpdateWindow::closed);
        window_->Begin();
        return window_.get();
    }

    bool RunUpdate(RunRecord& run)
    {
        UpdateWindow* w = Begin();
        QSignalSpy& closed = *closed_;
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
                      run.DialogShot = d->grab().toImage();
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
                      run.ReadyShot = w->grab().toImage();
                      AboutDialog about(w->Controller().AboutText1(), w->Controller().AboutText2(), w);
                      about.show();
                      run.AboutShot = about.grab().toImage();
                      about.hide();
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
                  });
        script.When("half of the update",
                        [&] {
                            return !close()->isEnabled() && bar()->maximum() > 10 &&
                                   bar()->value() * 2 >= bar()->maximum();
                        },
                        [&] { run.RunningShot = w->grab().toImage(); });
        script
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

    // Written to VERUP_SCREENSHOT_DIR when it is set, for the README.
    void SavePictures(const RunRecord& run)
    {
        QVERIFY(HasDrawing(run.DialogShot));
        QVERIFY(HasDrawing(run.ReadyShot));
        QVERIFY(HasDrawing(run.RunningShot));
        QVERIFY(HasDrawing(run.AboutShot));
        QCOMPARE(run.ReadyShot.height(), run.ReadyHeight * run.ReadyShot.devicePixelRatio());
        const char* dir = std::getenv("VERUP_SCREENSHOT_DIR");
        if (dir == nullptr || *dir == '\0')
            return;
        const QString base = QString::fromLocal8Bit(dir) + QLatin1Char('/');
        QVERIFY(run.DialogShot.save(base + QStringLiteral("connection-dialog.png")));
        QVERIFY(run.ReadyShot.save(base + QStringLiteral("ready.png")));
        QVERIFY(run.RunningShot.save(base + QStringLiteral("running-debug.png")));
        QVERIFY(run.AboutShot.save(base + QStringLiteral("about.png")));
    }

    void CheckReadyAndFinished(const RunRecord& run)
    {
        QVERIFY(run.ReadySeen);
        QCOMPARE(run.ReadyTitle, Shown(window_->Controller().TitleText()));
        QVERIFY(run.ReadyTitle.startsWith(QStringLiteral("NEXAVO7300QB\u3000")));
        QCOMPARE(run.ReadyHeight, MainClientHeight(true, window_->Units()));
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
    std::unique_ptr<QSignalSpy> closed_;
    QString failure_;
};

QTEST_MAIN(UpdateRunTest)
#include "UpdateRun_test.moc"
