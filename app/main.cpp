// Orbimeter: a system monitor in the desktop's tray.
#include "app/OrbimeterApp.h"
#include "app/Shell.h"
#include "platform/TerminationSignals.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QLockFile>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QStandardPaths>
#include <cstdio>
#include <cstring>

namespace {

// Under Wayland a program cannot place its own windows, and the popover has to open at the
// tray item: run through XWayland unless the user chose a platform.
void preferXWaylandUnderWayland(int argc, char** argv) {
    if (qEnvironmentVariable("XDG_SESSION_TYPE") != QLatin1String("wayland") ||
        !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0 ||
            std::strncmp(argv[i], "-platform=", 10) == 0 ||
            std::strncmp(argv[i], "--platform=", 11) == 0)
            return;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    std::printf("Wayland session: running through XWayland (QT_QPA_PLATFORM=xcb), since windows "
                "cannot be placed by the program under Wayland.\n");
    std::fflush(stdout);
}

// Reads the options; exits with status 2 on a bad value, as a command-line tool does.
orb::AppOptions parseOptions(const QApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A system monitor in the desktop's tray."));
    parser.addHelpOption();
    orb::addEngineOptions(parser);
    const QCommandLineOption details(
        QStringLiteral("details"),
        QStringLiteral("Testing aid: open the detail window of AREA at start (CPU, GPU, Memory, "
                       "Disk, Network, Battery or Sensors)."),
        QStringLiteral("AREA"));
    parser.addOption(details);
    parser.process(app);

    const auto engine = orb::readEngineOptions(parser, "orbimeter");
    if (!engine)
        std::exit(2);
    orb::AppOptions options;
    static_cast<orb::EngineOptions&>(options) = *engine;
    options.detailArea = parser.value(details);
    return options;
}

} // namespace

int main(int argc, char** argv) {
    preferXWaylandUnderWayland(argc, argv);
    // Small windows draw with far less memory on the software renderer than with a GL context;
    // QT_QUICK_BACKEND still chooses another.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    if (qEnvironmentVariableIsEmpty("QT_QUICK_CONTROLS_STYLE"))
        QQuickStyle::setStyle(QStringLiteral("Fusion"));

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orbimeter"));
    QApplication::setOrganizationName(QStringLiteral("orbimeter"));
    // The program lives in the tray: closing its last window does not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    const orb::AppOptions options = parseOptions(app);

    // One tray item per session: a second start says so and leaves the first one alone.
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        runtime = QDir::tempPath();
    QLockFile lock(runtime + QStringLiteral("/orbimeter.lock"));
    lock.setStaleLockTime(0);
    if (!lock.tryLock()) {
        std::printf("Orbimeter is already running.\n");
        return 0;
    }

    // Ended by the session or from a terminal, it still leaves as on a normal quit.
    orb::platform::quitOnTerminationSignals();
    orb::OrbimeterApp orbimeter(options);
    if (!options.detailArea.isEmpty())
        orbimeter.shell().openDetails(options.detailArea);
    return app.exec();
}
