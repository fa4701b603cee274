#include "fakes/FakePlatform.h"
#include "monitor/CpuReader.h"
#include "monitor/DiskThroughputReader.h"
#include "monitor/MemoryReader.h"
#include "monitor/NetworkThroughputReader.h"
#include "platform/BlockStorage.h"
#include "sensors/GPUMonitor.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <sstream>

using namespace orb;
using namespace orb::testing;
using namespace orb::platform;
using Pair = std::optional<std::pair<double, double>>;
using Sums = std::pair<std::uint64_t, std::uint64_t>;

namespace {

template <typename Reading, typename Member>
Pair pairOf(const std::optional<Reading>& r, Member first, Member second) {
    return r ? Pair({(*r).*first, (*r).*second}) : std::nullopt;
}
Pair shares(const std::optional<CpuShares>& s) {
    return pairOf(s, &CpuShares::user, &CpuShares::system);
}

NetworkInterface link(std::string name, std::uint64_t in, std::uint64_t out, LinkKind kind = {}) {
    return {std::move(name), kind, LinkStatistics{in, out}};
}

std::optional<PropertyTable> disk(PropertyValue read, PropertyValue written) {
    using namespace block_storage;
    return PropertyTable{{std::string(statisticsKey),
                          PropertyTable{{std::string(bytesReadKey), std::move(read)},
                                        {std::string(bytesWrittenKey), std::move(written)}}}};
}

PropertyTable withStatistics(PropertyTable statistics, PropertyTable top = {}) {
    top.set("PerformanceStatistics", std::move(statistics));
    return top;
}

} // namespace

TEST(CpuReader, SharesCountOnlyTicksThatElapsedOnProcessorsInBothSamples) {
    // Processor 1 went offline; processor 2 keeps its own counters and is not mistaken for it.
    EXPECT_EQ(shares(cpuShares({{0, 0, 0, 0}, {1, 1000, 0, 0}, {2, 0, 0, 0}},
                               {{0, 10, 0, 10, 10}, {2, 0, 0, 20}})),
              Pair({0.4, 0})); // nice ticks are user time
    // The idle counter went backwards (seen with iowait on some kernels): it adds nothing.
    EXPECT_EQ(shares(cpuShares({{0, 100, 100, 1000}}, {{0, 110, 130, 400}})), Pair({0.25, 0.75}));

    // The first sample seeds; a failed one keeps the baseline; an idle one replaces it.
    FakeProcessorInfo processors;
    processors.samples = {
        std::nullopt, ProcessorSample{{0, 100, 100, 100}}, ProcessorSample{{0, 130, 110, 160}},
        std::nullopt, ProcessorSample{{0, 130, 110, 160}}, ProcessorSample{{0, 130, 110, 260}}};
    CpuReader reader(processors);
    for (const Pair& expected : {Pair(), Pair(), Pair({0.3, 0.1}), Pair(), Pair(), Pair({0, 0})})
        EXPECT_EQ(shares(reader.read()), expected);
}

TEST(MemoryReader, PageCountsBecomeBytesAndAPressureWithin0To1) {
    FakeVirtualMemory memory;
    memory.bytesPerPage = 4096;
    memory.size = 8ull << 30;
    memory.counts = PageCounts{1000, 500, 200, 100, 50, 150};
    memory.swap = SwapUsage{};
    MemoryReader reader(memory);
    // Purgeable and external pages come off used memory, but not off the pressure.
    EXPECT_EQ(reader.read()->used, 1100 * 4096.0);
    EXPECT_DOUBLE_EQ(reader.read()->pressure, 1300.0 / 2'097'152.0);

    // 20 TiB of 4 KiB pages is more than 2^32 pages.
    memory.size = 20ull << 40;
    memory.counts = PageCounts{(10ull << 40) / 4096, 0, (5ull << 40) / 4096};
    EXPECT_DOUBLE_EQ(reader.read()->pressure, 0.75);

    // Fewer pages than the counts add up to; then no page size to count pages with.
    memory.size = 1000 * 4096;
    memory.counts = PageCounts{1000, 0, 200, 100};
    EXPECT_EQ(reader.read()->pressure, 1.0);
    memory.bytesPerPage = 0;
    EXPECT_EQ(reader.read()->pressure, 0.0);

    // Unreadable swap leaves only the swap out; unreadable statistics leave everything out.
    memory.swap.reset();
    EXPECT_FALSE(reader.read()->swap);
    memory.counts.reset();
    EXPECT_FALSE(reader.read());
}

