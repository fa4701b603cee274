#pragma once

#include <QString>
#include <QStringView>

namespace orb {

// Shown in place of a reading that is missing or cannot be shown: one em dash.
inline constexpr char16_t placeholderText[] = u"\u2014";
QString placeholder();

// The value with a fixed number of decimals followed by `suffix`, exactly as printf's "%.Nf"
// gives it in the C locale (correctly rounded, "-0" kept) but independent of the process locale,
// which Qt sets from the environment. A value that is not finite gives the placeholder.
QString fixedDecimals(double value, int decimals, QStringView suffix = {});

// A byte count in steps of 1024 with its unit: "512 B", "1.5 KB", "3.2 MB", "1.0 GB".
QString formatBytes(double bytes);

} // namespace orb
