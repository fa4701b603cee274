// The process walk on this machine, against children of known load and against ps.
#include "monitor/ProcessWalk.h"
#include "platform/Clock.h"
#include "platform/linux/LinuxProcessTable.h"

#include <QProcess>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace orb;
using namespace orb::platform;

namespace {

struct LiveWalk {
    LinuxProcessTable table;
    SystemClock clock;
    ProcessWalk walk{table, clock};
};

// A child of orbimeter_process_load, killed when the test ends.
class LoadChild {
public:
    explicit LoadChild(const QStringList& arguments) {
        process_.start(QStringLiteral(ORB_PROCESS_LOAD_PATH), arguments);
        ready_ = process_.waitForReadyRead(10000) && process_.readLine().trimmed() == "ready";
    }
    ~LoadChild() {
        process_.kill();
        process_.waitForFinished();
    }
    bool ready() const { return ready_; }
    // The kernel's count of the processor time it has used, read through its CPU clock.
    double cpuSeconds() const {
        clockid_t clock{};
        timespec used{};
        if (::clock_getcpuclockid(static_cast<pid_t>(process_.processId()), &clock) != 0 ||
            ::clock_gettime(clock, &used) != 0)
            return -1;
        return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
    }

private:
    QProcess process_;
    bool ready_ = false;
};

} // namespace

TEST(LiveProcessWalk, ChildrenShowTheirProcessorShareAndMemoryInOneGroup) {
    // Two children of one executable: one keeps a processor busy, one holds 200 MiB.
    LoadChild burner({"burn"}), holder({"hold", "200"});
    ASSERT_TRUE(burner.ready() && holder.ready());
    LiveWalk live;
    live.walk.updateProcesses();
    const double usedBefore = burner.cpuSeconds();
    const auto before = std::chrono::steady_clock::now();
    QThread::sleep(3);
    const double usedAfter = burner.cpuSeconds();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - before;
    const auto second = live.walk.updateProcesses();

    auto group = [](const AppProcessList& list) {
        auto found = std::find_if(list.begin(), list.end(), [](const AppProcess& p) {
            return p.name == QLatin1StringView("orbimeter_process_load");
        });
        return found == list.end() ? AppProcess{} : *found;
    };
    const auto busy = group(second.byCpu);
    EXPECT_EQ(busy.count, 2);
    // One processor, or what a loaded machine left it, by the kernel's own clock of the child.
    const double share = (usedAfter - usedBefore) / elapsed.count() * 100;
    EXPECT_GT(share, 25);
    EXPECT_NEAR(busy.cpu, share, 15);
    const auto large = group(second.byMemory);
    EXPECT_EQ(large.count, 2);
    EXPECT_GE(large.memory, 200);
    EXPECT_LE(large.memory, 210) << "what they hold, not the libraries they share";
}

TEST(LiveProcessWalk, CountsWhatPsCounts) {
    LiveWalk live;
    const int walked = live.walk.updateProcesses().processCount;
    QProcess ps;
    ps.start(QStringLiteral("ps"), {"-e", "--no-headers"});
    ASSERT_TRUE(ps.waitForFinished(10000));
    const int listed = static_cast<int>(ps.readAllStandardOutput().count('\n')) - 1; // not ps
    EXPECT_NEAR(walked, listed, 3);
}

TEST(LiveProcessWalk, FollowsAProcessIntoTheProgramItExecs) {
    // A wrapper script that hands over to the real program under the same identifier.
    QProcess wrapper;
    wrapper.start(QStringLiteral("sh"),
                  {"-c", "read go; exec \"$0\" hold 1", ORB_PROCESS_LOAD_PATH});
    ASSERT_TRUE(wrapper.waitForStarted());
    const int pid = static_cast<int>(wrapper.processId());
    LinuxProcessTable table;
    std::vector<int> pids;
    auto pathNow = [&] {
        ProcessReading reading;
        table.listProcesses(pids);
        return table.readProcess(pid, reading) ? std::string(reading.path) : std::string();
    };
    EXPECT_NE(pathNow().find("sh"), std::string::npos);
    wrapper.write("go\n");
    ASSERT_TRUE(wrapper.waitForReadyRead(10000));
    EXPECT_EQ(pathNow(), std::filesystem::canonical(ORB_PROCESS_LOAD_PATH).string());
    wrapper.kill();
    wrapper.waitForFinished();
}

TEST(LiveProcessWalk, KeepsStatOpenWithinItsBudgetAndSkipsAProcessGoneBeforeItsRead) {
    // Two children: one read once already, through the file kept since; one listed, never read.
    pid_t children[2];
    for (pid_t& child : children) {
        child = ::fork();
        if (child == 0) {
            ::pause();
            ::_exit(0);
        }
        ASSERT_GT(child, 0);
    }
    const std::string childStat = "/proc/" + std::to_string(children[0]) + "/stat";
    const int held = ::open(childStat.c_str(), O_RDONLY | O_CLOEXEC);
    LinuxProcessTable table("/", 1);
    std::vector<int> pids;
    ProcessReading reading;
    table.listProcesses(pids);
    ASSERT_NE(std::find(pids.begin(), pids.end(), children[1]), pids.end());
    ASSERT_TRUE(table.readProcess(children[0], reading));
    EXPECT_EQ(table.keptStatFiles(), 1u);
    // Beyond the budget a process is read all the same, through a descriptor of its own.
    EXPECT_TRUE(table.readProcess(::getpid(), reading));
    EXPECT_EQ(table.keptStatFiles(), 1u);

    for (const pid_t child : children) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
    // What the table relies on: once reaped, the process's file reads ESRCH, whoever takes the
    // identifier next.
    char line[512];
    EXPECT_EQ(::pread(held, line, sizeof line, 0), -1);
    EXPECT_EQ(errno, ESRCH);
    ::close(held);
    EXPECT_FALSE(table.readProcess(children[0], reading));
    EXPECT_FALSE(table.readProcess(children[1], reading));
    EXPECT_EQ(table.keptStatFiles(), 0u);
    EXPECT_TRUE(table.readProcess(::getpid(), reading));
    EXPECT_EQ(table.keptStatFiles(), 1u);
    // The next walk lets go of what belonged to processes no longer listed.
    table.listProcesses(pids);
    table.listProcesses(pids);
    EXPECT_EQ(table.keptStatFiles(), 0u);
}
