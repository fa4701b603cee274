#include "sensors/GPUMonitor.h"

namespace orb {

GPUStats GPUMonitor::readStats(platform::Platform&) {
    // No graphics source is read yet: the empty record leaves the views at "no activity".
    return {};
}

} // namespace orb
