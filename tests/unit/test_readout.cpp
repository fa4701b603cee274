#include "fakes/FakePlatform.h"
#include "model/Readout.h"
#include "monitor/SystemMonitor.h"

#include <clocale>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <string>

using namespace orb;
using orb::testing::FakePlatform;

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();
const std::string dash = "\u2014";

using Setup = std::function<void(SystemMonitor&)>;

struct TextCase {
    const char* name;
    NumberMetric metric;
    Setup setup;
    std::string expected; // UTF-8
};

struct RingCase {
    const char* name;
    RingMetric metric;
    Setup setup;
    double expected;
};

class Readout : public ::testing::Test {
protected:
    FakePlatform fake;
    SystemMonitor monitor{fake.platform()};

    std::string text(NumberMetric metric) { return numberText(monitor, metric).toStdString(); }

    void expectTexts(const std::vector<TextCase>& cases) {
        for (const auto& c : cases) {
            FakePlatform freshPlatform;
            SystemMonitor fresh(freshPlatform.platform());
            c.setup(fresh);
            EXPECT_EQ(numberText(fresh, c.metric).toStdString(), c.expected) << c.name;
        }
    }

    void expectRings(const std::vector<RingCase>& cases) {
        for (const auto& c : cases) {
            FakePlatform freshPlatform;
            SystemMonitor fresh(freshPlatform.platform());
            c.setup(fresh);
            EXPECT_DOUBLE_EQ(ringFraction(fresh, c.metric), c.expected) << c.name;
        }
    }
};

} // namespace

TEST_F(Readout, NoneShowsNothing) {
    EXPECT_EQ(ringFraction(monitor, RingMetric::none), 0.0);
    EXPECT_TRUE(numberText(monitor, NumberMetric::none).isEmpty());
}

TEST_F(Readout, PlaceholderIsOneEmDash) {
    EXPECT_EQ(placeholder().size(), 1);
    EXPECT_EQ(placeholder().at(0).unicode(), 0x2014);
    EXPECT_EQ(placeholder().toStdString(), dash);
}

TEST_F(Readout, PercentagesTruncateTowardZero) {
    expectTexts({
        {"0.456", NumberMetric::cpuTotal, [](auto& m) { m.setCpuUsage(0.456); }, "45%"},
        // 0.57 * 100 is 56.99999999999999 in binary, and that is what is truncated.
        {"binary product", NumberMetric::gpuRenderer, [](auto& m) { m.setGpuRendererUtil(0.57); },
         "56%"},
        {"over one", NumberMetric::gpuTiler, [](auto& m) { m.setGpuTilerUtil(1.234); }, "123%"},
        {"negative toward zero", NumberMetric::memoryPressure,
         [](auto& m) { m.setMemoryPressure(-0.015); }, "-1%"},
        {"battery level", NumberMetric::batteryLevel, [](auto& m) { m.setBatteryLevel(0.879); },
         "87%"},
        {"used share", NumberMetric::memoryUsedPct,
         [](auto& m) {
             m.setMemoryTotal(16.0 * (1 << 30));
             m.setMemoryUsed(12.0 * (1 << 30));
         },
         "75%"},
        {"NaN", NumberMetric::cpuTotal, [](auto& m) { m.setCpuUsage(notANumber); }, dash},
        {"infinite", NumberMetric::cpuTotal, [](auto& m) { m.setCpuUsage(-infinity); }, dash},
        {"beyond 64 bits", NumberMetric::cpuTotal, [](auto& m) { m.setCpuUsage(1e17); }, dash},
        {"within 64 bits", NumberMetric::cpuTotal, [](auto& m) { m.setCpuUsage(1e16); },
         "1000000000000000000%"},
    });
}

