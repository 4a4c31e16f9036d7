// The window through its start-ups that end before a device is reached: the connection
// dialogs, their refusals and writes, the failures' message boxes and who owns them.
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <cstdlib>
#include <memory>

#include "GuiTestSupport.h"
#include "app/DialogTexts.h"
#include "ui/ConnectionTexts.h"

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

// Any message box that ever shows, for the cases that must stay silent.
class MessageBoxWatch : public QObject {
public:
    MessageBoxWatch()
    {
        connect(&timer_, &QTimer::timeout, this, [this] { seen |= VisibleMessageBox() != nullptr; });
        timer_.start(5);
    }
    bool seen = false;

private:
    QTimer timer_;
};

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
    AcceptMessageBoxLater(box);
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

    void missingFilesShowAStopBoxOwnedByTheWindowWithoutWaitBox()
    {
        pkg_->Write("verup.dat", DatFile("SEL=0\r\n"));
        Start();
        BoxSeen seen;
        bool wait_box = true;
        UiScript script;
        script.When("the message box", [] { return VisibleMessageBox() != nullptr; }, [&] {
            wait_box = window_->WaitBox() != nullptr;
            seen = TakeBox(VisibleMessageBox());
        });
        QVERIFY2(QTest::qWaitFor([&] { return closed_->count() == 1; }, kWaitMs), qPrintable(script.Waiting()));
        QCOMPARE(seen.text, Shown(kMsgFilesMissing));
        QCOMPARE(seen.caption, Shown(kTitle));
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QCOMPARE(seen.ownerWidget, static_cast<QWidget*>(window_.get()));
        QVERIFY(!wait_box);
    }

    void cancelledConnectionDialogClosesSilently()
    {
        pkg_->Write("verup.dat", DatFile("SEL=0\r\n", "[IPADDR]\r\nFIELD=10.1.2.3\r\n"));
        pkg_->Write("rt00.mot", "S00600004844521B\r\n");
        Start();
        MessageBoxWatch watch;
        QString header, address;
        bool has_combo = true, still_open_after_escape = false;
        UiScript script;
        script
            .When("the address dialog", [] { return VisibleWindow(QStringLiteral("ConnectionDialog")) != nullptr; },
                  [&] {
                      QWidget* dialog = VisibleWindow(QStringLiteral("ConnectionDialog"));
                      header = ControlOf<QLabel>(dialog, IDC_HEADER)->text();
                      address = ControlOf<QLineEdit>(dialog, IDC_ADDRESS)->text();
                      has_combo = ControlOf<QComboBox>(dialog, IDC_COM_COMBO) != nullptr;
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
        QCOMPARE(address, QStringLiteral("10.1.2.3"));
        QVERIFY(!has_combo);
        QVERIFY(still_open_after_escape);
        QVERIFY(!watch.seen);
        QVERIFY(!window_->isVisible());
    }

    void refusedAddressKeepsTheDialogOpenWithPortAndComWritten()
    {
        const std::string original = DatFile("SEL=2\r\n", "[PORTSEL]\r\nPORT=0\r\nCOM=3\r\n[IPADDR]\r\nFIELD=10.0.0.1\r\n");
        pkg_->Write("verup.dat", original);
        pkg_->Write("rt00.mot", "S00600004844521B\r\n");
        Start();
        bool serial_checked = false, combo_enabled = false, address_enabled = true, lan_swapped = false;
        int combo_index = -1;
        BoxSeen seen;
        std::string file_after_refusal;
        bool dialog_open_after_refusal = false;
        auto dialog = [] { return VisibleWindow(QStringLiteral("ConnectionDialog")); };
        UiScript script;
        script
            .When("the port selection", [&] { return dialog() != nullptr; }, [&] {
                QWidget* d = dialog();
                serial_checked = ControlOf<QRadioButton>(d, IDC_RADIO_SERIAL)->isChecked();
                combo_enabled = ControlOf<QComboBox>(d, IDC_COM_COMBO)->isEnabled();
                combo_index = ControlOf<QComboBox>(d, IDC_COM_COMBO)->currentIndex();
                address_enabled = ControlOf<QLineEdit>(d, IDC_ADDRESS)->isEnabled();
                ClickLater(ControlOf<QRadioButton>(d, IDC_RADIO_LAN));
            })
            .When("the LAN controls", [&] { return ControlOf<QLineEdit>(dialog(), IDC_ADDRESS)->isEnabled(); }, [&] {
                QWidget* d = dialog();
                lan_swapped = !ControlOf<QComboBox>(d, IDC_COM_COMBO)->isEnabled();
                ControlOf<QLineEdit>(d, IDC_ADDRESS)->setText(QStringLiteral("192.168.1"));
                ClickLater(ControlOf<QPushButton>(d, IDC_OK));
            })
            .When("the address message", [] { return VisibleMessageBox() != nullptr; }, [&] {
                file_after_refusal = pkg_->Read("verup.dat");
                seen = TakeBox(VisibleMessageBox());
            })
            .When("the message gone", [] { return VisibleMessageBox() == nullptr; }, [&] {
                dialog_open_after_refusal = dialog() != nullptr;
                if (dialog_open_after_refusal)
                    ClickLater(ControlOf<QPushButton>(dialog(), IDC_CANCEL));
            });
        QVERIFY2(QTest::qWaitFor([&] { return closed_->count() == 1; }, kWaitMs), qPrintable(script.Waiting()));
        QVERIFY(serial_checked);
        QVERIFY(combo_enabled);
        QCOMPARE(combo_index, 2);
        QVERIFY(!address_enabled);
        QVERIFY(lan_swapped);
        QCOMPARE(seen.text, Shown(kAddressErrorText));
        QCOMPARE(seen.caption, Shown(kConnectionCaption));
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QCOMPARE(seen.owner, QStringLiteral("ConnectionDialog"));
        QVERIFY(dialog_open_after_refusal);
        std::string expected = original;
        expected.replace(expected.find("PORT=0"), 6, "PORT=1");
        QCOMPARE(file_after_refusal, expected);
        QCOMPARE(pkg_->Read("verup.dat"), expected);
    }

    void failureAfterTheConnectionDialogShowsItsBoxOverTheWaitBox()
    {
        // RETRY missing (0): the LAN start-up fails without a single connection attempt.
        const std::string original = DatFile("SEL=0\r\n", "[IPADDR]\r\nFIELD=127.0.0.1\r\n");
        pkg_->Write("verup.dat", original);
        pkg_->Write("rt00.mot", "S00600004844521B\r\n");
        Start();
        BoxSeen seen;
        bool wait_visible = false, window_visible = false;
        int window_height = 0;
        QString window_title = QStringLiteral("unset");
        UiScript script;
        script.ConfirmConnectionDialog()
            .When("the failure's box", [] { return VisibleMessageBox() != nullptr; }, [&] {
                wait_visible = window_->WaitBox() != nullptr && window_->WaitBox()->isVisible();
                window_visible = window_->isVisible();
                window_height = window_->height();
                window_title = window_->windowTitle();
                seen = TakeBox(VisibleMessageBox());
            });
        QVERIFY2(QTest::qWaitFor([&] { return closed_->count() == 1; }, kWaitMs), qPrintable(script.Waiting()));
        QCOMPARE(seen.text, Shown(kMsgConnectFailed));
        QCOMPARE(seen.caption, Shown(kTitle));
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QCOMPARE(seen.owner, QStringLiteral("WaitDialog"));
        QVERIFY(wait_visible);
        QVERIFY(window_visible);
        QCOMPARE(window_height, MainClientHeight(false, window_->Units()));
        QCOMPARE(window_title, QString());
        QVERIFY(window_->WaitBox() == nullptr);
        QCOMPARE(pkg_->Read("verup.dat"), original);
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
