#include "fakes/FakePlatform.h"
#include "fakes/ScratchRoot.h"
#include "monitor/DiskThroughputReader.h"
#include "monitor/NetworkThroughputReader.h"
#include "monitor/SystemMonitor.h"
#include "platform/BlockStorage.h"
#include "platform/linux/LinuxBlockStorage.h"
#include "platform/linux/LinuxNetworkInterfaces.h"
#include "platform/linux/SysFs.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

using namespace orb;
using namespace orb::platform;
using orb::testing::ScratchRoot;

namespace {

using Sums = std::pair<std::uint64_t, std::uint64_t>;

const std::string fixtures = ORB_FIXTURES_DIR;

// A whole disk with hardware behind it: a `device` link in its /sys/block entry.
void addDisk(ScratchRoot& root, const std::string& name) {
    root.link("sys/block/" + name + "/device", "../../devices/pci0000:00/0000:00:17.0");
}

// A sysfs interface with its index, the index of the link it sits on, and its byte counters.
void addLink(ScratchRoot& root, const std::string& name, int index, int onIndex,
             const std::string& received, const std::string& sent) {
    const auto dir = "sys/class/net/" + name + "/";
    root.write(dir + "ifindex", std::to_string(index) + "\n");
    root.write(dir + "iflink", std::to_string(onIndex) + "\n");
    root.write(dir + "statistics/rx_bytes", received);
    root.write(dir + "statistics/tx_bytes", sent);
}

// One root of the captured sysstat series: its diskstats and network rows, and its /sys/block
// entries as disks.
void useRoot(ScratchRoot& scratch, const std::string& root) {
    const auto from = fixtures + "/sysstat/" + root;
    std::filesystem::remove_all(scratch.path() / "sys");
    scratch.write("proc/diskstats", linux_fs::readFile(from + "/proc/diskstats").value());
    scratch.write("proc/net/dev", linux_fs::readFile(from + "/proc/net/dev").value());
    for (const auto& name : linux_fs::listDirectory(from + "/sys/block"))
        addDisk(scratch, name);
}

std::unique_ptr<LinuxDeviceRegistry> registryBelow(const std::string& root) {
    auto registry = std::make_unique<LinuxDeviceRegistry>();
    registry->addSource(std::string(block_storage::serviceClass),
                        std::make_unique<LinuxBlockStorage>(root));
    return registry;
}

} // namespace

TEST(LinuxBlockStorage, ParsesEveryDiskstatsLayout) {
    auto rows =
        parseDiskStats(linux_fs::readFile(fixtures + "/prometheus-procfs/proc/diskstats").value());
    EXPECT_EQ(rows.size(), 52u); // every row: ram, loop, disks, partitions, dm, ...
    auto row = [&](std::string_view name) {
        auto it = std::find_if(rows.begin(), rows.end(), [&](auto& r) { return r.name == name; });
        return it == rows.end() ? Sums{} : Sums{it->sectorsRead, it->sectorsWritten};
    };
    // 14 fields (before 4.18), 18 (discard) and 20 (flush): sectors read and written.
    EXPECT_EQ(row("sda"), Sums(1003346126, 505697032));
    EXPECT_EQ(row("sdb"), Sums(9657779, 1972905));
    EXPECT_EQ(row("sdc"), Sums(579164, 180500));

    rows = parseDiskStats("   8    1 sda1 51 4216 3 24\n" // 2.6 partition row
                          " 104    0 cciss/c0d0 35817 15211 800 163484 5055711 16279213 96 "
                          "18832400 0 7365500 19000180\n"
                          "   8    0 sdx 1 2 3 4 5 6 7 8 9 10\n"    // cut short
                          "   8   16 sdy 1 2 x 4 5 6 7 8 9 10 11\n" // garbage
                          "   a    b sdz 1 2 3 4 5 6 7 8 9 10 11\n"
                          "\n");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(row("sda1"), Sums(4216, 24));
    EXPECT_EQ(row("cciss/c0d0"), Sums(800, 96));
    EXPECT_TRUE(parseDiskStats("").empty());
}

