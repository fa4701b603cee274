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

// The colour of the desktop's panel, for a tray item the panel draws itself (a status notifier
// item gives no place to look behind): the colour most of the panel shows, sampled along three
// rows of an X11 dock window (the panel holding the point `near` where several do, else the
// widest). Nothing without X11 or a dock window.
std::optional<QColor> dockPanelColor(const QPoint& near = {});

} // namespace orb
