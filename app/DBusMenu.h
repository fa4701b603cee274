#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusVariant>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class QDBusArgument;

namespace orb {

class DBusMenuAdaptor;

// One item of a menu layout as the menu protocol sends it: its id, its properties and its
// children, each a layout of its own wrapped in a variant.
struct DBusMenuLayout {
    int id = 0;
    QVariantMap properties;
    QList<QDBusVariant> children;
};
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuLayout& layout);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuLayout& layout);

// An item's id and properties, as a group of them is asked for.
struct DBusMenuItem {
    int id = 0;
    QVariantMap properties;
};
using DBusMenuItemList = QList<DBusMenuItem>;
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItem& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItem& item);

// An item's id and the names of properties it no longer has.
struct DBusMenuItemKeys {
    int id = 0;
    QStringList properties;
};
using DBusMenuItemKeysList = QList<DBusMenuItemKeys>;
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemKeys& keys);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemKeys& keys);

// One event of a group: the item, what happened ("clicked", "opened", ...), its data and time.
struct DBusMenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
using DBusMenuEventList = QList<DBusMenuEvent>;
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuEvent& event);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuEvent& event);

// The tray item's menu, exported over the menu protocol panels use for status notifier items
// (com.canonical.dbusmenu): "Open Orbimeter", "Settings…" and "Quit Orbimeter". Hosts show it
// on a right click, and GNOME's extension on a left one. It never changes, so its layout
// revision stays 1.
class DBusMenu : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    enum Entry { root = 0, open = 1, settings = 2, separator = 3, quit = 4 };

    explicit DBusMenu(const QString& objectPath = QStringLiteral("/MenuBar"),
                      QDBusConnection bus = QDBusConnection::sessionBus(),
                      QObject* parent = nullptr);
    ~DBusMenu() override;

    // Exports the menu; false when the bus cannot be reached or the path is taken.
    bool start();
    QString objectPath() const { return objectPath_; }

    // The layout below `parentId`, `depth` levels deep (-1: all), with only `names` among each
    // item's properties (none: all); an unknown parent gives an empty root.
    static DBusMenuLayout layout(int parentId, int depth, const QStringList& names);
    // An item's properties, only `names` among them (none: all); empty for an unknown id.
    static QVariantMap properties(int id, const QStringList& names = {});

signals:
    void openRequested();
    void settingsRequested();
    void quitRequested();
    // The host is about to show the menu (GNOME shows it on a left click).
    void shown();

private:
    friend class DBusMenuAdaptor;
    // A host's event on an item; false for an unknown item.
    bool handleEvent(int id, const QString& eventId);
    // Answers the call under way with the protocol's error for an item that does not exist.
    void refuseUnknownItem(int id);

    QString objectPath_;
    QDBusConnection bus_;
    bool exported_ = false;
};

} // namespace orb

Q_DECLARE_METATYPE(orb::DBusMenuLayout)
Q_DECLARE_METATYPE(orb::DBusMenuItem)
Q_DECLARE_METATYPE(orb::DBusMenuItemKeys)
Q_DECLARE_METATYPE(orb::DBusMenuEvent)
