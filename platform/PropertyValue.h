#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace orb::platform {

class PropertyTable;
class PropertyValue;
using PropertyList = std::vector<PropertyValue>;

// How a number was stored. A number keeps its kind; the conversions below give a value only
// when it converts exactly, so a reader never sees a rounded or wrapped figure.
enum class NumberKind { Signed, Unsigned, Float, Double };

// One value of a device's property table: a number, a text, a flag, a nested table or a list.
// Values are immutable; copies share nested tables and lists.
class PropertyValue {
public:
    enum class Type { Number, String, Boolean, Table, List };

    template <std::integral T>
    requires(!std::same_as<T, bool>) PropertyValue(T number) {
        if constexpr (std::signed_integral<T>)
            value_ = static_cast<std::int64_t>(number);
        else
            value_ = static_cast<std::uint64_t>(number);
    }
    PropertyValue(float number) : value_(number) {}
    PropertyValue(double number) : value_(number) {}
    PropertyValue(bool flag) : value_(flag) {}
    PropertyValue(std::string text) : value_(std::move(text)) {}
    PropertyValue(const char* text) : value_(std::string(text)) {}
    PropertyValue(PropertyTable table);
    PropertyValue(PropertyList list);

    Type type() const;
    bool isNumber() const { return type() == Type::Number; }
    // The stored kind of a number; empty for other values.
    std::optional<NumberKind> numberKind() const;

    // Exact conversions of a number: empty for other values and for numbers that the target
    // cannot hold exactly (a fraction as an integer, -1 as unsigned, 2^53 + 1 as a double).
    std::optional<int> toInt() const;
    std::optional<std::int64_t> toInt64() const;
    std::optional<std::uint64_t> toUInt64() const;
    std::optional<double> toDouble() const;
    std::optional<float> toFloat() const;

    std::optional<bool> toBool() const;
    // The text, table or list the value holds; null for other values.
    const std::string* string() const;
    const PropertyTable* table() const;
    const PropertyList* list() const;

    friend bool operator==(const PropertyValue& a, const PropertyValue& b);

private:
    std::variant<std::int64_t, std::uint64_t, float, double, bool, std::string,
                 std::shared_ptr<const PropertyTable>, std::shared_ptr<const PropertyList>>
        value_;
};

// A property table: text keys, each with one value.
class PropertyTable {
public:
    using Entries = std::map<std::string, PropertyValue, std::less<>>;

    PropertyTable() = default;
    PropertyTable(std::initializer_list<Entries::value_type> entries) : entries_(entries) {}

    // The value under `key`, null when there is none.
    const PropertyValue* find(std::string_view key) const;
    void set(std::string key, PropertyValue value);

    bool empty() const { return entries_.empty(); }
    std::size_t size() const { return entries_.size(); }
    Entries::const_iterator begin() const { return entries_.begin(); }
    Entries::const_iterator end() const { return entries_.end(); }

    friend bool operator==(const PropertyTable& a, const PropertyTable& b) {
        return a.entries_ == b.entries_;
    }

private:
    Entries entries_;
};

} // namespace orb::platform
