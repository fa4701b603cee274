#include "fakes/ScratchRoot.h"
#include "platform/linux/LinuxWiFi.h"
#include "platform/linux/Nl80211.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <net/if.h>
#include <string>

using namespace orb::platform;
using orb::testing::ScratchRoot;

namespace {

const std::string kHeader =
    "Inter-| sta-|   Quality        |   Discarded packets               | Missed | WE\n"
    " face | tus | link level noise |  nwid  crypt   frag  retry   misc | beacon | 22\n";

// A sysfs network interface; `marker` is "wireless", "phy80211" or "" for a wired one.
void addInterface(ScratchRoot& root, const std::string& name, const std::string& marker,
                  const std::string& operstate) {
    const auto dir = "sys/class/net/" + name;
    root.write(dir + "/operstate", operstate + "\n");
    if (marker == "wireless")
        std::filesystem::create_directories(root.path() / dir / "wireless");
    else if (marker == "phy80211")
        root.link(dir + "/phy80211", "../../ieee80211/phy0");
}

TEST(WiFiChannel, FrequenciesOfEachBandAndNoneOutsideThem) {
    const std::pair<int, int> cases[] = {
        {2412, 1}, {2472, 13}, {2484, 14},  {5180, 36}, {5825, 165}, {5935, 2},
        {5955, 1}, {6115, 33}, {7115, 233}, {58320, 1}, {64800, 4},  {0, 0},
        {-1, 0},   {-2412, 0}, {1, 0},      {2400, 0},  {2407, 0},   {2500, 0},
        {3000, 0}, {5000, 0},  {7200, 0},   {45000, 0}, {70201, 0},  {1 << 30, 0}};
    for (const auto& [mhz, channel] : cases)
        EXPECT_EQ(channelFromFrequency(mhz), channel) << mhz;
}

TEST(WiFiStats, KeepsOnlyDbmLevelsAndSurvivesGarbage) {
    const auto lines = parseWirelessStats(
        kHeader + "  wlan0: 0000   70.  -40.  -256        0      0      0      0      0        0\n"
                  "wlp2s0: 0000   54   -67   -95.       0      0      0      0      0        0\n"
                  " wlan9: 0001    2.    3.    4.       5      6      7      8      9       10\n"
                  "wlan1: 0000   70.\n"         // truncated
                  "wlan2: zz yy. -4x0. --50.\n" // not numbers
                  "wlan5: 0 1 -99999999999999999999999. -0.\n"
                  ": 0000 70. -40. -90.\n" // no name
                  "no colon at all -40 -90\n"
                  "wlan3:0000 70. -41. -91.\n" // no space
                  "wlan4: 0000 70. -42.");     // no newline
    // -256 is the driver's "unknown"; wlan9's levels are relative, not dBm.
    const WirelessStatsLine expected[] = {
        {"wlan0", -40, {}}, {"wlp2s0", -67, -95}, {"wlan9", {}, {}},   {"wlan1", {}, {}},
        {"wlan2", {}, {}},  {"wlan5", {}, {}},    {"wlan3", -41, -91}, {"wlan4", -42, {}}};
    ASSERT_EQ(lines.size(), std::size(expected));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].interface, expected[i].interface);
        EXPECT_EQ(lines[i].signal, expected[i].signal) << expected[i].interface;
        EXPECT_EQ(lines[i].noise, expected[i].noise) << expected[i].interface;
    }

    EXPECT_TRUE(parseWirelessStats("").empty());
    EXPECT_TRUE(parseWirelessStats(kHeader).empty());
    EXPECT_LE(parseWirelessStats(std::string("\0\0\xff\xfe:\n\0", 7)).size(), 1u);
}

// The default interface's signal and noise levels, if there is one.
std::optional<std::pair<int, int>> levels(LinuxWiFi& wifi) {
    auto link = wifi.defaultInterface();
    return link ? std::optional(std::pair{link->rssi, link->noise}) : std::nullopt;
}
std::optional<std::pair<int, int>> levels(const std::string& root) {
    LinuxWiFi wifi(root);
    return levels(wifi);
}

