#pragma once

#include "monitor/AppProcess.h"
#include "platform/ProcessTable.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace orb {

namespace platform {
class Clock;
}

// What one walk of the process table publishes.
struct ProcessSnapshot {
    AppProcessList byMemory; // largest first
    AppProcessList byCpu;    // busiest first
    int processCount = 0;    // every listed identifier, read or not
    int trackedCount = 0;    // processes whose processor time is kept for the next walk
};

// The process-table walk and the state it carries from one walk to the next. It belongs to the
// process queue's thread: created before that thread starts, used only there, destroyed after it
// has stopped.
class ProcessWalk {
public:
    static constexpr qsizetype listLength = 20;

    ProcessWalk(platform::ProcessTable& table, platform::Clock& clock);

    // One walk: every process measured, grouped under its display name, the largest groups by
    // memory and by processor share.
    ProcessSnapshot updateProcesses();

private:
    // A process's cumulative processor time when it was last seen.
    struct CpuTime {
        std::uint64_t startTime = 0; // tells a reused identifier from the process it had
        std::uint64_t time = 0;      // nanoseconds
        std::chrono::steady_clock::time_point date;
        unsigned walk = 0; // the last walk that saw the process
    };
    struct Group {
        QString name;
        int pid = 0;
        int count = 0;
        double cpu = 0;
        double memory = 0;
    };
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    struct DisplayName {
        QString text;
        unsigned walk = 0;
    };

    // The group name of the process just read; none when it has no name.
    std::optional<QString> groupName(int pid, const QHash<int, QString>& applications);
    // processDisplayName of a name read from the system, worked out once while it is in use.
    const QString& displayNameOf(std::string_view systemName);
    // Percent of one processor since the last walk; 0 for a process not seen before.
    double cpuShare(int pid, std::chrono::steady_clock::time_point now);
    ProcessSnapshot publishedLists(const std::vector<Group>& groups, int processCount) const;

    platform::ProcessTable& table_;
    platform::Clock& clock_;
    unsigned walk_ = 0;
    std::unordered_map<int, CpuTime> processCPUTracker_;
    std::unordered_map<std::string, DisplayName, TextHash, std::equal_to<>> displayNames_;
    std::vector<int> pids_;
    platform::ProcessReading reading_;
};

} // namespace orb
