#include "fakes/FakePlatform.h"
#include "monitor/ProcessDisplayName.h"
#include "monitor/ProcessWalk.h"

#include <QSet>
#include <gtest/gtest.h>

using namespace orb;
using namespace orb::testing;
using Process = FakeProcessTable::Process;

namespace {

// name, count, cpu, memory of each record
using Row = std::tuple<QString, int, double, double>;
std::vector<Row> rows(const AppProcessList& list) {
    std::vector<Row> result;
    for (const auto& p : list)
        result.emplace_back(p.name, p.count, p.cpu, p.memory);
    return result;
}

constexpr std::uint64_t MiB = 1024 * 1024;

struct Walker {
    FakePlatform fake;
    ProcessWalk walk{*fake.platform().processes, *fake.platform().clock};
    void set(int pid, Process process) {
        fake.processes->listed.push_back(pid);
        fake.processes->processes[pid] = std::move(process);
    }
};

} // namespace

TEST(ProcessDisplayName, GroupsHelpersAndKnownApplications) {
    // "Safari Preview Helper" is not Safari; the suffixes are case-sensitive.
    for (const QString c :
         {"Google Chrome Helper (Renderer)|Google Chrome", "Editor Helper (Renderer)|Editor",
          "Code Helper (GPU)|Code", "Mail Web Content|Mail", "Player (Plugin)|Player",
          "firefox-esr|Firefox", "Preview|Preview", "Safari Preview Helper|Safari Preview",
          "com.apple.Safari.x|Safari", "mds_stores|Spotlight", "mdworker_shared|Spotlight",
          "HELPER|HELPER"})
        EXPECT_EQ(processDisplayName(c.section('|', 0, 0)), c.section('|', 1)) << c.toStdString();
}

TEST(ProcessWalk, GroupsByDisplayNameAndMeasuresShareSinceTheLastWalk) {
    Walker w;
    w.set(10, {"/opt/Google Chrome", "chrome", 1, 0, 100 * MiB});
    w.set(11, {"/opt/Google Chrome Helper (Renderer)", "chrome", 2, 0, 50 * MiB});
    w.set(12, {"", "kthreadd", 3, 0, 0}); // no executable: its short name
    w.set(13, {"/usr/bin/editor", "ed", 4, 0, 10 * MiB});
    w.fake.processes->listed.push_back(14); // gone before it was read

    auto first = w.walk.updateProcesses();
    EXPECT_EQ(first.processCount, 5); // the vanished one still counts
    EXPECT_EQ(rows(first.byMemory),
              (std::vector<Row>{
                  {"Google Chrome", 2, 0, 150}, {"editor", 1, 0, 10}, {"kthreadd", 1, 0, 0}}));
    EXPECT_EQ(first.byMemory[0].pid, 10); // the group's first member

    // Three seconds later: chrome used 2 s more between its two processes, the editor's
    // identifier now belongs to a new process, whose history starts afresh.
    w.fake.clock->advance(3);
    w.fake.processes->processes[10].cpuTime = 1'500'000'000;
    w.fake.processes->processes[11].cpuTime = 500'000'000;
    w.fake.processes->processes[13] = {"/usr/bin/editor", "ed", 99, 9'000'000'000, 10 * MiB};
    auto second = w.walk.updateProcesses();
    ASSERT_EQ(second.byCpu.size(), 3);
    EXPECT_EQ(second.byCpu[0].name, "Google Chrome");
    EXPECT_NEAR(second.byCpu[0].cpu, 66.67, 0.01);
    EXPECT_EQ(second.byCpu[1].cpu + second.byCpu[2].cpu, 0);
    for (const auto& p : second.byCpu) {
        EXPECT_EQ(p.energy, p.cpu);
        EXPECT_EQ(p.cumulativeEnergy, 0);
    }

    // A count that goes back gives no share, not a huge one; nor does a clock that stands still.
    w.fake.clock->advance(3);
    w.fake.processes->processes[10].cpuTime = 0;
    EXPECT_EQ(w.walk.updateProcesses().byCpu[0].cpu, 0);
    w.fake.processes->processes[10].cpuTime = 5'000'000'000;
    EXPECT_EQ(w.walk.updateProcesses().byCpu[0].cpu, 0);
    // A process missing from one walk is forgotten: back in the next, it starts afresh.
    w.fake.processes->listed = {10};
    w.walk.updateProcesses();
    w.fake.processes->listed = {10, 11};
    w.fake.processes->processes[11].cpuTime = 3'500'000'000;
    w.fake.clock->advance(3);
    EXPECT_EQ(w.walk.updateProcesses().byCpu[0].cpu, 0);
}

TEST(ProcessWalk, TakesTheApplicationNameThenThePathThenTheShortName) {
    Walker w;
    w.fake.processes->applications = {{1, "Mail"},  {2, ""},     {3, std::nullopt}, {4, ""},
                                      {3, "Music"}, {5, "Gone"}, {5, std::nullopt}};
    w.set(1, {"/usr/bin/mail-bin", "mail", 1, 0, 5 * MiB});
    w.set(2, {"/usr/bin/term", "term", 2, 0, 4 * MiB}); // an empty application name is no name
    w.set(3, {"/usr/bin/music-bin", "", 3, 0, 3 * MiB});
    w.set(4, {"", "", 4, 0, 2 * MiB});            // nameless and listed without a name: left out
    w.set(5, {"", "", 5, 0, 1 * MiB});            // nameless: "Unknown"
    w.set(6, {"/usr/bin/\xff\xfe", "", 6, 0, 0}); // invalid UTF-8 shown with replacement marks

    auto walk = w.walk.updateProcesses();
    EXPECT_EQ(rows(walk.byMemory), (std::vector<Row>{{"Mail", 1, 0, 5},
                                                     {"term", 1, 0, 4},
                                                     {"Music", 1, 0, 3},
                                                     {"Unknown", 1, 0, 1},
                                                     {"\uFFFD\uFFFD", 1, 0, 0}}));
    EXPECT_EQ(walk.processCount, 6);
}

TEST(ProcessWalk, PublishesTheTwentyLargestWithFreshIdentifiers) {
    Walker w;
    for (int pid = 1; pid <= 25; ++pid)
        w.set(pid,
              {"/bin/p" + std::to_string(pid), "", 1, 0, static_cast<std::uint64_t>(pid) * MiB});
    auto first = w.walk.updateProcesses();
    ASSERT_EQ(first.byMemory.size(), 20);
    ASSERT_EQ(first.byCpu.size(), 20);
    EXPECT_EQ(first.byMemory.front().name, "p25");
    EXPECT_EQ(first.byMemory.back().name, "p6");

    QSet<QUuid> ids;
    for (const auto& p : first.byMemory)
        ids.insert(p.id);
    for (const auto& p : first.byCpu) // the same group is one record in both lists
        EXPECT_EQ(ids.contains(p.id), first.byMemory.contains(p)) << p.name.toStdString();
    for (const auto& p : w.walk.updateProcesses().byMemory)
        EXPECT_FALSE(ids.contains(p.id));

    w.fake.processes->listed.resize(5);
    EXPECT_EQ(w.walk.updateProcesses().byMemory.size(), 5);

    // A table that cannot be listed publishes nothing and no processes.
    w.fake.processes->listable = false;
    auto none = w.walk.updateProcesses();
    EXPECT_TRUE(none.byMemory.isEmpty() && none.byCpu.isEmpty());
    EXPECT_EQ(none.processCount, 0);
}
