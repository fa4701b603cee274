#pragma once

#include "platform/ProcessTable.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace orb::platform {

// What the process walk needs from one /proc/<pid>/stat line.
struct ProcessStat {
    std::string_view name; // comm, between the first '(' and the last ')'
    std::uint64_t minorFaults = 0;
    std::uint64_t majorFaults = 0;
    std::uint64_t cpuTicks = 0;  // utime + stime, clock ticks
    std::uint64_t startTime = 0; // clock ticks after boot
    std::uint64_t virtualSize = 0;
    std::uint64_t residentPages = 0;
};

// Fields after the last ')', since a name may hold spaces and parentheses; empty when the line
// is cut short or a needed field is not a number.
std::optional<ProcessStat> parseProcessStat(std::string_view line);

// Resident anonymous memory plus swap from /proc/<pid>/status, in bytes (VmRSS stands in for
// RssAnon on kernels before 4.5). 0 for a process without memory of its own (a kernel thread or
// a zombie); empty when the text is not a status file.
std::optional<std::uint64_t> parseStatusFootprint(std::string_view text);

// The process table of /proc below a root. Per process a walk costs one readlink of `exe` and
// one read of `stat`; `status` is read only when the stat line shows the process could have
// changed its memory since the last walk, and at least every tenth walk.
class LinuxProcessTable final : public ProcessTable {
public:
    explicit LinuxProcessTable(std::string root = "/");
    bool listProcesses(std::vector<int>& pids) override;
    bool readProcess(int pid, ProcessReading& reading) override;
    std::vector<RunningApplication> runningApplications() override { return {}; }

    static constexpr unsigned footprintRefreshWalks = 10;

private:
    // The footprint last read and the stat fields that move whenever it can change: faults bring
    // pages in, and unmapping or reclaim changes the address space or the resident count.
    struct Footprint {
        std::uint64_t startTime = 0;
        std::uint64_t minorFaults = 0;
        std::uint64_t majorFaults = 0;
        std::uint64_t cpuTicks = 0;
        std::uint64_t virtualSize = 0;
        std::uint64_t residentPages = 0;
        std::uint64_t bytes = 0;
        unsigned walk = 0; // the last walk that saw the process
    };

    // Reads a whole small file with one read into `buffer`; the length read, or empty.
    template <std::size_t N>
    std::optional<std::size_t> readSmallFile(std::string_view file, std::array<char, N>& buffer);
    std::optional<std::uint64_t> footprint(int pid, const ProcessStat& stat);

    std::string procDir_;    // "<root>/proc/"
    std::string path_;       // "<root>/proc/<pid>/", rebuilt per process without allocating
    std::size_t pidEnd_ = 0; // where the file name goes in path_
    std::uint64_t nanosecondsPerTick_;
    unsigned walk_ = 0;
    std::unordered_map<int, Footprint> footprints_;
    std::array<char, 4096> exe_{};
    std::array<char, 4096> stat_{};
    std::array<char, 16384> status_{};
};

} // namespace orb::platform
