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

QStringView byteUnitName(ByteUnit unit) {
    static constexpr std::array<QStringView, 4> names{u" B", u" KB", u" MB", u" GB"};
    return names[static_cast<std::size_t>(unit)];
}

ByteAmount inLargestByteUnit(double amount, ByteUnit unit, bool strictly) {
    ByteAmount scaled{amount, unit, 1};
    constexpr double step = 1024;
    while (scaled.unit != ByteUnit::GB &&
           (strictly ? scaled.amount > step : scaled.amount >= step)) {
        scaled.amount /= step;
        scaled.divisor *= step;
        scaled.unit = static_cast<ByteUnit>(static_cast<int>(scaled.unit) + 1);
    }
    return scaled;
}

QString formatBytes(double bytes) {
    const ByteAmount scaled = inLargestByteUnit(bytes);
    return fixedDecimals(scaled.amount, scaled.unit == ByteUnit::B ? 0 : 1,
                         byteUnitName(scaled.unit));
}

} // namespace orb
