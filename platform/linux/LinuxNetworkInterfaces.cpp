#include "platform/linux/LinuxNetworkInterfaces.h"

#include "platform/linux/SysFs.h"

#include <array>
#include <set>
#include <sys/stat.h>

namespace orb::platform {

namespace fs = linux_fs;

namespace {

constexpr int loopbackType = 772; // ARPHRD_LOOPBACK
constexpr int radiotapType = 803; // ARPHRD_IEEE80211_RADIOTAP

bool isDirectory(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

LinkKind classifyLink(const LinkFacts& link) {
    if (link.name == "lo" || link.type == loopbackType || link.type == radiotapType)
        return LinkKind::Virtual;
    if (link.isBridge || link.isBond || link.isTunTap || link.isStacked)
        return LinkKind::Virtual;
    if (link.hasDevice)
        return LinkKind::Physical;
    constexpr std::array<std::string_view, 5> physicalPrefixes = {"en", "pdp_ip", "eth", "wl",
                                                                  "ww"};
    for (auto prefix : physicalPrefixes) {
        if (link.name.starts_with(prefix))
            return LinkKind::Physical;
    }
    return LinkKind::Virtual;
}

std::map<std::string, LinkStatistics, std::less<>> parseNetDev(std::string_view text) {
    // "  eth0: rx_bytes rx_packets ... (8 receive columns) tx_bytes ..."; the two header lines
    // have no colon. Old kernels print no space between the colon and a wide first number.
    std::map<std::string, LinkStatistics, std::less<>> rows;
    fs::forEachLine(text, [&](std::string_view line) {
        auto colon = line.find(':');
        if (colon == std::string_view::npos)
            return;
        auto name = fs::trim(line.substr(0, colon));
        auto fields = fs::splitFields(line.substr(colon + 1));
        if (name.empty() || fields.size() < 9)
            return;
        auto received = fs::parseUnsigned(fields[0]);
        auto sent = fs::parseUnsigned(fields[8]);
        if (received && sent)
            rows.emplace(std::string(name), LinkStatistics{*received, *sent});
    });
    return rows;
}

LinuxNetworkInterfaces::LinuxNetworkInterfaces(std::string root)
    : classDir_(fs::underRoot(root, "/sys/class/net")),
      netDevPath_(fs::underRoot(root, "/proc/net/dev")) {}

std::optional<LinkKind> LinuxNetworkInterfaces::classify(const std::string& name,
                                                         bool listedByKernel) {
    if (auto known = kinds_.find(name); known != kinds_.end())
        return known->second;

    const auto dir = classDir_ + "/" + name;
    std::optional<LinkKind> kind;
    if (isDirectory(dir)) {
        LinkFacts facts;
        facts.name = name;
        facts.type = static_cast<int>(fs::readInt(dir + "/type").value_or(-1));
        facts.hasDevice = fs::entryExists(dir + "/device");
        facts.isBridge = fs::entryExists(dir + "/bridge");
        facts.isBond = fs::entryExists(dir + "/bonding");
        facts.isTunTap = fs::entryExists(dir + "/tun_flags");
        auto index = fs::readInt(dir + "/ifindex");
        auto parent = fs::readInt(dir + "/iflink");
        if (index && parent && *index != *parent) {
            // A virtual pair's peer usually lives in another namespace; a VLAN's parent is here.
            for (const auto& other : fs::listDirectory(classDir_)) {
                if (other != name && fs::readInt(classDir_ + "/" + other + "/ifindex") == parent)
                    facts.isStacked = true;
            }
        }
        kind = classifyLink(facts);
    } else if (listedByKernel) {
        // Counters without a sysfs entry: only the name can tell.
        kind = classifyLink(LinkFacts{.name = name});
    }
    // Entries of /sys/class/net that are not directories (bonding_masters) are not links.
    kinds_.emplace(name, kind);
    return kind;
}

std::optional<LinkStatistics>
LinuxNetworkInterfaces::sysfsStatistics(const std::string& name) const {
    const auto dir = classDir_ + "/" + name + "/statistics/";
    auto received = fs::readLine(dir + "rx_bytes");
    auto sent = fs::readLine(dir + "tx_bytes");
    if (!received || !sent)
        return std::nullopt;
    auto rx = fs::parseUnsigned(*received);
    auto tx = fs::parseUnsigned(*sent);
    if (!rx || !tx)
        return std::nullopt;
    return LinkStatistics{*rx, *tx};
}

std::optional<std::vector<NetworkInterface>> LinuxNetworkInterfaces::interfaces() {
    const auto sysfsNames = fs::listDirectory(classDir_);
    const auto netDevText = fs::readFile(netDevPath_);
    if (sysfsNames.empty() && !netDevText)
        return std::nullopt;
    const auto netDev = netDevText ? parseNetDev(*netDevText)
                                   : std::map<std::string, LinkStatistics, std::less<>>{};

    std::set<std::string> names(sysfsNames.begin(), sysfsNames.end());
    for (const auto& [name, counters] : netDev)
        names.insert(name);

    // Forget interfaces that are gone, so one that comes back under the same name is looked at
    // afresh.
    std::erase_if(kinds_, [&](const auto& entry) { return !names.contains(entry.first); });

    std::vector<NetworkInterface> links;
    for (const auto& name : names) {
        const auto row = netDev.find(name);
        auto kind = classify(name, row != netDev.end());
        if (!kind)
            continue;
        NetworkInterface link{name, *kind, std::nullopt};
        if (*kind != LinkKind::Virtual) {
            link.statistics = sysfsStatistics(name);
            if (!link.statistics && row != netDev.end())
                link.statistics = row->second;
        }
        links.push_back(std::move(link));
    }
    return links;
}

} // namespace orb::platform