TEST(LinuxBlockStorage, OnlyWholeDisksWithHardwareCount) {
    ScratchRoot root;
    for (const char* name :
         {"sda", "nvme0n1", "cciss!c0d0", "loop0", "ram0", "zram0", "dm-0", "md127"})
        addDisk(root, name);
    std::filesystem::create_directories(root.path() / "sys/block/sdb"); // no device behind it
    EXPECT_EQ(wholeDiskNames(root.str()),
              (std::vector<std::string>{"cciss/c0d0", "nvme0n1", "sda"}));

    // The captured trees keep no device links: nothing there is a disk with hardware.
    EXPECT_EQ(readDiskCounters(*registryBelow(fixtures + "/prometheus-procfs")), Sums(0, 0));
    EXPECT_EQ(readDiskCounters(*registryBelow("/nonexistent-root")), Sums(0, 0));
}

TEST(LinuxNetworkInterfaces, OnlyLinksToHardwareCount) {
    // Ethernet, Wi-Fi and cellular names count even without facts, as does anything with a
    // device behind it.
    for (const char* name : {"eth0", "enp6s0", "en0", "wlp5s0", "wlan0", "wwan0", "pdp_ip0"})
        EXPECT_EQ(classifyLink({.name = name}), LinkKind::Physical) << name;
    EXPECT_EQ(classifyLink({.name = "usb0", .type = 1, .hasDevice = true}), LinkKind::Physical);
    // Loopback, virtual pairs, bridges, bonds, tunnels and links stacked on others never count,
    // whatever their name.
    for (const char* name : {"lo", "veth1a2b3c", "docker0", "virbr0", "ifb0", "wg0", "dummy0"})
        EXPECT_EQ(classifyLink({.name = name}), LinkKind::Virtual) << name;
    for (const auto& facts : {LinkFacts{.name = "loopy", .type = 772},
                              LinkFacts{.name = "wlan0mon", .type = 803, .hasDevice = true},
                              LinkFacts{.name = "br-lan", .isBridge = true},
                              LinkFacts{.name = "eth-bond", .isBond = true},
                              LinkFacts{.name = "tap0", .isTunTap = true},
                              LinkFacts{.name = "eth0.100", .isStacked = true}})
        EXPECT_EQ(classifyLink(facts), LinkKind::Virtual) << facts.name;
}

TEST(LinuxNetworkInterfaces, ParsesNetDevRowsAndSkipsBrokenOnes) {
    auto rows = parseNetDev("eth0:18446744073709551615 1 0 0 0 0 0 0 42 1 0 0 0 0 0 0\n"
                            "eth1: 5 5 0 0 0 0 0 0\n" // cut short
                            "eth2: x 5 0 0 0 0 0 0 7 5 0 0 0 0 0 0\n"
                            ": 1 1 0 0 0 0 0 0 1 1 0 0 0 0 0 0\n");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].first, "eth0");
    EXPECT_EQ(rows[0].second.receivedBytes, 18446744073709551615u);
    EXPECT_EQ(rows[0].second.sentBytes, 42u);
}

