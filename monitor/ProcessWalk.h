#pragma once

#include "monitor/AppProcess.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <unordered_map>

namespace orb {

namespace platform {
struct Platform;
}

// What one walk of the process table publishes.
struct ProcessSnapshot {
    AppProcessList byMemory; // largest first
    AppProcessList byCpu;    // busiest first
    int processCount = 0;
};

// The process-table walk and the state it carries from one walk to the next. It belongs to the
// process queue's thread: created before that thread starts, used only there, destroyed after it
// has stopped.
class ProcessWalk {
public:
    explicit ProcessWalk(platform::Platform& platform) : platform_(platform) {}

    // One walk. Empty while there is no process table to walk: nothing is published then.
    std::optional<ProcessSnapshot> run() { return std::nullopt; }

private:
    // A process's cumulative processor time when it was last seen.
    struct CpuTime {
        std::uint64_t time = 0; // nanoseconds
        std::chrono::steady_clock::time_point date;
    };

    [[maybe_unused]] platform::Platform& platform_;
    std::unordered_map<int, CpuTime> processCPUTracker_;
};

} // namespace orb
