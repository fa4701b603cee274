#include "platform/linux/Hwmon.h"

#include "platform/linux/LinuxDeviceRegistry.h"
#include "platform/linux/SysFs.h"

#include <algorithm>
#include <charconv>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace orb::platform {

namespace fs = linux_fs;

namespace {

constexpr std::string_view hwmonClassDirectory = "/sys/class/hwmon";

// A reading is believed only strictly inside this range: sensors report their limits and empty
// slots as readings (-273.15 °C, 65261.85 °C, -40 °C, 0 °C).
constexpr double lowestReading = 0.0;
constexpr double highestReading = 150.0;

// The N of "hwmonN", or -1.
int chipNumber(std::string_view entry) {
    if (!entry.starts_with("hwmon"))
        return -1;
    entry.remove_prefix(5);
    int number = -1;
    const auto [end, error] = std::from_chars(entry.data(), entry.data() + entry.size(), number);
    return error == std::errc() && end == entry.data() + entry.size() ? number : -1;
}

// The N of a channel file "<kind>N_<suffix>", or -1.
int channelIndex(std::string_view file, std::string_view kind, std::string_view suffix) {
    if (!file.starts_with(kind) || !file.ends_with(suffix) ||
        file.size() <= kind.size() + suffix.size())
        return -1;
    file = file.substr(kind.size(), file.size() - kind.size() - suffix.size());
    int index = -1;
    const auto [end, error] = std::from_chars(file.data(), file.data() + file.size(), index);
    return error == std::errc() && end == file.data() + file.size() ? index : -1;
}

// The device path of the chip's `device` link. Captured trees keep links whose targets were
// never copied; those are resolved by their text, which names the device all the same.
std::string chipDevicePath(const std::string& root, const std::string& chipEntry) {
    const auto link = chipEntry + "/device";
    const auto onDisk = fs::underRoot(root, link);
    if (!fs::entryExists(onDisk))
        return {};
    struct stat status {};
    if (fs::statInsideRoot(onDisk, status))
        return kernelDevicePath(root, link);
    std::error_code error;
    const auto target = std::filesystem::read_symlink(onDisk, error);
    if (error)
        return {};
    auto path = (std::filesystem::path(chipEntry) / target).lexically_normal().generic_string();
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path.starts_with("/sys/") ? path.substr(4) : path;
}

// Channel files are the chip folder's; the old layout keeps them, and the chip's name, in the
// device's folder instead.
struct Files {
    std::string folder; // ends in '/'
    std::vector<std::string> names;
};

} // namespace

struct HwmonReader::Layout {
    std::uint64_t inode = 0;
    HwmonChip chip;                                        // name, device and labels; no readings
    std::vector<std::string> temperatureInputs, fanInputs; // per channel of `chip`
    // The chip's device folder where the kernel manages its power at run time (a graphics card,
    // a USB device); empty where it does not, which stays so while the chip exists.
    std::string sleepingDevice;
};

