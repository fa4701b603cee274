#include "app/TrayController.h"

#include "app/StatusNotifierItem.h"
#include "app/TrayColors.h"
#include "model/MetricCatalogue.h"
#include "model/Preferences.h"
#include "monitor/SystemMonitor.h"
#include "views/NumberIcon.h"

#include <QCursor>
#include <QGuiApplication>
#include <QIconEngine>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

namespace orb {

namespace {

// How long the status notifier watcher may take to answer before the X11 tray shows the item
// meanwhile. Without a watcher the bus answers at once.
constexpr int watcherGraceMs = 1000;

// Tray hosts show a picture even when the label has neither rings nor a symbol, or the item
// could not be clicked: the empty outer track stands in.
QImage placeholderIcon(qreal devicePixelRatio, PanelShade shade) {
    return renderRingImage(RingMetric::cpuTotal, -1.0, QStringLiteral("blue"), RingMetric::none, 0,
                           QString(), devicePixelRatio, shade);
}

// Paints one image at whatever size the tray asks for and keeps no copies. QIcon's own engine
// stores each scaled copy in the pixmap cache under a key of its own, and with a new picture
// every second those pile up until the cache is full.
class ImageIconEngine final : public QIconEngine {
public:
    explicit ImageIconEngine(QImage image) : image_(std::move(image)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        QRect target(
            QPoint(),
            image_.deviceIndependentSize().scaled(rect.size(), Qt::KeepAspectRatio).toSize());
        target.moveCenter(rect.center());
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawImage(target, image_);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, pixmap.rect(), mode, state);
        return pixmap;
    }
    QIconEngine* clone() const override { return new ImageIconEngine(image_); }

private:
    QImage image_;
};

} // namespace

