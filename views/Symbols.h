#pragma once

#include <QString>

namespace orb {

// Symbols are drawn from the Material Icons font (Debian's fonts-material-design-icons-iconfont).
QString symbolFontFamily();

// The glyph for a symbol name (the names the metric catalogue and the views use); empty for an
// empty or unknown name.
QString symbolGlyph(const QString& name);

} // namespace orb
