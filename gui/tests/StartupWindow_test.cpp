// The window through its start-ups that end before a device is reached: its keys, the
// connection dialog's buttons, the failures' message boxes and who owns them.
#include <QKeyEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <cstdlib>
#include <memory>

#include "GuiTestSupport.h"
#include "app/DialogTexts.h"

using namespace verup;
using namespace verup::gui;
using namespace verup::gui::test;

namespace {

constexpr int kWaitMs = 20000;
const std::string kTitle = "NEXAVO\x81\x40" "7300QB";

std::string DatFile(const std::string& mode, const std::string& more = "")
{
    return "[MODE]\r\n" + mode + "[VERUP]\r\nNAME1=NEXAVO\r\nNAME2=7300QB\r\nKIKI1=NEXAVO7300QB\r\nNUM_LEN=12\r\n"
           "NUM=Version 1.20\r\n" + more;
}

// What a message box showed; it is answered.
struct BoxSeen {
    QString text, caption, owner;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    const QWidget* ownerWidget = nullptr;
};

BoxSeen TakeBox(QMessageBox* box)
{
    BoxSeen seen{box->text(), box->windowTitle(), {}, box->icon(), box->parentWidget()};
    if (seen.ownerWidget != nullptr)
        seen.owner = seen.ownerWidget->objectName();
    ClickLater(box->button(QMessageBox::Ok));
    return seen;
}

}  // namespace

class StartupWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        pkg_ = std::make_unique<PackageDir>();
        clock_ = std::make_unique<Clock>(50);
    }
    void cleanup()
    {
        window_.reset();
        pkg_.reset();
    }

    void escapeAndF1DoNothingInTheMainWindow()
    {
        UpdateWindow window(pkg_->Environment(clock_.get()));
        QSignalSpy closed(&window, &UpdateWindow::closed);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::keyClick(&window, Qt::Key_Escape);
        QTest::keyClick(&window, Qt::Key_F1);
        QTest::keyClick(&window, Qt::Key_Return);  // no button has the focus
        QCoreApplication::processEvents();
        QVERIFY(window.isVisible());
        QCOMPARE(closed.count(), 0);

        // With the close button focused, Enter acts as "閉じる".
        ControlOf<QPushButton>(&window, IDC_CLOSE)->setFocus();
        QTest::keyClick(&window, Qt::Key_Return);
        QTRY_COMPARE(closed.count(), 1);
    }

    // A start-up that fails shows its stop box owned by whatever is in front: the window itself
    // before the connection dialog, the wait box after it; verup.dat stays as it was.
    void failedStartupShowsItsBoxOverWhatIsInFront_data()
    {
        QTest::addColumn<bool>("connects");
        QTest::addColumn<QString>("message");
        QTest::newRow("files missing") << false << Shown(kMsgFilesMissing);
        // RETRY missing (0): the LAN start-up fails without a single connection attempt.
        QTest::newRow("connection failed") << true << Shown(kMsgConnectFailed);
    }
    void failedStartupShowsItsBoxOverWhatIsInFront()
    {
        QFETCH(bool, connects);
        QFETCH(QString, message);
        const std::string original = DatFile("SEL=0\r\n", "[IPADDR]\r\nFIELD=127.0.0.1\r\n");
        pkg_->Write("verup.dat", original);
        if (connects)
            pkg_->Write("rt00.mot", "S00600004844521B\r\n");
        Start();
        BoxSeen seen;
        bool wait_visible = false, window_visible = false;
        int window_height = 0;
        QString window_title = QStringLiteral("unset");
        UiScript script;
        if (connects)
            script.ConfirmConnectionDialog();
        script.When("the failure's box", [] { return VisibleMessageBox() != nullptr; }, [&] {
            wait_visible = window_->WaitBox() != nullptr && window_->WaitBox()->isVisible();
            window_visible = window_->isVisible();
            window_height = window_->height();
            window_title = window_->windowTitle();
            seen = TakeBox(VisibleMessageBox());
        });
        QVERIFY2(QTest::qWaitFor([&] { return closed_->count() == 1; }, kWaitMs), qPrintable(script.Waiting()));
        QCOMPARE(seen.text, message);
        QCOMPARE(seen.caption, Shown(kTitle));
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QCOMPARE(wait_visible, connects);
        if (connects) {
            QCOMPARE(seen.owner, QStringLiteral("WaitDialog"));
            QVERIFY(window_visible);
            QCOMPARE(window_height, MainClientHeight(false, window_->Units()));
            QCOMPARE(window_title, QString());
        } else {
            QCOMPARE(seen.ownerWidget, static_cast<QWidget*>(window_.get()));
        }
        QVERIFY(window_->WaitBox() == nullptr);
        QCOMPARE(pkg_->Read("verup.dat"), original);
    }

    // Escape leaves the connection dialog open; its cancel button closes the window without a
    // message (one would hold the window open until answered).
    void cancelledConnectionDialogClosesSilently()
    {
        pkg_->Write("verup.dat", DatFile("SEL=0\r\n", "[IPADDR]\r\nFIELD=10.1.2.3\r\n"));
        pkg_->Write("rt00.mot", "S00600004844521B\r\n");
        Start();
        QString header;
        bool still_open_after_escape = false;
        UiScript script;
        script
            .When("the address dialog", [] { return VisibleWindow(QStringLiteral("ConnectionDialog")) != nullptr; },
                  [&] {
                      QWidget* dialog = VisibleWindow(QStringLiteral("ConnectionDialog"));
                      header = ControlOf<QLabel>(dialog, IDC_HEADER)->text();
                      QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                      QApplication::sendEvent(dialog, &escape);
                  })
            .When("the dialog after Escape", [] { return true; }, [&] {
                QWidget* dialog = VisibleWindow(QStringLiteral("ConnectionDialog"));
                still_open_after_escape = dialog != nullptr;
                if (dialog != nullptr)
                    ClickLater(ControlOf<QPushButton>(dialog, IDC_CANCEL));
            });
        QVERIFY2(QTest::qWaitFor([&] { return closed_->count() == 1; }, kWaitMs), qPrintable(script.Waiting()));
        QCOMPARE(header, Shown(kTitle));
        QVERIFY(still_open_after_escape);
        QVERIFY(!window_->isVisible());
    }

private:
    void Start()
    {
        window_ = std::make_unique<UpdateWindow>(pkg_->Environment(clock_.get()));
        closed_ = std::make_unique<QSignalSpy>(window_.get(), &UpdateWindow::closed);
        window_->Begin();
    }

    std::unique_ptr<PackageDir> pkg_;
    std::unique_ptr<Clock> clock_;
    std::unique_ptr<UpdateWindow> window_;
    std::unique_ptr<QSignalSpy> closed_;
};

QTEST_MAIN(StartupWindowTest)
#include "StartupWindow_test.moc"
