#include "StatusNotifierItem.h"
#include "StatusNotifierItemAdaptor.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <memory>

namespace orb {

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherObjectPath = QStringLiteral("/StatusNotifierWatcher");

// A watcher that hangs must not leave the item waiting for the default 25 seconds.
constexpr int registrationTimeoutMs = 3000;

// A watcher can own its name a moment before it answers calls, so an announcement may bounce.
// Retries back off from 100 ms, about 3 s in all.
constexpr int registrationAttempts = 6;
constexpr int firstRetryDelayMs = 100;
// Long enough for a host on the same machine to have taken in the earlier item (it reads the
// item's properties before it adds it).
constexpr int orderingDelayMs = 250;

// Errors that mean nobody owns the watcher's name: there is nothing to retry until someone
// does, which the ownership watch reports.
bool meansNoWatcher(const QDBusError& error) {
    return error.type() == QDBusError::ServiceUnknown ||
           error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

void registerItemWireTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<SniPixmap>();
        qDBusRegisterMetaType<SniPixmapList>();
        qDBusRegisterMetaType<SniToolTip>();
        return true;
    }();
    Q_UNUSED(registered);
}

QDBusMessage registrationCall(const QString& objectPath) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(watcherService, watcherObjectPath, watcherService,
                                       QStringLiteral("RegisterStatusNotifierItem"));
    call << objectPath;
    return call;
}

SniPixmap toSniPixmap(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    SniPixmap pixmap{argb.width(), argb.height(), {}};
    pixmap.argbBigEndian.resize(qsizetype(argb.width()) * argb.height() * 4);
    char* out = pixmap.argbBigEndian.data();
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x, out += 4)
            qToBigEndian<quint32>(line[x], out);
    }
    return pixmap;
}

QSize boundedSize(QSize size) {
    if (std::max(size.width(), size.height()) <= largestPixmapSide)
        return size;
    // A sliver of an image must not round down to nothing.
    return size.scaled(largestPixmapSide, largestPixmapSide, Qt::KeepAspectRatio)
        .expandedTo(QSize(1, 1));
}

} // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const SniPixmap& pixmap) {
    argument.beginStructure();
    argument << pixmap.width << pixmap.height << pixmap.argbBigEndian;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, SniPixmap& pixmap) {
    argument.beginStructure();
    argument >> pixmap.width >> pixmap.height >> pixmap.argbBigEndian;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const SniToolTip& toolTip) {
    argument.beginStructure();
    argument << toolTip.iconName << toolTip.iconPixmaps << toolTip.title << toolTip.text;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, SniToolTip& toolTip) {
    argument.beginStructure();
    argument >> toolTip.iconName >> toolTip.iconPixmaps >> toolTip.title >> toolTip.text;
    argument.endStructure();
    return argument;
}

SniPixmapList pixmapsForIcon(const QImage& image) {
    if (image.isNull())
        return {};
    SniPixmapList pixmaps;
    const QSize fullSize = boundedSize(image.size());
    if (image.devicePixelRatio() > 1.0) {
        const QSize logicalSize =
            boundedSize((QSizeF(image.size()) / image.devicePixelRatio()).toSize());
        if (!logicalSize.isEmpty() && logicalSize != fullSize)
            pixmaps.append(toSniPixmap(
                image.scaled(logicalSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    }
    pixmaps.append(
        toSniPixmap(fullSize == image.size()
                        ? image
                        : image.scaled(fullSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    return pixmaps;
}

StatusNotifierItem::StatusNotifierItem(const QString& id, const QString& title,
                                       const QString& objectPath, QDBusConnection bus,
                                       QObject* parent, bool withLabel)
    : QObject(parent), bus_(std::move(bus)), objectPath_(objectPath), id_(id), title_(title) {
    registerItemWireTypes();
    if (withLabel)
        adaptor_ = labelled_ = new LabelledStatusNotifierItemAdaptor(this);
    else
        adaptor_ = new StatusNotifierItemAdaptor(this);
}

StatusNotifierItem::~StatusNotifierItem() {
    if (exported_)
        bus_.unregisterObject(objectPath_);
}

void StatusNotifierItem::start() {
    if (watcherOwnership_)
        return;
    // Exporting is local to this process: no round trip to the bus.
    exported_ = bus_.isConnected() &&
                bus_.registerObject(objectPath_, this, QDBusConnection::ExportAdaptors);
    if (!exported_) {
        QTimer::singleShot(0, this, [this] { setRegistered(false); });
        return;
    }
    // Watch before announcing, so a watcher that appears in between is not missed.
    watcherOwnership_ = new QDBusServiceWatcher(watcherService, bus_,
                                                QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcherOwnership_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                ++watcherGeneration_;
                if (newOwner.isEmpty())
                    setRegistered(false);
                else
                    offer();
            });
    offer();
}

void StatusNotifierItem::offer() {
    if (!earlier_) {
        sendRegistration(0);
        return;
    }
    const quint64 generation = watcherGeneration_;
    auto later = [this, generation] {
        QTimer::singleShot(orderingDelayMs, this, [this, generation] {
            if (generation == watcherGeneration_)
                sendRegistration(0);
        });
    };
    if (earlier_->isRegistered()) {
        later();
        return;
    }
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = connect(earlier_, &StatusNotifierItem::registrationChanged, this,
                    [once, later](bool accepted) {
                        if (!accepted)
                            return;
                        QObject::disconnect(*once);
                        later();
                    });
}

void StatusNotifierItem::setRegistered(bool accepted) {
    if (answered_ && registered_ == accepted)
        return;
    answered_ = true;
    registered_ = accepted;
    emit registrationChanged(accepted);
}

void StatusNotifierItem::sendRegistration(int attempt) {
    const quint64 generation = watcherGeneration_;
    auto* pending = new QDBusPendingCallWatcher(
        bus_.asyncCall(registrationCall(objectPath_), registrationTimeoutMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, attempt, generation](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                if (generation != watcherGeneration_)
                    return;
                if (!call->isError()) {
                    setRegistered(true);
                    return;
                }
                setRegistered(false);
                if (meansNoWatcher(call->error()))
                    return;
                if (attempt + 1 >= registrationAttempts) {
                    qWarning("Tray item not registered with the panel: %s",
                             qPrintable(call->error().message()));
                    return;
                }
                QTimer::singleShot(firstRetryDelayMs << attempt, this, [this, attempt, generation] {
                    if (generation == watcherGeneration_)
                        sendRegistration(attempt + 1);
                });
            });
}

void StatusNotifierItem::setIcon(const QImage& image) {
    SniPixmapList pixmaps = pixmapsForIcon(image);
    if (pixmaps == iconPixmaps_)
        return;
    iconPixmaps_ = std::move(pixmaps);
    emit adaptor_->NewIcon();
}

void StatusNotifierItem::setLabel(const QString& label, const QString& guide) {
    if (label == label_ && guide == labelGuide_)
        return;
    label_ = label;
    labelGuide_ = guide;
    if (labelled_)
        emit labelled_->XAyatanaNewLabel(label_, labelGuide_);
}

void StatusNotifierItem::setToolTip(const QString& title, const QString& text) {
    SniToolTip toolTip{{}, {}, title, text};
    if (toolTip == toolTip_)
        return;
    toolTip_ = std::move(toolTip);
    emit adaptor_->NewToolTip();
}

void StatusNotifierItem::setActive(bool active) {
    if (active == active_)
        return;
    active_ = active;
    emit adaptor_->NewStatus(adaptor_->status());
}

} // namespace orb
