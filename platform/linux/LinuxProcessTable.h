#pragma once

#include "platform/ProcessTable.h"

#include <array>
#include <cstdint>
#include <functional>
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

// The process table of /proc below a root. Per process a walk costs one read of `stat`. The
// `exe` link and `status` are read again only when the stat line shows that the process may
// have called exec or changed its memory since the last walk (exec and every page brought in
// count faults; unmapping changes the address space or the resident count), and at least every
// tenth walk.
class LinuxProcessTable final : public ProcessTable {
public:
    explicit LinuxProcessTable(std::string root = "/");
    ~LinuxProcessTable() override;
    LinuxProcessTable(const LinuxProcessTable&) = delete;
    LinuxProcessTable& operator=(const LinuxProcessTable&) = delete;

    bool listProcesses(std::vector<int>& pids) override;
    // Work that looks through the processes at the walk's pace and on its thread, run after
    // each listing.
    void runWithEachWalk(std::function<void()> companion) { walkCompanion_ = std::move(companion); }
    bool readProcess(int pid, ProcessReading& reading) override;
    std::vector<RunningApplication> runningApplications() override { return {}; }

    static constexpr unsigned refreshWalks = 10;

private:
    // What the last read of a process found, and the stat fields it was found with.
    struct Known {
        std::uint64_t startTime = 0;
        std::uint64_t minorFaults = 0;
        std::uint64_t majorFaults = 0;
        std::uint64_t cpuTicks = 0;
        std::uint64_t virtualSize = 0;
        std::uint64_t residentPages = 0;
        std::string path;
        std::uint64_t footprint = 0;
        unsigned walk = 0; // the last walk that saw the process
    };

    bool openProc();
    // Reads a whole small file of the current process with one read into `buffer`; the length
    // read, or empty.
    template <std::size_t N>
    std::optional<std::size_t> readSmallFile(std::string_view file, std::array<char, N>& buffer);
    // Reads the exe link and status into `known`; false when the process has gone.
    bool readExecutableAndFootprint(const ProcessStat& stat, Known& known);

    std::string procDir_; // "<root>/proc"
    int procFd_ = -1;     // procDir_, opened per walk: paths below it are short and relative
    std::string path_;    // "<pid>/", then the file name, rebuilt without allocating
    std::size_t pidEnd_ = 0;
    std::uint64_t nanosecondsPerTick_;
    unsigned walk_ = 0;
    std::unordered_map<int, Known> known_;
    std::function<void()> walkCompanion_;
    std::array<char, 4096> exe_{};
    std::array<char, 4096> stat_{};
    std::array<char, 16384> status_{};
};

} // namespace orb::platform
