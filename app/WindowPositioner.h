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

// Finds the first top-level window whose title equals or contains `title` and moves it to
// detailWindowOrigin on its screen, logging each step on standard output.
void positionWindow(const QString& title);

} // namespace orb
