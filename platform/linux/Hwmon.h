#pragma once

#include "platform/linux/DeviceEvents.h"
#include "platform/linux/SysFs.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orb::platform {

// One temperature channel of a hwmon chip (tempN_*).
struct HwmonTemperature {
    int index = 0;                 // N of tempN
    std::string label;             // tempN_label, empty when the chip gives none
    std::optional<double> celsius; // tempN_input; empty when unreadable or not a plausible reading
};

// One fan channel (fanN_*).
struct HwmonFan {
    int index = 0;          // N of fanN
    std::optional<int> rpm; // fanN_input
};

// One chip below /sys/class/hwmon, channels in index order.
struct HwmonChip {
    int number = 0;         // N of hwmonN: chips are listed in this order
    std::string name;       // the `name` file ("coretemp", "k10temp", "amdgpu", "nvme", ...)
    std::string devicePath; // the kernel's device path of the chip's device, empty if none
    std::string deviceName; // the last part of that path ("nvme0", "0000:03:00.0", "coretemp.0")
    std::vector<HwmonTemperature> temperatures;
    std::vector<HwmonFan> fans;
};

// Every chip below `root`, in hwmonN order. Reads each file it needs once, with one read.
std::vector<HwmonChip> readHwmon(const std::string& root);

// Reads the chips at most once per reuse window, so that the sensor readers of one tick share
// one pass; what stays the same while a chip exists (its name, device and which channel files it
// has) is looked up once per chip.
class HwmonReader {
public:
    explicit HwmonReader(std::string root,
                         std::chrono::milliseconds reuseWindow = std::chrono::milliseconds(50));
    ~HwmonReader();
    const std::vector<HwmonChip>& chips();
    // Counts the passes: what is built from the chips need only be built again when it moves.
    std::uint64_t passCount() const { return passes_; }

private:
    struct Layout;
    // Finds the chip at `entry` (below the root): its name, device, labels and channel files.
    Layout lookUp(const std::string& entry, std::uint64_t inode) const;

    std::string root_;
    linux_fs::ReuseWindow reuse_;
    linux_fs::ClassListing listing_;
    std::vector<HwmonChip> chips_;
    std::uint64_t passes_ = 0;
    std::map<std::string, std::unique_ptr<Layout>, std::less<>> layouts_; // by hwmonN
};

// A graphics card's own chip (amdgpu, radeon, nouveau, i915, xe).
bool isGraphicsChip(const HwmonChip& chip);

// What the controller key table makes of a channel: the CPU package or die temperature of a CPU
// chip (coretemp "Package id N"/"Physical id N", k10temp/zenpower "Tctl"/"Tdie"),
// a GPU's edge or die temperature, or nothing (the channel is then a HID sensor's).
enum class SmcRole { None, Cpu, Gpu };
SmcRole smcRoleOf(const HwmonChip& chip, const HwmonTemperature& channel);

// Whether the controller key table holds the channel: a CPU or GPU channel above, or a channel
// of the applesmc chip, which is labelled with its own controller key ("TC0P").
bool hasSmcKey(const HwmonChip& chip, const HwmonTemperature& channel);
// Four printable characters starting with "T": a controller temperature key.
bool isSmcKeyName(std::string_view text);

} // namespace orb::platform
