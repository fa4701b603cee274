#include "platform/PropertyValue.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>

using namespace orb::platform;

TEST(PropertyValue, NumbersKeepTheKindTheyWereStoredAs) {
    EXPECT_EQ(PropertyValue(std::int8_t{-3}).numberKind(), NumberKind::Signed);
    EXPECT_EQ(PropertyValue(std::uint64_t{1} << 63).numberKind(), NumberKind::Unsigned);
    EXPECT_EQ(PropertyValue(1.5f).numberKind(), NumberKind::Float);
    EXPECT_EQ(PropertyValue(1.5).numberKind(), NumberKind::Double);
    // Flags and texts are not numbers, whatever they look like, nor numbers flags or texts.
    EXPECT_EQ(PropertyValue(true).type(), PropertyValue::Type::Boolean);
    EXPECT_FALSE(PropertyValue(true).toInt());
    EXPECT_EQ(PropertyValue("42").type(), PropertyValue::Type::String);
    EXPECT_FALSE(PropertyValue("42").toUInt64());
    EXPECT_FALSE(PropertyValue(1).toBool());
    EXPECT_EQ(PropertyValue(1).string(), nullptr);
    // Equal numbers of different kinds are different values.
    EXPECT_NE(PropertyValue(1), PropertyValue(1u));
    EXPECT_NE(PropertyValue(1.0), PropertyValue(1.0f));
}

TEST(PropertyValue, IntegersConvertOnlyWithinTheTargetsRange) {
    constexpr auto maxU64 = std::numeric_limits<std::uint64_t>::max();
    constexpr auto maxI64 = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(PropertyValue(-1).toInt64(), -1);
    EXPECT_FALSE(PropertyValue(-1).toUInt64());
    EXPECT_EQ(PropertyValue(maxU64).toUInt64(), maxU64);
    EXPECT_FALSE(PropertyValue(maxU64).toInt64());
    EXPECT_FALSE(PropertyValue(maxU64).toDouble()); // 2^64 - 1 has no double
    EXPECT_EQ(PropertyValue(std::uint64_t(maxI64)).toInt64(), maxI64);
    EXPECT_FALSE(PropertyValue(std::uint64_t(maxI64) + 1).toInt64());
    EXPECT_FALSE(PropertyValue(3'000'000'000u).toInt());

    // Doubles hold every integer up to 2^53 and only some beyond.
    constexpr std::int64_t twoTo53 = std::int64_t{1} << 53;
    EXPECT_FALSE(PropertyValue(twoTo53 + 1).toDouble());
    EXPECT_EQ(PropertyValue(twoTo53 + 2).toDouble(), 9007199254740994.0);
    EXPECT_FALSE(PropertyValue(maxI64).toDouble()); // would round up to 2^63
    EXPECT_EQ(PropertyValue(16777216).toFloat(), 16777216.0f);
    EXPECT_FALSE(PropertyValue(16777217).toFloat());
}

TEST(PropertyValue, FractionsConvertOnlyWhenExact) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(PropertyValue(3.0).toInt(), 3);
    EXPECT_EQ(PropertyValue(-2.0f).toInt64(), -2);
    EXPECT_FALSE(PropertyValue(3.5).toInt());
    EXPECT_FALSE(PropertyValue(-2.0).toUInt64());
    EXPECT_FALSE(PropertyValue(9223372036854775808.0).toInt64()); // 2^63
    EXPECT_EQ(PropertyValue(9223372036854775808.0).toUInt64(), std::uint64_t{1} << 63);
    EXPECT_FALSE(PropertyValue(18446744073709551616.0).toUInt64()); // 2^64
    EXPECT_FALSE(PropertyValue(nan).toInt64());
    EXPECT_FALSE(PropertyValue(inf).toUInt64());

    // Single and double precision: exact both ways only where the value is representable.
    EXPECT_EQ(PropertyValue(0.1f).toDouble(), static_cast<double>(0.1f));
    EXPECT_EQ(PropertyValue(0.5).toFloat(), 0.5f);
    EXPECT_FALSE(PropertyValue(0.1).toFloat());
    EXPECT_FALSE(PropertyValue(1e300).toFloat());
    EXPECT_EQ(PropertyValue(-inf).toFloat(), -std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(*PropertyValue(nan).toFloat()));
}

TEST(PropertyValue, TablesAndListsNestAndCopyByValue) {
    PropertyTable service{{"Statistics", PropertyTable{{"Bytes (Read)", std::uint64_t{4096}}}},
                          {"Name", "sda"},
                          {"Slots", PropertyList{1, 2.5, "three"}}};
    EXPECT_EQ(service.find("Statistics")->table()->find("Bytes (Read)")->toUInt64(), 4096u);
    EXPECT_EQ(service.find("Slots")->list()->at(1).toDouble(), 2.5);
    EXPECT_EQ(service.find("Missing"), nullptr);
    EXPECT_EQ(service.find("Name")->table(), nullptr);
    EXPECT_EQ(service.find("Statistics")->list(), nullptr);

    // Copies compare by content; a changed copy leaves the original alone.
    PropertyTable copy = service;
    EXPECT_EQ(copy, service);
    copy.set("Name", "sdb");
    EXPECT_NE(copy, service);
    EXPECT_EQ(*service.find("Name")->string(), "sda");
}
