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
#include <memory>

#include "AboutDialog.h"
#include "GuiTestSupport.h"
#include "PackageMaker.h"
#include "SimHarness.h"
#include "platform/ProfileFile.h"
#include "app/DialogTexts.h"

using namespace verup;
using namespace verup::gui;
using namespace verup::gui::test;

namespace {

constexpr int kRunWaitMs = 240000;
constexpr double kTimeScale = 50;

const std::string kSimNewVersion = "Version 1.20";
const std::string kSimOldVersion = "Version 1.15";

// A package written by the simulator's package maker with SEL `sel`, DEBUG `debug` and PORTSEL
// PORT `port`, and the simulated device serving it: COM3 leads to its pseudo-terminal (the other
// COM names to nothing), the telnet port to its server on the loopback.
std::unique_ptr<devsim::SimHarness> StartSimPackage(PackageDir& pkg, int sel, int debug, int port, const Clock& clock)
{
    devsim::PackageOptions package;
    package.Version = kSimNewVersion;
    package.Revision = 7;
    package.ProgramSize = 48 * 1024;
    package.Sel = sel;
    package.Debug = debug;
    std::string error;
    const ProfileFile dat(pkg.File("verup.dat"));
    devsim::HarnessOptions options;
    if (!devsim::WritePackage(pkg.Package(), package, &error) || !dat.WriteString("PORTSEL", "COM", "3") ||
        !dat.WriteString("PORTSEL", "PORT", std::to_string(port)) || !dat.WriteString("MODE", "AUTO", "0") ||
        !devsim::SimHarness::UsePackage(options, pkg.Package(), &error)) {
        qWarning("package: %s", error.c_str());
        return nullptr;
    }
    // Firmware past 1.1 carries its settings across without a question on either road.
    options.Device.FirmwareVersion = kSimOldVersion;
    options.Device.Revision = 7;
    options.Device.RestartMs = 2000;
    auto sim = std::make_unique<devsim::SimHarness>(options, clock);
    if (!sim->Start(&error)) {
        qWarning("simulator: %s", error.c_str());
        return nullptr;
    }
    for (int n = 1; n <= 9; ++n) {
        const std::string path = n == 3 ? sim->PtyPath() : pkg.File("no-tty" + std::to_string(n));
        ::setenv(("VERUP_COM" + std::to_string(n)).c_str(), path.c_str(), 1);
    }
    pkg.TelnetPort = static_cast<std::uint16_t>(sim->TelnetPort());
    return sim;
}

// The window's pictures of a run, for the README.
struct RunShots {
    QImage Dialog, Ready, Running, About;
    int ReadyHeight = 0;
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
        sim_ = StartSimPackage(*pkg_, sel, /*debug=*/99, /*port=*/1, *clock_);
        QVERIFY(sim_ != nullptr);
        RunShots shots;
        const QString pty = QString::fromStdString(sim_->PtyPath());
        QVERIFY2(RunUpdate(shots, pty), qPrintable(failure_));
        QVERIFY(sim_->Device().VersionText().rfind(kSimNewVersion, 0) == 0);
        SavePictures(shots);
    }

