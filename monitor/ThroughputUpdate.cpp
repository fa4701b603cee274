#include "monitor/SystemMonitor.h"
#include "monitor/TextFormat.h"
#include "monitor/ThroughputCounters.h"
#include "platform/Platform.h"

namespace orb {

namespace {

// The bytes a counter gained; a counter that went down (wrapped, reset, an interface or disk
// gone) gained nothing.
std::uint64_t gained(std::uint64_t now, std::uint64_t before) {
    return now >= before ? now - before : 0;
}

} // namespace

void SystemMonitor::seedThroughputCounters() {
    std::tie(previousBytesIn_, previousBytesOut_) = readNetworkCounters(*platform_.network);
    std::tie(previousDiskRead_, previousDiskWrite_) = readDiskCounters(*platform_.registry);
}

void SystemMonitor::updateNetwork() {
    const auto [received, sent] = readNetworkCounters(*platform_.network);
    const auto now = platform_.clock->now();
    const double elapsed = std::chrono::duration<double>(now - lastCheckTime_).count();
    if (elapsed > 0) {
        const double inRate = static_cast<double>(gained(received, previousBytesIn_)) / elapsed;
        const double outRate = static_cast<double>(gained(sent, previousBytesOut_)) / elapsed;
        setDownloadSpeed(formatBytes(inRate) + QStringLiteral("/s"));
        setUploadSpeed(formatBytes(outRate) + QStringLiteral("/s"));
        // Both lists grow before either is trimmed, so the pair never differs in length by
        // more than the sample being added.
        appendToHistory(&SystemMonitor::downloadHistory, &SystemMonitor::setDownloadHistory,
                        inRate);
        appendToHistory(&SystemMonitor::uploadHistory, &SystemMonitor::setUploadHistory, outRate);
        trimHistory(&SystemMonitor::downloadHistory, &SystemMonitor::setDownloadHistory);
        trimHistory(&SystemMonitor::uploadHistory, &SystemMonitor::setUploadHistory);
    }
    previousBytesIn_ = received;
    previousBytesOut_ = sent;
    lastCheckTime_ = now;
}

void SystemMonitor::updateDisk() {
    const auto [read, written] = readDiskCounters(*platform_.registry);
    // Bytes per tick: the tick is one second. With no earlier reading (or none with any bytes)
    // there is nothing to compare with, and the rates keep their values.
    if (previousDiskRead_ != 0) {
        setDiskReadBytesPerSec(static_cast<double>(gained(read, previousDiskRead_)));
        setDiskWriteBytesPerSec(static_cast<double>(gained(written, previousDiskWrite_)));
    }
    previousDiskRead_ = read;
    previousDiskWrite_ = written;
    pushHistory(&SystemMonitor::diskReadHistory, &SystemMonitor::setDiskReadHistory,
                diskReadBytesPerSec());
    pushHistory(&SystemMonitor::diskWriteHistory, &SystemMonitor::setDiskWriteHistory,
                diskWriteBytesPerSec());
}

} // namespace orb
