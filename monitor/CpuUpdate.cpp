#include "monitor/CpuShares.h"
#include "monitor/SystemMonitor.h"
#include "platform/Platform.h"

namespace orb {

void SystemMonitor::updateCPU() {
    auto sample = platform_.processors->processorTicks();
    if (!sample)
        return;
    if (!previousCPUInfo_) {
        // The first sample only sets the baseline.
        previousCPUInfo_ = std::move(sample);
        return;
    }
    if (auto shares = cpuShares(*previousCPUInfo_, *sample)) {
        setCpuUser(shares->user);
        setCpuSystem(shares->system);
        setCpuUsage(cpuUser() + cpuSystem());
        pushHistory(&SystemMonitor::cpuHistory, &SystemMonitor::setCpuHistory, cpuUsage());
    }
    previousCPUInfo_ = std::move(sample);
}

} // namespace orb
