#include "platform/PropertyValue.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>

using namespace orb::platform;

namespace {

constexpr auto none = std::nullopt;
constexpr auto maxU64 = std::numeric_limits<std::uint64_t>::max();
constexpr auto maxI64 = std::numeric_limits<std::int64_t>::max();
constexpr std::uint64_t twoTo63 = std::uint64_t{1} << 63;
constexpr std::int64_t twoTo53 = std::int64_t{1} << 53;
constexpr double inf = std::numeric_limits<double>::infinity();

// A value and what each exact conversion gives; empty where the target cannot hold it exactly.
struct Conversions {
    PropertyValue value;
    std::optional<int> integer;
    std::optional<std::int64_t> int64;
    std::optional<std::uint64_t> uint64;
    std::optional<double> real;
    std::optional<float> single;
};

} // namespace

TEST(PropertyValue, NumbersConvertOnlyWhenExact) {
    const Conversions cases[] = {
        {-1, -1, -1, none, -1.0, -1.0f},
        {maxU64, none, none, maxU64, none, none},                  // 2^64 - 1 has no double
        {std::uint64_t(maxI64), none, maxI64, maxI64, none, none}, // would round up to 2^63
        {twoTo63, none, none, twoTo63, 0x1p63, 0x1p63f},
        {3'000'000'000u, none, 3'000'000'000, 3'000'000'000u, 3e9, 3e9f},
        // Doubles hold every integer up to 2^53 and only some beyond; floats up to 2^24.
        {twoTo53 + 1, none, twoTo53 + 1, twoTo53 + 1, none, none},
        {twoTo53 + 2, none, twoTo53 + 2, twoTo53 + 2, 0x1p53 + 2, none},
        {16777217, 16777217, 16777217, 16777217, 16777217.0, none},
        {3.0, 3, 3, 3, 3.0, 3.0f},
        {-2.0f, -2, -2, none, -2.0, -2.0f},
        {3.5, none, none, none, 3.5, 3.5f},
        {0x1p63, none, none, twoTo63, 0x1p63, 0x1p63f},
        {0x1p64, none, none, none, 0x1p64, 0x1p64f},
        {-inf, none, none, none, -inf, -std::numeric_limits<float>::infinity()},
        {0.1f, none, none, none, static_cast<double>(0.1f), 0.1f},
        {0.1, none, none, none, 0.1, none},
        {1e300, none, none, none, 1e300, none},
        // Flags and texts are not numbers, whatever they look like.
        {true, none, none, none, none, none},
        {"42", none, none, none, none, none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        EXPECT_EQ(c.value.toInt(), c.integer);
        EXPECT_EQ(c.value.toInt64(), c.int64);
        EXPECT_EQ(c.value.toUInt64(), c.uint64);
        EXPECT_EQ(c.value.toDouble(), c.real);
        EXPECT_EQ(c.value.toFloat(), c.single);
    }
    const PropertyValue nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(nan.toInt64() || nan.toUInt64());
    EXPECT_TRUE(std::isnan(*nan.toFloat()));
}

TEST(PropertyValue, KindsStayApartAndTablesNestAndCopyByValue) {
    EXPECT_EQ(PropertyValue(std::int8_t{-3}).numberKind(), NumberKind::Signed);
    EXPECT_EQ(PropertyValue(twoTo63).numberKind(), NumberKind::Unsigned);
    EXPECT_EQ(PropertyValue(1.5f).numberKind(), NumberKind::Float);
    EXPECT_EQ(PropertyValue("42").type(), PropertyValue::Type::String); // not taken as a flag
    EXPECT_FALSE(PropertyValue(1).toBool());
    EXPECT_EQ(PropertyValue(1).string(), nullptr);
    // Equal numbers of different kinds are different values.
    EXPECT_NE(PropertyValue(1), PropertyValue(1u));
    EXPECT_NE(PropertyValue(1.0), PropertyValue(1.0f));

    PropertyTable service{{"Statistics", PropertyTable{{"Bytes (Read)", std::uint64_t{4096}}}},
                          {"Name", "sda"},
                          {"Slots", PropertyList{1, 2.5, "three"}}};
    EXPECT_EQ(service.find("Statistics")->table()->find("Bytes (Read)")->toUInt64(), 4096u);
    EXPECT_EQ(service.find("Slots")->list()->at(1).toDouble(), 2.5);
    EXPECT_EQ(service.find("Missing"), nullptr);
    EXPECT_EQ(service.find("Name")->table(), nullptr);
    EXPECT_EQ(service.find("Statistics")->list(), nullptr);
    // A changed copy leaves the original alone.
    PropertyTable copy = service;
    EXPECT_EQ(copy, service);
    copy.set("Name", "sdb");
    EXPECT_NE(copy, service);
    EXPECT_EQ(*service.find("Name")->string(), "sda");
}
