#pragma once

#include "views/Theme.h"

#include <QString>
#include <optional>

namespace orb {

// What the desktop's status notifier host does with an item, known from the desktop's name
// (XDG_CURRENT_DESKTOP, entries separated by ':'), since no host says so on the bus.
struct TrayHost {
    // It draws the item's text label (XAyatanaLabel) after the icon: GNOME's extension and the
    // Ayatana hosts of Unity. The others show the icon alone (MATE draws a label, but instead of
    // the icon).
    bool drawsLabel = false;
    // The shade of its panel where the desktop fixes it and no window shows it: GNOME's top bar
    // is always dark, and so is waybar's default bar on sway (a Wayland panel this program,
    // running through XWayland, cannot look at).
    std::optional<PanelShade> shade;
    // It shows the item that registered last first, left of the others (xfce4-panel); the
    // other hosts append it, and KDE sorts by title.
    bool newestFirst = false;
};

TrayHost trayHostOf(const QString& currentDesktop);

} // namespace orb
