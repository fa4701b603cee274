#include "fakes/FakePlatform.h"
#include "model/Readout.h"
#include "monitor/SystemMonitor.h"

#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

using namespace orb;
using orb::testing::FakePlatform;
using M = SystemMonitor;

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double gibi = 1073741824.0;
const std::string dash = "\u2014";

using Given = std::function<void(SystemMonitor&)>;
using DoubleSetter = void (M::*)(const double&);

template <typename T> Given set(void (M::*setter)(const T&), std::type_identity_t<T> value) {
    return [=](SystemMonitor& m) { (m.*setter)(value); };
}

Given memory(double used, double total) {
    return [=](SystemMonitor& m) {
        m.setMemoryTotal(total);
        m.setMemoryUsed(used);
    };
}

Given swap(double used, double total) {
    return [=](SystemMonitor& m) {
        m.setSwapTotal(total);
        m.setSwapUsed(used);
    };
}

Given load(double netWatts, int adapterWatts) {
    return [=](SystemMonitor& m) {
        m.setAdapterWatts(adapterWatts);
        m.setNetSystemWatts(netWatts);
    };
}

struct TextCase {
    NumberMetric metric;
    Given given;
    std::string expected; // UTF-8
};

// Each case on a fresh monitor, so no reading leaks into the next.
void expectTexts(const std::vector<TextCase>& cases) {
    for (const auto& c : cases) {
        FakePlatform platform;
        SystemMonitor monitor(platform.platform());
        c.given(monitor);
        EXPECT_EQ(numberText(monitor, c.metric).toStdString(), c.expected)
            << rawValue(c.metric).toStdString();
    }
}

} // namespace

TEST(Readout, PercentagesTruncateButBatteryHealthRoundsLikePrintf) {
    expectTexts({
        {NumberMetric::cpuTotal, set(&M::setCpuUsage, 0.456), "45%"},
        // 0.57 * 100 is 56.99999999999999 in binary, and that is what is truncated.
        {NumberMetric::gpuRenderer, set(&M::setGpuRendererUtil, 0.57), "56%"},
        {NumberMetric::memoryPressure, set(&M::setMemoryPressure, -0.015), "-1%"},
        {NumberMetric::batteryLevel, set(&M::setBatteryLevel, 0.879), "87%"},
        {NumberMetric::batteryHealth, set(&M::setBatteryHealthPercent, 0.879), "88%"},
        {NumberMetric::batteryHealth, set(&M::setBatteryHealthPercent, 0.125), "12%"}, // tie
        {NumberMetric::batteryHealth, set(&M::setBatteryHealthPercent, 0.0), dash},
        {NumberMetric::memoryUsedPct, memory(12 * gibi, 16 * gibi), "75%"},
        {NumberMetric::memoryUsedPct, memory(1536, 0), dash},
        // Past what a 64-bit integer holds there is no number to show.
        {NumberMetric::cpuTotal, set(&M::setCpuUsage, 1e16), "1000000000000000000%"},
        {NumberMetric::cpuTotal, set(&M::setCpuUsage, 1e17), dash},
    });
}

