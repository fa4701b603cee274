#include "fakes/FakePlatform.h"
#include "fakes/Measured.h"
#include "model/Readout.h"
#include "monitor/SystemMonitor.h"

#include <functional>
#include <gtest/gtest.h>
#include <limits>

using namespace orb;
using M = SystemMonitor;

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double gibi = 1073741824.0;
const std::string dash = "\u2014";

using Given = std::function<void(M&)>;
template <typename T> Given set(void (M::*setter)(const T&), std::type_identity_t<T> value) {
    return [=](M& m) { (m.*setter)(value); };
}
template <typename T, typename U>
Given pair(void (M::*first)(const T&), std::type_identity_t<T> a, void (M::*second)(const U&),
           std::type_identity_t<U> b) {
    return [=](M& m) { (m.*first)(a), (m.*second)(b); };
}
Given memory(double used, double total) {
    return pair(&M::setMemoryTotal, total, &M::setMemoryUsed, used);
}

// A reading the machine does not measure.
Given unmeasured(void (M::*reading)()) {
    return [=](M& m) { m.setMeasured({reading}, false); };
}

// Each case on a fresh monitor that measures everything, so no reading leaks into the next.
template <typename Metric, typename Expected, typename Check>
void expectEach(std::initializer_list<std::tuple<Metric, Given, Expected>> cases, Check check) {
    for (const auto& [metric, given, expected] : cases) {
        SCOPED_TRACE(rawValue(metric).toStdString());
        orb::testing::FakePlatform fake;
        M monitor(fake.platform());
        orb::testing::measureEverything(monitor);
        given(monitor);
        check(monitor, metric, expected);
    }
}

} // namespace

TEST(Readout, NumberTextsKeepTheirUnitsRoundingAndPlaceholders) {
    using enum NumberMetric;
    expectEach<NumberMetric, std::string>(
        {
            // Percentages truncate toward zero; 0.57 * 100 is 56.99999999999999 in binary.
            {gpuRenderer, set(&M::setGpuRendererUtil, 0.57), "56%"},
            {memoryPressure, set(&M::setMemoryPressure, -0.015), "-1%"},
            // Past what a 64-bit integer holds there is no number to show.
            {cpuTotal, set(&M::setCpuUsage, 1e17), dash},
            // Battery health rounds.
            {batteryHealth, set(&M::setBatteryHealthPercent, 0.879), "88%"},
            {memoryUsedPct, memory(12 * gibi, 16 * gibi), "75%"},
            {memoryUsedPct, memory(1536, 0), dash},
            // Battery flows below 0.05 W read as none.
            {batteryDraw, set(&M::setBatteryDrawWatts, 0.05), "0W"},
            {batteryDraw, set(&M::setBatteryDrawWatts, 0.051), "0.1W"},
            {netSystemLoad, set(&M::setNetSystemWatts, -3.25), "-3.2W"},
            {batteryCurrent, set(&M::setBatteryCurrent, 0.0), dash},
            {diskWrite, set(&M::setDiskWriteBytesPerSec, 0.0), "0 B/s"},
            // Every fan is listed, a stopped one too, in list order.
            {allFansRPM, set(&M::setFanSpeeds, {1350, 0, 1200}), "1350/0/1200"},
            // Battery times drop their trailing words; an empty remaining time shows no number.
            {timeRemaining, set(&M::setTimeRemaining, "Remaining 2:00 Remaining"),
             "Remaining 2:00"},
            {timeRemaining, set(&M::setTimeRemaining, ""), ""},
            {timeToFull, set(&M::setBatteryTimeToFull, "0:45 to full"), "0:45"},
            {timeToFull, set(&M::setBatteryTimeToFull, ""), dash},
            // A reading that went wrong never shows as "nan", "inf" or a made-up integer.
            {cpuSystem, set(&M::setCpuSystem, notANumber), dash},
            {memoryUsedBytes, set(&M::setMemoryUsed, -std::numeric_limits<double>::infinity()),
             dash},
            {diskRead, set(&M::setDiskReadBytesPerSec, notANumber), dash},
            {batteryDraw, set(&M::setBatteryDrawWatts, notANumber), "0W"},
            // A figure this machine does not give has no number, whatever its field holds: no
            // graphics processor, no battery, an adapter's input nobody measures.
            {gpuDevice, unmeasured(&M::gpuUsageChanged), dash},
            {batteryDraw, unmeasured(&M::batteryDrawWattsChanged), dash},
            {acInputWatts, unmeasured(&M::acInputWattsChanged), dash},
            {timeRemaining, unmeasured(&M::timeRemainingChanged), dash},
            {thermalState, unmeasured(&M::thermalStateChanged), dash},
        },
        [](const M& m, NumberMetric metric, const std::string& expected) {
            EXPECT_EQ(numberText(m, metric).toStdString(), expected);
        });
}

TEST(Readout, RingsClampFromAboveExceptSharesAndUsedMemory) {
    using enum RingMetric;
    expectEach<RingMetric, double>(
        {
            {memoryUsed, memory(1500, 1000), 1.5},
            {memoryUsed, memory(1500, 0), 0.0},
            {swapUsed, pair(&M::setSwapTotal, 1000.0, &M::setSwapUsed, 1500.0), 1.0},
            {cpuTemp, set(&M::setCpuTemperature, 150.0), 1.0},
            {fan0, set(&M::setFan0Speed, 7000), 1.0},
            // System load is measured against the adapter's rating, or 100 W without one.
            {netSystemLoad, pair(&M::setAdapterWatts, 0, &M::setNetSystemWatts, 50.0), 0.5},
            {netSystemLoad, pair(&M::setAdapterWatts, 96, &M::setNetSystemWatts, 50.0), 50 / 96.0},
            {netSystemLoad, pair(&M::setAdapterWatts, 30, &M::setNetSystemWatts, 45.0), 1.0},
        },
        [](const M& m, RingMetric metric, double expected) {
            EXPECT_DOUBLE_EQ(ringFraction(m, metric), expected);
        });
}

TEST(Readout, BytesStepBy1024AndUptimeShowsItsTwoLargestUnits) {
    const std::pair<double, const char*> bytes[] = {
        {1023, "1023 B"},        {1024, "1.0 KB"}, {1048575, "1024.0 KB"}, {1048576, "1.0 MB"},
        {gibi - 1, "1024.0 MB"}, {gibi, "1.0 GB"}, {-5000, "-5000 B"}};
    for (auto [value, shown] : bytes)
        EXPECT_EQ(formatBytes(value).toStdString(), shown) << value;
    // The largest values still fit the conversion's buffer.
    EXPECT_TRUE(formatBytes(1e300).endsWith(QLatin1String(".0 GB")));

    const std::pair<qint64, const char*> uptimes[] = {
        {0, "\u2014"},    {3599, "59m"},
        {3600, "1h 0m"},  {86399, "23h 59m"},
        {86400, "1d 0h"}, {std::numeric_limits<qint64>::max(), "106751991167300d 15h"}};
    for (auto [seconds, shown] : uptimes)
        EXPECT_EQ(formatUptime(seconds).toStdString(), shown) << seconds;
}
