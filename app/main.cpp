// Orbimeter: a system monitor in the desktop's tray.
#include "app/OrbimeterApp.h"

#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QStandardPaths>
#include <cstdio>

int main(int argc, char** argv) {
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

    orb::OrbimeterApp orbimeter;
    return app.exec();
}