namespace {

void findChannels(const Files& files, HwmonChip& chip, std::vector<std::string>& temperatureInputs,
                  std::vector<std::string>& fanInputs) {
    for (const auto& name : files.names) {
        if (const int index = channelIndex(name, "temp", "_input"); index >= 0) {
            HwmonTemperature channel{index, {}, {}};
            const auto labelFile = "temp" + std::to_string(index) + "_label";
            if (std::binary_search(files.names.begin(), files.names.end(), labelFile))
                channel.label = fs::readAttribute(files.folder + labelFile).value_or("");
            chip.temperatures.push_back(channel);
            temperatureInputs.push_back(files.folder + name);
        } else if (const int fan = channelIndex(name, "fan", "_input"); fan >= 0) {
            chip.fans.push_back(HwmonFan{fan, {}});
            fanInputs.push_back(files.folder + name);
        }
    }
}

template <typename Channel>
void sortByIndex(std::vector<Channel>& channels, std::vector<std::string>& inputs) {
    std::vector<std::size_t> order(channels.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::ranges::sort(order, {}, [&](std::size_t i) { return channels[i].index; });
    std::vector<Channel> sortedChannels;
    std::vector<std::string> sortedInputs;
    for (const auto i : order) {
        sortedChannels.push_back(std::move(channels[i]));
        sortedInputs.push_back(std::move(inputs[i]));
    }
    channels = std::move(sortedChannels);
    inputs = std::move(sortedInputs);
}

} // namespace

HwmonReader::HwmonReader(std::string root, std::chrono::milliseconds reuseWindow)
    : root_(std::move(root)), reuse_(reuseWindow),
      listing_(fs::underRoot(root_, hwmonClassDirectory), "hwmon",
               fs::DeviceEvents::forRoot(root_)) {}

HwmonReader::~HwmonReader() = default;

HwmonReader::Layout HwmonReader::lookUp(const std::string& entry, std::uint64_t inode) const {
    Layout layout;
    layout.inode = inode;
    const auto folder = fs::underRoot(root_, entry) + "/";
    Files files{folder, fs::listDirectory(folder)};
    auto has = [&](std::string_view name) {
        return std::binary_search(files.names.begin(), files.names.end(), name);
    };
    if (!has("name") && has("device"))
        files = Files{folder + "device/", fs::listDirectory(folder + "device/")};
    layout.chip.name = fs::readAttribute(files.folder + "name").value_or("");
    layout.chip.devicePath = chipDevicePath(root_, entry);
    if (const auto slash = layout.chip.devicePath.rfind('/'); slash != std::string::npos)
        layout.chip.deviceName = layout.chip.devicePath.substr(slash + 1);
    if (!layout.chip.devicePath.empty()) {
        const auto device = fs::underRoot(root_, "/sys" + layout.chip.devicePath);
        const auto status = fs::readAttribute(device + "/power/runtime_status");
        if (status && *status != "unsupported")
            layout.sleepingDevice = device;
    }
    findChannels(files, layout.chip, layout.temperatureInputs, layout.fanInputs);
    sortByIndex(layout.chip.temperatures, layout.temperatureInputs);
    sortByIndex(layout.chip.fans, layout.fanInputs);
    return layout;
}

const std::vector<HwmonChip>& HwmonReader::chips() {
    if (!reuse_.due())
        return chips_;
    ++passes_;
    chips_.clear();

    const auto classDir = fs::underRoot(root_, hwmonClassDirectory);
    std::vector<std::pair<int, std::string>> entries;
    for (const auto& name : listing_.entries()) {
        if (const int number = chipNumber(name); number >= 0)
            entries.emplace_back(number, name);
    }
    std::ranges::sort(entries);
    std::erase_if(layouts_, [&](const auto& layout) {
        return std::ranges::find(entries, layout.first, &std::pair<int, std::string>::second) ==
               entries.end();
    });
    for (const auto& [number, name] : entries) {
        struct stat status {};
        if (!fs::statInsideRoot(classDir + "/" + name, status) || !S_ISDIR(status.st_mode)) {
            layouts_.erase(name);
            listing_.invalidate();
            continue;
        }
        auto found = layouts_.find(name);
        if (found == layouts_.end() || found->second->inode != status.st_ino)
            found = layouts_
                        .insert_or_assign(name, std::make_unique<Layout>(lookUp(
                                                    std::string(hwmonClassDirectory) + "/" + name,
                                                    status.st_ino)))
                        .first;
        const Layout& layout = *found->second;
        HwmonChip chip = layout.chip;
        chip.number = number;
        // A read of a sleeping card's sensors wakes it on some drivers, and a laptop's battery
        // pays for a card woken every second: its channels stay in place, without readings.
        if (!layout.sleepingDevice.empty() && fs::isRuntimeAsleep(layout.sleepingDevice)) {
            chips_.push_back(std::move(chip));
            continue;
        }
        for (std::size_t i = 0; i < chip.temperatures.size(); ++i) {
            const auto milli = fs::readAttributeNumber(layout.temperatureInputs[i]);
            const double celsius = milli ? static_cast<double>(*milli) / 1000.0 : 0.0;
            if (milli && celsius > lowestReading && celsius < highestReading)
                chip.temperatures[i].celsius = celsius;
        }
        for (std::size_t i = 0; i < chip.fans.size(); ++i) {
            const auto rpm = fs::readAttributeNumber(layout.fanInputs[i]);
            if (rpm && *rpm >= 0 && *rpm <= 1'000'000)
                chip.fans[i].rpm = static_cast<int>(*rpm);
        }
        chips_.push_back(std::move(chip));
    }
    return chips_;
}

std::vector<HwmonChip> readHwmon(const std::string& root) {
    return HwmonReader(root).chips();
}

namespace {

const HwmonTemperature* labelled(const HwmonChip& chip, std::string_view label) {
    const auto found = std::ranges::find(chip.temperatures, label, &HwmonTemperature::label);
    return found == chip.temperatures.end() ? nullptr : &*found;
}

const HwmonTemperature* firstChannel(const HwmonChip& chip) {
    return chip.temperatures.empty() ? nullptr : &chip.temperatures.front();
}

// The channel of a CPU chip that stands for the whole package or die, or null.
const HwmonTemperature* cpuChannel(const HwmonChip& chip) {
    if (chip.name == "coretemp") {
        const auto found = std::ranges::find_if(chip.temperatures, [](const auto& channel) {
            return channel.label.starts_with("Package id ") ||
                   channel.label.starts_with("Physical id ");
        });
        return found == chip.temperatures.end() ? nullptr : &*found;
    }
    if (chip.name == "k10temp" || chip.name == "zenpower") {
        // Tctl carries a fan-curve offset on some parts; Tdie, where given, is the real die.
        const auto* die = labelled(chip, "Tdie");
        return die ? die : labelled(chip, "Tctl");
    }
    return nullptr;
}

// The channel of a GPU chip that stands for the graphics processor, or null.
const HwmonTemperature* gpuChannel(const HwmonChip& chip) {
    if (chip.name == "amdgpu") {
        const auto* edge = labelled(chip, "edge");
        return edge ? edge : labelled(chip, "junction");
    }
    if (chip.name == "nouveau" || chip.name == "radeon")
        return firstChannel(chip);
    if (chip.name == "i915" || chip.name == "xe") {
        const auto* package = labelled(chip, "pkg");
        return package ? package : firstChannel(chip);
    }
    return nullptr;
}

} // namespace

bool isGraphicsChip(const HwmonChip& chip) {
    return chip.name == "amdgpu" || chip.name == "radeon" || chip.name == "nouveau" ||
           chip.name == "i915" || chip.name == "xe";
}

SmcRole smcRoleOf(const HwmonChip& chip, const HwmonTemperature& channel) {
    if (const auto* cpu = cpuChannel(chip); cpu && cpu->index == channel.index)
        return SmcRole::Cpu;
    if (const auto* gpu = gpuChannel(chip); gpu && gpu->index == channel.index)
        return SmcRole::Gpu;
    return SmcRole::None;
}

bool isSmcKeyName(std::string_view text) {
    return text.size() == 4 && text.front() == 'T' &&
           std::ranges::all_of(text, [](char c) { return c > ' ' && c < 0x7F; });
}

bool hasSmcKey(const HwmonChip& chip, const HwmonTemperature& channel) {
    if (chip.name == "applesmc")
        return isSmcKeyName(channel.label);
    return smcRoleOf(chip, channel) != SmcRole::None;
}

} // namespace orb::platform
