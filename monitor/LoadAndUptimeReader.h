#pragma once

#include "platform/HostInfo.h"

#include <array>
#include <cstdint>
#include <optional>

namespace orb {

struct LoadAndUptime {
    std::array<double, 3> load{};              // 1-, 5- and 15-minute averages; 0 where unreadable
    std::optional<std::int64_t> uptimeSeconds; // whole seconds, never negative; empty: unknown
};

// Load averages and uptime. Keeps no state.
class LoadAndUptimeReader {
public:
    explicit LoadAndUptimeReader(platform::HostInfo& host) : host_(host) {}
    LoadAndUptime read();

private:
    platform::HostInfo& host_;
};

} // namespace orb
