#include "monitor/TextFormat.h"

#include <array>
#include <charconv>
#include <cmath>

namespace orb {

QString placeholder() {
    return QStringView(placeholderText).toString();
}

QString fixedDecimals(double value, int decimals, QStringView suffix) {
    if (!std::isfinite(value))
        return placeholder();
    // Widest case: 309 integer digits of DBL_MAX, sign, point and a few decimals.
    std::array<char, 330> buffer;
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, decimals);
    if (result.ec != std::errc())
        return placeholder();
    return QString::fromLatin1(buffer.data(), result.ptr - buffer.data()).append(suffix);
}

QString formatBytes(double bytes) {
    constexpr double kibi = 1024.0;
    constexpr double mebi = 1048576.0;
    constexpr double gibi = 1073741824.0;
    if (bytes < kibi)
        return fixedDecimals(bytes, 0, u" B");
    if (bytes < mebi)
        return fixedDecimals(bytes / kibi, 1, u" KB");
    if (bytes < gibi)
        return fixedDecimals(bytes / mebi, 1, u" MB");
    return fixedDecimals(bytes / gibi, 1, u" GB");
}

} // namespace orb