TEST(Readout, ReadingsShowWithTheirUnitsOrThePlaceholderWhenAbsent) {
    expectTexts({
        {NumberMetric::none, set(&M::setCpuUsage, 0.5), ""},
        {NumberMetric::cpuTemp, set(&M::setCpuTemperature, 150.0), "150°"},
        {NumberMetric::cpuTemp, set(&M::setCpuTemperature, 0.0), dash},
        {NumberMetric::gpuTemp, set(&M::setGpuTemperature, 60.5), "60°"}, // tie to even
        {NumberMetric::batteryDraw, set(&M::setBatteryDrawWatts, 0.05), "0W"},
        {NumberMetric::batteryDraw, set(&M::setBatteryDrawWatts, 0.051), "0.1W"},
        {NumberMetric::batteryDraw, set(&M::setBatteryDrawWatts, notANumber), "0W"},
        {NumberMetric::totalSystemDraw, set(&M::setTotalSystemWatts, 0.0), "0.0W"},
        {NumberMetric::netSystemLoad, set(&M::setNetSystemWatts, -3.25), "-3.2W"},
        {NumberMetric::acInputWatts, set(&M::setAcInputWatts, 0.0), dash},
        {NumberMetric::batteryCurrent, set(&M::setBatteryCurrent, -1234.4), "-1234mA"},
        {NumberMetric::batteryCurrent, set(&M::setBatteryCurrent, 0.0), dash},
        {NumberMetric::memoryUsedBytes, memory(1536, 0), "1.5 KB"},
        {NumberMetric::memoryFree, memory(1536, 0), dash},
        {NumberMetric::memoryFree, memory(2.5 * gibi, 4 * gibi), "1.5 GB"},
        {NumberMetric::gpuMemoryAlloc, set(&M::setGpuMemoryAllocated, -1), dash},
        {NumberMetric::diskWrite, set(&M::setDiskWriteBytesPerSec, 0.0), "0 B/s"},
        {NumberMetric::fan0RPM, set(&M::setFan0Speed, 0), dash},
        {NumberMetric::allFansRPM, set(&M::setFanSpeeds, {}), dash},
        // Every fan is listed, a stopped one too, in list order.
        {NumberMetric::allFansRPM, set(&M::setFanSpeeds, {1350, 0, 1200}), "1350/0/1200"},
        {NumberMetric::wifiRSSI, set(&M::setWifiRSSI, -61), "-61 dBm"},
        // Battery times drop their trailing words.
        {NumberMetric::timeRemaining, set(&M::setTimeRemaining, "1:30 Remaining"), "1:30"},
        {NumberMetric::timeRemaining, set(&M::setTimeRemaining, "Remaining 2:00 Remaining"),
         "Remaining 2:00"},
        {NumberMetric::timeRemaining, set(&M::setTimeRemaining, "1:30 remaining"),
         "1:30 remaining"},
        // An empty text stays empty, so the icon shows no number at all.
        {NumberMetric::timeRemaining, set(&M::setTimeRemaining, ""), ""},
        {NumberMetric::timeToFull, set(&M::setBatteryTimeToFull, "0:45 to full"), "0:45"},
        {NumberMetric::timeToFull, set(&M::setBatteryTimeToFull, ""), dash},
    });
}

TEST(Readout, RingsClampFromAboveExceptSharesAndUsedMemory) {
    const struct {
        RingMetric metric;
        Given given;
        double expected;
    } cases[] = {
        {RingMetric::cpuUser, set(&M::setCpuUser, 1.3), 1.3},
        {RingMetric::memoryUsed, memory(1500, 1000), 1.5},
        {RingMetric::memoryUsed, memory(1500, 0), 0.0},
        {RingMetric::swapUsed, swap(1500, 1000), 1.0},
        {RingMetric::swapUsed, swap(1500, 0), 0.0},
        {RingMetric::cpuTemp, set(&M::setCpuTemperature, 60.0), 0.5},
        {RingMetric::cpuTemp, set(&M::setCpuTemperature, 150.0), 1.0},
        {RingMetric::gpuTemp, set(&M::setGpuTemperature, -12.0), -0.1},
        {RingMetric::fan0, set(&M::setFan0Speed, 7000), 1.0},
        {RingMetric::fan1, set(&M::setFan1Speed, -200), 0.0},
        {RingMetric::diskRead, set(&M::setDiskReadBytesPerSec, gibi / 4), 0.25},
        {RingMetric::diskWrite, set(&M::setDiskWriteBytesPerSec, 3 * gibi), 1.0},
        // System load is measured against the adapter's rating, or 100 W without one.
        {RingMetric::netSystemLoad, load(50, 0), 0.5},
        {RingMetric::netSystemLoad, load(50, 96), 50.0 / 96.0},
        {RingMetric::netSystemLoad, load(30, -30), 0.3},
        {RingMetric::netSystemLoad, load(45, 30), 1.0},
        {RingMetric::netSystemLoad, load(-10, 0), -0.1},
    };
    for (const auto& c : cases) {
        FakePlatform platform;
        SystemMonitor monitor(platform.platform());
        c.given(monitor);
        EXPECT_DOUBLE_EQ(ringFraction(monitor, c.metric), c.expected)
            << rawValue(c.metric).toStdString();
    }
}

