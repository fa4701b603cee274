#include "fakes/ScratchRoot.h"
#include "platform/linux/LinuxWiFi.h"
#include "platform/linux/Nl80211.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <linux/netlink.h>
#include <linux/nl80211.h>
#include <string>
#include <thread>

using namespace orb::platform;
using orb::testing::ScratchRoot;

const std::string kHeader =
    "Inter-| sta-|   Quality        |   Discarded packets               | Missed | WE\n"
    " face | tus | link level noise |  nwid  crypt   frag  retry   misc | beacon | 22\n";

const std::string kNet = "sys/class/net/";

static std::optional<std::pair<int, int>> levels(WiFiQuery& wifi) {
    auto link = wifi.read();
    return link ? std::optional(std::pair{link->rssi, link->noise}) : std::nullopt;
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
        parseWirelessStats(kHeader + "  wlan0: 0000   70.  -40.  -256    0 0 0 0 0 0\n"
                                     "wlp2s0: 0000   54   -67   -95.    0 0 0 0 0 0\n"
                                     "wlan1: 0000   70.\n"         // truncated
                                     "wlan2: zz yy. -4x0. --50.\n" // not numbers
                                     ": 0000 70. -40. -90.\n"      // no name
                                     "no colon at all -40 -90\n"
                                     "wlan4: 0000 70. -42."); // no newline
    std::string read;                                         // interface:signal/noise, 0 for none
    for (const auto& l : lines)
        read += l.interface + ":" + std::to_string(l.signal.value_or(0)) + "/" +
                std::to_string(l.noise.value_or(0)) + " ";
    EXPECT_EQ(read, "wlan0:-40/0 wlp2s0:-67/-95 wlan1:0/0 wlan2:0/0 wlan4:-42/0 ");
}

TEST(WiFiQuery, PrefersTheInterfaceThatIsUpElseTheStatisticsFile) {
    ScratchRoot scratch(
        {{kNet + "eth0/operstate", "up"},
         {kNet + "wlan0/operstate", "down"},
         {kNet + "wlan0/wireless/link", ""},
         {kNet + "wlp2s0/operstate", "up"},
         {kNet + "wlp2s0/phy80211", ""},
         {"proc/net/wireless", kHeader + " wlan0: 0000 30. -80. -95. 0 0 0 0 0 0\n"
                                         "wlp2s0: 0000 70. -40. -256 0 0 0 0 0 0\n"}});
    WiFiQuery wifi(scratch.str());
    EXPECT_EQ(levels(wifi), std::pair(-40, 0));
    // Nothing up any more: the first wireless interface by name.
    scratch.write(kNet + "wlp2s0/operstate", "dormant\n");
    EXPECT_EQ(levels(wifi), std::pair(-80, -95));
    // The statistics file goes, as when the driver does: nothing to report.
    std::filesystem::remove(scratch.path() / "proc/net/wireless");
    EXPECT_EQ(levels(wifi), std::pair(0, 0));

    // Without a wireless interface in sysfs the statistics file decides.
    ScratchRoot wired({{kNet + "eth0/operstate", "up"}, {"proc/net/wireless", kHeader}});
    WiFiQuery query(wired.str()), relative(std::string(ORB_FIXTURES_DIR) + "/prometheus-procfs");
    EXPECT_EQ(levels(query), std::nullopt);
    // The first listed interface; the captured file's relative levels do not pass as dBm.
    EXPECT_EQ(levels(relative), std::pair(0, 0));
    wired.write("proc/net/wireless", kHeader + "wlan1: 0000 50. -55. -90.\nwlan0: 0 7. -4. -9.\n");
    EXPECT_EQ(levels(query), std::pair(-55, -90));
}

TEST(LinuxWiFi, AnswersWithTheLastReadingItsThreadTook) {
    ScratchRoot scratch({{kNet + "wlan0/operstate", "up"}, {kNet + "wlan0/wireless/link", ""}});
    LinuxWiFi wifi(scratch.str());
    // Each call asks for a fresh reading and answers at once with the latest one taken.
    for (int signal : {-80, -60}) {
        scratch.write("proc/net/wireless", kHeader + " wlan0: 0000 30. " + std::to_string(signal) +
                                               ". -95. 0 0 0 0 0 0\n");
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

// nl80211 answers laid out as the kernel sends them: a netlink header, a generic header and
// attributes (length, type, payload padded to 4 bytes), nested ones holding attributes in turn.
using Bytes = std::vector<std::uint8_t>;
constexpr unsigned wlan = 3; // the interface asked about

template <class T> static Bytes raw(T value) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
    return Bytes(bytes, bytes + sizeof value);
}
template <class... Parts> static Bytes cat(const Parts&... parts) {
    Bytes out;
    (out.insert(out.end(), parts.begin(), parts.end()), ...);
    return out;
}
template <class... Parts> static Bytes attr(std::uint16_t type, const Parts&... payload) {
    auto out = cat(raw(std::uint16_t(4 + cat(payload...).size())), raw(type), payload...);
    out.resize((out.size() + 3) & ~std::size_t(3));
    return out;
}
// A multi-part message (as in a dump) about `ifindex`, `cut` bytes short of its length.
template <class... Parts>
static Bytes message(std::uint8_t command, unsigned ifindex, std::size_t cut,
                     const Parts&... attributes) {
    const auto body =
        cat(Bytes{command, 1, 0, 0}, attr(NL80211_ATTR_IFINDEX, raw(ifindex)), attributes...);
    auto out = cat(raw(std::uint32_t(16 + body.size())), raw(std::uint16_t{0x1c}),
                   raw(std::uint16_t{2}), raw(std::uint64_t{1}), body);
    out.resize(out.size() - cut);
    return out;
}
static Bytes station(std::int8_t signal, std::uint32_t rate, unsigned ifindex = wlan,
                     std::uint8_t command = NL80211_CMD_NEW_STATION, std::size_t cut = 0) {
    return message(
        command, ifindex, cut,
        attr(NL80211_ATTR_STA_INFO | NLA_F_NESTED, attr(NL80211_STA_INFO_SIGNAL, raw(signal)),
             attr(NL80211_STA_INFO_TX_BITRATE, attr(NL80211_RATE_INFO_BITRATE32, raw(rate)))));
}
static Bytes survey(std::int8_t noise, bool inUse) {
    return message(NL80211_CMD_NEW_SURVEY_RESULTS, wlan, 0,
                   attr(NL80211_ATTR_SURVEY_INFO, attr(NL80211_SURVEY_INFO_FREQUENCY, raw(5180u)),
                        attr(NL80211_SURVEY_INFO_NOISE, raw(noise)),
                        inUse ? attr(NL80211_SURVEY_INFO_IN_USE) : Bytes{}));
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
