#include "monitor/ProcessQueue.h"
#include "monitor/SystemMonitor.h"
#include "platform/linux/SysFs.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>
#include <map>
#include <memory>

using namespace orb;
namespace fs = orb::platform::linux_fs;

namespace {

// The nice value (field 19) of each thread of this process by name (field 2, in parentheses,
// which may hold spaces: the later fields count from the closing one).
std::map<std::string, std::int64_t> threadNiceValues() {
    std::map<std::string, std::int64_t> nice;
    for (const auto& task : fs::listDirectory("/proc/self/task")) {
        const auto stat = fs::readLine("/proc/self/task/" + task + "/stat").value_or("()");
        const auto open = stat.find('('), close = stat.rfind(')');
        const auto fields = fs::splitFields(std::string_view(stat).substr(close + 1));
        if (fields.size() > 16)
            nice[stat.substr(open + 1, close - open - 1)] = fs::parseInt(fields[16]).value_or(-99);
    }
    return nice;
}

} // namespace

TEST(ProcessQueue, WalksRunOnALowPriorityThreadAndResultsComeBackOnTheReceiversThread) {
    QObject receiver;
    QList<std::pair<int, QThread*>> published;
    auto state = std::make_shared<int>(0); // what the walk keeps between walks
    std::weak_ptr<int> watch = state;
    {
        ProcessQueue queue(
            QString::fromLatin1(SystemMonitor::processQueueLabel),
            [state = std::move(state)]() -> std::optional<ProcessSnapshot> {
                // Every other walk has something to publish.
                if (++*state % 2 == 1)
                    return ProcessSnapshot{{}, {}, *state};
                return std::nullopt;
            },
            &receiver,
            [&](const ProcessSnapshot& s) {
                published.append({s.processCount, QThread::currentThread()});
            });
        for (int i = 0; i < 4; ++i)
            queue.scheduleWalk();
        QElapsedTimer waited;
        waited.start();
        while (published.size() < 2 && waited.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        ASSERT_EQ(published, (QList<std::pair<int, QThread*>>{{1, QThread::currentThread()},
                                                              {3, QThread::currentThread()}}));
        // The kernel shows the first 15 characters of the thread's name.
        const auto nice = threadNiceValues();
        const auto name = std::string(SystemMonitor::processQueueLabel).substr(0, 15);
        ASSERT_TRUE(nice.contains(name));
        EXPECT_EQ(nice.at(name), 10);
        queue.scheduleWalk();
    }
    // The queue went after its thread stopped, and took the walk's state with it.
    EXPECT_TRUE(watch.expired());
}