// A reading that went wrong must show the placeholder, never "nan", "inf" or a number made up
// by an integer conversion. The battery flows read it as no flow at all.
TEST(Readout, NonFiniteReadingsShowThePlaceholder) {
    const auto textsWith = [](double reading) {
        FakePlatform platform;
        SystemMonitor monitor(platform.platform());
        const std::vector<DoubleSetter> readings[] = {
            {// processors and memory
             &M::setCpuUsage, &M::setCpuSystem, &M::setCpuUser, &M::setGpuUsage,
             &M::setGpuRendererUtil, &M::setGpuTilerUtil, &M::setGpuTemperature,
             &M::setCpuTemperature, &M::setMemoryPressure, &M::setMemoryUsed, &M::setMemoryTotal,
             &M::setMemoryWired, &M::setMemoryActive, &M::setMemoryInactive,
             &M::setMemoryCompressed, &M::setSwapUsed, &M::setSwapTotal},
            {// battery and power
             &M::setBatteryLevel, &M::setBatteryVoltage, &M::setBatteryCurrent,
             &M::setBatteryDrawWatts, &M::setBatteryChargeWatts, &M::setTotalSystemWatts,
             &M::setNetSystemWatts, &M::setAdapterVoltage, &M::setAcInputWatts,
             &M::setSystemInputVoltage, &M::setSystemInputCurrent, &M::setBatteryHealthPercent,
             &M::setBatteryTemperature},
            {// disks, load and network
             &M::setDiskReadBytesPerSec, &M::setDiskWriteBytesPerSec, &M::setLoadAvg1,
             &M::setLoadAvg5, &M::setLoadAvg15, &M::setWifiTxRate}};
        for (const auto& group : readings)
            for (DoubleSetter setter : group)
                (monitor.*setter)(reading);
        QStringList texts;
        for (NumberMetric metric : allNumberMetrics())
            texts << numberText(monitor, metric);
        return texts;
    };
    const QStringList atZero = textsWith(0.0);
    const QStringList fed = textsWith(2.0);
    for (double bad : {notANumber, infinity, -infinity}) {
        const QStringList shown = textsWith(bad);
        for (qsizetype i = 0; i < shown.size(); ++i) {
            if (fed[i] == atZero[i])
                continue; // a metric none of these readings reach
            EXPECT_TRUE(shown[i] == placeholder() || shown[i] == "0W")
                << rawValue(allNumberMetrics()[i]).toStdString() << " for " << bad << ": "
                << shown[i].toStdString();
        }
    }
}

TEST(FormatBytes, StepsOf1024WithNegativesInBytes) {
    const struct {
        double bytes;
        const char* expected;
    } cases[] = {
        {0, "0 B"},          {1023, "1023 B"},        {1024, "1.0 KB"}, {1048575, "1024.0 KB"},
        {1048576, "1.0 MB"}, {gibi - 1, "1024.0 MB"}, {gibi, "1.0 GB"}, {1024 * gibi, "1024.0 GB"},
        {-5000, "-5000 B"}};
    for (const auto& c : cases)
        EXPECT_EQ(formatBytes(c.bytes).toStdString(), c.expected) << c.bytes;
    // The largest values still fit the conversion's buffer.
    EXPECT_TRUE(formatBytes(1e300).endsWith(QLatin1String(".0 GB")));
}

TEST(FormatUptime, DaysHoursOrMinutes) {
    const struct {
        qint64 seconds;
        const char* expected;
    } cases[] = {
        {0, "\u2014"},      {59, "0m"},
        {60, "1m"},         {3600, "1h 0m"},
        {86399, "23h 59m"}, {86400, "1d 0h"},
        {90061, "1d 1h"},   {std::numeric_limits<qint64>::max(), "106751991167300d 15h"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatUptime(c.seconds).toStdString(), c.expected) << c.seconds;
}