TEST_F(Readout, BatteryHealthRoundsLikePrintf) {
    expectTexts({
        {"0.879", NumberMetric::batteryHealth, [](auto& m) { m.setBatteryHealthPercent(0.879); },
         "88%"},
        // 12.5 is exact, and printf rounds the tie to even.
        {"tie", NumberMetric::batteryHealth, [](auto& m) { m.setBatteryHealthPercent(0.125); },
         "12%"},
        {"zero", NumberMetric::batteryHealth, [](auto& m) { m.setBatteryHealthPercent(0); }, dash},
        {"NaN", NumberMetric::batteryHealth, [](auto& m) { m.setBatteryHealthPercent(notANumber); },
         dash},
    });
}

TEST_F(Readout, TemperatureRingsAndTexts) {
    expectRings({
        {"half", RingMetric::cpuTemp, [](auto& m) { m.setCpuTemperature(60); }, 0.5},
        {"clamped", RingMetric::cpuTemp, [](auto& m) { m.setCpuTemperature(150); }, 1.0},
        {"zero", RingMetric::cpuTemp, [](auto& m) { m.setCpuTemperature(0); }, 0.0},
        {"below zero", RingMetric::gpuTemp, [](auto& m) { m.setGpuTemperature(-12); }, -0.1},
    });
    expectTexts({
        {"60", NumberMetric::cpuTemp, [](auto& m) { m.setCpuTemperature(60); }, "60°"},
        {"above the ring", NumberMetric::cpuTemp, [](auto& m) { m.setCpuTemperature(150); },
         "150°"},
        {"tie to even up", NumberMetric::gpuTemp, [](auto& m) { m.setGpuTemperature(59.5); },
         "60°"},
        {"tie to even down", NumberMetric::gpuTemp, [](auto& m) { m.setGpuTemperature(60.5); },
         "60°"},
        {"zero", NumberMetric::cpuTemp, [](auto& m) { m.setCpuTemperature(0); }, dash},
        {"below zero", NumberMetric::gpuTemp, [](auto& m) { m.setGpuTemperature(-5); }, dash},
        {"battery", NumberMetric::batteryTemp, [](auto& m) { m.setBatteryTemperature(31.4); },
         "31°"},
        {"battery infinite", NumberMetric::batteryTemp,
         [](auto& m) { m.setBatteryTemperature(infinity); }, dash},
    });
}

TEST_F(Readout, ShareRingsPassThroughUnclamped) {
    expectRings({
        {"cpu", RingMetric::cpuTotal, [](auto& m) { m.setCpuUsage(0.42); }, 0.42},
        {"cpu above one", RingMetric::cpuUser, [](auto& m) { m.setCpuUser(1.3); }, 1.3},
        {"negative", RingMetric::cpuSystem, [](auto& m) { m.setCpuSystem(-0.2); }, -0.2},
        {"battery health", RingMetric::batteryHealth,
         [](auto& m) { m.setBatteryHealthPercent(1.05); }, 1.05},
        {"memory used over total", RingMetric::memoryUsed,
         [](auto& m) {
             m.setMemoryTotal(1000);
             m.setMemoryUsed(1500);
         },
         1.5},
        {"memory without total", RingMetric::memoryUsed,
         [](auto& m) {
             m.setMemoryTotal(0);
             m.setMemoryUsed(1500);
         },
         0.0},
        {"swap clamped", RingMetric::swapUsed,
         [](auto& m) {
             m.setSwapTotal(1000);
             m.setSwapUsed(1500);
         },
         1.0},
        {"swap without total", RingMetric::swapUsed, [](auto& m) { m.setSwapUsed(1500); }, 0.0},
    });
}

TEST_F(Readout, SystemLoadRingScalesByAdapterOrHundredWatts) {
    expectRings({
        {"no adapter", RingMetric::netSystemLoad, [](auto& m) { m.setNetSystemWatts(50); }, 0.5},
        {"96 W adapter", RingMetric::netSystemLoad,
         [](auto& m) {
             m.setAdapterWatts(96);
             m.setNetSystemWatts(50);
         },
         50.0 / 96.0},
        {"1 W adapter", RingMetric::netSystemLoad,
         [](auto& m) {
             m.setAdapterWatts(1);
             m.setNetSystemWatts(0.5);
         },
         0.5},
        {"negative adapter", RingMetric::netSystemLoad,
         [](auto& m) {
             m.setAdapterWatts(-30);
             m.setNetSystemWatts(30);
         },
         0.3},
        {"over the adapter", RingMetric::netSystemLoad,
         [](auto& m) {
             m.setAdapterWatts(30);
             m.setNetSystemWatts(45);
         },
         1.0},
        {"charging back", RingMetric::netSystemLoad, [](auto& m) { m.setNetSystemWatts(-10); },
         -0.1},
    });
}

