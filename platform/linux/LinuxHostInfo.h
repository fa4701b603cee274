#pragma once

#include "platform/HostInfo.h"
#include "platform/linux/KeptFile.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace orb::platform {

// Load averages, uptime, processor brand and core classes from /proc and /sys.
class LinuxHostInfo final : public HostInfo {
public:
    explicit LinuxHostInfo(std::string root = "/");
    std::array<double, 3> loadAverages() override;
    std::optional<double> uptimeSeconds() override;
    std::string brandString() override;
    CoreCounts coreCounts() override;

private:
    std::string root_;
    linux_fs::KeptFile loadFile_;
    std::string loadText_;
    // btime of a tree below another root: not read yet, or read and found or not.
    std::optional<std::optional<std::int64_t>> capturedBootTime_;
};

// The brand text of /proc/cpuinfo: "model name" on x86, else "Hardware" or "Processor" (older
// ARM kernels), else the architecture-only model name 32-bit ARM kernels print. On ARM the
// device tree's model, then the cores' names, come first (LinuxHostInfo::brandString).
std::string brandFromCpuinfo(std::string_view cpuinfoText);

} // namespace orb::platform
