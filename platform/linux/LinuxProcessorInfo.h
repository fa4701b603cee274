#pragma once

#include "platform/ProcessorInfo.h"
#include "platform/linux/KeptFile.h"

#include <string>
#include <string_view>

namespace orb::platform {

// Per-processor tick counters from /proc/stat.
class LinuxProcessorInfo final : public ProcessorInfo {
public:
    explicit LinuxProcessorInfo(const std::string& root = "/");
    std::optional<ProcessorSample> processorTicks() override;
    unsigned processorCount() override;

private:
    linux_fs::KeptFile statFile_;
    std::string statText_;
};

// Parses the `cpuN` lines of /proc/stat text. Lines that are cut short or hold garbage are left
// out; the aggregate `cpu` line is not a processor. Empty optional when no processor line parses.
std::optional<ProcessorSample> parseProcessorTicks(std::string_view statText);

} // namespace orb::platform
