#include "monitor/TickStats.h"

#include "monitor/SystemMonitor.h"

namespace orb {

void logTickStats(SystemMonitor& monitor, std::FILE* out) {
    QObject::connect(&monitor, &SystemMonitor::tickCompleted, &monitor,
                     [&monitor, out, tick = 0L]() mutable {
                         std::fprintf(out, "tick %ld: processes %d, tracked %d\n", ++tick,
                                      monitor.processCount(), monitor.trackedProcessCount());
                         std::fflush(out);
                     });
}

} // namespace orb