TEST_F(Readout, FanAndDiskRings) {
    expectRings({
        {"fan half", RingMetric::fan0, [](auto& m) { m.setFan0Speed(3000); }, 0.5},
        {"fan clamped", RingMetric::fan0, [](auto& m) { m.setFan0Speed(7000); }, 1.0},
        {"fan stopped", RingMetric::fan1, [](auto& m) { m.setFan1Speed(0); }, 0.0},
        {"fan negative", RingMetric::fan1, [](auto& m) { m.setFan1Speed(-200); }, 0.0},
        {"disk read", RingMetric::diskRead, [](auto& m) { m.setDiskReadBytesPerSec(2048); },
         2048.0 / 1073741824.0},
        {"disk write clamped", RingMetric::diskWrite,
         [](auto& m) { m.setDiskWriteBytesPerSec(3.0 * 1073741824.0); }, 1.0},
    });
}

TEST_F(Readout, MemoryTextsWithoutATotal) {
    monitor.setMemoryTotal(0);
    monitor.setMemoryUsed(1536);
    EXPECT_EQ(text(NumberMetric::memoryUsedPct), dash);
    EXPECT_EQ(text(NumberMetric::memoryFree), dash);
    EXPECT_EQ(text(NumberMetric::memoryUsedBytes), "1.5 KB");

    monitor.setMemoryTotal(4.0 * 1073741824.0);
    monitor.setMemoryUsed(2.5 * 1073741824.0);
    EXPECT_EQ(text(NumberMetric::memoryFree), "1.5 GB");
    EXPECT_EQ(text(NumberMetric::memoryUsedPct), "62%");
}

TEST_F(Readout, FanTexts) {
    monitor.setFan0Speed(0);
    monitor.setFan1Speed(-5);
    EXPECT_EQ(text(NumberMetric::fan0RPM), dash);
    EXPECT_EQ(text(NumberMetric::fan1RPM), dash);
    monitor.setFan0Speed(1);
    EXPECT_EQ(text(NumberMetric::fan0RPM), "1");

    monitor.setFanSpeeds({});
    EXPECT_EQ(text(NumberMetric::allFansRPM), dash);
    monitor.setFanSpeeds({1200});
    EXPECT_EQ(text(NumberMetric::allFansRPM), "1200");
    // Every entry is listed, a stopped fan too, in list order.
    monitor.setFanSpeeds({1350, 0, 1200});
    EXPECT_EQ(text(NumberMetric::allFansRPM), "1350/0/1200");
}

