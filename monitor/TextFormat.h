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

// The units sizes are written in, each 1024 times the one before.
enum class ByteUnit { B, KB, MB, GB };
QStringView byteUnitName(ByteUnit unit); // " B", " KB", " MB", " GB"

// An amount of `unit` in the largest unit up to GB that it reaches: at least 1024 of the one
// below, or more than 1024 where `strictly`. `divisor` is that unit in the starting one.
struct ByteAmount {
    double amount = 0;
    ByteUnit unit = ByteUnit::B;
    double divisor = 1;
};
ByteAmount inLargestByteUnit(double amount, ByteUnit unit = ByteUnit::B, bool strictly = false);

// A byte count in steps of 1024 with its unit: "512 B", "1.5 KB", "3.2 MB", "1.0 GB".
QString formatBytes(double bytes);

} // namespace orb
