#include "platform/linux/PciIdNames.h"

#include "platform/linux/SysFs.h"

#include <charconv>
#include <fstream>

namespace orb::platform {

namespace fs = linux_fs;

std::optional<unsigned> parseHexId(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X"))
        text.remove_prefix(2);
    unsigned value = 0;
    const auto* end = text.data() + text.size();
    const auto [last, error] = std::from_chars(text.data(), end, value, 16);
    if (error != std::errc() || last != end || text.empty())
        return std::nullopt;
    return value;
}

namespace {

// "1002  Advanced Micro Devices" or, one tab in, "73bf  Navi 21": the id and the name after it.
std::optional<std::pair<unsigned, std::string_view>> idAndName(std::string_view line) {
    if (line.size() < 6 || line.substr(4, 2) != "  ")
        return std::nullopt;
    const auto id = parseHexId(line.substr(0, 4));
    if (!id)
        return std::nullopt;
    return std::pair{*id, fs::trim(line.substr(6))};
}

} // namespace

DeviceNameDatabases installedDeviceNameDatabases(const std::string& root) {
    auto firstOf = [&](std::initializer_list<std::string_view> paths) {
        for (const auto path : paths) {
            auto full = fs::underRoot(root, path);
            if (fs::entryExists(full))
                return full;
        }
        return std::string();
    };
    return {firstOf({"/usr/share/hwdata/pci.ids", "/usr/share/misc/pci.ids"}),
            firstOf({"/usr/share/libdrm/amdgpu.ids"})};
}

std::optional<std::string> pciDeviceName(const std::string& pciIds, std::uint16_t vendor,
                                         std::uint16_t device) {
    if (pciIds.empty())
        return std::nullopt;
    std::ifstream file(pciIds);
    bool inVendor = false;
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() != '\t') {
            // Vendors are listed in order of their ids, and the device classes come last.
            if (inVendor)
                return std::nullopt;
            const auto entry = idAndName(line);
            inVendor = entry && entry->first == vendor;
            continue;
        }
        if (!inVendor || line.size() < 2 || line[1] == '\t') // subsystems, two tabs in
            continue;
        if (const auto entry = idAndName(std::string_view(line).substr(1));
            entry && entry->first == device && !entry->second.empty())
            return std::string(entry->second);
    }
    return std::nullopt;
}

std::optional<std::string> amdgpuMarketingName(const std::string& amdgpuIds, std::uint16_t device,
                                               std::uint8_t revision) {
    if (amdgpuIds.empty())
        return std::nullopt;
    std::ifstream file(amdgpuIds);
    // Each entry is "73BF,\tC0,\tAMD Radeon RX 6900 XT"; the version line and comments have no
    // commas in those places.
    for (std::string line; std::getline(file, line);) {
        const std::string_view text = line;
        const auto first = text.find(',');
        const auto second = first == std::string_view::npos ? first : text.find(',', first + 1);
        if (second == std::string_view::npos)
            continue;
        const auto id = parseHexId(fs::trim(text.substr(0, first)));
        const auto rev = parseHexId(fs::trim(text.substr(first + 1, second - first - 1)));
        const auto name = fs::trim(text.substr(second + 1));
        if (id == device && rev == revision && !name.empty())
            return std::string(name);
    }
    return std::nullopt;
}

} // namespace orb::platform