TEST_F(Readout, PowerTexts) {
    expectTexts({
        {"draw at threshold", NumberMetric::batteryDraw,
         [](auto& m) { m.setBatteryDrawWatts(0.05); }, "0W"},
        {"draw just above", NumberMetric::batteryDraw,
         [](auto& m) { m.setBatteryDrawWatts(0.051); }, "0.1W"},
        {"draw NaN", NumberMetric::batteryDraw, [](auto& m) { m.setBatteryDrawWatts(notANumber); },
         "0W"},
        {"charge", NumberMetric::batteryCharge, [](auto& m) { m.setBatteryChargeWatts(27.46); },
         "27.5W"},
        {"ac input", NumberMetric::acInputWatts, [](auto& m) { m.setAcInputWatts(61.25); },
         "61.2W"},
        {"ac input none", NumberMetric::acInputWatts, [](auto& m) { m.setAcInputWatts(0); }, dash},
        {"total always", NumberMetric::totalSystemDraw, [](auto& m) { m.setTotalSystemWatts(0); },
         "0.0W"},
        {"net negative", NumberMetric::netSystemLoad, [](auto& m) { m.setNetSystemWatts(-3.25); },
         "-3.2W"},
        {"net NaN", NumberMetric::netSystemLoad, [](auto& m) { m.setNetSystemWatts(notANumber); },
         dash},
        {"adapter", NumberMetric::adapterWatts, [](auto& m) { m.setAdapterWatts(96); }, "96W"},
        {"no adapter", NumberMetric::adapterWatts, [](auto& m) { m.setAdapterWatts(0); }, dash},
        {"adapter volts", NumberMetric::adapterVoltage, [](auto& m) { m.setAdapterVoltage(20.4); },
         "20V"},
        {"adapter current", NumberMetric::adapterCurrent,
         [](auto& m) { m.setAdapterCurrent(4700); }, "4700mA"},
        {"no adapter current", NumberMetric::adapterCurrent,
         [](auto& m) { m.setAdapterCurrent(0); }, dash},
        // 2.675 is just below 2.675 in binary, so printf gives 2.67.
        {"input volts", NumberMetric::systemInputVoltage,
         [](auto& m) { m.setSystemInputVoltage(2.675); }, "2.67V"},
        {"input current", NumberMetric::systemInputCurrent,
         [](auto& m) { m.setSystemInputCurrent(2999.5); }, "3000mA"},
        {"discharging current", NumberMetric::batteryCurrent,
         [](auto& m) { m.setBatteryCurrent(-1234.4); }, "-1234mA"},
        {"tiny discharge keeps its sign", NumberMetric::batteryCurrent,
         [](auto& m) { m.setBatteryCurrent(-0.4); }, "-0mA"},
        {"no current", NumberMetric::batteryCurrent, [](auto& m) { m.setBatteryCurrent(0); }, dash},
        {"max capacity", NumberMetric::batteryMaxCapacity,
         [](auto& m) { m.setBatteryMaxCapacity(4382); }, "4382mAh"},
    });
}

TEST_F(Readout, BatteryTimeTexts) {
    expectTexts({
        {"remaining", NumberMetric::timeRemaining,
         [](auto& m) { m.setTimeRemaining("1:30 Remaining"); }, "1:30"},
        {"charging", NumberMetric::timeRemaining, [](auto& m) { m.setTimeRemaining("Charging"); },
         "Charging"},
        {"empty stays empty", NumberMetric::timeRemaining, [](auto& m) { m.setTimeRemaining(""); },
         ""},
        {"only the spaced word", NumberMetric::timeRemaining,
         [](auto& m) { m.setTimeRemaining("Remaining 2:00 Remaining Remaining"); },
         "Remaining 2:00"},
        {"case matters", NumberMetric::timeRemaining,
         [](auto& m) { m.setTimeRemaining("1:30 remaining"); }, "1:30 remaining"},
        {"to full", NumberMetric::timeToFull,
         [](auto& m) { m.setBatteryTimeToFull("0:45 to full"); }, "0:45"},
        {"to full empty", NumberMetric::timeToFull, [](auto& m) { m.setBatteryTimeToFull(""); },
         dash},
        {"condition", NumberMetric::batteryCondition,
         [](auto& m) { m.setBatteryHealthCondition("Normal"); }, "Normal"},
        {"condition empty", NumberMetric::batteryCondition,
         [](auto& m) { m.setBatteryHealthCondition(""); }, dash},
    });
}

