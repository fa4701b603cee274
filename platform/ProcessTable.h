#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orb::platform {

// One read of one process. The texts point into the table's own buffers and stay valid until
// its next read.
struct ProcessReading {
    std::string_view path; // executable path; empty for kernel threads or when unreadable
    std::string_view name; // the short name the process goes by; empty when it has none
    // When the process started, in the table's own unit: identifiers are reused, and only the
    // pair of identifier and start time names one process.
    std::uint64_t startTime = 0;
    std::uint64_t cpuTime = 0;   // user plus system processor time, nanoseconds
    std::uint64_t footprint = 0; // bytes of physical memory that are the process's own
};

// An application the desktop knows by name.
struct RunningApplication {
    int processIdentifier = 0;
    std::optional<std::string> localizedName;
};

class ProcessTable {
public:
    virtual ~ProcessTable() = default;
    // Every process identifier, in the table's order, into `pids` (its storage is reused);
    // false when the table cannot be listed.
    virtual bool listProcesses(std::vector<int>& pids) = 0;
    // False when the process has exited or cannot be read.
    virtual bool readProcess(int pid, ProcessReading& reading) = 0;
    // Empty where the desktop keeps no such list.
    virtual std::vector<RunningApplication> runningApplications() = 0;
};

} // namespace orb::platform
