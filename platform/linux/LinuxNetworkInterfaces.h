#pragma once

#include "platform/NetworkInterfaces.h"
#include "platform/linux/KeptFile.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace orb::platform {

// What sysfs says about one interface (/sys/class/net/<name>).
struct LinkFacts {
    std::string name;
    int type = -1;          // ARPHRD_* from `type`; -1 when unknown
    bool hasDevice = false; // a `device` link to the hardware behind it
    bool isBridge = false;  // `bridge/`
    bool isBond = false;    // `bonding/`: a bond master, whose member links carry the traffic
    bool isTunTap = false;  // `tun_flags`
    bool isStacked = false; // `iflink` names another interface here: VLAN, macvlan, ipvlan
};

// The links whose traffic is the machine's own traffic with the outside: Ethernet, Wi-Fi and
// cellular hardware. Counting the others would count the same bytes twice (bridges, bonds, VLANs
// and tunnels carry traffic that also crosses a physical link) or count traffic that never
// leaves the machine (loopback, virtual pairs to containers).
//
//   Virtual   loopback ("lo" or type 772), monitor-mode Wi-Fi views (type 803), bridges, bond
//             masters, tun/tap, links stacked on another interface here
//   Physical  otherwise, any link with a `device` behind it, and the names of the physical
//             classes: en*, pdp_ip* (Ethernet and cellular as other systems name them) and the
//             Linux names eth*, wl*, ww*. A container's eth0 is such a name: it is the end of a
//             virtual pair, but it is that container's only way out.
//   Virtual   everything else (veth*, ifb*, dummy*, wg*, docker bridges without facts, ...)
LinkKind classifyLink(const LinkFacts& link);

// The interface rows of /proc/net/dev in file order: name, received and sent bytes. Rows that do
// not parse are left out.
using NetDevRows = std::vector<std::pair<std::string, LinkStatistics>>;
NetDevRows parseNetDev(std::string_view text);

// Interfaces of /sys/class/net and /proc/net/dev (a tree may lack either for some interfaces).
// Counters come from sysfs `statistics/` (64-bit) and from /proc/net/dev where that directory is
// missing. Classifications are remembered while an interface stays listed, so a tick reads only
// the two counter files of each counted interface; classifying is linear in the interfaces, as
// hosts with hundreds of containers have thousands of them. The class directory is listed again
// only when the names in /proc/net/dev change, a counter file has gone, or every 10 s.
class LinuxNetworkInterfaces final : public NetworkInterfaces {
public:
    explicit LinuxNetworkInterfaces(const std::string& root = "/");
    std::optional<std::vector<NetworkInterface>> interfaces() override;

private:
    struct Link {
        std::optional<LinkKind> kind; // empty: not a link (or not classified yet)
        std::optional<std::int64_t> index;
        bool indexRead = false;
        // Where the current pass found it.
        std::uint64_t pass = 0;
        bool inSysfs = false;
        const LinkStatistics* netDev = nullptr;
        // Its byte counters, kept open while it is listed (for the first few links only).
        std::optional<linux_fs::KeptFile> received, sent;
    };
    using Entry = std::pair<const std::string, Link>;

    void classify(const std::vector<Entry*>& fresh);
    // Whether the class directory is to be listed again this pass.
    bool listingDue(const NetDevRows& netDev);

    std::string classDir_;
    linux_fs::KeptFile netDev_;
    std::string netDevText_;
    std::vector<std::string> sysfsNames_;  // the class directory as last listed
    std::vector<std::string> netDevNames_; // /proc/net/dev's names at the last pass
    std::chrono::steady_clock::time_point listedAt_{};
    bool relist_ = true;
    std::unordered_map<std::string, Link> links_;
    std::uint64_t pass_ = 0;
};

} // namespace orb::platform
