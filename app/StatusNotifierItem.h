#pragma once

#include <QDBusConnection>
#include <QImage>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>

class QDBusArgument;
class QDBusServiceWatcher;

namespace orb {

class StatusNotifierItemAdaptor;
class LabelledStatusNotifierItemAdaptor;

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
// published until start(); the setters only update what the item will serve.
//
// Each item lives at its own object path and is offered to the watcher by that path (the form
// the protocol accepts besides a service name), so several items share one connection and no
// bus name has to be claimed. Nothing here ever waits on the bus: the watcher's answers arrive
// as signals.
class StatusNotifierItem : public QObject {
    Q_OBJECT
public:
    // `withLabel`: the item carries a text label (setLabel) for hosts that draw one.
    explicit StatusNotifierItem(const QString& id, const QString& title,
                                const QString& objectPath = QStringLiteral("/StatusNotifierItem"),
                                QDBusConnection bus = QDBusConnection::sessionBus(),
                                QObject* parent = nullptr, bool withLabel = false);
    ~StatusNotifierItem() override;

    // Exports the item and offers it to the panel's watcher, now and again each time a watcher
    // takes the name (a panel that starts later or restarts). Answers come as
    // registrationChanged().
    void start();
    bool isRegistered() const { return registered_; }
    // Offers this item only once `earlier` is registered, and a moment later, each time: hosts
    // order their items by when they took them in, which a registration of both at once leaves
    // to chance. Set before start().
    void registerAfter(StatusNotifierItem* earlier) { earlier_ = earlier; }

    void setIcon(const QImage& image);
    // `guide` is the widest text the label is expected to show, so the panel can reserve
    // room and not shift its neighbours on each change. Only for an item made with a label.
    void setLabel(const QString& label, const QString& guide = {});
    void setToolTip(const QString& title, const QString& text);
    // A passive item asks the panel to hide it.
    void setActive(bool active);
    // The object path of the item's menu on the same connection (see DBusMenu); set before
    // start(), since hosts read it once.
    void setMenuPath(const QString& path) { menuPath_ = path; }

    QString objectPath() const { return objectPath_; }
    QDBusConnection bus() const { return bus_; }

signals:
    // The watcher accepted the item (true), or refused it, could not be reached or went away
    // (false). Sent on every change and once for the first answer.
    void registrationChanged(bool accepted);
    void activated(const QPoint& screenPosition);
    void secondaryActivated(const QPoint& screenPosition);
    void contextMenuRequested(const QPoint& screenPosition);

private:
    friend class StatusNotifierItemAdaptor;
    friend class LabelledStatusNotifierItemAdaptor;

    // Offers the item to the current watcher, after the earlier item where there is one.
    void offer();
    void sendRegistration(int attempt);
    void setRegistered(bool accepted);

    QDBusConnection bus_;
    QString objectPath_;
    QString id_;
    QString title_;
    SniPixmapList iconPixmaps_;
    QString label_;
    QString labelGuide_;
    SniToolTip toolTip_;
    QString menuPath_;
    bool active_ = true;
    StatusNotifierItemAdaptor* adaptor_ = nullptr;
    LabelledStatusNotifierItemAdaptor* labelled_ = nullptr; // the adaptor, when with a label
    QDBusServiceWatcher* watcherOwnership_ = nullptr;
    QPointer<StatusNotifierItem> earlier_;
    bool exported_ = false;
    bool answered_ = false;
    bool registered_ = false;
    // Bumped whenever the watcher changes hands, so answers and retries meant for an owner
    // that has gone are dropped instead of piling up.
    quint64 watcherGeneration_ = 0;
};

} // namespace orb

Q_DECLARE_METATYPE(orb::SniPixmap)
Q_DECLARE_METATYPE(orb::SniToolTip)