bool TrayController::hostDrawsLabel(const QString& currentDesktop) {
    for (const QString& desktop : currentDesktop.split(u':', Qt::SkipEmptyParts)) {
        if (desktop.compare(u"GNOME", Qt::CaseInsensitive) == 0 ||
            desktop.compare(u"Unity", Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

TrayController::TrayController(SystemMonitor& monitor, Preferences& prefs, QObject* parent)
    : QObject(parent), monitor_(monitor), prefs_(prefs),
      hostDrawsLabel_(hostDrawsLabel(qEnvironmentVariable("XDG_CURRENT_DESKTOP"))) {
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

    ringsItem_ =
        makeStatusNotifierItem(QStringLiteral("orbimeter"), QStringLiteral("/StatusNotifierItem"));
    connect(ringsItem_.get(), &StatusNotifierItem::registrationChanged, this,
            [this](bool accepted) {
                if (accepted)
                    moveToStatusNotifier();
                else
                    moveToSystemTray();
            });
    // A watcher that is slow to answer must not leave the user without an item meanwhile.
    QTimer::singleShot(watcherGraceMs, this, [this] {
        if (!ringsItem_->isRegistered())
            moveToSystemTray();
    });
    rebuild();
    ringsItem_->start();
}

TrayController::~TrayController() = default;

std::unique_ptr<StatusNotifierItem> TrayController::makeStatusNotifierItem(const QString& id,
                                                                           const QString& path) {
    auto item = std::make_unique<StatusNotifierItem>(id, QStringLiteral("Orbimeter"), path);
    connect(item.get(), &StatusNotifierItem::activated, this, [this](const QPoint& at) {
        lastActivation_ = at;
        Q_EMIT activated(anchor());
    });
    return item;
}

std::unique_ptr<QSystemTrayIcon> TrayController::makeSystemTrayIcon() {
    auto icon = std::make_unique<QSystemTrayIcon>();
    connect(icon.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    Q_EMIT activated(anchor());
            });
    return icon;
}

void TrayController::moveToStatusNotifier() {
    host_ = Host::statusNotifier;
    ringsIcon_.reset();
    numberIcon_.reset();
    trayTextColor_.reset();
    if (!hostDrawsLabel_ && !numberItem_) {
        // Offered once the rings are in, so panels that keep the order of arrival put the
        // number to their right.
        numberItem_ = makeStatusNotifierItem(QStringLiteral("orbimeter-number"),
                                             QStringLiteral("/StatusNotifierItem/Number"));
        numberItem_->start();
    }
    lastIcon_ = QImage();
    lastNumber_.clear();
    lastToolTip_.clear();
    rebuild();
}

void TrayController::moveToSystemTray() {
    if (ringsIcon_)
        return;
    host_ = Host::systemTray;
    numberItem_.reset();
    trayTextColor_ = x11TrayTextColor();
    ringsIcon_ = makeSystemTrayIcon();
    lastIcon_ = QImage();
    lastNumber_.clear();
    lastToolTip_.clear();
    rebuild();
    // The rings first, so trays that keep the order of arrival put the number to their right.
    ringsIcon_->show();
    lastNumber_.clear();
    rebuild();
}

bool TrayController::showsNumberItem() const {
    return host_ == Host::systemTray ? numberIcon_ && numberIcon_->isVisible()
                                     : numberItem_ && !label_.text.isEmpty();
}

LabelSettings TrayController::currentSettings() const {
    LabelSettings settings;
    settings.outerRingMetric = prefs_.outerRingMetric();
    settings.innerRingMetric = prefs_.innerRingMetric();
    settings.numberMetric = prefs_.numberMetric();
    settings.outerRingColor = prefs_.outerRingColor();
    settings.innerRingColor = prefs_.innerRingColor();
    return settings;
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
    const QPalette palette = QGuiApplication::palette();
    const QColor textColor = trayTextColor_.value_or(palette.color(QPalette::WindowText));
    const PanelShade shade = panelShade(trayTextColor_, palette.color(QPalette::WindowText),
                                        palette.color(QPalette::Window));

    label_ = buildLabel(currentSettings(), monitor_, ratio, shade);
    const bool labelBesideIcon = host_ == Host::statusNotifier && hostDrawsLabel_;
    QImage icon = trayIconImage(label_, textColor, labelBesideIcon, ratio);
    if (icon.isNull())
        icon = placeholderIcon(ratio, shade);
    const QString tip = toolTip();
    const QString number = label_.text;

    if (host_ == Host::statusNotifier) {
        ringsItem_->setIcon(icon);
        ringsItem_->setToolTip(QStringLiteral("Orbimeter"), tip);
        if (labelBesideIcon)
            ringsItem_->setLabel(number, labelGuide(prefs_.numberMetric()));
        if (numberItem_ && number != lastNumber_) {
            numberItem_->setIcon(renderNumberIcon(number, textColor, ratio));
            numberItem_->setActive(!number.isEmpty());
        }
        if (numberItem_)
            numberItem_->setToolTip(QStringLiteral("Orbimeter"), tip);
    } else if (ringsIcon_) {
        if (icon != lastIcon_)
            ringsIcon_->setIcon(QIcon(new ImageIconEngine(icon)));
        if (!number.isEmpty() && !numberIcon_ && ringsIcon_->isVisible()) {
            numberIcon_ = makeSystemTrayIcon();
            lastNumber_.clear();
        }
        if (numberIcon_ && number != lastNumber_) {
            numberIcon_->setIcon(
                QIcon(new ImageIconEngine(renderNumberIcon(number, textColor, ratio))));
            numberIcon_->setVisible(!number.isEmpty());
        }
        if (tip != lastToolTip_) {
            ringsIcon_->setToolTip(tip);
            if (numberIcon_)
                numberIcon_->setToolTip(tip);
        }
    }
    lastIcon_ = icon;
    lastNumber_ = number;
    lastToolTip_ = tip;
}

QRect TrayController::anchor() const {
    if (ringsIcon_) {
        const QRect geometry = ringsIcon_->geometry();
        if (geometry.isValid() && !geometry.isEmpty())
            return geometry;
    }
    if (host_ == Host::statusNotifier && !lastActivation_.isNull())
        return QRect(lastActivation_, QSize(0, 0));
    return QRect(QCursor::pos(), QSize(0, 0));
}

} // namespace orb
