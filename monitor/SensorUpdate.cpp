#include "monitor/SystemMonitor.h"

namespace orb {

// Temperatures, fans and the thermal state are not read yet.
void SystemMonitor::updateSensors() {}

} // namespace orb
