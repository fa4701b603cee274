#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orb::platform {

// What a network interface carries, as far as the platform can tell.
enum class LinkKind {
    Unclassified, // the platform does not say: the interface's name decides
    Physical,     // a link to Ethernet, Wi-Fi or cellular hardware
    Virtual,      // loopback, bridge, tunnel, virtual pair or a link stacked on another
};

// Whether the name is one systems give to Ethernet, Wi-Fi or cellular hardware ("en…", "eth…",
// "wl…", "ww…", "pdp_ip…").
inline bool hasPhysicalLinkName(std::string_view name) {
    for (std::string_view prefix : {"en", "pdp_ip", "eth", "wl", "ww"})
        if (name.starts_with(prefix))
            return true;
    return false;
}

// Cumulative byte counters of an interface since it came up.
struct LinkStatistics {
    std::uint64_t receivedBytes = 0;
    std::uint64_t sentBytes = 0;
};

struct NetworkInterface {
    std::string name;
    LinkKind kind = LinkKind::Unclassified;
    // Absent when the interface has no counters, or when it is Virtual and the platform
    // spares itself reading counters nobody adds up.
    std::optional<LinkStatistics> statistics;
};

class NetworkInterfaces {
public:
    virtual ~NetworkInterfaces() = default;
    // Every interface present now; empty when the interfaces cannot be listed.
    virtual std::optional<std::vector<NetworkInterface>> interfaces() = 0;
};

} // namespace orb::platform