TEST_F(Readout, GpuSystemAndNetworkTexts) {
    expectTexts({
        {"vram", NumberMetric::gpuMemoryUsed, [](auto& m) { m.setGpuMemoryUsed(1536); }, "1.5 KB"},
        {"no vram", NumberMetric::gpuMemoryUsed, [](auto& m) { m.setGpuMemoryUsed(0); }, dash},
        {"alloc", NumberMetric::gpuMemoryAlloc,
         [](auto& m) { m.setGpuMemoryAllocated(Q_INT64_C(3) << 30); }, "3.0 GB"},
        {"no alloc", NumberMetric::gpuMemoryAlloc, [](auto& m) { m.setGpuMemoryAllocated(-1); },
         dash},
        {"download as given", NumberMetric::downloadSpeed,
         [](auto& m) { m.setDownloadSpeed("1.2 MB/s"); }, "1.2 MB/s"},
        {"upload empty", NumberMetric::uploadSpeed, [](auto& m) { m.setUploadSpeed(""); }, ""},
        {"disk read", NumberMetric::diskRead, [](auto& m) { m.setDiskReadBytesPerSec(2048); },
         "2.0 KB/s"},
        {"disk idle", NumberMetric::diskWrite, [](auto& m) { m.setDiskWriteBytesPerSec(0); },
         "0 B/s"},
        {"disk NaN", NumberMetric::diskWrite,
         [](auto& m) { m.setDiskWriteBytesPerSec(notANumber); }, dash},
        // 1.005 is just below 1.005 in binary.
        {"load", NumberMetric::loadAvg1, [](auto& m) { m.setLoadAvg1(1.005); }, "1.00"},
        {"uptime", NumberMetric::uptime, [](auto& m) { m.setUptimeSeconds(90061); }, "1d 1h"},
        {"no processes", NumberMetric::processCount, [](auto& m) { m.setProcessCount(0); }, dash},
        {"rssi", NumberMetric::wifiRSSI, [](auto& m) { m.setWifiRSSI(-61); }, "-61 dBm"},
        {"no rssi", NumberMetric::wifiRSSI, [](auto& m) { m.setWifiRSSI(0); }, dash},
        {"noise", NumberMetric::wifiNoise, [](auto& m) { m.setWifiNoise(-92); }, "-92 dBm"},
        {"tx rate", NumberMetric::wifiTxRate, [](auto& m) { m.setWifiTxRate(866.7); }, "867 Mbps"},
        {"no tx rate", NumberMetric::wifiTxRate, [](auto& m) { m.setWifiTxRate(0); }, dash},
        {"channel", NumberMetric::wifiChannel, [](auto& m) { m.setWifiChannel(36); }, "Ch 36"},
        {"no channel", NumberMetric::wifiChannel, [](auto& m) { m.setWifiChannel(0); }, dash},
        {"thermal", NumberMetric::thermalState, [](auto& m) { m.setThermalState("Serious"); },
         "Serious"},
    });
}

