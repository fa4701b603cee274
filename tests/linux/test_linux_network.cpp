// Disks and network links, their throughput, and the Wi-Fi link.
#include "fakes/FakePlatform.h"
#include "fakes/ScratchRoot.h"
#include "monitor/DiskThroughputReader.h"
#include "monitor/NetworkThroughputReader.h"
#include "platform/BlockStorage.h"
#include "platform/linux/LinuxBlockStorage.h"
#include "platform/linux/LinuxNetworkInterfaces.h"
#include "platform/linux/LinuxWiFi.h"
#include "platform/linux/Nl80211.h"
#include "platform/linux/SysFs.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <linux/netlink.h>
#include <linux/nl80211.h>
#include <thread>

using namespace orb;
using namespace orb::platform;
using orb::testing::fixtures;
using orb::testing::ScratchRoot;

namespace {

using Sums = std::pair<std::uint64_t, std::uint64_t>;

const std::string wirelessHeader =
    "Inter-| sta-|   Quality        |   Discarded packets               | Missed | WE\n"
    " face | tus | link level noise |  nwid  crypt   frag  retry   misc | beacon | 22\n";
const std::string netClass = "sys/class/net/";

std::optional<std::pair<int, int>> levels(WiFiQuery& wifi) {
    auto link = wifi.read();
    return link ? std::optional(std::pair{link->rssi, link->noise}) : std::nullopt;
}

// nl80211 answers laid out as the kernel sends them: a netlink header, a generic header and
// attributes (length, type, payload padded to 4 bytes), nested ones holding attributes in turn.
using Bytes = std::vector<std::uint8_t>;
constexpr unsigned wlan = 3; // the interface asked about

template <class T> Bytes raw(T value) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
    return Bytes(bytes, bytes + sizeof value);
}
template <class... Parts> Bytes cat(const Parts&... parts) {
    Bytes out;
    (out.insert(out.end(), parts.begin(), parts.end()), ...);
    return out;
}
template <class... Parts> Bytes attr(std::uint16_t type, const Parts&... payload) {
    auto out = cat(raw(std::uint16_t(4 + cat(payload...).size())), raw(type), payload...);
    out.resize((out.size() + 3) & ~std::size_t(3));
    return out;
}
// A multi-part message (as in a dump) about `ifindex`, `cut` bytes short of its length.
template <class... Parts>
Bytes message(std::uint8_t command, unsigned ifindex, std::size_t cut, const Parts&... attributes) {
    const auto body =
        cat(Bytes{command, 1, 0, 0}, attr(NL80211_ATTR_IFINDEX, raw(ifindex)), attributes...);
    auto out = cat(raw(std::uint32_t(16 + body.size())), raw(std::uint16_t{0x1c}),
                   raw(std::uint16_t{2}), raw(std::uint64_t{1}), body);
    out.resize(out.size() - cut);
    return out;
}
Bytes station(std::int8_t signal, std::uint32_t rate, unsigned ifindex = wlan,
              std::uint8_t command = NL80211_CMD_NEW_STATION, std::size_t cut = 0) {
    return message(
        command, ifindex, cut,
        attr(NL80211_ATTR_STA_INFO | NLA_F_NESTED, attr(NL80211_STA_INFO_SIGNAL, raw(signal)),
             attr(NL80211_STA_INFO_TX_BITRATE, attr(NL80211_RATE_INFO_BITRATE32, raw(rate)))));
}
Bytes survey(std::int8_t noise, bool inUse) {
    return message(NL80211_CMD_NEW_SURVEY_RESULTS, wlan, 0,
                   attr(NL80211_ATTR_SURVEY_INFO, attr(NL80211_SURVEY_INFO_FREQUENCY, raw(5180u)),
                        attr(NL80211_SURVEY_INFO_NOISE, raw(noise)),
                        inUse ? attr(NL80211_SURVEY_INFO_IN_USE) : Bytes{}));
}

} // namespace

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
    for (const auto& [name, index, onIndex, received, sent] : links)
        root.writeWords(netClass + name, "ifindex=" + index + " iflink=" + onIndex +
                                             " statistics/rx_bytes=" + received +
                                             " statistics/tx_bytes=" + sent);
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
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.root);
        useRoot(step.root);
        clock.advance(1);
        const auto rates = networkReader.read().value();
        const auto disk = diskReader.read().value();
        EXPECT_EQ(std::tuple(rates.received, rates.sent, disk.read, disk.written),
                  std::tuple(step.download, step.upload, step.read, step.written));
    }
}

