// How long the popover takes from the click to its first frame: the first opening (the window
// and its page are built) and the openings after it (the cards are built again, since a hidden
// popover keeps none). Runs on the real machine's readings; needs a display (see
// popover_open.sh). Prints one line per kind of opening, in milliseconds.
#include "app/Popover.h"
#include "app/Shell.h"
#include "model/Preferences.h"
#include "monitor/SystemMonitor.h"
#include "platform/LoginItem.h"
#include "platform/Platform.h"
#include "platform/QtSettingsStore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QQuickStyle>
#include <QQuickView>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Opens the popover and waits for its first frame on screen.
double openToFirstFrameMs(orb::Shell& shell) {
    QEventLoop loop;
    QElapsedTimer timer;
    QMetaObject::Connection swapped;
    timer.start();
    shell.popover().open(QRect(600, 0, 24, 24));
    swapped = QObject::connect(shell.popover().window(), &QQuickWindow::frameSwapped, &loop,
                               &QEventLoop::quit);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(swapped);
    return timer.nsecsElapsed() / 1e6;
}

void settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char** argv) {
    // The program's own renderer and style.
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
    QApplication app(argc, argv);
    auto platform = orb::platform::makeSystemPlatform();
    orb::platform::QtSettingsStore store;
    auto loginItem = orb::platform::makeLoginItemService();
    orb::SystemMonitor monitor(*platform);
    orb::Preferences prefs(store, *loginItem);
    orb::Shell shell(monitor, prefs);
    settle(1500);

    const double first = openToFirstFrameMs(shell);
    std::vector<double> again;
    for (int i = 0; i < 20; ++i) {
        settle(300);
        shell.popover().close();
        settle(300);
        again.push_back(openToFirstFrameMs(shell));
    }
    std::sort(again.begin(), again.end());
    std::printf("first opening:      %.1f ms\n", first);
    std::printf("later openings:     median %.1f ms, worst %.1f ms (of %zu)\n",
                again[again.size() / 2], again.back(), again.size());
    return 0;
}
