#include "platform/linux/ArmCores.h"

#include "platform/linux/SysFs.h"

#include <algorithm>
#include <charconv>

namespace orb::platform {

namespace fs = linux_fs;

namespace {

std::optional<unsigned> hexNumber(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X"))
        text.remove_prefix(2);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

struct Design {
    unsigned implementer;
    unsigned part;
    std::string_view name;
};

// The parts of the designers whose cores run Linux machines today, as the kernel's cputype.h
// numbers them and the designers name them. Cores the table does not know are named otherwise
// (see LinuxHostInfo::brandString).
constexpr Design designs[] = {
    // Arm
    {0x41, 0xc05, "Cortex-A5"},
    {0x41, 0xc07, "Cortex-A7"},
    {0x41, 0xc08, "Cortex-A8"},
    {0x41, 0xc09, "Cortex-A9"},
    {0x41, 0xc0d, "Cortex-A17"},
    {0x41, 0xc0e, "Cortex-A17"},
    {0x41, 0xc0f, "Cortex-A15"},
    {0x41, 0xd01, "Cortex-A32"},
    {0x41, 0xd02, "Cortex-A34"},
    {0x41, 0xd03, "Cortex-A53"},
    {0x41, 0xd04, "Cortex-A35"},
    {0x41, 0xd05, "Cortex-A55"},
    {0x41, 0xd06, "Cortex-A65"},
    {0x41, 0xd07, "Cortex-A57"},
    {0x41, 0xd08, "Cortex-A72"},
    {0x41, 0xd09, "Cortex-A73"},
    {0x41, 0xd0a, "Cortex-A75"},
    {0x41, 0xd0b, "Cortex-A76"},
    {0x41, 0xd0c, "Neoverse-N1"},
    {0x41, 0xd0d, "Cortex-A77"},
    {0x41, 0xd0e, "Cortex-A76AE"},
    {0x41, 0xd40, "Neoverse-V1"},
    {0x41, 0xd41, "Cortex-A78"},
    {0x41, 0xd42, "Cortex-A78AE"},
    {0x41, 0xd43, "Cortex-A65AE"},
    {0x41, 0xd44, "Cortex-X1"},
    {0x41, 0xd46, "Cortex-A510"},
    {0x41, 0xd47, "Cortex-A710"},
    {0x41, 0xd48, "Cortex-X2"},
    {0x41, 0xd49, "Neoverse-N2"},
    {0x41, 0xd4a, "Neoverse-E1"},
    {0x41, 0xd4b, "Cortex-A78C"},
    {0x41, 0xd4c, "Cortex-X1C"},
    {0x41, 0xd4d, "Cortex-A715"},
    {0x41, 0xd4e, "Cortex-X3"},
    {0x41, 0xd4f, "Neoverse-V2"},
    {0x41, 0xd80, "Cortex-A520"},
    {0x41, 0xd81, "Cortex-A720"},
    {0x41, 0xd82, "Cortex-X4"},
    {0x41, 0xd84, "Neoverse-V3"},
    {0x41, 0xd85, "Cortex-X925"},
    {0x41, 0xd87, "Cortex-A725"},
    {0x41, 0xd8e, "Neoverse-N3"},
    // Broadcom, Cavium, NVIDIA
    {0x42, 0x00f, "Brahma-B15"},
    {0x42, 0x100, "Brahma-B53"},
    {0x42, 0x516, "ThunderX2"},
    {0x43, 0x0a1, "ThunderX-88XX"},
    {0x43, 0x0af, "ThunderX2-99xx"},
    {0x4e, 0x000, "Denver"},
    {0x4e, 0x003, "Denver-2"},
    {0x4e, 0x004, "Carmel"},
    // HiSilicon, which also gives its own numbers to the Arm designs it licenses
    {0x48, 0xd01, "TaiShan-v110"},
    {0x48, 0xd02, "TaiShan-v120"},
    {0x48, 0xd40, "Cortex-A76"},
    {0x48, 0xd41, "Cortex-A77"},
    // Qualcomm (Kryo 5xx and later report Arm's own numbers)
    {0x51, 0x001, "Oryon"},
    {0x51, 0x800, "Falkor-V1/Kryo"},
    {0x51, 0x801, "Kryo-V2"},
    {0x51, 0x802, "Kryo-3XX-Gold"},
    {0x51, 0x803, "Kryo-3XX-Silver"},
    {0x51, 0x804, "Kryo-4XX-Gold"},
    {0x51, 0x805, "Kryo-4XX-Silver"},
    {0x51, 0xc00, "Falkor"},
    // Samsung, Apple, Ampere, Fujitsu
    {0x53, 0x001, "Exynos-M1"},
    {0x53, 0x002, "Exynos-M3"},
    {0x61, 0x022, "Icestorm-M1"},
    {0x61, 0x023, "Firestorm-M1"},
    {0x61, 0x024, "Icestorm-M1-Pro"},
    {0x61, 0x025, "Firestorm-M1-Pro"},
    {0x61, 0x028, "Icestorm-M1-Max"},
    {0x61, 0x029, "Firestorm-M1-Max"},
    {0x61, 0x032, "Blizzard-M2"},
    {0x61, 0x033, "Avalanche-M2"},
    {0xc0, 0xac3, "Ampere-1"},
    {0xc0, 0xac4, "Ampere-1a"},
    {0x46, 0x001, "A64FX"},
};

} // namespace

std::map<int, ArmCoreType> armCoreTypes(std::string_view cpuinfoText) {
    std::map<int, ArmCoreType> types;
    std::map<int, bool> hasPart;
    int processor = 0;
    fs::forEachLine(cpuinfoText, [&](std::string_view line) {
        const auto colon = line.find(':');
        if (colon == std::string_view::npos)
            return;
        const auto key = fs::trim(line.substr(0, colon));
        const auto value = fs::trim(line.substr(colon + 1));
        if (key == "processor") {
            if (const auto number = fs::parseInt(value); number && *number >= 0 && *number < 65536)
                processor = static_cast<int>(*number);
        } else if (key == "CPU implementer") {
            if (const auto id = hexNumber(value))
                types[processor].implementer = *id;
        } else if (key == "CPU part") {
            if (const auto id = hexNumber(value)) {
                types[processor].part = *id;
                hasPart[processor] = true;
            }
        }
    });
    std::erase_if(types, [&](const auto& entry) { return !hasPart[entry.first]; });
    return types;
}

bool isEfficiencyDesign(ArmCoreType type) {
    // Arm's in-order little cores, and the vendors' cores built on them or for the same role.
    static constexpr ArmCoreType little[] = {
        {0x41, 0xc05}, {0x41, 0xc07}, {0x41, 0xd01}, {0x41, 0xd02}, {0x41, 0xd03}, {0x41, 0xd04},
        {0x41, 0xd05}, {0x41, 0xd46}, {0x41, 0xd80}, {0x51, 0x801}, {0x51, 0x803}, {0x51, 0x805},
        {0x61, 0x022}, {0x61, 0x024}, {0x61, 0x028}, {0x61, 0x032},
    };
    return std::ranges::find(little, type) != std::end(little);
}

std::string armCoreName(ArmCoreType type) {
    const auto found = std::ranges::find_if(designs, [&](const Design& design) {
        return design.implementer == type.implementer && design.part == type.part;
    });
    return found == std::end(designs) ? std::string() : std::string(found->name);
}

} // namespace orb::platform
