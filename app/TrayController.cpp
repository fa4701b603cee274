#include "app/TrayController.h"

#include "app/DBusMenu.h"
#include "app/StatusNotifierItem.h"
#include "app/TrayColors.h"
#include "app/WindowPositioner.h"
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

// A label without rings or number is an empty row; hosts still want a picture to place (and
// an item that can be clicked), so it is a transparent square.
QImage emptyIcon(qreal devicePixelRatio) {
    QImage image(QSize(ringImageSize, ringImageSize) * devicePixelRatio,
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);
    return image;
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

TrayController::TrayController(SystemMonitor& monitor, Preferences& prefs, QObject* parent)
    : QObject(parent), monitor_(monitor), prefs_(prefs),
      desktop_(trayHostOf(qEnvironmentVariable("XDG_CURRENT_DESKTOP"))) {
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

    // Both items share one menu: open, settings, quit.
    menu_ = std::make_unique<DBusMenu>();
    connect(menu_.get(), &DBusMenu::openRequested, this, [this] { Q_EMIT activated(anchor()); });
    // A host that shows the menu on a click on the item (GNOME's extension) tells when: the
    // pointer is on the item then, and the popover opens there from the menu.
    connect(menu_.get(), &DBusMenu::shown, this, [this] { lastActivation_ = QCursor::pos(); });
    connect(menu_.get(), &DBusMenu::settingsRequested, this, &TrayController::settingsRequested);
    connect(menu_.get(), &DBusMenu::quitRequested, this, &TrayController::quitRequested);
    const bool menuExported = menu_->start();

    ringsItem_ = makeStatusNotifierItem(QStringLiteral("orbimeter"), QStringLiteral("Orbimeter"),
                                        QStringLiteral("/StatusNotifierItem"), desktop_.drawsLabel);
    connect(ringsItem_.get(), &StatusNotifierItem::registrationChanged, this,
            [this](bool accepted) {
                if (accepted)
                    moveToStatusNotifier();
                else
                    moveToSystemTray();
            });
    if (!desktop_.drawsLabel)
        numberItem_ = makeStatusNotifierItem(QStringLiteral("orbimeter-number"),
                                             QStringLiteral("Orbimeter number"),
                                             QStringLiteral("/StatusNotifierItem/Number"), false);
    for (StatusNotifierItem* item : {ringsItem_.get(), numberItem_.get()})
        if (item && menuExported)
            item->setMenuPath(menu_->objectPath());
    // A watcher that is slow to answer must not leave the user without an item meanwhile.
    QTimer::singleShot(watcherGraceMs, this, [this] {
        if (!ringsItem_->isRegistered())
            moveToSystemTray();
    });
    rebuild();
    // The number stands right of the rings, as in the label: most hosts (LXQt, MATE, waybar)
    // add a later item to the right of an earlier one, xfce4-panel to the left. KDE sorts its
    // items by title instead, which the number's title follows too.
    if (numberItem_) {
        if (desktop_.newestFirst)
            ringsItem_->registerAfter(numberItem_.get());
        else
            numberItem_->registerAfter(ringsItem_.get());
        numberItem_->start();
    }
    ringsItem_->start();
}

TrayController::~TrayController() = default;

std::unique_ptr<StatusNotifierItem> TrayController::makeStatusNotifierItem(const QString& id,
                                                                           const QString& title,
                                                                           const QString& path,
                                                                           bool withLabel) {
    auto item = std::make_unique<StatusNotifierItem>(id, title, path, QDBusConnection::sessionBus(),
                                                     nullptr, withLabel);
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
    lastIcon_ = QImage();
    lastToolTip_.clear();
    rebuild();
}

void TrayController::moveToSystemTray() {
    if (ringsIcon_)
        return;
    host_ = Host::systemTray;
    trayTextColor_ = x11TrayTextColor();
    // The number first (shown by rebuild()), for the same reason as on the bus.
    numberIcon_ = makeSystemTrayIcon();
    ringsIcon_ = makeSystemTrayIcon();
    lastIcon_ = QImage();
    // A placeholder differs from any drawing, so the first build sets the number icon up.
    lastNumberIcon_ = QImage(1, 1, QImage::Format_ARGB32);
    lastToolTip_.clear();
    rebuild();
    ringsIcon_->show();
}

bool TrayController::showsNumberItem() const {
    return host_ == Host::systemTray
               ? numberIcon_ && numberIcon_->isVisible()
               : numberItem_ && numberItem_->isRegistered() && !label_.text.isEmpty();
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

PanelColors TrayController::panelColors() {
    // An X11 tray that publishes no colours still shows its panel around our icon; a panel that
    // draws a status notifier item itself is a dock window that can be looked at, unless the
    // desktop's panel is known. A glance a second is enough, and catches up soon after the
    // panel first draws itself.
    constexpr qint64 backgroundMaxAgeMs = 1000;
    const bool look = ringsIcon_ ? !trayTextColor_ : !desktop_.shade;
    if (look && (!backgroundAge_.isValid() || backgroundAge_.hasExpired(backgroundMaxAgeMs))) {
        auto seen =
            ringsIcon_ ? colorBehindIcon(ringsIcon_->geometry()) : dockPanelColor(lastActivation_);
        if (seen) {
            panelBackground_ = seen;
            backgroundAge_.start();
        }
    }
    std::optional<QColor> background = look ? panelBackground_ : std::nullopt;
    if (!ringsIcon_ && desktop_.shade)
        background = *desktop_.shade == PanelShade::dark ? QColor(0x20, 0x20, 0x20)
                                                         : QColor(0xf0, 0xf0, 0xf0);
    const QPalette palette = QGuiApplication::palette();
    return {trayTextColor_, background, palette.color(QPalette::WindowText),
            palette.color(QPalette::Window)};
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
    const PanelColors colors = panelColors();
    const QColor textColor = panelTextColor(colors);
    const PanelShade shade = panelShade(colors);

    label_ = buildLabel(currentSettings(), monitor_, ratio, shade);
    const bool labelBesideIcon = host_ == Host::statusNotifier && desktop_.drawsLabel;
    // Hosts fit an icon into a square (GNOME's extension squeezes a wider one), so the symbol
    // does not join the rings: a host's own label is the number alone.
    QImage icon = trayIconImage(label_, textColor, ratio);
    if (icon.isNull())
        icon = emptyIcon(ratio);
    const QString tip = toolTip();
    const QString number = label_.text;
    const bool numberApart = host_ == Host::systemTray ? bool(numberIcon_) : bool(numberItem_);
    const QImage numberIcon = numberApart ? numberIconFor(number, textColor, ratio) : QImage();

    if (host_ == Host::statusNotifier) {
        ringsItem_->setIcon(icon);
        ringsItem_->setToolTip(QStringLiteral("Orbimeter"), tip);
        // An empty label hides the whole item on some hosts (MATE): a space keeps it.
        if (labelBesideIcon)
            ringsItem_->setLabel(number.isEmpty() ? QStringLiteral(" ") : number,
                                 labelGuide(prefs_.numberMetric()));
        if (numberItem_) {
            numberItem_->setIcon(numberIcon);
            numberItem_->setActive(!number.isEmpty());
            numberItem_->setToolTip(QStringLiteral("Orbimeter"), tip);
        }
    } else if (ringsIcon_) {
        if (icon != lastIcon_)
            ringsIcon_->setIcon(QIcon(new ImageIconEngine(icon)));
        if (numberIcon != lastNumberIcon_) {
            if (!numberIcon.isNull())
                numberIcon_->setIcon(QIcon(new ImageIconEngine(numberIcon)));
            numberIcon_->setVisible(!numberIcon.isNull());
        }
        if (tip != lastToolTip_) {
            ringsIcon_->setToolTip(tip);
            numberIcon_->setToolTip(tip);
        }
    }
    lastIcon_ = icon;
    lastNumberIcon_ = numberIcon;
    lastToolTip_ = tip;
}

QImage TrayController::numberIconFor(const QString& text, const QColor& textColor, qreal ratio) {
    NumberDrawing& last = numberDrawing_;
    if (text != last.text || textColor != last.color || ratio != last.ratio)
        last = {text, textColor, ratio, renderNumberIcon(text, textColor, ratio)};
    return last.image;
}

QRect TrayController::anchor() const {
    if (ringsIcon_) {
        const QRect geometry = ringsIcon_->geometry();
        if (geometry.isValid() && !geometry.isEmpty())
            return geometry;
    }
    const QPoint pointer = QCursor::pos();
    // Through XWayland the pointer is known only over this program's own windows: a click on a
    // Wayland panel leaves it where it was.
    const bool pointerKnown = qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    QScreen* screen = QGuiApplication::screenAt(lastActivation_);
    if (host_ == Host::statusNotifier && screen &&
        isTrayItemPosition(lastActivation_, pointerKnown ? std::optional(pointer) : std::nullopt,
                           screen->geometry(), screen->availableGeometry()))
        return QRect(lastActivation_, QSize(0, 0));
    return QRect(pointer, QSize(0, 0));
}

} // namespace orb
