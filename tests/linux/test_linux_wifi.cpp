#include "fakes/ScratchRoot.h"
#include "platform/linux/LinuxWiFi.h"
#include "platform/linux/Nl80211.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <net/if.h>
#include <string>
#include <unistd.h>

using orb::platform::channelFromFrequency;
using orb::platform::LinuxWiFi;
using orb::platform::Nl80211Client;
using orb::platform::parseWirelessStats;

using orb::testing::ScratchRoot;

namespace {

namespace stdfs = std::filesystem;

const std::string kHeader =
    "Inter-| sta-|   Quality        |   Discarded packets               | Missed | WE\n"
    " face | tus | link level noise |  nwid  crypt   frag  retry   misc | beacon | 22\n";

// A sysfs network interface; `marker` is "wireless", "phy80211" or "" for a wired one.
void addInterface(ScratchRoot& root, const std::string& name, const std::string& marker,
                  const std::string& operstate) {
    const auto dir = "sys/class/net/" + name;
    root.write(dir + "/operstate", operstate + "\n");
    if (marker == "wireless")
        stdfs::create_directories(root.path() / dir / "wireless");
    else if (marker == "phy80211")
        root.link(dir + "/phy80211", "../../ieee80211/phy0");
}

TEST(WiFiChannel, FrequenciesOfEachBand) {
    EXPECT_EQ(channelFromFrequency(2412), 1);
    EXPECT_EQ(channelFromFrequency(2472), 13);
    EXPECT_EQ(channelFromFrequency(2484), 14);
    EXPECT_EQ(channelFromFrequency(5180), 36);
    EXPECT_EQ(channelFromFrequency(5825), 165);
    EXPECT_EQ(channelFromFrequency(5935), 2);
    EXPECT_EQ(channelFromFrequency(5955), 1);
    EXPECT_EQ(channelFromFrequency(6115), 33);
    EXPECT_EQ(channelFromFrequency(7115), 233);
    EXPECT_EQ(channelFromFrequency(58320), 1);
    EXPECT_EQ(channelFromFrequency(64800), 4);
}

TEST(WiFiChannel, FrequenciesOutsideTheBandsHaveNoChannel) {
    for (int mhz : {0, -1, -2412, 1, 2400, 2407, 2500, 3000, 5000, 7200, 45000, 70201, 1 << 30})
        EXPECT_EQ(channelFromFrequency(mhz), 0) << mhz;
}

TEST(WiFiStats, ReadsDbmLevelsAndDropsUnknownOrRelativeOnes) {
    auto lines = parseWirelessStats(
        kHeader + "  wlan0: 0000   70.  -40.  -256        0      0      0      0      0        0\n"
                  "wlp2s0: 0000   54   -67   -95.       0      0      0      0      0        0\n"
                  " wlan9: 0001    2.    3.    4.       5      6      7      8      9       10\n");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].interface, "wlan0");
    EXPECT_EQ(lines[0].signal, -40);
    EXPECT_EQ(lines[0].noise, std::nullopt); // -256: the driver does not know
    EXPECT_EQ(lines[1].interface, "wlp2s0");
    EXPECT_EQ(lines[1].signal, -67);
    EXPECT_EQ(lines[1].noise, -95);
    EXPECT_EQ(lines[2].signal, std::nullopt); // relative levels are not dBm
    EXPECT_EQ(lines[2].noise, std::nullopt);
}

TEST(WiFiStats, SurvivesGarbage) {
    auto lines = parseWirelessStats(kHeader + "wlan0: 0000   70.\n"         // truncated
                                              "wlan1: zz yy. -4x0. --50.\n" // not numbers
                                              "wlan2: 0 1 -99999999999999999999999. -0.\n"
                                              ": 0000 70. -40. -90.\n" // no name
                                              "no colon at all -40 -90\n"
                                              "wlan3:0000 70. -41. -91.\n" // no space
                                              "wlan4: 0000 70. -42.");     // no newline
    ASSERT_EQ(lines.size(), 5u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(lines[i].signal, std::nullopt) << lines[i].interface;
        EXPECT_EQ(lines[i].noise, std::nullopt) << lines[i].interface;
    }
    EXPECT_EQ(lines[3].interface, "wlan3");
    EXPECT_EQ(lines[3].signal, -41);
    EXPECT_EQ(lines[3].noise, -91);
    EXPECT_EQ(lines[4].interface, "wlan4");
    EXPECT_EQ(lines[4].signal, -42);
    EXPECT_EQ(lines[4].noise, std::nullopt);

    EXPECT_TRUE(parseWirelessStats("").empty());
    EXPECT_TRUE(parseWirelessStats(kHeader).empty());
    EXPECT_TRUE(parseWirelessStats(std::string("\0\0\xff\xfe:\n\0", 7)).size() <= 1);
}

