#include "monitor/SystemMonitor.h"

namespace orb {

// Memory and swap are not sampled yet: the fields keep their initial values.
void SystemMonitor::updateMemory() {}

} // namespace orb
