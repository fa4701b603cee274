#include "app/WindowPositioner.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <cstdio>

namespace orb {

namespace {

void log(const QString& line) {
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

QString describe(const QRectF& r) {
    return QStringLiteral("(%1, %2, %3, %4)").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

} // namespace

QPointF detailWindowOrigin(const QRectF& visibleArea, const QRectF& windowFrame) {
    return {visibleArea.x() + 50,
            visibleArea.y() + (visibleArea.height() - windowFrame.height()) * 0.5};
}

void positionWindow(const QString& title) {
    log(QStringLiteral("Debug: Attempting to position window '%1'").arg(title));
    const auto windows = QGuiApplication::topLevelWindows();
    for (QWindow* window : windows) {
        log(QStringLiteral("Debug: Found window: '%1' frame: %2")
                .arg(window->title(), describe(window->frameGeometry())));
    }
    QWindow* target = nullptr;
    for (QWindow* window : windows) {
        if (window->title().contains(title)) { // an equal title contains itself
            target = window;
            break;
        }
    }
    if (!target) {
        log(QStringLiteral("Debug: Could not find window with title '%1'").arg(title));
        return;
    }
    log(QStringLiteral("Debug: Found target window '%1'. Moving...").arg(target->title()));
    QScreen* screen = target->screen() ? target->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QPointF origin = detailWindowOrigin(screen->availableGeometry(), target->frameGeometry());
    target->setFramePosition(origin.toPoint());
    log(QStringLiteral("Debug: Moved to (%1, %2)").arg(origin.x()).arg(origin.y()));
}

} // namespace orb
