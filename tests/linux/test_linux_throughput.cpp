#include "fakes/FakePlatform.h"
#include "fakes/ScratchRoot.h"
#include "monitor/DiskThroughputReader.h"
#include "monitor/NetworkThroughputReader.h"
#include "platform/BlockStorage.h"
#include "platform/linux/LinuxBlockStorage.h"
#include "platform/linux/LinuxNetworkInterfaces.h"
#include "platform/linux/SysFs.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

using namespace orb;
using namespace orb::platform;
using orb::testing::fixtures;
using orb::testing::ScratchRoot;

using Sums = std::pair<std::uint64_t, std::uint64_t>;

TEST(LinuxBlockStorage, ParsesEveryDiskstatsLayoutAndCountsOnlyWholeDisks) {
    const auto captured =
        parseDiskStats(linux_fs::readFile(fixtures + "/prometheus-procfs/proc/diskstats").value());
    const auto synthetic = parseDiskStats("   8    1 sda1 51 4216 3 24\n" // 2.6 partition row
                                          "   8    0 sdx 1 2 3 4 5 6 7 8 9 10\n"    // cut short
                                          "   8   16 sdy 1 2 x 4 5 6 7 8 9 10 11\n" // garbage
                                          "   a    b sdz 1 2 3 4 5 6 7 8 9 10 11\n\n");
    auto row = [](const std::vector<DiskStatRow>& rows, std::string_view name) {
        auto it = std::find_if(rows.begin(), rows.end(), [&](auto& r) { return r.name == name; });
        return it == rows.end() ? Sums{} : Sums{it->sectorsRead, it->sectorsWritten};
    };
    // 14 fields (before 4.18), 18 (discard) and 20 (flush).
    EXPECT_EQ(row(captured, "sda"), Sums(1003346126, 505697032));
    EXPECT_EQ(row(captured, "sdb"), Sums(9657779, 1972905));
    EXPECT_EQ(row(captured, "sdc"), Sums(579164, 180500));
    ASSERT_EQ(synthetic.size(), 1u);
    EXPECT_EQ(row(synthetic, "sda1"), Sums(4216, 24));

    // Only whole disks with hardware behind them count.
    ScratchRoot root;
    for (const char* name :
         {"sda", "nvme0n1", "cciss!c0d0", "loop0", "ram0", "zram0", "dm-0", "md127"})
        root.write("sys/block/" + std::string(name) + "/device/vendor", "ATA\n");
    std::filesystem::create_directories(root.path() / "sys/block/sdb"); // no device behind it
    EXPECT_EQ(wholeDiskNames(root.str()),
              (std::vector<std::string>{"cciss/c0d0", "nvme0n1", "sda"}));
    // NVMe native multipath: the hidden path nvme0c0n1 carries the bytes its namespace nvme0n1
    // already counts, so only the namespace is a disk.
    EXPECT_EQ(wholeDiskNames(fixtures + "/handmade-nvme/multipath"),
              (std::vector<std::string>{"nvme0n1", "sda"}));
}

