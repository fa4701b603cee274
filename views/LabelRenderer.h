#pragma once

#include "model/MetricCatalogue.h"
#include "views/Theme.h"

#include <QColor>
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
// names draw in blue; the track suits the panel's shade. The image carries
// `devicePixelRatio`, so it stays sharp on HiDPI.
QImage renderRingImage(RingMetric outer, double outerFraction, const QString& outerColor,
                       RingMetric inner, double innerFraction, const QString& innerColor,
                       qreal devicePixelRatio = 1.0, PanelShade shade = PanelShade::dark);

// The label for the current readings: the rings unless both ring metrics are none, and the
// number with its symbol unless the number's text is empty.
Label buildLabel(const LabelSettings& settings, const SystemMonitor& monitor,
                 qreal devicePixelRatio = 1.0, PanelShade shade = PanelShade::dark);

// The picture for the tray item, square as hosts draw it: the rings, or without rings the
// symbol alone at its own size 9, centred in 22 x 22 and drawn in `textColor`. A null image when
// there is neither. The number (and with rings its symbol) goes beside it: in the host's own label,
// or in an icon of its own.
QImage trayIconImage(const Label& label, const QColor& textColor, qreal devicePixelRatio = 1.0);

// A text as wide as the metric's number usually is ("100%" for a share, "1023.9 MB/s" for a
// rate), so a panel can reserve room for it once; empty for none.
QString labelGuide(NumberMetric metric);

} // namespace orb
