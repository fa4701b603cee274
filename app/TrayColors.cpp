#include "app/TrayColors.h"

#include <QGuiApplication>
#include <QHash>
#include <QPixmap>
#include <QScreen>
#include <QtGui/qguiapplication_platform.h>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace orb {

namespace {

struct FreeDeleter {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_atom_t atom(xcb_connection_t* connection, const QByteArray& name) {
    const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, true, name.size(), name.constData()), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

xcb_connection_t* x11Connection() {
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// The screen the display name points at (":0.1" is screen 1); the tray of each screen owns a
// selection of its own.
int displayScreen() {
    const QByteArray display = qgetenv("DISPLAY");
    const int dot = display.lastIndexOf('.');
    const int colon = display.lastIndexOf(':');
    return dot > colon && colon >= 0 ? display.mid(dot + 1).toInt() : 0;
}

} // namespace

std::optional<QColor> x11TrayTextColor() {
    xcb_connection_t* connection = x11Connection();
    if (!connection)
        return std::nullopt;
    const xcb_atom_t selection =
        atom(connection, "_NET_SYSTEM_TRAY_S" + QByteArray::number(displayScreen()));
    const xcb_atom_t colors = atom(connection, "_NET_SYSTEM_TRAY_COLORS");
    if (selection == XCB_ATOM_NONE || colors == XCB_ATOM_NONE)
        return std::nullopt;
    const Reply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr));
    if (!owner || owner->owner == XCB_WINDOW_NONE)
        return std::nullopt;
    // Twelve 32-bit values: red, green and blue (16 bits each) of the foreground, error, warning
    // and success colours; only the foreground matters here.
    const Reply<xcb_get_property_reply_t> property(xcb_get_property_reply(
        connection,
        xcb_get_property(connection, false, owner->owner, colors, XCB_ATOM_CARDINAL, 0, 12),
        nullptr));
    if (!property || property->format != 32 || xcb_get_property_value_length(property.get()) < 12)
        return std::nullopt;
    const auto* values = static_cast<const quint32*>(xcb_get_property_value(property.get()));
    return QColor::fromRgba64(quint16(values[0]), quint16(values[1]), quint16(values[2]));
}

namespace {

// The root window's children (and their children, where a window manager frames them) that
// say they are docks, with their place on screen.
QList<QRect> dockWindows(xcb_connection_t* connection) {
    const xcb_atom_t type = atom(connection, "_NET_WM_WINDOW_TYPE");
    const xcb_atom_t dock = atom(connection, "_NET_WM_WINDOW_TYPE_DOCK");
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (type == XCB_ATOM_NONE || dock == XCB_ATOM_NONE || !screen)
        return {};
    auto isDock = [&](xcb_window_t window) {
        const Reply<xcb_get_property_reply_t> property(xcb_get_property_reply(
            connection, xcb_get_property(connection, false, window, type, XCB_ATOM_ATOM, 0, 8),
            nullptr));
        if (!property || property->format != 32)
            return false;
        const auto* types = static_cast<const xcb_atom_t*>(xcb_get_property_value(property.get()));
        const int count = xcb_get_property_value_length(property.get()) / 4;
        return std::find(types, types + count, dock) != types + count;
    };
    auto children = [&](xcb_window_t window) {
        QList<xcb_window_t> found;
        const Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr));
        if (tree) {
            const xcb_window_t* list = xcb_query_tree_children(tree.get());
            found = QList<xcb_window_t>(list, list + xcb_query_tree_children_length(tree.get()));
        }
        return found;
    };
    QList<QRect> docks;
    for (const xcb_window_t top : children(screen->root)) {
        const Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
            connection, xcb_get_window_attributes(connection, top), nullptr));
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        for (const xcb_window_t window : QList<xcb_window_t>{top} + children(top)) {
            if (!isDock(window))
                continue;
            const Reply<xcb_get_geometry_reply_t> geometry(
                xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr));
            const Reply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(
                connection, xcb_translate_coordinates(connection, window, screen->root, 0, 0),
                nullptr));
            if (geometry && origin)
                docks.append(
                    QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height));
            break;
        }
    }
    return docks;
}

} // namespace

std::optional<QColor> dockPanelColor(const QPoint& near) {
    xcb_connection_t* connection = x11Connection();
    if (!connection)
        return std::nullopt;
    const QList<QRect> docks = dockWindows(connection);
    if (docks.isEmpty())
        return std::nullopt;
    auto panel = std::find_if(docks.begin(), docks.end(),
                              [&](const QRect& dock) { return dock.contains(near); });
    if (panel == docks.end())
        panel = std::max_element(docks.begin(), docks.end(), [](const QRect& a, const QRect& b) {
            return a.width() * a.height() < b.width() * b.height();
        });
    QScreen* screen = QGuiApplication::screenAt(panel->center());
    if (!screen || panel->isEmpty())
        return std::nullopt;
    // Three rows (or columns, for a panel along a side) a quarter, half and three quarters
    // across: text and icons cover a small part of a panel, its background the rest.
    const bool horizontal = panel->width() >= panel->height();
    const QRect local = panel->translated(-screen->geometry().topLeft());
    QHash<QRgb, int> counts;
    for (const int quarter : {1, 2, 3}) {
        const QRect line =
            horizontal
                ? QRect(local.x(), local.y() + local.height() * quarter / 4, local.width(), 1)
                : QRect(local.x() + local.width() * quarter / 4, local.y(), 1, local.height());
        const QImage pixels =
            screen->grabWindow(0, line.x(), line.y(), line.width(), line.height()).toImage();
        for (int y = 0; y < pixels.height(); ++y)
            for (int x = 0; x < pixels.width(); ++x)
                ++counts[pixels.pixel(x, y) | 0xFF000000];
    }
    if (counts.isEmpty())
        return std::nullopt;
    const auto most =
        std::max_element(counts.constKeyValueBegin(), counts.constKeyValueEnd(),
                         [](const auto& a, const auto& b) { return a.second < b.second; });
    return QColor::fromRgb((*most).first);
}

std::optional<QColor> colorBehindIcon(const QRect& iconGeometry) {
    if (!iconGeometry.isValid() || iconGeometry.isEmpty())
        return std::nullopt;
    QScreen* screen = QGuiApplication::screenAt(iconGeometry.topLeft());
    if (!screen)
        return std::nullopt;
    const QPoint corner = iconGeometry.topLeft() - screen->geometry().topLeft();
    const QImage pixel = screen->grabWindow(0, corner.x(), corner.y(), 1, 1).toImage();
    if (pixel.isNull())
        return std::nullopt;
    return pixel.pixelColor(0, 0);
}

} // namespace orb
