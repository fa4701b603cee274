#pragma once

#include <QDBusConnection>
#include <QImage>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QPoint>
#include <QString>

class QDBusArgument;
class QDBusServiceWatcher;

namespace orb {

class StatusNotifierItemAdaptor;

// One raw icon image as panels expect it on the bus: width, height and ARGB32 pixels with
// each pixel in network byte order.
struct SniPixmap {
    int width = 0;
    int height = 0;
    QByteArray argbBigEndian;
    friend bool operator==(const SniPixmap&, const SniPixmap&) = default;
};
using SniPixmapList = QList<SniPixmap>;

QDBusArgument& operator<<(QDBusArgument& argument, const SniPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniPixmap& pixmap);

// The tooltip structure of the tray item protocol: an icon (name or pixmaps), a title and a
// body text.
struct SniToolTip {
    QString iconName;
    SniPixmapList iconPixmaps;
    QString title;
    QString text;
    friend bool operator==(const SniToolTip&, const SniToolTip&) = default;
};

QDBusArgument& operator<<(QDBusArgument& argument, const SniToolTip& toolTip);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniToolTip& toolTip);

// The icon image at its own size plus, for a HiDPI image, its device-independent size, with
// any side above `largestPixmapSide` scaled down first. Hosts pick the entry nearest to what
// they draw; anything more only costs bus traffic on every refresh.
SniPixmapList pixmapsForIcon(const QImage& image);
inline constexpr int largestPixmapSide = 128;

// Our tray icon published on the session bus for panels that host status notifier items,
// which is how the tray works on desktops where the old X11 system tray is gone. Nothing is
// published until registerWithWatcher(); the setters only update what the item will serve.
// One item per bus connection: the object path is fixed by the protocol.
class StatusNotifierItem : public QObject {
    Q_OBJECT
public:
    explicit StatusNotifierItem(const QString& id, const QString& title,
                                QDBusConnection bus = QDBusConnection::sessionBus(),
                                QObject* parent = nullptr);
    ~StatusNotifierItem() override;

    // True when a panel's watcher currently owns its name on `bus`.
    static bool watcherAvailable(const QDBusConnection& bus = QDBusConnection::sessionBus());

    // Claims serviceName(), exports the item and announces it to the watcher. Returns false,
    // with nothing left claimed, when the bus or the watcher is missing or refuses. After a
    // success the item announces itself again each time a watcher takes the name over, as
    // happens when the panel restarts.
    bool registerWithWatcher();

    void setIcon(const QImage& image);
    // `guide` is the widest text the label is expected to show, so the panel can reserve
    // room and not shift its neighbours on each change.
    void setLabel(const QString& label, const QString& guide = {});
    void setToolTip(const QString& title, const QString& text);

    QString serviceName() const { return serviceName_; }

signals:
    void activated(const QPoint& screenPosition);
    void secondaryActivated(const QPoint& screenPosition);
    void contextMenuRequested(const QPoint& screenPosition);

private:
    friend class StatusNotifierItemAdaptor;

    bool exportOnBus();
    void withdrawFromBus();
    void announceAfterWatcherChange(const QString& newOwner);
    void sendRegistration(int attempt, quint64 generation);

    QDBusConnection bus_;
    QString serviceName_;
    QString id_;
    QString title_;
    SniPixmapList iconPixmaps_;
    QString label_;
    QString labelGuide_;
    SniToolTip toolTip_;
    StatusNotifierItemAdaptor* adaptor_ = nullptr;
    QDBusServiceWatcher* watcherOwnership_ = nullptr;
    bool exported_ = false;
    // Bumped whenever the watcher changes hands, so retries meant for an owner that has gone
    // stop instead of piling up.
    quint64 watcherGeneration_ = 0;
};

} // namespace orb

Q_DECLARE_METATYPE(orb::SniPixmap)
Q_DECLARE_METATYPE(orb::SniToolTip)
