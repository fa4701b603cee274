#include "platform/linux/LinuxHostInfo.h"

#include "platform/linux/SysFs.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <map>

namespace orb::platform {

namespace fs = linux_fs;

LinuxHostInfo::LinuxHostInfo(std::string root)
    : root_(std::move(root)), loadFile_(fs::underRoot(root_, "/proc/loadavg")) {}

std::array<double, 3> LinuxHostInfo::loadAverages() {
    // Read from the file rather than getloadavg(3) so that a fixture root is honoured; on the
    // live system both read the same kernel values.
    std::array<double, 3> averages{};
    if (!loadFile_.readInto(loadText_, 4096))
        return averages;
    auto fields = fs::splitFields(std::string_view(loadText_).substr(0, loadText_.find('\n')));
    for (std::size_t i = 0; i < 3 && i < fields.size(); ++i) {
        if (auto value = fs::parseDouble(fields[i]); value && *value >= 0)
            averages[i] = *value;
    }
    return averages;
}

std::optional<double> LinuxHostInfo::uptimeSeconds() {
    if (root_.empty() || root_ == "/") {
        // The kernel's own count since boot, suspend included: no file to read, and immune to
        // changes of the wall clock, which move /proc/stat's btime.
        timespec boottime{};
        if (::clock_gettime(CLOCK_BOOTTIME, &boottime) != 0)
            return std::nullopt;
        return static_cast<double>(boottime.tv_sec) + boottime.tv_nsec / 1e9;
    }
    // Below another root the figures are those of the tree: /proc/uptime where it has one (a
    // mounted /proc of the host keeps counting; a captured tree shows the machine's uptime when
    // it was captured), else btime against our clock. A captured btime never changes, so it is
    // read once, and /proc/stat is not read a second time per tick.
    if (auto line = fs::readLine(fs::underRoot(root_, "/proc/uptime"))) {
        auto fields = fs::splitFields(*line);
        if (!fields.empty()) {
            if (auto up = fs::parseDouble(fields[0]); up && *up >= 0 && *up < 1e10)
                return *up;
        }
    }
    if (!capturedBootTime_) {
        capturedBootTime_ = std::optional<std::int64_t>();
        if (auto text = fs::readFile(fs::underRoot(root_, "/proc/stat"))) {
            fs::forEachLine(*text, [&](std::string_view line) {
                if (line.starts_with("btime "))
                    *capturedBootTime_ = fs::parseInt(line.substr(6));
            });
        }
    }
    const auto& boot = *capturedBootTime_;
    if (!boot || *boot <= 0)
        return std::nullopt;
    using namespace std::chrono;
    const double uptime = duration<double>(system_clock::now().time_since_epoch()).count() -
                          static_cast<double>(*boot);
    // A boot time ahead of our clock (a tree captured on a machine whose clock ran fast) gives
    // no uptime rather than a negative one.
    if (uptime < 0)
        return std::nullopt;
    return uptime;
}

std::string brandFromCpuinfo(std::string_view cpuinfoText) {
    std::string modelName, hardware, processor;
    fs::forEachLine(cpuinfoText, [&](std::string_view line) {
        auto colon = line.find(':');
        if (colon == std::string_view::npos)
            return;
        auto key = fs::trim(line.substr(0, colon));
        auto value = std::string(fs::trim(line.substr(colon + 1)));
        if (value.empty())
            return;
        if (key == "model name" && modelName.empty())
            modelName = value;
        else if (key == "Hardware" && hardware.empty())
            hardware = value;
        else if (key == "Processor" && processor.empty())
            processor = value;
    });
    if (!modelName.empty())
        return modelName;
    if (!hardware.empty())
        return hardware;
    return processor;
}

std::string LinuxHostInfo::brandString() {
    if (auto text = fs::readFile(fs::underRoot(root_, "/proc/cpuinfo"), 4 << 20)) {
        auto brand = brandFromCpuinfo(*text);
        if (!brand.empty())
            return brand.substr(0, brand.find('\0'));
    }
    // ARM boards without a brand line name the machine in the device tree.
    if (auto model = fs::readLine(fs::underRoot(root_, "/sys/firmware/devicetree/base/model")))
        return *model;
    return {};
}

CoreCounts LinuxHostInfo::coreCounts() {
    // Intel hybrid parts expose one perf PMU per core class, each listing its processors.
    auto pcores = fs::readLine(fs::underRoot(root_, "/sys/devices/cpu_core/cpus"));
    auto ecores = fs::readLine(fs::underRoot(root_, "/sys/devices/cpu_atom/cpus"));
    if (pcores && ecores) {
        return {static_cast<int>(fs::parseCpuList(*pcores).size()),
                static_cast<int>(fs::parseCpuList(*ecores).size())};
    }
    // ARM big.LITTLE: processors of the highest capacity are the performance cores. With a
    // single capacity class there are no performance levels.
    std::map<std::int64_t, int> perCapacity;
    const auto cpuDir = fs::underRoot(root_, "/sys/devices/system/cpu");
    for (const auto& name : fs::listDirectory(cpuDir)) {
        if (name.size() < 4 || name.compare(0, 3, "cpu") != 0 || !fs::parseInt(name.substr(3)))
            continue;
        if (auto capacity = fs::readInt(cpuDir + "/" + name + "/cpu_capacity");
            capacity && *capacity > 0)
            ++perCapacity[*capacity];
    }
    if (perCapacity.size() < 2)
        return {};
    int performance = perCapacity.rbegin()->second;
    int all = 0;
    for (const auto& [capacity, count] : perCapacity)
        all += count;
    return {performance, all - performance};
}

} // namespace orb::platform
