#include "fakes/FakePlatform.h"
#include "monitor/SystemMonitor.h"
#include "monitor/ThroughputCounters.h"
#include "platform/linux/LinuxNetworkInterfaces.h"
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

LinkKind kindOf(LinkFacts facts) {
    return classifyLink(facts);
}

} // namespace

TEST(LinuxNetworkInterfaces, OnlyLinksToHardwareCount) {
    // Ethernet, Wi-Fi and cellular names count even without facts, as does anything with a
    // device behind it.
    for (const char* name : {"eth0", "enp6s0", "en0", "wlp5s0", "wlan0", "wwan0", "pdp_ip0"})
        EXPECT_EQ(kindOf({.name = name}), LinkKind::Physical) << name;
    EXPECT_EQ(kindOf({.name = "usb0", .type = 1, .hasDevice = true}), LinkKind::Physical);

    // Loopback, virtual pairs, bridges, bonds, tunnels and links stacked on others never count,
    // whatever their name.
    for (const char* name : {"lo", "veth1a2b3c", "docker0", "virbr0", "ifb0", "wg0", "dummy0"})
        EXPECT_EQ(kindOf({.name = name}), LinkKind::Virtual) << name;
    EXPECT_EQ(kindOf({.name = "loopy", .type = 772}), LinkKind::Virtual);
    EXPECT_EQ(kindOf({.name = "wlan0mon", .type = 803, .hasDevice = true}), LinkKind::Virtual);
    EXPECT_EQ(kindOf({.name = "br-lan", .isBridge = true}), LinkKind::Virtual);
    EXPECT_EQ(kindOf({.name = "eth-bond", .hasDevice = false, .isBond = true}), LinkKind::Virtual);
    EXPECT_EQ(kindOf({.name = "tap0", .isTunTap = true}), LinkKind::Virtual);
    EXPECT_EQ(kindOf({.name = "eth0.100", .isStacked = true}), LinkKind::Virtual);
}

TEST(LinuxNetworkInterfaces, ParsesNetDevRowsAndSkipsBrokenOnes) {
    auto text = linux_fs::readFile(fixtures + "/sysstat/root1/proc/net/dev");
    ASSERT_TRUE(text);
    auto rows = parseNetDev(*text);
    ASSERT_EQ(rows.size(), 6u); // the two header lines are not interfaces
    EXPECT_EQ(rows["wlp5s0"].receivedBytes, 60065311u);
    EXPECT_EQ(rows["wlp5s0"].sentBytes, 2446402u);
    EXPECT_EQ(rows["virbr0-nic"].receivedBytes, 0u);

    rows = parseNetDev("eth0:18446744073709551615 1 0 0 0 0 0 0 42 1 0 0 0 0 0 0\n"
                       "eth1: 5 5 0 0 0 0 0 0\n" // cut short
                       "eth2: x 5 0 0 0 0 0 0 7 5 0 0 0 0 0 0\n"
                       ": 1 1 0 0 0 0 0 0 1 1 0 0 0 0 0 0\n");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows["eth0"].receivedBytes, 18446744073709551615u);
    EXPECT_EQ(rows["eth0"].sentBytes, 42u);
}

