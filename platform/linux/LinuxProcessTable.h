#pragma once

#include "platform/ProcessTable.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
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
//
// On a real /proc each process's `stat` stays open from walk to walk and is read again with one
// pread, which saves the open and close that otherwise cost as much as the read. A descriptor
// belongs to the process it was opened for: once that process is reaped it reads ESRCH, even
// when a new process has taken the identifier, and is then closed and the file opened afresh.
// At most `keptLimit` stay open (by default a share of the descriptor limit, see
// keptStatLimit()); processes beyond it are read with open, read and close as before.
class LinuxProcessTable final : public ProcessTable {
public:
    explicit LinuxProcessTable(const std::string& root = "/",
                               std::optional<std::size_t> keptLimit = {});
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
    // How many `stat` descriptors are open now.
    std::size_t keptStatFiles() const { return kept_; }
    // Half the soft descriptor limit, less a reserve for everything else the program opens, and
    // at most 4,096: each open one holds a page of kernel memory.
    static std::size_t keptStatLimit();

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
        int statFd = -1;   // the process's `stat`, kept open; -1 when not kept
    };

    bool openProc();
    // Reads the current process's stat line into stat_ from its kept descriptor or, where there
    // is none or it fails, a fresh one, which is kept while the budget allows.
    std::optional<std::size_t> readStat(int pid);
    void closeKept(Known& known);
    // Reads a whole small file of the current process with one read into `buffer`; the length
    // read, or empty.
    template <std::size_t N>
    std::optional<std::size_t> readSmallFile(std::string_view file, std::array<char, N>& buffer);
    // Reads the exe link and status into `known`; false when the process has gone.
    bool readExecutableAndFootprint(const ProcessStat& stat, Known& known);

    std::string procDir_;   // "<root>/proc"
    int procFd_ = -1;       // procDir_, opened per walk: paths below it are short and relative
    dev_t procDevice_ = 0;  // of the /proc the kept descriptors were opened on
    bool keepStat_ = false; // /proc is procfs, whose files end with their process
    std::size_t keptLimit_;
    std::size_t kept_ = 0;
    std::string path_; // "<pid>/", then the file name, rebuilt without allocating
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
