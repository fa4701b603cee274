#include "fakes/ScratchRoot.h"
#include "platform/linux/LinuxProcessTable.h"
#include "platform/linux/SysFs.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

using namespace orb;
using namespace orb::platform;
using orb::testing::fixtures;
using orb::testing::ScratchRoot;
namespace stdfs = std::filesystem;

namespace {

// A stat line with the fields the walk reads; the rest are zeros.
std::string statLine(int pid, std::string_view name, std::uint64_t minorFaults, std::uint64_t ticks,
                     std::uint64_t start, std::uint64_t size = 1 << 24, long rss = 100) {
    std::string line = std::to_string(pid) + " (" + std::string(name) + ") S";
    for (int field = 4; field <= 52; ++field) {
        line += ' ';
        line += field == 10   ? std::to_string(minorFaults)
                : field == 14 ? std::to_string(ticks)
                : field == 22 ? std::to_string(start)
                : field == 23 ? std::to_string(size)
                : field == 24 ? std::to_string(rss)
                              : "0";
    }
    return line + "\n";
}

std::string status(std::string_view name, std::uint64_t anonKb, std::uint64_t swapKb) {
    return "Name:\t" + std::string(name) + "\nVmRSS:\t  99999 kB\nRssAnon:\t" +
           std::to_string(anonKb) + " kB\nVmSwap:\t" + std::to_string(swapKb) + " kB\n";
}

std::optional<ProcessReading> read(LinuxProcessTable& table, int pid) {
    ProcessReading reading;
    return table.readProcess(pid, reading) ? std::optional(reading) : std::nullopt;
}

} // namespace

TEST(LinuxProcessTable, ParsesStatAfterTheLastParenthesisAndStatusFootprints) {
    // A name with spaces and parentheses, followed by a second line that is not the kernel's.
    const auto odd = linux_fs::readFile(fixtures + "/prometheus-procfs/proc/584/stat").value();
    const auto stat = parseProcessStat(odd);
    ASSERT_TRUE(stat);
    EXPECT_EQ(std::tuple(stat->name, stat->virtualSize, stat->residentPages),
              std::tuple("(a b ) ( c d) ", 10395648u, 155u));
    EXPECT_EQ(parseProcessStat(statLine(1, "x", 0, 0, 0, 0, -3))->residentPages, 0u);
    for (const char* garbage : {"", "1 (cut) S 1 2 3", "1 (x) S 1 2 3 4 5 6 7 x 9 10 11 12 13 14",
                                "no parentheses at all", "1 )x( S"})
        EXPECT_FALSE(parseProcessStat(garbage)) << garbage;

    // Resident anonymous memory plus swap (vim below); VmRSS only where RssAnon is missing
    // (before 4.5).
    EXPECT_EQ(parseStatusFootprint("Name:\told\nVmRSS:\t 100 kB\nVmSwap:\t 1 kB\n"), 101u * 1024);
    EXPECT_EQ(parseStatusFootprint("Name:\tkthreadd\nThreads:\t1\n"), 0u);
    EXPECT_FALSE(parseStatusFootprint("Not: a status file\n"));
    EXPECT_FALSE(parseStatusFootprint("Name:\tx\nRssAnon:\t18446744073709551615 kB\n"));
    EXPECT_FALSE(parseStatusFootprint("Name:\tx\nRssAnon:\tlots kB\n"));
}

TEST(LinuxProcessTable, ReadsWhatTheCapturedTreeHoldsAndSkipsTheRest) {
    LinuxProcessTable table(fixtures + "/prometheus-procfs");
    std::vector<int> pids;
    ASSERT_TRUE(table.listProcesses(pids)); // "self", "net" and the files are not processes
    std::sort(pids.begin(), pids.end());
    EXPECT_EQ(pids, (std::vector<int>{584, 26231, 26232, 26233, 26235, 27079}));

    // stat's name, not the status file's crafted one; the captured exe is a file, not a link.
    const auto vim = read(table, 26231).value();
    EXPECT_EQ(std::tuple(vim.name, vim.path, vim.cpuTime, vim.footprint),
              std::tuple("vim", "", (1677ull + 44) * 10'000'000, (2092ull + 660) * 1024));
    // A kernel thread has no memory of its own, and extreme values in fields not read.
    const auto kernelThread = read(table, 26232).value();
    EXPECT_EQ(kernelThread.name, "ata_sff");
    EXPECT_EQ(kernelThread.footprint, 0u);
    // Partial captures: no stat, or no status for a process with memory.
    for (int pid : {584, 26233, 26235, 27079})
        EXPECT_FALSE(read(table, pid)) << pid;
    EXPECT_FALSE(LinuxProcessTable("/nonexistent").listProcesses(pids));
}

TEST(LinuxProcessTable, ReadsTheLinkAndFootprintAgainOnlyWhenTheProcessCouldHaveChangedThem) {
    ScratchRoot root;
    root.write("proc/40/stat", statLine(40, "server", 5, 100, 1000));
    root.write("proc/40/status", status("server", 2048, 1024));
    root.link("proc/40/exe", "/usr/sbin/server (deleted)");
    root.write("proc/2/stat", statLine(2, "kthreadd", 0, 7, 2, 0, 0)); // no status: no memory
    root.write("proc/1x/stat", statLine(1, "init", 0, 0, 0));
    LinuxProcessTable table(root.str());
    std::vector<int> pids;
    auto walk = [&] { table.listProcesses(pids); };
    auto replace = [&](const std::string& target, std::uint64_t anonKb) {
        stdfs::remove(root.path() / "proc/40/exe");
        root.link("proc/40/exe", target);
        root.write("proc/40/status", status("server", anonKb, 0));
    };

    auto server = [&] { // its path and footprint in KiB
        const auto reading = read(table, 40);
        return reading ? std::string(reading->path) + " " + std::to_string(reading->footprint >> 10)
                       : "unread";
    };

    walk();
    std::sort(pids.begin(), pids.end());
    EXPECT_EQ(pids, (std::vector<int>{2, 40}));
    EXPECT_EQ(server(), "/usr/sbin/server 3072"); // upgraded under the running program
    EXPECT_EQ(read(table, 2).value().footprint, 0u);

    // Same stat fields: neither is read again...
    replace("/usr/bin/other", 9000);
    walk();
    EXPECT_EQ(server(), "/usr/sbin/server 3072");
    // ...until a fault brings a page in (as exec does), or a new process takes the identifier.
    root.write("proc/40/stat", statLine(40, "server", 6, 100, 1000));
    walk();
    EXPECT_EQ(server(), "/usr/bin/other 9000");
    replace("/usr/bin/third", 10);
    root.write("proc/40/stat", statLine(40, "server", 6, 100, 2000));
    walk();
    EXPECT_EQ(server(), "/usr/bin/third 10");
    // And at least every tenth walk whatever the stat line says.
    replace("/usr/bin/fourth", 20);
    for (unsigned i = 0; i < LinuxProcessTable::refreshWalks; ++i)
        walk(), read(table, 40);
    EXPECT_EQ(server(), "/usr/bin/fourth 20");

    // Gone between the listing and the read, or left half written.
    root.write("proc/40/stat", "40 (server) S 1 2");
    EXPECT_EQ(server(), "unread");
    stdfs::remove_all(root.path() / "proc/40");
    EXPECT_EQ(server(), "unread");
}
