#include "StatusNotifierItem.h"
#include "StatusNotifierItemAdaptor.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <atomic>

namespace orb {

namespace {

const QString itemObjectPath = QStringLiteral("/StatusNotifierItem");
const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherObjectPath = QStringLiteral("/StatusNotifierWatcher");

// The first registration blocks start-up, so a watcher that hangs must not hang us for the
// default 25 seconds.
constexpr int registrationTimeoutMs = 3000;

// A restarted watcher can own its name a moment before it answers calls, so the first
// announcement after a restart may bounce. Retries back off from 100 ms, about 3 s in all.
constexpr int reannounceAttempts = 6;
constexpr int firstRetryDelayMs = 100;

std::atomic<int> nextInstanceNumber{1};

void registerWireTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<SniPixmap>();
        qDBusRegisterMetaType<SniPixmapList>();
        qDBusRegisterMetaType<SniToolTip>();
        return true;
    }();
    Q_UNUSED(registered);
}

QDBusMessage registrationCall(const QString& serviceName) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(watcherService, watcherObjectPath, watcherService,
                                       QStringLiteral("RegisterStatusNotifierItem"));
    call << serviceName;
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

StatusNotifierItem::StatusNotifierItem(const QString& id, const QString& title, QDBusConnection bus,
                                       QObject* parent)
    : QObject(parent), bus_(std::move(bus)),
      serviceName_(QStringLiteral("org.kde.StatusNotifierItem-%1-%2")
                       .arg(QCoreApplication::applicationPid())
                       .arg(nextInstanceNumber++)),
      id_(id), title_(title) {
    registerWireTypes();
    adaptor_ = new StatusNotifierItemAdaptor(this);
}

StatusNotifierItem::~StatusNotifierItem() {
    withdrawFromBus();
}

bool StatusNotifierItem::watcherAvailable(const QDBusConnection& bus) {
    if (!bus.isConnected())
        return false;
    const QDBusConnectionInterface* daemon = bus.interface();
    return daemon && daemon->isServiceRegistered(watcherService).value();
}

bool StatusNotifierItem::registerWithWatcher() {
    if (!bus_.isConnected() || !exportOnBus())
        return false;
    // Watch before announcing, so a watcher that restarts in between is not missed.
    if (!watcherOwnership_) {
        watcherOwnership_ = new QDBusServiceWatcher(watcherService, bus_,
                                                    QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(watcherOwnership_, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString&, const QString&, const QString& newOwner) {
                    announceAfterWatcherChange(newOwner);
                });
    }
    const QDBusMessage reply =
        bus_.call(registrationCall(serviceName_), QDBus::Block, registrationTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;

    qWarning("Tray item not registered with the panel: %s",
             qPrintable(reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage()));
    delete watcherOwnership_;
    watcherOwnership_ = nullptr;
    ++watcherGeneration_;
    withdrawFromBus();
    return false;
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
    emit adaptor_->XAyatanaNewLabel(label_, labelGuide_);
}

void StatusNotifierItem::setToolTip(const QString& title, const QString& text) {
    SniToolTip toolTip{{}, {}, title, text};
    if (toolTip == toolTip_)
        return;
    toolTip_ = std::move(toolTip);
    emit adaptor_->NewToolTip();
}

bool StatusNotifierItem::exportOnBus() {
    if (exported_)
        return true;
    if (!bus_.registerObject(itemObjectPath, this, QDBusConnection::ExportAdaptors))
        return false;
    if (!bus_.registerService(serviceName_)) {
        bus_.unregisterObject(itemObjectPath);
        return false;
    }
    exported_ = true;
    return true;
}

void StatusNotifierItem::withdrawFromBus() {
    if (!exported_)
        return;
    bus_.unregisterService(serviceName_);
    bus_.unregisterObject(itemObjectPath);
    exported_ = false;
}

void StatusNotifierItem::announceAfterWatcherChange(const QString& newOwner) {
    ++watcherGeneration_;
    if (!newOwner.isEmpty())
        sendRegistration(0, watcherGeneration_);
}

void StatusNotifierItem::sendRegistration(int attempt, quint64 generation) {
    auto* pending = new QDBusPendingCallWatcher(
        bus_.asyncCall(registrationCall(serviceName_), registrationTimeoutMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, attempt, generation](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                if (!call->isError() || generation != watcherGeneration_)
                    return;
                if (attempt + 1 >= reannounceAttempts) {
                    qWarning("Tray item not registered with the restarted panel: %s",
                             qPrintable(call->error().message()));
                    return;
                }
                QTimer::singleShot(firstRetryDelayMs << attempt, this, [this, attempt, generation] {
                    if (generation == watcherGeneration_)
                        sendRegistration(attempt + 1, generation);
                });
            });
}

} // namespace orb
