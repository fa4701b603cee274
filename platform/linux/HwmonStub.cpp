// TEMPORARY stand-in for Hwmon.cpp so that the HID sensor services link and can be tested on
// scratch trees; delete this file when the real hwmon reader is merged.
#include "platform/linux/Hwmon.h"
#include "platform/linux/SysFs.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace orb::platform {

namespace {

std::optional<int> numberAfter(std::string_view text, std::string_view prefix) {
    if (!text.starts_with(prefix))
        return std::nullopt;
    auto value = linux_fs::parseInt(text.substr(prefix.size()));
    return value ? std::optional<int>(static_cast<int>(*value)) : std::nullopt;
}

std::string linkTarget(const std::filesystem::path& path) {
    std::error_code error;
    auto target = std::filesystem::read_symlink(path, error);
    return error ? std::string() : target.lexically_normal().string();
}

} // namespace

std::vector<HwmonChip> readHwmon(const std::string& root) {
    namespace fs = std::filesystem;
    const std::string classDir = linux_fs::underRoot(root, "/sys/class/hwmon");
    std::vector<HwmonChip> chips;
    for (const std::string& entry : linux_fs::listDirectory(classDir)) {
        auto number = numberAfter(entry, "hwmon");
        if (!number)
            continue;
        const std::string dir = classDir + "/" + entry;
        HwmonChip chip;
        chip.number = *number;
        std::string device = linkTarget(dir + "/device");
        while (!device.empty() && device.back() == '/')
            device.pop_back();
        chip.devicePath = device;
        chip.deviceName = fs::path(device).filename().string();
        chip.name = linux_fs::readLine(dir + "/name")
                        .value_or(linux_fs::readLine(dir + "/device/name").value_or(""));
        for (const std::string& file : linux_fs::listDirectory(dir)) {
            if (!file.starts_with("temp") || !file.ends_with("_input"))
                continue;
            auto index = numberAfter(file.substr(0, file.size() - 6), "temp");
            if (!index)
                continue;
            HwmonTemperature channel;
            channel.index = *index;
            const std::string prefix = dir + "/temp" + std::to_string(*index);
            channel.label = linux_fs::readLine(prefix + "_label").value_or("");
            if (auto milli = linux_fs::readInt(prefix + "_input")) {
                const double celsius = static_cast<double>(*milli) / 1000.0;
                if (celsius > 0 && celsius < 150)
                    channel.celsius = celsius;
            }
            chip.temperatures.push_back(std::move(channel));
        }
        std::sort(chip.temperatures.begin(), chip.temperatures.end(),
                  [](const auto& a, const auto& b) { return a.index < b.index; });
        chips.push_back(std::move(chip));
    }
    std::sort(chips.begin(), chips.end(),
              [](const auto& a, const auto& b) { return a.number < b.number; });
    return chips;
}

HwmonReader::HwmonReader(std::string root, std::chrono::milliseconds reuseWindow)
    : root_(std::move(root)), reuseWindow_(reuseWindow) {}

const std::vector<HwmonChip>& HwmonReader::chips() {
    const auto now = std::chrono::steady_clock::now();
    if (!read_ || now - readAt_ >= reuseWindow_) {
        chips_ = readHwmon(root_);
        readAt_ = now;
        read_ = true;
    }
    return chips_;
}

// One channel per CPU or GPU chip, as the key table takes them.
SmcRole smcRoleOf(const HwmonChip& chip, const HwmonTemperature& channel) {
    const auto labelled = [&](std::string_view label) -> const HwmonTemperature* {
        for (const auto& candidate : chip.temperatures)
            if (candidate.label.starts_with(label))
                return &candidate;
        return nullptr;
    };
    const HwmonTemperature* first = chip.temperatures.empty() ? nullptr : &chip.temperatures[0];
    const HwmonTemperature* cpu = nullptr;
    const HwmonTemperature* gpu = nullptr;
    if (chip.name == "coretemp")
        cpu = labelled("Package id ") ? labelled("Package id ") : labelled("Physical id ");
    else if (chip.name == "k10temp" || chip.name == "zenpower")
        cpu = labelled("Tdie") ? labelled("Tdie") : labelled("Tctl");
    else if (chip.name == "cpu_thermal")
        cpu = first;
    else if (chip.name == "amdgpu")
        gpu = labelled("edge") ? labelled("edge") : labelled("junction");
    else if (chip.name == "nouveau" || chip.name == "radeon")
        gpu = first;
    else if (chip.name == "i915" || chip.name == "xe")
        gpu = labelled("pkg") ? labelled("pkg") : first;
    if (cpu && cpu->index == channel.index)
        return SmcRole::Cpu;
    if (gpu && gpu->index == channel.index)
        return SmcRole::Gpu;
    return SmcRole::None;
}

} // namespace orb::platform
