#include "monitor/SystemMonitor.h"

namespace orb {

// Batteries and adapters are not read yet: the power fields keep their initial values.
void SystemMonitor::updatePowerSources() {}
void SystemMonitor::registerPowerSourceNotifications() {}
void SystemMonitor::registerBatteryNotifications() {}

} // namespace orb