TEST(LinuxWiFi, NoWirelessInterfaceMeansNoReading) {
    ScratchRoot scratch;
    EXPECT_EQ(levels(scratch.str()), std::nullopt) << "empty root";
    addInterface(scratch, "eth0", "", "up");
    addInterface(scratch, "lo", "", "unknown");
    scratch.write("proc/net/wireless", kHeader);
    EXPECT_EQ(levels(scratch.str()), std::nullopt) << "wired interfaces only";
    EXPECT_EQ(levels("/nonexistent/orbimeter-root"), std::nullopt);
}

TEST(LinuxWiFi, PrefersTheInterfaceThatIsUpAndRereadsEachTime) {
    ScratchRoot scratch;
    addInterface(scratch, "eth0", "", "up");
    addInterface(scratch, "wlan0", "wireless", "down");
    addInterface(scratch, "wlp2s0", "phy80211", "up");
    scratch.write("proc/net/wireless", kHeader + " wlan0: 0000   30.  -80.  -95.   0 0 0 0 0 0\n"
                                                 "wlp2s0: 0000   70.  -40.  -256   0 0 0 0 0 0\n");
    LinuxWiFi wifi(scratch.str());
    EXPECT_EQ(levels(wifi), std::pair(-40, 0));

    // Nothing up any more: the first wireless interface by name.
    scratch.write("sys/class/net/wlp2s0/operstate", "dormant\n");
    EXPECT_EQ(levels(wifi), std::pair(-80, -95));

    // The interface leaves the statistics file (as when its driver goes away), or the file goes:
    // still a Wi-Fi interface, with nothing to report.
    scratch.write("proc/net/wireless", kHeader);
    EXPECT_EQ(levels(wifi), std::pair(0, 0));
    std::filesystem::remove(scratch.path() / "proc/net/wireless");
    EXPECT_EQ(levels(wifi), std::pair(0, 0));
}

TEST(LinuxWiFi, StatisticsFileAloneNamesAnInterface) {
    ScratchRoot scratch;
    addInterface(scratch, "eth0", "", "up");
    scratch.write("proc/net/wireless", kHeader + "garbage\n"
                                                 "  wlan1: 0000   50.  -55.  -90.  0 0 0 0 0 0\n"
                                                 "  wlan0: 0000   70.  -40.  -92.  0 0 0 0 0 0\n");
    EXPECT_EQ(levels(scratch.str()), std::pair(-55, -90));
    // A captured file with relative levels: none of them passes as dBm.
    EXPECT_EQ(levels(std::string(ORB_FIXTURES_DIR) + "/prometheus-procfs"), std::pair(0, 0));
}

TEST(LinuxWiFi, LiveMachineReadingsArePlausible) {
    LinuxWiFi wifi;
    for (int i = 0; i < 3; ++i) {
        if (auto link = wifi.defaultInterface()) {
            EXPECT_TRUE(link->rssi >= -150 && link->rssi <= 0) << link->rssi;
            EXPECT_TRUE(link->noise >= -150 && link->noise <= 0) << link->noise;
            EXPECT_TRUE(link->txRate >= 0 && link->txRate < 100000) << link->txRate;
            EXPECT_TRUE(link->channel >= 0 && link->channel <= 233) << link->channel;
        }
    }
}

TEST(LinuxWiFi, Nl80211AnswersPromptlyForInterfacesItDoesNotKnow) {
    // The loopback interface is never wireless; index 0 and a huge index name no interface. With
    // or without nl80211 in this network namespace, each read must come back empty and quickly,
    // and the client must keep working after the kernel's refusals.
    Nl80211Client client;
    const unsigned loopback = ::if_nametoindex("lo");
    for (unsigned index : {loopback, 0u, 0x7ffffff0u, loopback}) {
        auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(client.read(index)) << index;
        EXPECT_LT(std::chrono::steady_clock::now() - start,
                  Nl80211Client::kReplyBudget + std::chrono::milliseconds(500))
            << index;
    }
}

} // namespace
