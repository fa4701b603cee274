#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orb::platform {

// The databases that name PCI devices. A path is empty when the machine has no such database;
// a device is then left without a name rather than given a made-up one.
struct DeviceNameDatabases {
    std::string pciIds;    // the PCI ID repository's pci.ids, as hwdata or pciutils install it
    std::string amdgpuIds; // libdrm's amdgpu.ids: AMD's marketing names by device and revision
};

// A hexadecimal id as sysfs and the databases write it ("0x73bf", "73BF", "c0"); empty for
// anything else.
std::optional<unsigned> parseHexId(std::string_view text);

// The databases installed below `root`, each at the first of its usual places that exists.
DeviceNameDatabases installedDeviceNameDatabases(const std::string& root);

// The device's name in pci.ids ("Navi 21 [Radeon RX 6800/6800 XT / 6900 XT]"); empty when the
// file cannot be read or does not list the device. Reads up to the end of the vendor's section.
std::optional<std::string> pciDeviceName(const std::string& pciIds, std::uint16_t vendor,
                                         std::uint16_t device);

// The marketing name amdgpu.ids gives the device at that revision ("AMD Radeon RX 6900 XT");
// empty when it lists none.
std::optional<std::string> amdgpuMarketingName(const std::string& amdgpuIds, std::uint16_t device,
                                               std::uint8_t revision);

} // namespace orb::platform
