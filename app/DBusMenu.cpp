#include "DBusMenu.h"
#include "DBusMenuAdaptor.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <algorithm>

namespace orb {

namespace {

void registerMenuWireTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<DBusMenuLayout>();
        qDBusRegisterMetaType<DBusMenuItem>();
        qDBusRegisterMetaType<DBusMenuItemList>();
        qDBusRegisterMetaType<DBusMenuItemKeys>();
        qDBusRegisterMetaType<DBusMenuItemKeysList>();
        qDBusRegisterMetaType<DBusMenuEvent>();
        qDBusRegisterMetaType<DBusMenuEventList>();
        // The adaptor's signatures name the lists by these aliases.
        qRegisterMetaType<DBusMenuItemList>("orb::DBusMenuItemList");
        qRegisterMetaType<DBusMenuItemKeysList>("orb::DBusMenuItemKeysList");
        qRegisterMetaType<DBusMenuEventList>("orb::DBusMenuEventList");
        return true;
    }();
    Q_UNUSED(registered);
}

struct Item {
    int id;
    int parent;
    QVariantMap properties;
};

// The whole menu. "children-display" marks the root as a menu of its own; a separator is an
// item of that type.
const QList<Item>& items() {
    static const QList<Item> all = {
        {DBusMenu::root, -1, {{QStringLiteral("children-display"), QStringLiteral("submenu")}}},
        {DBusMenu::open,
         DBusMenu::root,
         {{QStringLiteral("label"), QStringLiteral("Open Orbimeter")}}},
        {DBusMenu::settings,
         DBusMenu::root,
         {{QStringLiteral("label"), QStringLiteral("Settings\u2026")}}},
        {DBusMenu::separator,
         DBusMenu::root,
         {{QStringLiteral("type"), QStringLiteral("separator")}}},
        {DBusMenu::quit,
         DBusMenu::root,
         {{QStringLiteral("label"), QStringLiteral("Quit Orbimeter")}}},
    };
    return all;
}

const Item* find(int id) {
    const auto& all = items();
    const auto found =
        std::find_if(all.begin(), all.end(), [id](const Item& item) { return item.id == id; });
    return found == all.end() ? nullptr : &*found;
}

} // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuLayout& layout) {
    argument.beginStructure();
    argument << layout.id << layout.properties;
    argument.beginArray(QMetaType::fromType<QDBusVariant>());
    for (const QDBusVariant& child : layout.children)
        argument << child;
    argument.endArray();
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuLayout& layout) {
    argument.beginStructure();
    argument >> layout.id >> layout.properties;
    layout.children.clear();
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        layout.children.append(child);
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItem& item) {
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItem& item) {
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemKeys& keys) {
    argument.beginStructure();
    argument << keys.id << keys.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemKeys& keys) {
    argument.beginStructure();
    argument >> keys.id >> keys.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuEvent& event) {
    argument.beginStructure();
    argument << event.id << event.eventId << event.data << event.timestamp;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuEvent& event) {
    argument.beginStructure();
    argument >> event.id >> event.eventId >> event.data >> event.timestamp;
    argument.endStructure();
    return argument;
}

DBusMenu::DBusMenu(const QString& objectPath, QDBusConnection bus, QObject* parent)
    : QObject(parent), objectPath_(objectPath), bus_(std::move(bus)) {
    registerMenuWireTypes();
    new DBusMenuAdaptor(this);
}

DBusMenu::~DBusMenu() {
    if (exported_)
        bus_.unregisterObject(objectPath_);
}

bool DBusMenu::start() {
    if (!exported_)
        exported_ = bus_.isConnected() &&
                    bus_.registerObject(objectPath_, this, QDBusConnection::ExportAdaptors);
    return exported_;
}

QVariantMap DBusMenu::properties(int id, const QStringList& names) {
    const Item* item = find(id);
    if (!item)
        return {};
    if (names.isEmpty())
        return item->properties;
    QVariantMap chosen;
    for (const QString& name : names)
        if (item->properties.contains(name))
            chosen.insert(name, item->properties.value(name));
    return chosen;
}

DBusMenuLayout DBusMenu::layout(int parentId, int depth, const QStringList& names) {
    DBusMenuLayout layout{parentId, properties(parentId, names), {}};
    if (depth == 0 || !find(parentId))
        return layout;
    for (const Item& item : items())
        if (item.parent == parentId)
            layout.children.append(
                QDBusVariant(QVariant::fromValue(DBusMenu::layout(item.id, depth - 1, names))));
    return layout;
}

bool DBusMenu::handleEvent(int id, const QString& eventId) {
    if (!find(id))
        return false;
    if (eventId == QLatin1String("clicked")) {
        if (id == open)
            emit openRequested();
        else if (id == settings)
            emit settingsRequested();
        else if (id == quit)
            emit quitRequested();
    } else if (eventId == QLatin1String("opened") && id == root) {
        emit shown();
    }
    return true;
}

void DBusMenu::refuseUnknownItem(int id) {
    if (calledFromDBus())
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("No menu item %1").arg(id));
}

DBusMenuAdaptor::DBusMenuAdaptor(DBusMenu* menu) : QDBusAbstractAdaptor(menu), menu_(menu) {
    setAutoRelaySignals(false);
}

uint DBusMenuAdaptor::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                DBusMenuLayout& layout) {
    if (!find(parentId))
        menu_->refuseUnknownItem(parentId);
    layout = DBusMenu::layout(parentId, recursionDepth, propertyNames);
    return 1;
}

DBusMenuItemList DBusMenuAdaptor::GetGroupProperties(const QList<int>& ids,
                                                     const QStringList& propertyNames) {
    DBusMenuItemList found;
    for (const int id : ids)
        if (find(id))
            found.append({id, DBusMenu::properties(id, propertyNames)});
    return found;
}

QDBusVariant DBusMenuAdaptor::GetProperty(int id, const QString& name) {
    const QVariantMap properties = DBusMenu::properties(id, {name});
    if (!properties.contains(name)) {
        menu_->refuseUnknownItem(id);
        return QDBusVariant(QString());
    }
    return QDBusVariant(properties.value(name));
}

void DBusMenuAdaptor::Event(int id, const QString& eventId, const QDBusVariant&, uint) {
    if (!menu_->handleEvent(id, eventId))
        menu_->refuseUnknownItem(id);
}

QList<int> DBusMenuAdaptor::EventGroup(const DBusMenuEventList& events) {
    QList<int> unknown;
    for (const DBusMenuEvent& event : events)
        if (!menu_->handleEvent(event.id, event.eventId))
            unknown.append(event.id);
    return unknown;
}

// The menu never changes, so a host never needs to fetch it again before showing it.
bool DBusMenuAdaptor::AboutToShow(int id) {
    if (!find(id))
        menu_->refuseUnknownItem(id);
    return false;
}

QList<int> DBusMenuAdaptor::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
    idErrors.clear();
    for (const int id : ids)
        if (!find(id))
            idErrors.append(id);
    return {};
}

} // namespace orb
