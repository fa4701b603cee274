#include "fakes/FakePlatform.h"
#include "monitor/SystemMonitor.h"
#include "monitor/ThroughputCounters.h"
#include "platform/BlockStorage.h"
#include "platform/linux/LinuxBlockStorage.h"
#include "platform/linux/SysFs.h"

#include "fakes/ScratchRoot.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace orb;
using namespace orb::platform;
using orb::testing::ScratchRoot;

namespace {

using Sums = std::pair<std::uint64_t, std::uint64_t>;

const std::string fixtures = ORB_FIXTURES_DIR;
namespace stdfs = std::filesystem;

// Whole disks with hardware behind them: a `device` link in each /sys/block entry.
void addDisks(ScratchRoot& root, std::initializer_list<const char*> names) {
    for (const char* name : names)
        root.link(std::string("sys/block/") + name + "/device",
                  "../../devices/pci0000:00/0000:00:17.0");
}

// One root of a captured series: its diskstats, and its /sys/block entries as disks.
void useRoot(ScratchRoot& scratch, const std::string& root) {
    stdfs::remove_all(scratch.path() / "proc");
    stdfs::remove_all(scratch.path() / "sys");
    stdfs::create_directories(scratch.path() / "proc");
    stdfs::copy_file(root + "/proc/diskstats", scratch.path() / "proc/diskstats");
    if (!stdfs::exists(root + "/sys/block"))
        return;
    for (const auto& entry : stdfs::directory_iterator(root + "/sys/block")) {
        const auto name = entry.path().filename().string();
        addDisks(scratch, {name.c_str()});
    }
}

std::pair<std::uint64_t, std::uint64_t> diskCountersBelow(const std::string& root) {
    LinuxDeviceRegistry registry;
    registry.addSource(std::string(block_storage::serviceClass),
                       std::make_unique<LinuxBlockStorage>(root));
    return readDiskCounters(registry);
}

} // namespace

TEST(LinuxBlockStorage, ParsesEveryDiskstatsLayout) {
    auto text = linux_fs::readFile(fixtures + "/prometheus-procfs/proc/diskstats");
    ASSERT_TRUE(text);
    auto rows = parseDiskStats(*text);
    EXPECT_EQ(rows.size(), 52u); // every row: ram, loop, disks, partitions, dm, ...
    auto row = [&](std::string_view name) {
        auto it = std::find_if(rows.begin(), rows.end(), [&](auto& r) { return r.name == name; });
        return it == rows.end() ? DiskStatRow{} : *it;
    };
    // 14 fields (before 4.18), 18 (discard) and 20 (flush): sectors read and written.
    EXPECT_EQ(row("sda").sectorsRead, 1003346126u);
    EXPECT_EQ(row("sda").sectorsWritten, 505697032u);
    EXPECT_EQ(row("sdb").sectorsRead, 9657779u);
    EXPECT_EQ(row("sdb").sectorsWritten, 1972905u);
    EXPECT_EQ(row("sdc").sectorsRead, 579164u);
    EXPECT_EQ(row("sdc").sectorsWritten, 180500u);

    rows = parseDiskStats("   8    1 sda1 51 4216 3 24\n" // 2.6 partition row
                          " 104    0 cciss/c0d0 35817 15211 800 163484 5055711 16279213 96 "
                          "18832400 0 7365500 19000180\n"
                          "   8    0 sdx 1 2 3 4 5 6 7 8 9 10\n"    // cut short
                          "   8   16 sdy 1 2 x 4 5 6 7 8 9 10 11\n" // garbage
                          "   a    b sdz 1 2 3 4 5 6 7 8 9 10 11\n"
                          "\n");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].name, "sda1");
    EXPECT_EQ(rows[0].sectorsRead, 4216u);
    EXPECT_EQ(rows[0].sectorsWritten, 24u);
    EXPECT_EQ(rows[1].name, "cciss/c0d0");
    EXPECT_EQ(rows[1].sectorsRead, 800u);
    EXPECT_EQ(rows[1].sectorsWritten, 96u);
    EXPECT_TRUE(parseDiskStats("").empty());
}

