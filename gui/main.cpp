// verup-gui: the desktop window of the update tool.
#include <QApplication>

#include "TemplateView.h"
#include "UpdateWindow.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("verup-gui"));
    QApplication::setFont(verup::gui::DialogFont());
    // The window decides when the program ends: message boxes and the wait box come and go
    // while it is still hidden.
    QApplication::setQuitOnLastWindowClosed(false);

    verup::gui::UpdateWindow window(verup::StartupEnvironment::FromProcess());
    QObject::connect(&window, &verup::gui::UpdateWindow::closed, &app, &QApplication::quit, Qt::QueuedConnection);
    window.Begin();
    return app.exec();
}