TEST(WiFiChannel, FrequenciesOfEachBandAndNoneOutsideThem) {
    const std::pair<int, int> cases[] = {{2407, 0}, {2412, 1},  {2484, 14}, {2500, 0}, {4920, 184},
                                         {5000, 0}, {5180, 36}, {5935, 2},  {5955, 1}, {7115, 233},
                                         {7200, 0}, {58320, 1}, {70201, 0}, {-2412, 0}};
    for (const auto& [mhz, channel] : cases)
        EXPECT_EQ(channelFromFrequency(mhz), channel) << mhz;
}

TEST(WiFiStats, KeepsOnlyDbmLevelsAndSurvivesGarbage) {
    // -256 is the driver's "unknown"; relative levels are no dBm.
    const auto lines =
        parseWirelessStats(wirelessHeader + "  wlan0: 0000   70.  -40.  -256    0 0 0 0 0 0\n"
                                            "wlp2s0: 0000   54   -67   -95.    0 0 0 0 0 0\n"
                                            "wlan1: 0000   70.\n"         // truncated
                                            "wlan2: zz yy. -4x0. --50.\n" // not numbers
                                            ": 0000 70. -40. -90.\n"      // no name
                                            "no colon at all -40 -90\n"
                                            "wlan4: 0000 70. -42."); // no newline
    std::string read; // interface:signal/noise, 0 for none
    for (const auto& l : lines)
        read += l.interface + ":" + std::to_string(l.signal.value_or(0)) + "/" +
                std::to_string(l.noise.value_or(0)) + " ";
    EXPECT_EQ(read, "wlan0:-40/0 wlp2s0:-67/-95 wlan1:0/0 wlan2:0/0 wlan4:-42/0 ");
}

TEST(WiFiQuery, PrefersTheInterfaceThatIsUpElseTheStatisticsFile) {
    ScratchRoot scratch(
        {{netClass + "eth0/operstate", "up"},
         {netClass + "wlan0/operstate", "down"},
         {netClass + "wlan0/wireless/link", ""},
         {netClass + "wlp2s0/operstate", "up"},
         {netClass + "wlp2s0/phy80211", ""},
         {"proc/net/wireless", wirelessHeader + " wlan0: 0000 30. -80. -95. 0 0 0 0 0 0\n"
                                                "wlp2s0: 0000 70. -40. -256 0 0 0 0 0 0\n"}});
    WiFiQuery wifi(scratch.str());
    EXPECT_EQ(levels(wifi), std::pair(-40, 0));
    // Nothing up any more: the first wireless interface by name.
    scratch.write(netClass + "wlp2s0/operstate", "dormant\n");
    EXPECT_EQ(levels(wifi), std::pair(-80, -95));
    // The statistics file goes, as when the driver does: nothing to report.
    std::filesystem::remove(scratch.path() / "proc/net/wireless");
    EXPECT_EQ(levels(wifi), std::pair(0, 0));

    // Without a wireless interface in sysfs the statistics file decides.
    ScratchRoot wired({{netClass + "eth0/operstate", "up"}, {"proc/net/wireless", wirelessHeader}});
    WiFiQuery query(wired.str()), relative(std::string(ORB_FIXTURES_DIR) + "/prometheus-procfs");
    EXPECT_EQ(levels(query), std::nullopt);
    // The first listed interface; the captured file's relative levels do not pass as dBm.
    EXPECT_EQ(levels(relative), std::pair(0, 0));
    wired.write("proc/net/wireless",
                wirelessHeader + "wlan1: 0000 50. -55. -90.\nwlan0: 0 7. -4. -9.\n");
    EXPECT_EQ(levels(query), std::pair(-55, -90));
}

