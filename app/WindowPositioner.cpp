#include "app/WindowPositioner.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <algorithm>
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

// Without a reserved area (no window manager publishes one, or the panel reserves none) the
// panel's extent is unknown. The anchor is then taken to sit midway across a panel along the
// nearer screen edge, so the panel ends as far beyond the anchor as the anchor is from that edge,
// up to the thickness of a tall panel; the popover keeps a small gap from that guess.
constexpr int kTallPanel = 64;
constexpr int kGap = 4;

} // namespace

QPoint popoverOrigin(const QRect& anchor, const QRect& geometry, const QRect& available,
                     const QSize& size) {
    // Integer centre that also holds for a zero-size anchor (QRect::center is off by one there).
    const QPoint centre(anchor.x() + anchor.width() / 2, anchor.y() + anchor.height() / 2);
    const int anchorEnd = anchor.y() + anchor.height();
    int x = centre.x() - size.width() / 2;
    int y = centre.y() - size.height() / 2;
    // Where the popover may go. It may run past the far edge of a short screen, but never back
    // over the panel and the icon that opened it.
    QRect area = available;
    if (centre.y() < available.top()) {
        y = available.top(); // a top panel
    } else if (centre.y() > available.bottom()) {
        y = available.bottom() + 1 - size.height(); // a bottom panel
    } else if (centre.x() < available.left()) {
        x = available.left(); // a left panel
    } else if (centre.x() > available.right()) {
        x = available.right() + 1 - size.width(); // a right panel
    } else if (centre.y() < geometry.y() + geometry.height() / 2) {
        area.setTop(anchorEnd + std::min(anchor.y() - geometry.y(), kTallPanel) + kGap);
        y = area.top();
    } else {
        const int beyond = std::min(geometry.y() + geometry.height() - anchorEnd, kTallPanel);
        area.setBottom(anchor.y() - beyond - kGap - 1);
        y = area.bottom() + 1 - size.height();
    }
    x = std::clamp(x, area.left(), std::max(area.left(), area.right() + 1 - size.width()));
    y = std::clamp(y, area.top(), std::max(area.top(), area.bottom() + 1 - size.height()));
    return {x, y};
}

bool isTrayItemPosition(const QPoint& at, const std::optional<QPoint>& pointer,
                        const QRect& geometry, const QRect& available) {
    constexpr int kNearPointer = 96;
    if (!geometry.contains(at))
        return false;
    // On a panel: in the strip a panel reserves, or, where none is reserved (no window manager
    // says so), within a tall panel's thickness of an edge.
    const bool reserved = available != geometry && !available.contains(at);
    const bool nearEdge =
        at.x() - geometry.left() < kTallPanel || geometry.right() - at.x() < kTallPanel ||
        at.y() - geometry.top() < kTallPanel || geometry.bottom() - at.y() < kTallPanel;
    if (!(reserved || (available == geometry && nearEdge)))
        return false;
    return !pointer || (*pointer - at).manhattanLength() <= 2 * kNearPointer;
}

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