TEST(LinuxNetworkInterfaces, CountersComeFromSysfsOrNetDev) {
    // eth0 has a device but no statistics directory; the others are virtual.
    LinuxNetworkInterfaces procfs(fixtures + "/prometheus-procfs");
    auto links = procfs.interfaces();
    ASSERT_TRUE(links);
    ASSERT_EQ(links->size(), 4u);
    for (const auto& link : *links) {
        if (link.name == "eth0") {
            EXPECT_EQ(link.kind, LinkKind::Physical);
            ASSERT_TRUE(link.statistics);
            EXPECT_EQ(link.statistics->receivedBytes, 874354587u);
            EXPECT_EQ(link.statistics->sentBytes, 563352563u);
        } else {
            EXPECT_EQ(link.kind, LinkKind::Virtual) << link.name;
        }
    }
    EXPECT_EQ(readNetworkCounters(procfs), Sums(874354587, 563352563));

    // Sysfs counters are 64-bit and win over /proc/net/dev; a VLAN on eth0 and a bridge do not
    // count, and a stray file in the class directory is no interface.
    ScratchRoot root;
    root.write("proc/net/dev", "eth0: 1 1 0 0 0 0 0 0 1 1 0 0 0 0 0 0\n");
    root.write("sys/class/net/eth0/ifindex", "2\n");
    root.write("sys/class/net/eth0/iflink", "2\n");
    root.link("sys/class/net/eth0/device", "../../../devices/pci0000:00/0000:00:1f.6");
    root.write("sys/class/net/eth0/statistics/rx_bytes", "21474836480\n");
    root.write("sys/class/net/eth0/statistics/tx_bytes", "5368709120\n");
    root.write("sys/class/net/eth0.7/ifindex", "5\n");
    root.write("sys/class/net/eth0.7/iflink", "2\n");
    root.write("sys/class/net/eth0.7/statistics/rx_bytes", "100\n");
    root.write("sys/class/net/eth0.7/statistics/tx_bytes", "100\n");
    root.write("sys/class/net/br0/bridge/forward_delay", "1500\n");
    root.write("sys/class/net/bonding_masters", "bond0\n");
    LinuxNetworkInterfaces scratch(root.str());
    links = scratch.interfaces();
    ASSERT_TRUE(links);
    EXPECT_EQ(links->size(), 3u);
    EXPECT_EQ(readNetworkCounters(scratch), Sums(21474836480, 5368709120));

    // Unreadable statistics fall back to /proc/net/dev.
    root.write("sys/class/net/eth0/statistics/rx_bytes", "garbage");
    EXPECT_EQ(readNetworkCounters(scratch), Sums(1, 1));

    EXPECT_FALSE(LinuxNetworkInterfaces("/nonexistent-root").interfaces());
}

TEST(LinuxNetworkInterfaces, RatesFollowInterfacesThatComeAndGo) {
    // The sysstat series unregisters and re-registers interfaces and resets their counters
    // between roots. One root per second; the sums are of enp* and wlp* rows.
    ScratchRoot root;
    orb::testing::FakePlatform fake;
    fake.platform().network = std::make_unique<LinuxNetworkInterfaces>(root.str());
    auto useRoot = [&](const std::string& name) {
        stdfs::remove_all(root.path() / "proc");
        stdfs::create_directories(root.path() / "proc/net");
        stdfs::copy_file(fixtures + "/sysstat/" + name + "/proc/net/dev",
                         root.path() / "proc/net/dev");
    };
    useRoot("root1");
    SystemMonitor monitor(fake.platform());

    struct Step {
        const char* root;
        double download, upload;
    };
    for (const auto& step :
         {Step{"root2", 10'000, 3'000}, Step{"root3", 0, 0}, // enp6s0 was reset: the sums went down
          Step{"root4", 0, 0},                               // enp6s0 and wlp5s0 reset again
          Step{"root5", 203'857'807, 10'703'009}, Step{"root6", 0, 8'059},
          Step{"root7", 8'003'955, 2'558'557}}) {
        useRoot(step.root);
        fake.clock->advance(1);
        monitor.updateNetwork();
        EXPECT_EQ(monitor.downloadHistory().last(), step.download) << step.root;
        EXPECT_EQ(monitor.uploadHistory().last(), step.upload) << step.root;
    }
    EXPECT_EQ(monitor.downloadSpeed(), "7.6 MB/s");
    EXPECT_EQ(monitor.uploadSpeed(), "2.4 MB/s");

    // The counters vanish altogether: the sums fall to zero, a rate of nothing.
    stdfs::remove_all(root.path() / "proc");
    fake.clock->advance(1);
    monitor.updateNetwork();
    EXPECT_EQ(monitor.downloadSpeed(), "0 B/s");
}

TEST(LinuxNetworkInterfaces, ConstructionPublishesRealRateTexts) {
    // On the real clock some time passes between the baseline and the first update, so the
    // initial text is replaced at once; the fixture's counters do not move.
    auto platform = makeSystemPlatform(fixtures + "/sysstat/root1");
    SystemMonitor monitor(*platform);
    EXPECT_EQ(monitor.downloadSpeed(), "0 B/s");
    EXPECT_EQ(monitor.uploadSpeed(), "0 B/s");
}
