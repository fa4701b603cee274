#pragma once

#include <QColor>
#include <optional>

namespace orb {

// The text colour the X11 system tray asks its icons to use (the first of the colours in
// _NET_SYSTEM_TRAY_COLORS on the tray manager's window), when this program runs on X11 and the
// tray publishes one. Not every tray does.
std::optional<QColor> x11TrayTextColor();

} // namespace orb
