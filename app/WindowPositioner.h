#pragma once

#include <QPointF>
#include <QRectF>
#include <QString>
#include <optional>

namespace orb {

// Where a detail window goes: 50 points right of the usable screen area's left edge, centred
// vertically in it, keeping its size (not clamped: a taller window extends past the bottom).
QPointF detailWindowOrigin(const QRectF& visibleArea, const QRectF& windowFrame);

// Finds the first top-level window whose title equals or contains `title` and moves it to
// detailWindowOrigin on its screen, logging each step on standard output.
void positionWindow(const QString& title);

} // namespace orb