TEST(NetworkThroughput, OnlyPhysicalLinksCountAndRatesAreBytesPerSecondSinceTheLastReading) {
    FakeNetworkInterfaces network;
    // Without a classification the name decides; links without counters add nothing.
    network.links = {
        {link("en0", 1, 10), link("pdp_ip0", 2, 20), link("bridge0", 4, 40), link("lo0", 8, 80),
         link("utun0", 16, 160), link("awdl0", 32, 320), link("eth0", 64, 640, LinkKind::Physical),
         link("en0.100", 128, 1280, LinkKind::Virtual), NetworkInterface{"en1", {}, {}}}};
    EXPECT_EQ(readNetworkCounters(network), Sums(67, 670));
    network.links.reset(); // the interfaces cannot be listed
    EXPECT_EQ(readNetworkCounters(network), Sums(0, 0));

    FakeClock clock;
    network.links = {{link("en0", 10'000, 10'000)}};
    NetworkThroughputReader reader(network, clock); // takes the first sums and the time
    const std::tuple<double, std::uint64_t, Pair> steps[] = {
        {2, 12'048, {{1024, 1024}}},
        {1, 1'000, {{0, 0}}}, // the interface restarted from zero
        {0, 1'100, {}},       // the clock did not move: no rates, but the sums are taken
        {1, 1'612, {{512, 512}}},
    };
    for (const auto& [seconds, bytes, rates] : steps) {
        clock.advance(seconds);
        network.links = {{link("en0", bytes, bytes)}};
        EXPECT_EQ(pairOf(reader.read(), &NetworkRates::received, &NetworkRates::sent), rates);
    }
}

TEST(DiskThroughput, SumsTheReadableServicesAndRatesNeedAnEarlierReading) {
    FakeDeviceRegistry registry;
    auto& disks = registry.services[std::string(block_storage::serviceClass)];
    disks = {disk(1000, 10), std::nullopt, PropertyTable{}, PropertyTable{{"Name", "sdb"}},
             PropertyTable{{std::string(block_storage::statisticsKey), "text"}},
             // Counters of the wrong kind or sign count as 0; exact conversions count.
             disk(-5, 4096.0), disk("7", "8"), disk(2000, 20)};
    EXPECT_EQ(readDiskCounters(registry), Sums(3000, 4126));
    registry.matchFails = true;
    EXPECT_EQ(readDiskCounters(registry), Sums(0, 0));

    registry.matchFails = false;
    disks = {disk(1'000, 500), disk(0, 500)};
    DiskThroughputReader reader(registry); // takes the first counters
    // Each disk against its own last counters: one that goes or comes neither hides the
    // others' bytes nor adds its whole total to one second.
    using Disks = std::vector<std::optional<PropertyTable>>;
    const std::pair<Disks, Pair> steps[] = {
        {{disk(5'096, 1'100), disk(0, 600)}, {{4096, 700}}},
        {{disk(5'096, 1'300)}, {{0, 200}}},               // the second disk removed
        {{disk(0, 1'400), disk(9'000, 900)}, {{0, 100}}}, // reset; a new disk counts later
        {{disk(0, 1'500)}, {{0, 100}}},
        {{disk(10, 2'300)}, std::nullopt}, // nothing was read before
    };
    for (const auto& [tables, rates] : steps) {
        disks = tables;
        EXPECT_EQ(pairOf(reader.read(), &DiskRates::read, &DiskRates::written), rates);
    }
    EXPECT_EQ(registry.unreleased, 0);
}

TEST(PropertyValue, NumbersConvertOnlyWhenExact) {
    constexpr auto none = std::nullopt;
    constexpr auto maxU64 = std::numeric_limits<std::uint64_t>::max();
    constexpr auto maxI64 = std::numeric_limits<std::int64_t>::max();
    constexpr std::uint64_t twoTo63 = 1ull << 63;
    // A value and what toInt, toInt64, toUInt64, toDouble and toFloat give; empty where the
    // target cannot hold it exactly.
    const std::tuple<PropertyValue, std::optional<int>, std::optional<std::int64_t>,
                     std::optional<std::uint64_t>, std::optional<double>, std::optional<float>>
        cases[] = {
            {maxU64, none, none, maxU64, none, none},                  // 2^64 - 1 has no double
            {std::uint64_t(maxI64), none, maxI64, maxI64, none, none}, // would round up to 2^63
            {twoTo63, none, none, twoTo63, 0x1p63, 0x1p63f},
            // Doubles hold every integer up to 2^53, floats up to 2^24.
            {(1ll << 53) + 1, none, (1ll << 53) + 1, (1ull << 53) + 1, none, none},
            {16777217, 16777217, 16777217, 16777217, 16777217.0, none},
            {3.0, 3, 3, 3, 3.0, 3.0f},
            {3.5, none, none, none, 3.5, 3.5f},
            {0x1p63, none, none, twoTo63, 0x1p63, 0x1p63f},
            {0x1p64, none, none, none, 0x1p64, 0x1p64f},
            {1e300, none, none, none, 1e300, none},
            {true, none, none, none, none, none}, // a flag is no number
        };
    for (const auto& [value, integer, int64, uint64, real, single] : cases) {
        SCOPED_TRACE(::testing::Message() << "case " << (&value - &std::get<0>(cases[0])));
        EXPECT_EQ(value.toInt(), integer);
        EXPECT_EQ(value.toInt64(), int64);
        EXPECT_EQ(value.toUInt64(), uint64);
        EXPECT_EQ(value.toDouble(), real);
        EXPECT_EQ(value.toFloat(), single);
    }
    const PropertyValue nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(!nan.toInt64() && !nan.toUInt64() && std::isnan(*nan.toFloat()));
}

TEST(GPUMonitor, PercentagesAreMeansAndCountsAreSumsOverTheAcceleratorsWithStatistics) {
    // Cards as the Linux accelerators describe them; the stats as busy share, memory used and
    // allocated, cores, model and watts.
    const auto read = [](std::vector<std::optional<PropertyTable>> accelerators) {
        FakeDeviceRegistry registry;
        registry.services["IOAccelerator"] = std::move(accelerators);
        const auto s = GPUMonitor::readStats(registry);
        EXPECT_EQ(registry.unreleased, 0);
        std::ostringstream out;
        out << s.utilization << " " << s.memoryUsed << "/" << s.memoryAllocated << " "
            << s.coreCount << " " << s.modelName.toStdString() << " " << s.powerWatts;
        return out.str();
    };
    constexpr std::int64_t GiB = 1 << 30;
    EXPECT_EQ(read({withStatistics({{"Device Utilization %", 37},
                                    {"In use system memory", GiB},
                                    {"Alloc system memory", 8 * GiB}},
                                   {{"PowerWatts", 36.5}, {"model", "AMD Radeon RX 6900 XT"}})}),
              "0.37 1073741824/8589934592 0 AMD Radeon RX 6900 XT 36.5");
    // A card without a busy figure does not count; the first core count and name stay.
    EXPECT_EQ(
        read({withStatistics({{"Device Utilization %", 40}, {"In use system memory", 512}},
                             {{"PowerWatts", 4.0}, {"model", ""}}),
              withStatistics({{"Device Utilization %", 0}},
                             {{"gpu-core-count", 5888}, {"model", "NVIDIA GeForce RTX 4070"}}),
              PropertyTable{{"model", "UHD Graphics 620"}, {"gpu-core-count", 24}}, std::nullopt}),
        "0.2 512/0 5888 NVIDIA GeForce RTX 4070 4");
    // Sums stop at their largest value; negative counts add nothing.
    EXPECT_EQ(
        read({withStatistics({{"In use system memory", std::numeric_limits<std::int64_t>::max()},
                              {"Alloc system memory", -4096}}),
              withStatistics({{"In use system memory", 512}, {"Alloc system memory", 1024}})}),
        "0 9223372036854775807/1024 0  0");
    EXPECT_EQ(read({}), "0 0/0 0  0");
}
