#include "monitor/SystemMonitor.h"
#include "platform/Platform.h"

#include <algorithm>

namespace orb {

void SystemMonitor::updateMemory() {
    auto& memory = *platform_.memory;
    const std::uint64_t pageSize = memory.pageSize();
    const auto counts = memory.pageCounts();
    if (!counts)
        return;

    const double bytesPerPage = static_cast<double>(pageSize);
    const double active = static_cast<double>(counts->active) * bytesPerPage;
    const double inactive = static_cast<double>(counts->inactive) * bytesPerPage;
    const double wired = static_cast<double>(counts->wired) * bytesPerPage;
    const double compressed = static_cast<double>(counts->compressed) * bytesPerPage;
    const double purgeable = static_cast<double>(counts->purgeable) * bytesPerPage;
    const double external = static_cast<double>(counts->external) * bytesPerPage;

    // Inactive pages can be dropped at once and do not count as used. Purgeable and external
    // pages are counted in the others but can be given back, so they come off; the result may
    // go below zero with odd counts and is published as it is.
    setMemoryUsed(active + wired + compressed - purgeable - external);
    setMemoryWired(wired);
    setMemoryActive(active);
    setMemoryInactive(inactive);
    setMemoryCompressed(compressed);

    setMemoryTotal(static_cast<double>(memory.memorySize().value_or(0)));

    // Page counts are 64-bit: machines beyond 16 TiB of 4 KiB pages exist. Without a page size
    // or a memory size the share is unknown and reads 0; inconsistent counts are kept in range.
    const std::uint64_t pressurePages = counts->wired + counts->active + counts->compressed;
    const double totalPages = pageSize > 0 ? memoryTotal() / bytesPerPage : 0.0;
    setMemoryPressure(totalPages > 0
                          ? std::clamp(static_cast<double>(pressurePages) / totalPages, 0.0, 1.0)
                          : 0.0);

    const auto swap = memory.swapUsage();
    if (!swap)
        return;
    setSwapTotal(static_cast<double>(swap->total));
    setSwapUsed(static_cast<double>(swap->used));
}

} // namespace orb