TEST(LinuxNetworkInterfaces, CountersComeFromSysfsOrNetDev) {
    // eth0 has a device but no statistics directory; the other three are virtual.
    LinuxNetworkInterfaces procfs(fixtures + "/prometheus-procfs");
    auto links = procfs.interfaces();
    ASSERT_TRUE(links);
    ASSERT_EQ(links->size(), 4u);
    for (const auto& link : *links)
        EXPECT_EQ(link.kind, link.name == "eth0" ? LinkKind::Physical : LinkKind::Virtual)
            << link.name;
    EXPECT_EQ(readNetworkCounters(procfs), Sums(874354587, 563352563));

    // Sysfs counters are 64-bit and win over /proc/net/dev; a VLAN on eth0, a bridge and the
    // host end of a virtual pair do not count, and a stray file in the class directory is no
    // interface. A container's eth1, whose peer lives in another namespace, is its way out.
    ScratchRoot root;
    root.write("proc/net/dev", "eth0: 1 1 0 0 0 0 0 0 1 1 0 0 0 0 0 0\n");
    addLink(root, "eth0", 2, 2, "21474836480\n", "5368709120\n");
    root.link("sys/class/net/eth0/device", "../../../devices/pci0000:00/0000:00:1f.6");
    addLink(root, "eth0.7", 5, 2, "100\n", "100\n");
    addLink(root, "eth1", 6, 99, "10\n", "20\n");
    addLink(root, "veth9", 7, 98, "100\n", "100\n");
    root.write("sys/class/net/br0/bridge/forward_delay", "1500\n");
    root.write("sys/class/net/bonding_masters", "bond0\n");
    LinuxNetworkInterfaces scratch(root.str());
    links = scratch.interfaces();
    ASSERT_TRUE(links);
    EXPECT_EQ(links->size(), 5u);
    EXPECT_EQ(readNetworkCounters(scratch), Sums(21474836490, 5368709140));

    // Unreadable statistics fall back to /proc/net/dev.
    root.write("sys/class/net/eth0/statistics/rx_bytes", "garbage");
    EXPECT_EQ(readNetworkCounters(scratch), Sums(11, 21));

    EXPECT_FALSE(LinuxNetworkInterfaces("/nonexistent-root").interfaces());
}

TEST(LinuxThroughput, RatesFollowACapturedSeries) {
    // Between the sysstat roots interfaces are unregistered and re-registered, their counters
    // reset, disks swapped in and out and their counters let go down. One root per second; the
    // network sums are of enp* and wlp* rows, and partitions (sda1..12) would count sda's bytes
    // twice and are not counted.
    ScratchRoot root;
    orb::testing::FakeClock clock;
    LinuxNetworkInterfaces network(root.str());
    auto registry = registryBelow(root.str());
    useRoot(root, "root1");
    NetworkThroughputReader networkReader(network, clock);
    DiskThroughputReader diskReader(*registry);

    const struct {
        const char* root;
        double download, upload, read, written;
    } steps[] = {
        {"root2", 10'000, 3'000, 916'480, 614'400},
        {"root3", 0, 0, 274'432, 332'800}, // enp6s0 was reset: the network sums went down
        {"root4", 0, 0, 0, 0}, // enp6s0 and wlp5s0 reset again; disks removed: both sums went down
        {"root5", 203'857'807, 10'703'009, 51'557'376, 552'960},
        {"root6", 0, 8'059, 0, 0},
        {"root7", 8'003'955, 2'558'557, 1'024'000, 0},
        // The network rows vanish and diskstats is cut short: what they no longer list counts
        // nothing.
        {"", 0, 0, 0, 0},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.root);
        if (*step.root) {
            useRoot(root, step.root);
        } else {
            std::filesystem::remove(root.path() / "proc/net/dev");
            root.write("proc/diskstats", " 104 0 cciss/c0d0 45817 25211 0 263484 6055");
        }
        clock.advance(1);
        const auto rates = networkReader.read().value();
        const auto disk = diskReader.read().value();
        EXPECT_EQ(std::pair(rates.received, rates.sent), std::pair(step.download, step.upload));
        EXPECT_EQ(std::pair(disk.read, disk.written), std::pair(step.read, step.written));
    }
}

TEST(LinuxNetworkInterfaces, ConstructionPublishesRealRateTexts) {
    // On the real clock some time passes between the baseline and the first update, so the
    // initial text is replaced at once; the fixture's counters do not move.
    auto platform = makeSystemPlatform(fixtures + "/sysstat/root1");
    SystemMonitor monitor(*platform);
    EXPECT_EQ(monitor.downloadSpeed(), "0 B/s");
    EXPECT_EQ(monitor.uploadSpeed(), "0 B/s");
}