TEST(LinuxWiFi, NoWirelessInterfaceMeansNoReading) {
    ScratchRoot scratch;
    EXPECT_FALSE(LinuxWiFi(scratch.str()).defaultInterface()) << "empty root";

    addInterface(scratch, "eth0", "", "up");
    addInterface(scratch, "lo", "", "unknown");
    scratch.write("proc/net/wireless", kHeader);
    EXPECT_FALSE(LinuxWiFi(scratch.str()).defaultInterface()) << "wired interfaces only";

    EXPECT_FALSE(LinuxWiFi("/nonexistent/orbimeter-root").defaultInterface());
}

TEST(LinuxWiFi, PrefersTheInterfaceThatIsUpAndRereadsEachTime) {
    ScratchRoot scratch;
    addInterface(scratch, "eth0", "", "up");
    addInterface(scratch, "wlan0", "wireless", "down");
    addInterface(scratch, "wlp2s0", "phy80211", "up");
    scratch.write("proc/net/wireless", kHeader + " wlan0: 0000   30.  -80.  -95.   0 0 0 0 0 0\n"
                                                 "wlp2s0: 0000   70.  -40.  -256   0 0 0 0 0 0\n");
    LinuxWiFi wifi(scratch.str());

    auto link = wifi.defaultInterface();
    ASSERT_TRUE(link);
    EXPECT_EQ(link->rssi, -40);
    EXPECT_EQ(link->noise, 0);
    EXPECT_EQ(link->txRate, 0);
    EXPECT_EQ(link->channel, 0);

    // Nothing up any more: the first wireless interface by name.
    scratch.write("sys/class/net/wlp2s0/operstate", "dormant\n");
    link = wifi.defaultInterface();
    ASSERT_TRUE(link);
    EXPECT_EQ(link->rssi, -80);
    EXPECT_EQ(link->noise, -95);

    // The interface leaves the statistics file (as when its driver goes away): still a Wi-Fi
    // interface, with nothing to report.
    scratch.write("proc/net/wireless", kHeader);
    link = wifi.defaultInterface();
    ASSERT_TRUE(link);
    EXPECT_EQ(link->rssi, 0);
    stdfs::remove(scratch.str() + "/proc/net/wireless");
    EXPECT_TRUE(wifi.defaultInterface());
}

TEST(LinuxWiFi, StatisticsFileAloneNamesAnInterface) {
    ScratchRoot scratch;
    addInterface(scratch, "eth0", "", "up");
    scratch.write("proc/net/wireless", kHeader + "garbage\n"
                                                 "  wlan1: 0000   50.  -55.  -90.  0 0 0 0 0 0\n"
                                                 "  wlan0: 0000   70.  -40.  -92.  0 0 0 0 0 0\n");
    auto link = LinuxWiFi(scratch.str()).defaultInterface();
    ASSERT_TRUE(link);
    EXPECT_EQ(link->rssi, -55);
    EXPECT_EQ(link->noise, -90);
}

TEST(LinuxWiFi, CapturedStatisticsWithRelativeLevels) {
    auto link = LinuxWiFi(std::string(ORB_FIXTURES_DIR) + "/prometheus-procfs").defaultInterface();
    ASSERT_TRUE(link);
    // The levels there are not dBm, so none is reported as such.
    EXPECT_EQ(link->rssi, 0);
    EXPECT_EQ(link->noise, 0);
    EXPECT_EQ(link->txRate, 0);
    EXPECT_EQ(link->channel, 0);
}

TEST(LinuxWiFi, LiveMachineReadingsArePlausible) {
    LinuxWiFi wifi;
    for (int i = 0; i < 3; ++i) {
        auto link = wifi.defaultInterface();
        if (!link)
            continue;
        EXPECT_GE(link->rssi, -150);
        EXPECT_LE(link->rssi, 0);
        EXPECT_GE(link->noise, -150);
        EXPECT_LE(link->noise, 0);
        EXPECT_GE(link->txRate, 0);
        EXPECT_LT(link->txRate, 100000);
        EXPECT_GE(link->channel, 0);
        EXPECT_LE(link->channel, 233);
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