// Readings that went wrong must never reach an integer conversion or show "nan" or "inf".
TEST_F(Readout, NonFiniteReadingsNeverLeakIntoTexts) {
    using DoubleSetter = void (SystemMonitor::*)(const double&);
    const DoubleSetter setters[] = {&SystemMonitor::setCpuUsage,
                                    &SystemMonitor::setCpuSystem,
                                    &SystemMonitor::setCpuUser,
                                    &SystemMonitor::setGpuUsage,
                                    &SystemMonitor::setGpuRendererUtil,
                                    &SystemMonitor::setGpuTilerUtil,
                                    &SystemMonitor::setGpuTemperature,
                                    &SystemMonitor::setCpuTemperature,
                                    &SystemMonitor::setMemoryPressure,
                                    &SystemMonitor::setMemoryUsed,
                                    &SystemMonitor::setMemoryTotal,
                                    &SystemMonitor::setBatteryLevel,
                                    &SystemMonitor::setBatteryVoltage,
                                    &SystemMonitor::setBatteryCurrent,
                                    &SystemMonitor::setBatteryDrawWatts,
                                    &SystemMonitor::setBatteryChargeWatts,
                                    &SystemMonitor::setTotalSystemWatts,
                                    &SystemMonitor::setNetSystemWatts,
                                    &SystemMonitor::setAdapterVoltage,
                                    &SystemMonitor::setAcInputWatts,
                                    &SystemMonitor::setSystemInputVoltage,
                                    &SystemMonitor::setSystemInputCurrent,
                                    &SystemMonitor::setBatteryHealthPercent,
                                    &SystemMonitor::setBatteryTemperature,
                                    &SystemMonitor::setDiskReadBytesPerSec,
                                    &SystemMonitor::setDiskWriteBytesPerSec,
                                    &SystemMonitor::setMemoryWired,
                                    &SystemMonitor::setMemoryActive,
                                    &SystemMonitor::setMemoryInactive,
                                    &SystemMonitor::setMemoryCompressed,
                                    &SystemMonitor::setSwapUsed,
                                    &SystemMonitor::setSwapTotal,
                                    &SystemMonitor::setLoadAvg1,
                                    &SystemMonitor::setLoadAvg5,
                                    &SystemMonitor::setLoadAvg15,
                                    &SystemMonitor::setWifiTxRate};
    for (double bad : {notANumber, infinity, -infinity, 1e300, -1e300}) {
        for (auto set : setters)
            (monitor.*set)(bad);
        for (NumberMetric metric : allNumberMetrics()) {
            const QString shown = numberText(monitor, metric);
            EXPECT_FALSE(shown.contains(QLatin1String("nan"), Qt::CaseInsensitive) ||
                         shown.contains(QLatin1String("inf"), Qt::CaseInsensitive))
                << rawValue(metric).toStdString() << " for " << bad;
        }
        for (RingMetric metric : allRingMetrics())
            (void)ringFraction(monitor, metric);
    }
    monitor.setCpuUsage(notANumber);
    EXPECT_EQ(text(NumberMetric::cpuTotal), dash);
    monitor.setMemoryUsed(notANumber);
    EXPECT_EQ(text(NumberMetric::memoryUsedBytes), dash);
}

TEST(FormatBytes, StepsOf1024) {
    const struct {
        double bytes;
        const char* expected;
    } cases[] = {
        {0, "0 B"},
        {1023, "1023 B"},
        {1023.5, "1024 B"}, // still under the step, rounded by the format
        {1024, "1.0 KB"},
        {1536, "1.5 KB"},
        {1048575, "1024.0 KB"},
        {1048576, "1.0 MB"},
        {1073741823, "1024.0 MB"},
        {1073741824, "1.0 GB"},
        {1099511627776.0, "1024.0 GB"},
        {0.5, "0 B"}, // a tie rounds to even
        {-5, "-5 B"}, // negatives stay in bytes
        {-5000, "-5000 B"},
        {-0.2, "-0 B"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatBytes(c.bytes).toStdString(), c.expected) << c.bytes;
}

TEST(FormatBytes, NonFiniteGivesPlaceholder) {
    for (double bad : {notANumber, infinity, -infinity})
        EXPECT_EQ(formatBytes(bad).toStdString(), dash) << bad;
    const QString huge = formatBytes(1e300);
    EXPECT_TRUE(huge.endsWith(QLatin1String(".0 GB"))) << huge.toStdString();
}

TEST(FormatBytes, IgnoresTheProcessLocale) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    bool switched = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
        if (std::setlocale(LC_NUMERIC, name)) {
            switched = true;
            break;
        }
    }
    if (!switched)
        GTEST_SKIP() << "no locale with a decimal comma installed";
    const std::string shown = formatBytes(1536).toStdString();
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(shown, "1.5 KB");
}

TEST(FormatUptime, DaysHoursOrMinutes) {
    const struct {
        qint64 seconds;
        const char* expected;
    } cases[] = {
        {0, "\u2014"},
        {-30, "\u2014"},
        {1, "0m"},
        {59, "0m"},
        {60, "1m"},
        {3599, "59m"},
        {3600, "1h 0m"},
        {8100, "2h 15m"},
        {86399, "23h 59m"},
        {86400, "1d 0h"},
        {90061, "1d 1h"},
        {3 * 86400 + 4 * 3600 + 59 * 60, "3d 4h"},
        {std::numeric_limits<qint64>::max(), "106751991167300d 15h"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatUptime(c.seconds).toStdString(), c.expected) << c.seconds;
}
