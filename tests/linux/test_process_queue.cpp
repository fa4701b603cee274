#include "monitor/ProcessQueue.h"
#include "monitor/SystemMonitor.h"
#include "platform/linux/SysFs.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>
#include <memory>

using namespace orb;
namespace fs = orb::platform::linux_fs;

namespace {

// The nice value (field 19) of this process's thread with the given name (field 2, in
// parentheses: the later fields count from the closing one). The kernel keeps 15 characters.
std::optional<std::int64_t> threadNiceValue(std::string name) {
    name = "(" + name.substr(0, 15) + ")";
    for (const auto& task : fs::listDirectory("/proc/self/task")) {
        const auto stat = fs::readLine("/proc/self/task/" + task + "/stat").value_or("");
        const auto open = stat.find('('), close = stat.rfind(')');
        const auto fields = fs::splitFields(std::string_view(stat).substr(close + 1));
        if (close != std::string::npos && stat.substr(open, close - open + 1) == name &&
            fields.size() > 16)
            return fs::parseInt(fields[16]);
    }
    return std::nullopt;
}

} // namespace

TEST(ProcessQueue, WalksRunOnALowPriorityThreadAndResultsComeBackOnTheReceiversThread) {
    QObject receiver;
    QList<std::pair<int, QThread*>> published;
    auto state = std::make_shared<int>(0); // what the walk keeps between walks
    std::weak_ptr<int> watch = state;
    {
        // Every other walk has something to publish.
        ProcessQueue queue(
            QString::fromLatin1(SystemMonitor::processQueueLabel),
            [state = std::move(state)]() -> std::optional<ProcessSnapshot> {
                return ++*state % 2 ? std::optional(ProcessSnapshot{{}, {}, *state}) : std::nullopt;
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
        EXPECT_EQ(threadNiceValue(SystemMonitor::processQueueLabel), 10);
        queue.scheduleWalk();
    }
    // The queue went after its thread stopped, and took the walk's state with it.
    EXPECT_TRUE(watch.expired());
}
