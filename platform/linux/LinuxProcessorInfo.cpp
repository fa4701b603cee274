#include "platform/linux/LinuxProcessorInfo.h"

#include "platform/linux/SysFs.h"

#include <array>

namespace orb::platform {

namespace fs = linux_fs;

LinuxProcessorInfo::LinuxProcessorInfo(const std::string& root)
    : statFile_(fs::underRoot(root, "/proc/stat")) {}

std::optional<ProcessorSample> parseProcessorTicks(std::string_view statText) {
    ProcessorSample sample;
    fs::forEachLine(statText, [&](std::string_view line) {
        if (line.size() < 4 || line.substr(0, 3) != "cpu" || line[3] < '0' || line[3] > '9')
            return;
        auto fields = fs::splitFields(line);
        auto id = fs::parseInt(fields[0].substr(3));
        // user nice system idle are always there; iowait, irq, softirq (2.6), steal (2.6.11),
        // guest (2.6.24) and guest_nice (2.6.33) only on newer kernels.
        if (!id || *id < 0 || fields.size() < 5)
            return;
        std::array<std::uint64_t, 10> v{};
        for (std::size_t i = 1; i < fields.size() && i <= v.size(); ++i) {
            auto value = fs::parseUnsigned(fields[i]);
            if (!value)
                return;
            v[i - 1] = *value;
        }
        const auto [user, nice, system, idle, iowait, irq, softirq, steal, guest, guestNice] = v;
        ProcessorTicks ticks;
        ticks.id = static_cast<int>(*id);
        // A virtual machine's time (guest, guest_nice) is already inside user and nice: it is
        // this host's processors at work, so it is counted there, once.
        static_cast<void>(guest);
        static_cast<void>(guestNice);
        ticks.user = user;
        ticks.nice = nice;
        // Interrupt service and time stolen by the hypervisor keep the processor from our work.
        ticks.system = system + irq + softirq + steal;
        // iowait is idle time spent waiting for a disk.
        ticks.idle = idle + iowait;
        sample.push_back(ticks);
    });
    if (sample.empty())
        return std::nullopt;
    return sample;
}

std::optional<ProcessorSample> LinuxProcessorInfo::processorTicks() {
    if (!statFile_.readInto(statText_))
        return std::nullopt;
    return parseProcessorTicks(statText_);
}

unsigned LinuxProcessorInfo::processorCount() {
    auto sample = processorTicks();
    return sample ? static_cast<unsigned>(sample->size()) : 0;
}

} // namespace orb::platform
