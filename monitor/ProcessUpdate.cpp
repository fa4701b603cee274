#include "monitor/ProcessQueue.h"
#include "monitor/SystemMonitor.h"

namespace orb {

void SystemMonitor::scheduleProcessUpdate() {
    // The walk runs on the background queue and never touches the published fields there.
    // The process table is not walked yet, so a walk publishes nothing.
    processQueue_->submit([] {});
}

} // namespace orb
