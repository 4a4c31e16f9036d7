// verup-gui: the desktop window of the update tool.
#include <QApplication>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

#include "TemplateView.h"
#include "UpdateWindow.h"
#include "lan/TelnetLink.h"
#include "platform/Clock.h"
#include "platform/Paths.h"

namespace {

// An optional folder to run in (a path to its verup.dat names it too), as a file manager or the
// desktop entry hands it over. False, with the reason on stderr, when it cannot be entered.
bool EnterPackageFolder(const char* argument)
{
    std::error_code ec;
    std::filesystem::path folder(argument);
    if (std::filesystem::is_regular_file(folder, ec))
        folder = folder.parent_path();
    if (folder.empty() || verup::ChangeDirectory(folder.string()))
        return true;
    std::fprintf(stderr, "verup-gui: cannot enter %s: %s\n", folder.string().c_str(), std::strerror(errno));
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc > 2) {
        std::fputs("usage: verup-gui [FOLDER|FOLDER/verup.dat]\n", stderr);
        return 64;
    }
    if (argc == 2 && !EnterPackageFolder(argv[1]))
        return 66;
    QApplication::setApplicationName(QStringLiteral("verup-gui"));
    QApplication::setFont(verup::gui::DialogFont());
    // The window decides when the program ends: message boxes and the wait box come and go
    // while it is still hidden.
    QApplication::setQuitOnLastWindowClosed(false);

    verup::StartupEnvironment environment = verup::StartupEnvironment::FromProcess();
    environment.TimeScale = verup::Clock::ScaleFromText(std::getenv("VERUP_TIME_SCALE"));
    environment.TelnetPort = verup::TelnetLink::PortFromText(std::getenv("VERUP_TELNET_PORT"));
    verup::gui::UpdateWindow window(std::move(environment));
    QObject::connect(&window, &verup::gui::UpdateWindow::closed, &app, &QApplication::quit, Qt::QueuedConnection);
    window.Begin();
    return app.exec();
}
