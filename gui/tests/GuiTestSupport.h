#pragma once
// Helpers for driving the real window on the offscreen platform. The window's blocking host
// calls run modal loops on the GUI thread, so a test never clicks from its own body: it lists
// steps ("when this shows, do that") that a timer carries out inside whatever loop runs, and
// every click is posted so that a step never blocks in a nested modal loop itself.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "TemplateView.h"
#include "UpdateWindow.h"
#include "ui/DialogTemplates.h"
#include "support/TempDir.h"

namespace verup::gui::test {

// A visible window of type T named `name`, or null.
template <class T = QWidget>
T* VisibleWindow(const QString& name)
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && widget->objectName() == name)
            if (auto* typed = qobject_cast<T*>(widget))
                return typed;
    return nullptr;
}

inline QMessageBox* VisibleMessageBox() { return VisibleWindow<QMessageBox>(QStringLiteral("MessageBox")); }

template <class T = QWidget>
T* ControlOf(QWidget* window, int id)
{
    return window == nullptr ? nullptr : window->findChild<T*>(QStringLiteral("ctl%1").arg(id));
}

// Clicks once the current event has been handled, so a click that opens a modal loop does
// not run inside the caller.
inline void ClickLater(QAbstractButton* button)
{
    QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
}

// A message box where none was expected: its text goes to `unexpected` and it is answered,
// so a waiting step can end and the test report what the window said.
inline bool TakeUnexpectedMessageBox(QString& unexpected)
{
    QMessageBox* box = VisibleMessageBox();
    if (box == nullptr)
        return false;
    unexpected = box->text();
    ClickLater(box->button(QMessageBox::Ok));
    return true;
}

class UiScript : public QObject {
public:
    using Predicate = std::function<bool()>;
    using Action = std::function<void()>;

    UiScript()
    {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { Step(); });
        timer_.start();
    }
    UiScript& When(QString what, Predicate predicate, Action action)
    {
        steps_.push_back({std::move(what), std::move(predicate), std::move(action)});
        return *this;
    }
    // The connection dialog confirmed as it shows.
    UiScript& ConfirmConnectionDialog()
    {
        return When("the connection dialog", [] { return VisibleWindow(QStringLiteral("ConnectionDialog")) != nullptr; },
                    [] { ClickLater(ControlOf<QPushButton>(VisibleWindow(QStringLiteral("ConnectionDialog")), IDC_OK)); });
    }
    bool Done() const { return next_ == steps_.size(); }
    QString Waiting() const { return Done() ? QStringLiteral("nothing") : steps_[next_].what; }

private:
    struct StepDef {
        QString what;
        Predicate predicate;
        Action action;
    };
    void Step()
    {
        if (busy_ || Done() || !steps_[next_].predicate())
            return;
        busy_ = true;
        steps_[next_++].action();
        busy_ = false;
    }
    std::vector<StepDef> steps_;
    std::size_t next_ = 0;
    bool busy_ = false;
    QTimer timer_;
};

// A package folder, the state and runtime folders beside it, and the start-up environment.
class PackageDir {
public:
    PackageDir()
    {
        std::filesystem::create_directories(Package());
        std::filesystem::create_directories(State());
    }
    std::string Package() const { return dir_.File("pkg"); }
    std::string State() const { return dir_.File("state"); }
    std::string File(const std::string& name) const { return Package() + "/" + name; }
    void Write(const std::string& name, const std::string& content) const { dir_.Write("pkg/" + name, content); }
    std::string Read(const std::string& name) const { return dir_.Read("pkg/" + name); }
    StartupEnvironment Environment(const Clock* clock) const
    {
        StartupEnvironment env;
        env.CurrentDirectory = Package();
        env.StateDirectory = State();
        env.clock = clock;
        env.TelnetPort = TelnetPort;
        return env;
    }
    std::uint16_t TelnetPort = 23;  // the simulator's, once one runs

private:
    verup::test::TempDir dir_;
};

// A text as the window shows it.
inline QString Shown(std::string_view cp932) { return FromCp932(cp932); }

}  // namespace verup::gui::test
