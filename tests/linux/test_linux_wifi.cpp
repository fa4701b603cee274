#include "fakes/ScratchRoot.h"
#include "platform/linux/LinuxWiFi.h"
#include "platform/linux/Nl80211.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <linux/netlink.h>
#include <linux/nl80211.h>
#include <net/if.h>
#include <string>
#include <thread>

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
std::optional<std::pair<int, int>> levels(WiFiQuery& wifi) {
    auto link = wifi.read();
    return link ? std::optional(std::pair{link->rssi, link->noise}) : std::nullopt;
}
std::optional<std::pair<int, int>> levels(const std::string& root) {
    WiFiQuery wifi(root);
    return levels(wifi);
}

TEST(WiFiQuery, PrefersTheInterfaceThatIsUpAndRereadsEachTime) {
    ScratchRoot scratch;
    addInterface(scratch, "eth0", "", "up");
    addInterface(scratch, "wlan0", "wireless", "down");
    addInterface(scratch, "wlp2s0", "phy80211", "up");
    scratch.write("proc/net/wireless", kHeader + " wlan0: 0000   30.  -80.  -95.   0 0 0 0 0 0\n"
                                                 "wlp2s0: 0000   70.  -40.  -256   0 0 0 0 0 0\n");
    WiFiQuery wifi(scratch.str());
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

TEST(WiFiQuery, WithoutAWirelessInterfaceInSysfsTheStatisticsFileDecides) {
    ScratchRoot wired, listed;
    addInterface(wired, "eth0", "", "up");
    addInterface(wired, "lo", "", "unknown");
    wired.write("proc/net/wireless", kHeader);
    addInterface(listed, "eth0", "", "up");
    listed.write("proc/net/wireless", kHeader + "garbage\n"
                                                "  wlan1: 0000   50.  -55.  -90.  0 0 0 0 0 0\n"
                                                "  wlan0: 0000   70.  -40.  -92.  0 0 0 0 0 0\n");
    EXPECT_EQ(levels(wired.str()), std::nullopt);
    EXPECT_EQ(levels("/nonexistent/orbimeter-root"), std::nullopt);
    EXPECT_EQ(levels(listed.str()), std::pair(-55, -90));
    // A captured file with relative levels: none of them passes as dBm.
    EXPECT_EQ(levels(std::string(ORB_FIXTURES_DIR) + "/prometheus-procfs"), std::pair(0, 0));
}

TEST(LinuxWiFi, AnswersWithTheLastReadingItsThreadTook) {
    ScratchRoot scratch;
    addInterface(scratch, "wlan0", "wireless", "up");
    scratch.write("proc/net/wireless", kHeader + " wlan0: 0000   30.  -80.  -95.   0 0 0 0 0 0\n");
    LinuxWiFi wifi(scratch.str());
    // Each call asks for a fresh reading and answers at once with the latest one taken.
    auto waitFor = [&](std::pair<int, int> expected) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        std::optional<WiFiLink> link;
        while (std::chrono::steady_clock::now() < deadline) {
            link = wifi.defaultInterface();
            if (link && std::pair(link->rssi, link->noise) == expected)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    };
    EXPECT_TRUE(waitFor({-80, -95}));
    scratch.write("proc/net/wireless", kHeader + " wlan0: 0000   30.  -60.  -90.   0 0 0 0 0 0\n");
    EXPECT_TRUE(waitFor({-60, -90}));
}

// nl80211 answers laid out as the kernel sends them: a netlink header, a generic header and
// attributes (length, type, payload padded to 4 bytes), nested ones holding attributes in turn.
class Attributes {
public:
    Attributes& u8(std::uint16_t type, std::int8_t value) { return put(type, &value, 1); }
    Attributes& u16(std::uint16_t type, std::uint16_t value) { return put(type, &value, 2); }
    Attributes& u32(std::uint16_t type, std::uint32_t value) { return put(type, &value, 4); }
    Attributes& flag(std::uint16_t type) { return put(type, nullptr, 0); }
    Attributes& nest(std::uint16_t type, const Attributes& inner) {
        return put(type, inner.bytes_.data(), inner.bytes_.size());
    }
    // A message of the given command about these attributes; `cut` bytes short of its length.
    std::vector<std::uint8_t> message(std::uint8_t command, std::size_t cut = 0) const {
        Attributes whole;
        const std::uint32_t length = 16 + 4 + bytes_.size();
        const std::uint16_t family = 0x1c, flags = 2; // multi-part, as in a dump
        const std::uint32_t sequence = 1, port = 0;
        whole.raw(&length, 4).raw(&family, 2).raw(&flags, 2).raw(&sequence, 4).raw(&port, 4);
        const std::uint8_t genl[4] = {command, 1, 0, 0};
        whole.raw(genl, 4).raw(bytes_.data(), bytes_.size());
        whole.bytes_.resize(whole.bytes_.size() - cut);
        return whole.bytes_;
    }

private:
    Attributes& raw(const void* data, std::size_t size) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        bytes_.insert(bytes_.end(), bytes, bytes + size);
        return *this;
    }
    Attributes& put(std::uint16_t type, const void* payload, std::size_t size) {
        const auto length = static_cast<std::uint16_t>(4 + size);
        raw(&length, 2).raw(&type, 2).raw(payload, size);
        bytes_.resize((bytes_.size() + 3) & ~std::size_t(3));
        return *this;
    }
    std::vector<std::uint8_t> bytes_;
};

