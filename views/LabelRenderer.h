#pragma once

#include "model/MetricCatalogue.h"

#include <QImage>
#include <QString>
#include <optional>

namespace orb {

class SystemMonitor;

// What the user chose for the tray label; the caller fills it from Preferences.
struct LabelSettings {
    RingMetric outerRingMetric = RingMetric::cpuTotal;
    RingMetric innerRingMetric = RingMetric::memoryUsed;
    NumberMetric numberMetric = NumberMetric::downloadSpeed;
    QString outerRingColor = QStringLiteral("pink");
    QString innerRingColor = QStringLiteral("blue");
};

// The parts of the tray label. Rebuilt from scratch on every change; nothing is cached.
struct Label {
    std::optional<QImage> rings; // present when at least one ring metric is not none
    QString symbol;              // Material Icons glyph in front of the number; may be empty
    QString text;                // the number; the symbol and number are left out when empty
    bool hasNumberGroup() const { return !text.isEmpty(); }
};

// Side of the square ring image, in device-independent pixels.
inline constexpr int ringImageSize = 22;

// Two concentric progress rings in a transparent 22 x 22 image: the outer one at radius 8.5,
// the inner one at 5.0, each a faint full-circle track under an arc that starts at 12 o'clock
// and runs clockwise for the fraction (nothing below 0, a full circle from 1 up and for NaN).
// A ring whose metric is none is left out; the other keeps its own radius. Unknown colour
// names draw in blue. The image carries `devicePixelRatio`, so it stays sharp on HiDPI.
QImage renderRingImage(RingMetric outer, double outerFraction, const QString& outerColor,
                       RingMetric inner, double innerFraction, const QString& innerColor,
                       qreal devicePixelRatio = 1.0);

// The label for the current readings: the rings unless both ring metrics are none, and the
// number with its symbol unless the number's text is empty.
Label buildLabel(const LabelSettings& settings, const SystemMonitor& monitor,
                 qreal devicePixelRatio = 1.0);

// The whole label as one picture, for places that can show only an image: the rings, 8 pt,
// the symbol at 9 pt, 2 pt, the number at 11 pt semibold, each centred vertically, in white.
// A null image when the label has no parts.
QImage renderLabelRow(const Label& label, qreal devicePixelRatio = 1.0);

// The picture for the tray item's square slot: the rings, or, when there are none, the
// number's symbol in white centred in 22 x 22. A null image when there is neither.
QImage trayIconImage(const Label& label, qreal devicePixelRatio = 1.0);

} // namespace orb