TEST(LinuxNetworkInterfaces, OnlyLinksToHardwareCountFromSysfsOrNetDev) {
    // eth0 has a device but no statistics directory; veth, lo and docker0 do not count.
    LinuxNetworkInterfaces procfs(fixtures + "/prometheus-procfs");
    EXPECT_EQ(readNetworkCounters(procfs), Sums(874354587, 563352563));

    // Sysfs counters are 64-bit and win over /proc/net/dev, whose broken rows count nothing. A
    // VLAN on eth0, a bridge and the host end of a virtual pair do not count, nor is a stray
    // file an interface; a container's eth1, whose peer lives in another namespace, does.
    ScratchRoot root({{"proc/net/dev", "eth0: 7 7 0 0 0 0 0 0 7 7 0 0 0 0 0 0\n"
                                       "wwan0:1 1 0 0 0 0 0 0 1 1 0 0 0 0 0 0\n" // old kernels
                                       "eth2: 5 5 0 0 0 0 0 0\n"                 // cut short
                                       "eth3: x 5 0 0 0 0 0 0 7 5 0 0 0 0 0 0\n"
                                       ": 1 1 0 0 0 0 0 0 1 1 0 0 0 0 0 0\n"},
                      {"sys/class/net/br0/bridge/forward_delay", "1500\n"},
                      {"sys/class/net/bonding_masters", "bond0\n"}});
    const std::string links[][5] = {{"eth0", "2", "2", "21474836480", "5368709120"},
                                    {"eth0.7", "5", "2", "100", "100"},
                                    {"eth1", "6", "99", "10", "20"},
                                    {"veth9", "7", "98", "100", "100"}};
    for (const auto& [name, index, onIndex, received, sent] : links) {
        const auto dir = "sys/class/net/" + name + "/";
        root.write(dir + "ifindex", index);
        root.write(dir + "iflink", onIndex);
        root.write(dir + "statistics/rx_bytes", received);
        root.write(dir + "statistics/tx_bytes", sent);
    }
    root.link("sys/class/net/eth0/device", "../../../devices/pci0000:00/0000:00:1f.6");
    LinuxNetworkInterfaces scratch(root.str());
    EXPECT_EQ(scratch.interfaces()->size(), 6u);
    EXPECT_EQ(readNetworkCounters(scratch), Sums(21474836491, 5368709141));

    // Names that tell hardware, devices behind others; loopback and monitor types, bonds, taps.
    for (const char* name : {"enp6s0", "wlp5s0", "pdp_ip0"})
        EXPECT_EQ(classifyLink({.name = name}), LinkKind::Physical) << name;
    EXPECT_EQ(classifyLink({.name = "usb0", .hasDevice = true}), LinkKind::Physical);
    for (const auto& facts : {LinkFacts{.name = "lo"}, LinkFacts{.name = "loopy", .type = 772},
                              LinkFacts{.name = "wlan0mon", .type = 803, .hasDevice = true},
                              LinkFacts{.name = "eth-bond", .isBond = true},
                              LinkFacts{.name = "tap0", .isTunTap = true}})
        EXPECT_EQ(classifyLink(facts), LinkKind::Virtual) << facts.name;
}

TEST(LinuxThroughput, RatesFollowACapturedSeries) {
    // Between sysstat's roots, a second apart, links are re-registered with reset counters and
    // disks come and go with counters going down; each link and disk is compared with its own
    // last counters. Partitions would count sda's bytes twice.
    ScratchRoot root;
    orb::testing::FakeClock clock;
    LinuxNetworkInterfaces network(root.str());
    LinuxDeviceRegistry registry;
    registry.addSource(std::string(block_storage::serviceClass),
                       std::make_unique<LinuxBlockStorage>(root.str()));
    auto useRoot = [&](const std::string& name) {
        const auto from = fixtures + "/sysstat/" + name;
        std::filesystem::remove_all(root.path() / "sys");
        root.write("proc/diskstats", linux_fs::readFile(from + "/proc/diskstats").value());
        root.write("proc/net/dev", linux_fs::readFile(from + "/proc/net/dev").value());
        for (const auto& disk : linux_fs::listDirectory(from + "/sys/block"))
            root.write("sys/block/" + disk + "/device/vendor", "ATA\n"); // the captures have none
    };
    useRoot("root1");
    NetworkThroughputReader networkReader(network, clock);
    DiskThroughputReader diskReader(registry);
    const struct {
        const char* root;
        double download, upload, read, written;
    } steps[] = {
        {"root2", 10'000, 3'000, 916'480, 614'400},
        // enp6s0 was reset: wlp5s0's bytes alone; a disk's read counter went down, which hides
        // none of the others' reads.
        {"root3", 4'000, 2'000, 1'710'080, 332'800},
        {"root4", 0, 0, 5'120, 20'480}, // both links reset again; five disks gone, two new
        {"root5", 203'857'807, 10'703'009, 614'400, 552'960}, // sdq back: counted from here
        {"root6", 0, 0, 0, 0}, // wlp5s0 reset; enp6s2 and wlp5s2 count from their next reading
        {"root7", 8'003'955, 2'558'557, 1'024'000, 0},
        {"", 0, 0, 0, 0}, // the network rows vanish and diskstats is cut short
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.root);
        if (*step.root) {
            useRoot(step.root);
        } else {
            std::filesystem::remove(root.path() / "proc/net/dev");
            root.write("proc/diskstats", " 104 0 cciss/c0d0 45817 25211 0 263484 6055");
        }
        clock.advance(1);
        const auto rates = networkReader.read().value();
        const auto disk = diskReader.read().value();
        EXPECT_EQ(std::tuple(rates.received, rates.sent, disk.read, disk.written),
                  std::tuple(step.download, step.upload, step.read, step.written));
    }
}