    // A boot image cut short is refused before anything is erased; the window says why and
    // what to do in a box that leaves the window usable, and the device keeps its firmware.
    void refusedUpdateIsExplained()
    {
        sim_ = StartSimPackage(*pkg_, /*sel=*/0, /*debug=*/0, /*port=*/0, *clock_);
        QVERIFY(sim_ != nullptr);
        std::string boot = pkg_->Read("from00.mot");
        boot.resize(boot.rfind("\nS", boot.size() - 3) + 1);  // without its termination record
        pkg_->Write("from00.mot", boot);
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

    // Drives the run; false with failure_ saying which of the window's states was wrong.
    bool RunUpdate(RunShots& shots, const QString& pty)
    {
        UpdateWindow* w = Begin();
        QSignalSpy& closed = *closed_;
        auto start = [w] { return ControlOf<QPushButton>(w, IDC_START); };
        auto close = [w] { return ControlOf<QPushButton>(w, IDC_CLOSE); };
        auto status = [w] { return ControlOf<QLabel>(w, IDC_STATUS)->text(); };
        auto bar = [w] { return ControlOf<QProgressBar>(w, IDC_PROGRESS); };
        QString unexpected;
        QStringList wrong;
        auto expect = [&wrong](bool holds, const char* what) {
            if (!holds)
                wrong << QString::fromUtf8(what);
        };

        UiScript script;
        script
            .When("the connection dialog", [] { return VisibleWindow(QStringLiteral("ConnectionDialog")) != nullptr; },
                  [&] {
                      QWidget* d = VisibleWindow(QStringLiteral("ConnectionDialog"));
                      // The COM list also says what each name stands for: COM3 is the simulator's terminal.
                      auto* combo = ControlOf<QComboBox>(d, IDC_COM_COMBO);
                      const QString com3 = QStringLiteral("COM3 (") + pty + QLatin1Char(')');
                      expect(combo != nullptr && combo->currentText() == com3 && !combo->isEnabled(),
                             "the COM list: COM3 and its terminal, disabled for the LAN");
                      shots.Dialog = d->grab().toImage();
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
                      const QString title = w->windowTitle();
                      expect(title == Shown(w->Controller().TitleText()), "the ready title");
                      expect(title.startsWith(QStringLiteral("NEXAVO7300QB\u3000")), "the product in the title");
                      shots.ReadyHeight = w->height();
                      expect(w->height() == MainClientHeight(true, w->Units()), "the full height when ready");
                      expect(start()->isEnabled() && close()->isEnabled(), "both buttons enabled when ready");
                      expect(w->WaitBox() == nullptr, "the wait box gone when ready");
                      const QString current = ControlOf<QLabel>(w, IDC_CURRENT_VERSION)->text();
                      expect(current.startsWith(QString::fromStdString(kSimOldVersion)), "the current version shown");
                      expect(ControlOf<QLabel>(w, IDC_NEW_VERSION)->text() == QString::fromStdString(kSimNewVersion),
                             "the new version shown");
                      shots.Ready = w->grab().toImage();
                      AboutDialog about(w->Controller().AboutText1(), w->Controller().AboutText2(), w);
                      about.show();
                      shots.About = about.grab().toImage();
                      about.hide();
                      ClickLater(start());
                  })
            .When("the running update", [&] { return !unexpected.isEmpty() || (!start()->isEnabled() && !close()->isEnabled()); },
                  [&] {
                      if (!unexpected.isEmpty())
                          return;
                      // Neither the window's close nor Escape nor Enter may end it now.
                      w->close();
                      QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                      QApplication::sendEvent(w, &escape);
                      QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
                      QApplication::sendEvent(w, &enter);
                      expect(w->isVisible() && closed.isEmpty(), "the window kept open while the update runs");
                  });
        script.When("half of the update",
                        [&] {
                            return !close()->isEnabled() && bar()->maximum() > 10 &&
                                   bar()->value() * 2 >= bar()->maximum();
                        },
                        [&] { shots.Running = w->grab().toImage(); });
        script
            .When("the finished update",
                  [&] { return !unexpected.isEmpty() || (close()->isEnabled() && !w->Controller().WorkerRunning()); },
                  [&] {
                      if (!unexpected.isEmpty())
                          return;
                      expect(status() == Shown(kStageTexts[4]), "the status: done");
                      expect(ControlOf<QLabel>(w, IDC_NOTICE)->text().isEmpty(), "no notice");
                      expect(bar()->maximum() > 0 && bar()->value() == bar()->maximum(), "the bar at its end");
                      expect(!start()->isEnabled() && close()->isEnabled(), "only closing left");
                      auto* log = ControlOf<QPlainTextEdit>(w, IDC_DEBUG_LOG);
                      expect(log->document()->blockCount() > 11, "the debug log filled");
                      expect(log->verticalScrollBar()->value() == log->verticalScrollBar()->maximum(),
                             "the debug log at its bottom");
                      ClickLater(close());
                  });
        const bool finished = QTest::qWaitFor([&] { return !closed.isEmpty() || !unexpected.isEmpty(); }, kRunWaitMs);
        if (!unexpected.isEmpty())
            failure_ = QStringLiteral("message box: ") + unexpected;
        else if (!finished)
            failure_ = QStringLiteral("stuck waiting for ") + script.Waiting() + QStringLiteral("; status ") + status();
        else if (!wrong.isEmpty())
            failure_ = QStringLiteral("wrong: ") + wrong.join(QStringLiteral("; "));
        return failure_.isEmpty();
    }

    // Written to VERUP_SCREENSHOT_DIR when it is set, for the README.
    void SavePictures(const RunShots& shots)
    {
        QVERIFY(HasDrawing(shots.Dialog));
        QVERIFY(HasDrawing(shots.Ready));
        QVERIFY(HasDrawing(shots.Running));
        QVERIFY(HasDrawing(shots.About));
        QCOMPARE(shots.Ready.height(), shots.ReadyHeight * shots.Ready.devicePixelRatio());
        const char* dir = std::getenv("VERUP_SCREENSHOT_DIR");
        if (dir == nullptr || *dir == '\0')
            return;
        const QString base = QString::fromLocal8Bit(dir) + QLatin1Char('/');
        QVERIFY(shots.Dialog.save(base + QStringLiteral("connection-dialog.png")));
        QVERIFY(shots.Ready.save(base + QStringLiteral("ready.png")));
        QVERIFY(shots.Running.save(base + QStringLiteral("running-debug.png")));
        QVERIFY(shots.About.save(base + QStringLiteral("about.png")));
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
