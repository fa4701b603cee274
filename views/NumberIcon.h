#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <optional>
#include <utility>

namespace orb {

// A number text split into its value and its unit: "42%" gives "42" and "%", "1.2 MB/s" gives
// "1.2" and "MB/s". Nothing for a text that is not a value followed by a unit of letters or
// "%" ("0.42", "45°", "Ch 36", "3d 4h", "2:15", the placeholder): a degree sign belongs with
// its digits.
std::optional<std::pair<QString, QString>> splitValueAndUnit(const QString& text);

// The number as a tray icon of its own, for hosts that draw no text beside an icon: a
// transparent 22 x 22 image with the value over the unit where the text has both, each line as
// large as fits its half, otherwise the whole text as large as fits the square, centred, in
// `textColor`. A null image for an empty text.
QImage renderNumberIcon(const QString& text, const QColor& textColor, qreal devicePixelRatio = 1.0);

} // namespace orb
