#include "monitor/SystemMonitor.h"

namespace orb {

// Network and disk throughput are not sampled yet: the fields keep their initial values.
void SystemMonitor::seedThroughputCounters() {}
void SystemMonitor::updateNetwork() {}
void SystemMonitor::updateDisk() {}

} // namespace orb