constexpr unsigned wlan = 3; // the interface asked about

TEST(Nl80211Message, TakesFrequencySignalRateAndNoiseOfTheInterface) {
    auto readAll = [](std::initializer_list<std::vector<std::uint8_t>> messages) {
        Nl80211Reading reading;
        for (const auto& message : messages)
            readNl80211Message(message.data(), message.size(), wlan, reading);
        return std::tuple(reading.frequency, reading.signal, reading.txRate, reading.noise);
    };
    const auto station = [](int signal, std::uint32_t rate100kbits, unsigned ifindex = wlan) {
        return Attributes()
            .u32(NL80211_ATTR_IFINDEX, ifindex)
            .nest(NL80211_ATTR_STA_INFO | NLA_F_NESTED,
                  Attributes()
                      .u8(NL80211_STA_INFO_SIGNAL, static_cast<std::int8_t>(signal))
                      .nest(NL80211_STA_INFO_TX_BITRATE,
                            Attributes().u32(NL80211_RATE_INFO_BITRATE32, rate100kbits)));
    };
    const auto survey = [](int noise, bool inUse) {
        Attributes info;
        info.u32(NL80211_SURVEY_INFO_FREQUENCY, 5180)
            .u8(NL80211_SURVEY_INFO_NOISE, static_cast<std::int8_t>(noise));
        if (inUse)
            info.flag(NL80211_SURVEY_INFO_IN_USE);
        return Attributes().u32(NL80211_ATTR_IFINDEX, wlan).nest(NL80211_ATTR_SURVEY_INFO, info);
    };

    // An interface answer, a station dump (its first entry, the access point, counts) and a
    // survey dump (only the channel in use counts).
    EXPECT_EQ(readAll({Attributes()
                           .u32(NL80211_ATTR_IFINDEX, wlan)
                           .u32(NL80211_ATTR_WIPHY_FREQ, 5180)
                           .message(NL80211_CMD_NEW_INTERFACE),
                       station(-61, 8667).message(NL80211_CMD_NEW_STATION),
                       station(-75, 60).message(NL80211_CMD_NEW_STATION),
                       survey(-80, false).message(NL80211_CMD_NEW_SURVEY_RESULTS),
                       survey(-92, true).message(NL80211_CMD_NEW_SURVEY_RESULTS)}),
              std::tuple(5180, -61, 866.7, -92));

    // Older drivers: the average signal only, and a 16-bit rate.
    EXPECT_EQ(readAll({Attributes()
                           .u32(NL80211_ATTR_IFINDEX, wlan)
                           .nest(NL80211_ATTR_STA_INFO,
                                 Attributes()
                                     .u8(NL80211_STA_INFO_SIGNAL_AVG, -70)
                                     .nest(NL80211_STA_INFO_TX_BITRATE,
                                           Attributes().u16(NL80211_RATE_INFO_BITRATE, 540)))
                           .message(NL80211_CMD_NEW_STATION)}),
              std::tuple(std::nullopt, -70, 54.0, std::nullopt));

    // Another interface, another command, a message cut short, one shorter than its headers,
    // a signal without its byte: nothing.
    EXPECT_EQ(
        readAll({station(-40, 10, wlan + 1).message(NL80211_CMD_NEW_STATION),
                 station(-40, 10).message(NL80211_CMD_GET_STATION),
                 station(-40, 10).message(NL80211_CMD_NEW_STATION, 3), std::vector<std::uint8_t>(8),
                 Attributes()
                     .u32(NL80211_ATTR_IFINDEX, wlan)
                     .nest(NL80211_ATTR_STA_INFO, Attributes().flag(NL80211_STA_INFO_SIGNAL))
                     .message(NL80211_CMD_NEW_STATION)}),
        std::tuple(std::nullopt, std::nullopt, std::nullopt, std::nullopt));
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
