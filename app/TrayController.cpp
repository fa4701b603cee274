#include "app/TrayController.h"

#include "app/StatusNotifierItem.h"
#include "model/MetricCatalogue.h"
#include "model/Preferences.h"
#include "monitor/SystemMonitor.h"

#include <QCursor>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

namespace orb {

namespace {

// Tray hosts show a picture even when the label has neither rings nor a symbol, or the item
// could not be clicked: the empty outer track stands in.
QImage placeholderIcon(qreal devicePixelRatio) {
    return renderRingImage(RingMetric::cpuTotal, -1.0, QStringLiteral("blue"), RingMetric::none, 0,
                           QString(), devicePixelRatio);
}

} // namespace

TrayController::TrayController(SystemMonitor& monitor, Preferences& prefs, QObject* parent)
    : QObject(parent), monitor_(monitor), prefs_(prefs) {
    // Every published change may alter the label: listen to all of them, then coalesce.
    const QMetaMethod schedule =
        metaObject()->method(metaObject()->indexOfMethod("scheduleRebuild()"));
    for (const QObject* source :
         {static_cast<const QObject*>(&monitor_), static_cast<const QObject*>(&prefs_)}) {
        const QMetaObject* meta = source->metaObject();
        for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
            const QMetaProperty property = meta->property(i);
            if (property.hasNotifySignal())
                connect(source, property.notifySignal(), this, schedule);
        }
    }

    if (!useStatusNotifier()) {
        systemTray_ = std::make_unique<QSystemTrayIcon>();
        connect(systemTray_.get(), &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Trigger ||
                        reason == QSystemTrayIcon::DoubleClick)
                        Q_EMIT activated(anchor());
                });
        // Started before the panel (at login, say): move to the panel's own item once its
        // watcher appears, since a panel that hosts such items may show no X11 tray at all.
        if (QDBusConnection::sessionBus().isConnected()) {
            watcherWatch_ = std::make_unique<QDBusServiceWatcher>(
                QStringLiteral("org.kde.StatusNotifierWatcher"), QDBusConnection::sessionBus(),
                QDBusServiceWatcher::WatchForRegistration);
            connect(watcherWatch_.get(), &QDBusServiceWatcher::serviceRegistered, this,
                    [this] { moveToStatusNotifier(0); });
        }
    }
    rebuild();
    if (systemTray_)
        systemTray_->show();
}

TrayController::~TrayController() = default;

LabelSettings TrayController::currentSettings() const {
    LabelSettings settings;
    settings.outerRingMetric = prefs_.outerRingMetric();
    settings.innerRingMetric = prefs_.innerRingMetric();
    settings.numberMetric = prefs_.numberMetric();
    settings.outerRingColor = prefs_.outerRingColor();
    settings.innerRingColor = prefs_.innerRingColor();
    return settings;
}

bool TrayController::useStatusNotifier() {
    if (!StatusNotifierItem::watcherAvailable())
        return false;
    auto item = std::make_unique<StatusNotifierItem>(QStringLiteral("orbimeter"),
                                                     QStringLiteral("Orbimeter"));
    if (!item->registerWithWatcher())
        return false;
    statusNotifier_ = std::move(item);
    host_ = Host::statusNotifier;
    connect(statusNotifier_.get(), &StatusNotifierItem::activated, this, [this](const QPoint& at) {
        lastActivation_ = at;
        Q_EMIT activated(anchor());
    });
    return true;
}

void TrayController::moveToStatusNotifier(int attempt) {
    // A watcher may take its name a moment before it answers calls: try again a few times.
    constexpr int attempts = 15;
    constexpr int retryMs = 200;
    if (statusNotifier_)
        return;
    if (!useStatusNotifier()) {
        if (attempt + 1 < attempts)
            QTimer::singleShot(retryMs, this,
                               [this, attempt] { moveToStatusNotifier(attempt + 1); });
        return;
    }
    systemTray_.reset();
    lastIcon_ = QImage();
    lastToolTip_.clear();
    rebuild();
}

void TrayController::scheduleRebuild() {
    if (rebuildPending_)
        return;
    rebuildPending_ = true;
    QTimer::singleShot(0, this, [this] {
        rebuildPending_ = false;
        rebuild();
    });
}

QString TrayController::toolTip() const {
    const NumberMetric metric = prefs_.numberMetric();
    if (metric == NumberMetric::none || label_.text.isEmpty())
        return QStringLiteral("Orbimeter");
    return rawValue(metric) + QStringLiteral(": ") + label_.text;
}

void TrayController::rebuild() {
    ++rebuilds_;
    // Tray icons are small: draw for the sharpest screen, which also serves the others.
    qreal ratio = 1.0;
    for (QScreen* screen : QGuiApplication::screens())
        ratio = std::max(ratio, screen->devicePixelRatio());
    label_ = buildLabel(currentSettings(), monitor_, ratio);
    QImage icon = trayIconImage(label_, ratio);
    if (icon.isNull())
        icon = placeholderIcon(ratio);
    const QString tip = toolTip();

    if (statusNotifier_) {
        statusNotifier_->setIcon(icon);
        statusNotifier_->setLabel(label_.text, label_.text);
        statusNotifier_->setToolTip(QStringLiteral("Orbimeter"), tip);
    } else if (systemTray_) {
        if (icon != lastIcon_)
            systemTray_->setIcon(QIcon(QPixmap::fromImage(icon)));
        if (tip != lastToolTip_)
            systemTray_->setToolTip(tip);
    }
    lastIcon_ = icon;
    lastToolTip_ = tip;
}

QRect TrayController::anchor() const {
    if (systemTray_) {
        const QRect geometry = systemTray_->geometry();
        if (geometry.isValid() && !geometry.isEmpty())
            return geometry;
    }
    if (statusNotifier_ && !lastActivation_.isNull())
        return QRect(lastActivation_, QSize(0, 0));
    return QRect(QCursor::pos(), QSize(0, 0));
}

} // namespace orb
