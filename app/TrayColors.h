#pragma once

#include <QColor>
#include <QRect>
#include <optional>

namespace orb {

// The text colour the X11 system tray asks its icons to use (the first of the colours in
// _NET_SYSTEM_TRAY_COLORS on the tray manager's window), when this program runs on X11 and the
// tray publishes one. Not every tray does.
std::optional<QColor> x11TrayTextColor();

// The colour on screen at the top-left corner of a tray icon: the corners of our icons are
// transparent, so this is the panel behind them. Nothing when the place is unknown.
std::optional<QColor> colorBehindIcon(const QRect& iconGeometry);

} // namespace orb
