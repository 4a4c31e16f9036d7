// Pictures of the window for the documentation, taken on the offscreen platform during a LAN
// update in debug mode: the connection dialog, the ready window, a running update with its
// log, the about box. They are written to VERUP_SCREENSHOT_DIR when it is set.
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <cstdlib>
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

class ScreenshotsTest : public QObject {
    Q_OBJECT
private slots:
    void picturesOfALanUpdate()
    {
        PackageDir pkg;
        Clock clock(50);
        auto sim = StartSimPackage(pkg, SimPackageSpec{/*Sel=*/2, /*Debug=*/99, /*Auto=*/0, /*Port=*/1}, clock);
        QVERIFY(sim != nullptr);

        UpdateWindow window(pkg.Environment(&clock));
        QSignalSpy closed(&window, &UpdateWindow::closed);
        window.Begin();
        auto start = [&] { return ControlOf<QPushButton>(&window, IDC_START); };
        auto close = [&] { return ControlOf<QPushButton>(&window, IDC_CLOSE); };
        auto bar = [&] { return ControlOf<QProgressBar>(&window, IDC_PROGRESS); };
        QImage dialog_shot, ready_shot, running_shot, about_shot;
        QString unexpected;

        UiScript script;
        script
            .When("the connection dialog", [] { return VisibleWindow(QStringLiteral("ConnectionDialog")) != nullptr; },
                  [&] {
                      QWidget* d = VisibleWindow(QStringLiteral("ConnectionDialog"));
                      dialog_shot = d->grab().toImage();
                      ClickLater(ControlOf<QPushButton>(d, IDC_OK));
                  })
            .When("the ready window",
                  [&] {
                      if (TakeUnexpectedMessageBox(unexpected))
                          return true;
                      return window.isVisible() && !window.StartupRunning() &&
                             ControlOf<QLabel>(&window, IDC_STATUS)->text() == Shown(kStatusReady);
                  },
                  [&] {
                      ready_shot = window.grab().toImage();
                      AboutDialog about(window.Controller().AboutText1(), window.Controller().AboutText2(), &window);
                      about.show();
                      about_shot = about.grab().toImage();
                      about.hide();
                      ClickLater(start());
                  })
            .When("half of the update", [&] { return !close()->isEnabled() && bar()->maximum() > 10 && bar()->value() * 2 >= bar()->maximum(); },
                  [&] { running_shot = window.grab().toImage(); })
            .When("the finished update", [&] { return close()->isEnabled() && !window.Controller().WorkerRunning(); },
                  [&] { ClickLater(close()); });
        QVERIFY2(QTest::qWaitFor([&] { return !closed.isEmpty() || !unexpected.isEmpty(); }, kRunWaitMs),
                 qPrintable(script.Waiting()));
        QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected));

        QVERIFY(HasDrawing(dialog_shot));
        QVERIFY(HasDrawing(ready_shot));
        QVERIFY(HasDrawing(running_shot));
        QVERIFY(HasDrawing(about_shot));
        QCOMPARE(ready_shot.height(), MainClientHeight(true, window.Units()) * ready_shot.devicePixelRatio());

        const char* dir = std::getenv("VERUP_SCREENSHOT_DIR");
        if (dir == nullptr || *dir == '\0')
            return;
        const QString base = QString::fromLocal8Bit(dir) + QLatin1Char('/');
        QVERIFY(dialog_shot.save(base + QStringLiteral("connection-dialog.png")));
        QVERIFY(ready_shot.save(base + QStringLiteral("ready.png")));
        QVERIFY(running_shot.save(base + QStringLiteral("running-debug.png")));
        QVERIFY(about_shot.save(base + QStringLiteral("about.png")));
    }
};

QTEST_MAIN(ScreenshotsTest)
#include "Screenshots_test.moc"