TEST(LinuxBlockStorage, OnlyWholeDisksWithHardwareAreServices) {
    ScratchRoot root;
    addDisks(root, {"sda", "nvme0n1", "cciss!c0d0", "loop0", "ram0", "zram0", "dm-0", "md127"});
    stdfs::create_directories(root.path() / "sys/block/sdb"); // no device behind it
    EXPECT_EQ(wholeDiskNames(root.str()),
              (std::vector<std::string>{"cciss/c0d0", "nvme0n1", "sda"}));

    // The captured trees keep no device links: nothing there is a disk with hardware.
    EXPECT_EQ(diskCountersBelow(fixtures + "/prometheus-procfs"), Sums(0, 0));
    EXPECT_EQ(diskCountersBelow("/nonexistent-root"), Sums(0, 0));

    // Each service has the disk's name and its counters in bytes.
    useRoot(root, fixtures + "/sysstat/root6");
    LinuxBlockStorage storage(root.str());
    auto services = storage.services();
    ASSERT_EQ(services.size(), 4u);
    auto properties = services[0]->properties();
    ASSERT_TRUE(properties);
    EXPECT_EQ(*properties->find(block_storage::nameKey)->string(), "cciss/c0d0");
    auto statistics = properties->find(block_storage::statisticsKey)->table();
    ASSERT_NE(statistics, nullptr);
    EXPECT_EQ(statistics->find(block_storage::bytesReadKey)->numberKind(), NumberKind::Unsigned);
    // sda: 3195498 sectors read, 821088 written.
    auto sda = services[1]->properties();
    ASSERT_TRUE(sda);
    auto sdaStatistics = sda->find(block_storage::statisticsKey)->table();
    EXPECT_EQ(sdaStatistics->find(block_storage::bytesReadKey)->toUInt64(), 3195498ull * 512);
    EXPECT_EQ(sdaStatistics->find(block_storage::bytesWrittenKey)->toUInt64(), 821088ull * 512);
}

TEST(LinuxBlockStorage, RatesAcrossACapturedSeries) {
    // The sysstat series swaps disks in and out and lets counters go down. One root per tick;
    // partitions (sda1..12) would count sda's bytes twice and are not counted.
    ScratchRoot root;
    orb::testing::FakePlatform fake;
    auto registry = std::make_unique<LinuxDeviceRegistry>();
    registry->addSource(std::string(block_storage::serviceClass),
                        std::make_unique<LinuxBlockStorage>(root.str()));
    fake.platform().registry = std::move(registry);
    useRoot(root, fixtures + "/sysstat/root1");
    SystemMonitor monitor(fake.platform());

    struct Step {
        const char* root;
        double read, written;
    };
    for (const auto& step :
         {Step{"root2", 916'480, 614'400}, Step{"root3", 274'432, 332'800},
          Step{"root4", 0, 0}, // disks removed: both sums went down
          Step{"root5", 51'557'376, 552'960}, Step{"root6", 0, 0}, Step{"root7", 1'024'000, 0}}) {
        useRoot(root, fixtures + "/sysstat/" + step.root);
        monitor.updateDisk();
        EXPECT_EQ(monitor.diskReadBytesPerSec(), step.read) << step.root;
        EXPECT_EQ(monitor.diskWriteBytesPerSec(), step.written) << step.root;
        EXPECT_EQ(monitor.diskReadHistory().last(), step.read) << step.root;
    }

    // A truncated or garbled diskstats: the disks it no longer lists count nothing.
    std::ofstream(root.path() / "proc/diskstats") << " 104 0 cciss/c0d0 45817 25211 0 263484 6055";
    monitor.updateDisk();
    EXPECT_EQ(monitor.diskReadBytesPerSec(), 0);
    EXPECT_EQ(monitor.diskReadHistory().size(), 60);
}
