#include "platform/linux/LinuxHostInfo.h"

#include "platform/linux/ArmCores.h"
#include "platform/linux/SysFs.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <map>
#include <vector>

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

namespace {

// "ARMv7 Processor rev 4 (v7l)", "ARMv8 Processor rev 1 (aarch64)", "ARMv6-compatible processor
// rev 7 (v6l)": what 32-bit ARM kernels (and arm64 kernels to 32-bit programs) print as a model
// name on every chip. It names an architecture, not a processor.
bool isArchitectureOnly(std::string_view modelName) {
    return modelName.starts_with("ARMv") && modelName.find("rocessor") != std::string_view::npos;
}

// cpu_capacity of each processor that has one, by number.
std::map<int, std::int64_t> capacities(const std::string& root) {
    std::map<int, std::int64_t> found;
    const auto cpuDir = fs::underRoot(root, "/sys/devices/system/cpu");
    for (const auto& name : fs::listDirectory(cpuDir)) {
        const auto number = name.size() > 3 && name.starts_with("cpu")
                                ? fs::parseInt(name.substr(3))
                                : std::nullopt;
        if (!number || *number < 0 || *number > 65535)
            continue;
        if (auto capacity = fs::readInt(cpuDir + "/" + name + "/cpu_capacity");
            capacity && *capacity > 0)
            found[static_cast<int>(*number)] = *capacity;
    }
    return found;
}

// Each core type with the most any of its processors can do; 0 where none says.
std::map<ArmCoreType, std::int64_t> typeCapacities(const std::map<int, ArmCoreType>& types,
                                                   const std::map<int, std::int64_t>& capacity) {
    std::map<ArmCoreType, std::int64_t> result;
    for (const auto& [processor, type] : types) {
        auto& most = result[type];
        if (const auto found = capacity.find(processor); found != capacity.end())
            most = std::max(most, found->second);
    }
    return result;
}

} // namespace

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
    if (!modelName.empty() && !isArchitectureOnly(modelName))
        return modelName;
    if (!hardware.empty())
        return hardware;
    if (!processor.empty())
        return processor;
    return modelName;
}

std::string LinuxHostInfo::brandString() {
    const auto cpuinfo = fs::readFile(fs::underRoot(root_, "/proc/cpuinfo"), 4 << 20).value_or("");
    auto fromCpuinfo = brandFromCpuinfo(cpuinfo);
    fromCpuinfo = fromCpuinfo.substr(0, fromCpuinfo.find('\0'));
    const auto types = armCoreTypes(cpuinfo);
    if (types.empty() && !fromCpuinfo.empty())
        return fromCpuinfo;
    // An ARM board names itself in its device tree ("Raspberry Pi 4 Model B Rev 1.4"); its
    // kernel's Hardware line names a family of chips, the same on every Raspberry Pi.
    if (auto model = fs::readLine(fs::underRoot(root_, "/sys/firmware/devicetree/base/model"))) {
        model->erase(std::find(model->begin(), model->end(), '\0'), model->end());
        if (!model->empty())
            return *model;
    }
    // Without one (ACPI servers, some laptops) the cores name the processor, the biggest first:
    // "Cortex-A76 + Cortex-A55".
    const auto capacity = typeCapacities(types, capacities(root_));
    std::vector<std::pair<std::int64_t, std::string>> names;
    for (const auto& [processor, type] : types) {
        auto name = armCoreName(type);
        if (name.empty())
            continue;
        if (std::ranges::find(names, name, &std::pair<std::int64_t, std::string>::second) ==
            names.end())
            names.emplace_back(capacity.at(type), std::move(name));
    }
    std::ranges::stable_sort(names, std::greater<>(), &std::pair<std::int64_t, std::string>::first);
    std::string joined;
    for (const auto& [most, name] : names)
        joined += (joined.empty() ? "" : " + ") + name;
    return joined.empty() ? fromCpuinfo : joined;
}

CoreCounts LinuxHostInfo::coreCounts() {
    // Intel hybrid parts expose one perf PMU per core class, each listing its processors.
    auto pcores = fs::readLine(fs::underRoot(root_, "/sys/devices/cpu_core/cpus"));
    auto ecores = fs::readLine(fs::underRoot(root_, "/sys/devices/cpu_atom/cpus"));
    if (pcores && ecores) {
        return {static_cast<int>(fs::parseCpuList(*pcores).size()),
                static_cast<int>(fs::parseCpuList(*ecores).size())};
    }
    const auto capacity = capacities(root_);
    const auto types =
        armCoreTypes(fs::readFile(fs::underRoot(root_, "/proc/cpuinfo"), 4 << 20).value_or(""));
    if (!types.empty()) {
        // ARM: cores of one type are alike, whatever cluster or clock they sit in, so one type
        // means no levels. Otherwise the type that can do least (by the capacity the kernel
        // gives each core) is the efficiency cores and all others perform: a 1 + 3 + 4 part
        // has 4 and 4. Where the capacities cannot tell (missing, or alike because the device
        // tree gives none), the designs known as efficiency cores are.
        const auto perType = typeCapacities(types, capacity);
        if (perType.size() < 2)
            return {};
        std::optional<ArmCoreType> least;
        std::int64_t lowest = 0;
        int atLowest = 0;
        for (const auto& [type, most] : perType) {
            if (!least || most < lowest) {
                least = type;
                lowest = most;
                atLowest = 1;
            } else if (most == lowest) {
                ++atLowest;
            }
        }
        auto isEfficiency = [&](ArmCoreType type) {
            return lowest > 0 && atLowest == 1 ? type == *least : isEfficiencyDesign(type);
        };
        const int efficiency = static_cast<int>(std::ranges::count_if(
            types, [&](const auto& entry) { return isEfficiency(entry.second); }));
        if (efficiency == 0 || efficiency == static_cast<int>(types.size()))
            return {};
        return {static_cast<int>(types.size()) - efficiency, efficiency};
    }
    // Elsewhere processors of the highest capacity perform, unless all are alike.
    std::map<std::int64_t, int> perCapacity;
    for (const auto& [processor, most] : capacity)
        ++perCapacity[most];
    if (perCapacity.size() < 2)
        return {};
    const int performance = perCapacity.rbegin()->second;
    return {performance, static_cast<int>(capacity.size()) - performance};
}

} // namespace orb::platform
