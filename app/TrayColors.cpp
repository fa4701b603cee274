#include "app/TrayColors.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QtGui/qguiapplication_platform.h>
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
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
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
