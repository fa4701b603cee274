#include "monitor/SystemMonitor.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cmath>

namespace orb {

void SystemMonitor::updateLoadAndUptime() {
    const auto load = platform_.host->loadAverages();
    setLoadAvg1(load[0]);
    setLoadAvg5(load[1]);
    setLoadAvg15(load[2]);

    const auto boot = platform_.host->bootTime();
    if (!boot)
        return;
    const auto now = static_cast<std::int64_t>(std::trunc(platform_.clock->secondsSinceEpoch()));
    // A boot time ahead of the clock (the clock was set back) reads as just booted.
    setUptimeSeconds(std::max<std::int64_t>(now - *boot, 0));
}

void SystemMonitor::updateWiFi() {
    const auto link = platform_.wifi->defaultInterface();
    if (!link)
        return;
    setWifiRSSI(link->rssi);
    setWifiNoise(link->noise);
    setWifiTxRate(link->txRate);
    setWifiChannel(link->channel);
}

} // namespace orb
