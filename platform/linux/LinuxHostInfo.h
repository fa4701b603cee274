#pragma once

#include "platform/HostInfo.h"

#include <string>
#include <string_view>

namespace orb::platform {

// Load averages, boot time, processor brand and core classes from /proc and /sys.
class LinuxHostInfo final : public HostInfo {
public:
    explicit LinuxHostInfo(std::string root = "/");
    std::array<double, 3> loadAverages() override;
    std::optional<std::int64_t> bootTime() override;
    std::string brandString() override;
    CoreCounts coreCounts() override;

private:
    std::string root_;
};

// The brand text of /proc/cpuinfo: "model name" on x86, "Hardware" or "Processor" on ARM.
std::string brandFromCpuinfo(std::string_view cpuinfoText);

} // namespace orb::platform
