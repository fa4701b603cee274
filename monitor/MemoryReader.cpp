#include "monitor/MemoryReader.h"

#include <algorithm>

namespace orb {

std::optional<MemoryReading> MemoryReader::read() {
    const std::uint64_t pageSize = memory_.pageSize();
    const auto counts = memory_.pageCounts();
    if (!counts)
        return std::nullopt;

    const double bytesPerPage = static_cast<double>(pageSize);
    auto bytes = [&](std::uint64_t pages) { return static_cast<double>(pages) * bytesPerPage; };
    MemoryReading reading;
    reading.active = bytes(counts->active);
    reading.inactive = bytes(counts->inactive);
    reading.wired = bytes(counts->wired);
    reading.compressed = bytes(counts->compressed);
    // Inactive pages can be dropped at once and do not count as used. Purgeable and external
    // pages are counted in the others but can be given back, so they come off.
    reading.used = reading.active + reading.wired + reading.compressed - bytes(counts->purgeable) -
                   bytes(counts->external);
    reading.total = static_cast<double>(memory_.memorySize().value_or(0));

    // Page counts are 64-bit: machines beyond 16 TiB of 4 KiB pages exist. Without a page size
    // or a memory size the share is unknown and reads 0; inconsistent counts are kept in range.
    const std::uint64_t pressurePages = counts->wired + counts->active + counts->compressed;
    const double totalPages = pageSize > 0 ? reading.total / bytesPerPage : 0.0;
    reading.pressure = totalPages > 0
                           ? std::clamp(static_cast<double>(pressurePages) / totalPages, 0.0, 1.0)
                           : 0.0;
    reading.swap = memory_.swapUsage();
    return reading;
}

} // namespace orb
