#pragma once

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QString>
#include <optional>

namespace orb {

// Where a detail window goes: 50 points right of the usable screen area's left edge, centred
// vertically in it, keeping its size (not clamped: a taller window extends past the bottom).
QPointF detailWindowOrigin(const QRectF& visibleArea, const QRectF& windowFrame);

// Where a popover of `size` opens from a tray item at `anchor` (the item's geometry, or a
// zero-size rectangle at the click point) on a screen of `geometry` whose work area, the screen
// less the panels that reserve space, is `available`. It opens against the panel's inner edge,
// centred on the anchor along it, and stays inside the work area.
QPoint popoverOrigin(const QRect& anchor, const QRect& geometry, const QRect& available,
                     const QSize& size);

// Whether a host's Activate position can be where its tray item is: on a panel of the screen
// (`geometry`, whose work area is `available`) and, where the pointer is known, near it. Hosts
// send widget-relative positions (MATE sends (0, 25)) or nothing useful (0, 0); a position that
// fails this is not used.
bool isTrayItemPosition(const QPoint& at, const std::optional<QPoint>& pointer,
                        const QRect& geometry, const QRect& available);

// Finds the first top-level window whose title equals or contains `title` and moves it to
// detailWindowOrigin on its screen, logging each step on standard output.
void positionWindow(const QString& title);

} // namespace orb