TEST(LinuxWiFi, AnswersWithTheLastReadingItsThreadTook) {
    ScratchRoot scratch(
        {{netClass + "wlan0/operstate", "up"}, {netClass + "wlan0/wireless/link", ""}});
    LinuxWiFi wifi(scratch.str());
    // Each call asks for a fresh reading and answers at once with the latest one taken.
    for (int signal : {-80, -60}) {
        scratch.write("proc/net/wireless", wirelessHeader + " wlan0: 0000 30. " +
                                               std::to_string(signal) + ". -95. 0 0 0 0 0 0\n");
        std::optional<WiFiLink> link;
        for (int i = 0; i < 1000 && !((link = wifi.defaultInterface()) && link->rssi == signal);
             ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(link ? link->rssi : 0, signal);
    }
}

TEST(BackgroundQuery, ANothingToAskReadingIsTakenAgainOnlyOncePerInterval) {
    // As on a machine without Wi-Fi or an NVIDIA card: the worker is not woken on every call only
    // to find nothing again. A call before the first reading completed may still ask once more.
    for (const bool idle : {true, false}) {
        SCOPED_TRACE(idle);
        std::atomic<int> reads = 0;
        BackgroundQuery<int> query([&] { return ++reads; }, "test-query",
                                   [idle](int) { return idle; }, std::chrono::hours(1));
        for (int i = 0; i < (idle ? 60 : 1000) && (idle || reads < 3); ++i) {
            query.take();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (idle)
            EXPECT_LE(reads, 2);
        else
            EXPECT_GE(reads, 3);
    }
}

TEST(Nl80211Message, TakesFrequencySignalRateAndNoiseOfTheInterface) {
    using Reading = std::tuple<std::optional<int>, std::optional<int>, std::optional<double>,
                               std::optional<int>>;
    const struct {
        const char* what;
        std::vector<Bytes> messages;
        Reading expected;
    } cases[] = {
        {"interface, station dump (the access point first), survey (the channel in use)",
         {message(NL80211_CMD_NEW_INTERFACE, wlan, 0, attr(NL80211_ATTR_WIPHY_FREQ, raw(5180u))),
          station(-61, 8667), station(-75, 60), survey(-80, false), survey(-92, true)},
         {5180, -61, 866.7, -92}},
        {"older drivers: the average signal only, and a 16-bit rate",
         {message(NL80211_CMD_NEW_STATION, wlan, 0,
                  attr(NL80211_ATTR_STA_INFO,
                       attr(NL80211_STA_INFO_SIGNAL_AVG, raw(std::int8_t{-70})),
                       attr(NL80211_STA_INFO_TX_BITRATE,
                            attr(NL80211_RATE_INFO_BITRATE, raw(std::uint16_t{540})))))},
         {std::nullopt, -70, 54.0, std::nullopt}},
        {"another interface, another command, cut short, shorter than its headers, no byte",
         {station(-40, 10, wlan + 1), station(-40, 10, wlan, NL80211_CMD_GET_STATION),
          station(-40, 10, wlan, NL80211_CMD_NEW_STATION, 3), Bytes(8),
          message(NL80211_CMD_NEW_STATION, wlan, 0,
                  attr(NL80211_ATTR_STA_INFO, attr(NL80211_STA_INFO_SIGNAL)))},
         {}},
    };
    for (const auto& c : cases) {
        Nl80211Reading r;
        for (const auto& m : c.messages)
            readNl80211Message(m.data(), m.size(), wlan, r);
        EXPECT_EQ(Reading(r.frequency, r.signal, r.txRate, r.noise), c.expected) << c.what;
    }
}
