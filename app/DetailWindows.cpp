#include "app/DetailWindows.h"

#include "app/QmlViews.h"
#include "app/WindowPositioner.h"
#include "monitor/SystemMonitor.h"

#include <QQuickView>
#include <QTimer>

namespace orb {

DetailWindows::DetailWindows(QQmlEngine& engine, SystemMonitor& monitor, QObject* parent)
    : QObject(parent), engine_(engine), monitor_(monitor) {}

DetailWindows::~DetailWindows() {
    // A window announces that it hides while it is being destroyed: stop listening first.
    for (const auto& window : std::as_const(windows_)) {
        if (window) {
            window->disconnect(this);
            delete window.data();
        }
    }
}

QQuickView* DetailWindows::window(const QString& area) const {
    return windows_.value(area).data();
}

void DetailWindows::open(const QString& area) {
    if (QQuickView* existing = window(area)) {
        existing->show();
        existing->raise();
        existing->requestActivate();
        return;
    }
    // Without a value the window shows the processor page, but names no area as active.
    const QString metric = area.isEmpty() ? QStringLiteral("CPU") : area;
    QQuickView* view = createView(engine_, QStringLiteral("DetailedStatsView.qml"),
                                  {{QStringLiteral("metric"), metric},
                                   {QStringLiteral("monitor"), QVariant::fromValue(&monitor_)}});
    view->setTitle(metric);
    view->setMinimumSize(QSize(minimumSide, minimumSide));
    view->resize(QSize(700, 700));
    windows_.insert(area, view);

    connect(view, &QWindow::visibleChanged, this, [this, area, view](bool visible) {
        if (!visible && windows_.value(area) == view)
            closed(area);
    });
    view->show();
    view->requestActivate();
    monitor_.setActiveWindow(area);
    QTimer::singleShot(positionDelayMs, this, [metric] { positionWindow(metric); });
}

void DetailWindows::closed(const QString& area) {
    QQuickView* view = windows_.take(area);
    monitor_.setActiveWindow(QString());
    if (view) {
        view->disconnect(this);
        view->deleteLater();
    }
}

void DetailWindows::closeAll() {
    const auto areas = windows_.keys();
    for (const QString& area : areas) {
        if (QQuickView* view = window(area))
            view->close(); // hiding runs closed()
    }
}

} // namespace orb
