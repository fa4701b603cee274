#include "platform/PropertyValue.h"

#include <cfloat>
#include <cmath>
#include <limits>

namespace orb::platform {

namespace {

// The first values past the signed and unsigned 64-bit ranges, both exact as doubles.
constexpr double twoTo63 = 9223372036854775808.0;
constexpr double twoTo64 = 18446744073709551616.0;

bool isWhole(double v) {
    return std::isfinite(v) && std::trunc(v) == v;
}

std::optional<std::int64_t> signedFrom(double v) {
    if (!isWhole(v) || v < -twoTo63 || v >= twoTo63)
        return std::nullopt;
    return static_cast<std::int64_t>(v);
}

std::optional<std::uint64_t> unsignedFrom(double v) {
    if (!isWhole(v) || v < 0 || v >= twoTo64)
        return std::nullopt;
    return static_cast<std::uint64_t>(v);
}

// Integers above 2^53 are exact as doubles only when their low bits are zero; converting back
// tells. A value just below 2^63 or 2^64 rounds up to it, which is out of range on the way back.
std::optional<double> doubleFrom(std::int64_t v) {
    const double d = static_cast<double>(v);
    if (d >= twoTo63 || static_cast<std::int64_t>(d) != v)
        return std::nullopt;
    return d;
}

std::optional<double> doubleFrom(std::uint64_t v) {
    const double d = static_cast<double>(v);
    if (d >= twoTo64 || static_cast<std::uint64_t>(d) != v)
        return std::nullopt;
    return d;
}

std::optional<float> floatFrom(double v) {
    // Infinities and NaN carry over as they are; a finite value must be in range before the
    // narrowing, which is undefined outside it.
    if (!std::isfinite(v))
        return static_cast<float>(v);
    if (std::fabs(v) > FLT_MAX)
        return std::nullopt;
    const float f = static_cast<float>(v);
    if (static_cast<double>(f) != v)
        return std::nullopt;
    return f;
}

} // namespace

PropertyValue::PropertyValue(PropertyTable table)
    : value_(std::make_shared<const PropertyTable>(std::move(table))) {}

PropertyValue::PropertyValue(PropertyList list)
    : value_(std::make_shared<const PropertyList>(std::move(list))) {}

PropertyValue::Type PropertyValue::type() const {
    switch (value_.index()) {
    case 0:
    case 1:
    case 2:
    case 3:
        return Type::Number;
    case 4:
        return Type::Boolean;
    case 5:
        return Type::String;
    case 6:
        return Type::Table;
    default:
        return Type::List;
    }
}

std::optional<NumberKind> PropertyValue::numberKind() const {
    if (std::holds_alternative<std::int64_t>(value_))
        return NumberKind::Signed;
    if (std::holds_alternative<std::uint64_t>(value_))
        return NumberKind::Unsigned;
    if (std::holds_alternative<float>(value_))
        return NumberKind::Float;
    if (std::holds_alternative<double>(value_))
        return NumberKind::Double;
    return std::nullopt;
}

std::optional<std::int64_t> PropertyValue::toInt64() const {
    if (auto v = std::get_if<std::int64_t>(&value_))
        return *v;
    if (auto v = std::get_if<std::uint64_t>(&value_)) {
        if (*v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            return std::nullopt;
        return static_cast<std::int64_t>(*v);
    }
    if (auto v = std::get_if<float>(&value_))
        return signedFrom(*v);
    if (auto v = std::get_if<double>(&value_))
        return signedFrom(*v);
    return std::nullopt;
}

std::optional<std::uint64_t> PropertyValue::toUInt64() const {
    if (auto v = std::get_if<std::uint64_t>(&value_))
        return *v;
    if (auto v = std::get_if<std::int64_t>(&value_)) {
        if (*v < 0)
            return std::nullopt;
        return static_cast<std::uint64_t>(*v);
    }
    if (auto v = std::get_if<float>(&value_))
        return unsignedFrom(*v);
    if (auto v = std::get_if<double>(&value_))
        return unsignedFrom(*v);
    return std::nullopt;
}

std::optional<int> PropertyValue::toInt() const {
    auto v = toInt64();
    if (!v || *v < std::numeric_limits<int>::min() || *v > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(*v);
}

std::optional<double> PropertyValue::toDouble() const {
    if (auto v = std::get_if<double>(&value_))
        return *v;
    if (auto v = std::get_if<float>(&value_))
        return static_cast<double>(*v);
    if (auto v = std::get_if<std::int64_t>(&value_))
        return doubleFrom(*v);
    if (auto v = std::get_if<std::uint64_t>(&value_))
        return doubleFrom(*v);
    return std::nullopt;
}

std::optional<float> PropertyValue::toFloat() const {
    if (auto v = std::get_if<float>(&value_))
        return *v;
    auto d = toDouble();
    if (!d)
        return std::nullopt;
    return floatFrom(*d);
}

std::optional<bool> PropertyValue::toBool() const {
    if (auto v = std::get_if<bool>(&value_))
        return *v;
    return std::nullopt;
}

const std::string* PropertyValue::string() const {
    return std::get_if<std::string>(&value_);
}

const PropertyTable* PropertyValue::table() const {
    auto v = std::get_if<std::shared_ptr<const PropertyTable>>(&value_);
    return v ? v->get() : nullptr;
}

const PropertyList* PropertyValue::list() const {
    auto v = std::get_if<std::shared_ptr<const PropertyList>>(&value_);
    return v ? v->get() : nullptr;
}

bool operator==(const PropertyValue& a, const PropertyValue& b) {
    if (a.value_.index() != b.value_.index())
        return false;
    if (auto table = a.table())
        return *table == *b.table();
    if (auto list = a.list())
        return *list == *b.list();
    return a.value_ == b.value_;
}

const PropertyValue* PropertyTable::find(std::string_view key) const {
    auto it = entries_.find(key);
    return it == entries_.end() ? nullptr : &it->second;
}

void PropertyTable::set(std::string key, PropertyValue value) {
    entries_.insert_or_assign(std::move(key), std::move(value));
}

} // namespace orb::platform
