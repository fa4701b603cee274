#pragma once

#include "platform/linux/DeviceEvents.h"
#include "platform/linux/IntelBusy.h"
#include "platform/linux/LinuxDeviceRegistry.h"
#include "platform/linux/PciIdNames.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace orb::platform {

// The graphics accelerator services: one per DRM card (/sys/class/drm/cardN, not its
// connectors), each with the figures its driver gives.
//
// - amdgpu: "Device Utilization %" from `gpu_busy_percent`, "In use system memory" from
//   `mem_info_vram_used` and "Alloc system memory" from `mem_info_vram_total` (bytes; an APU's
//   VRAM is the carve-out of system memory set aside for it). GTT is left out: it is ordinary
//   system memory the processor maps, already counted as used memory, and its total is a limit
//   (half the memory), not memory set aside. Power from the card's hwmon `power1_average`, else
//   `power1_input` (µW), on discrete cards only: on an APU that figure is the whole package's.
// - i915 and xe: the busy figure of the IntelBusySource, when one is given, by the card's PCI
//   address.
// - Any other driver: the model only. NVIDIA's cards are left to the NVIDIA source.
// No driver gives a count of its resets outside debugfs, so "recoveryCount" is never present.
// A card without a busy figure has no statistics table, so it does not pull the mean down.
//
// A card whose `device/power/runtime_status` is "suspended" (or "suspending") is not read at
// all, since reading its figures would wake it: it counts as idle (0 %, with its model when it
// was seen awake before), without memory or power figures. What stays the same while a card exists
// (its identity, model, which files it has, its VRAM size) is read when it is first seen awake;
// each tick then reads its power state and each figure's file once.
class LinuxAccelerators final : public ServiceSource {
public:
    LinuxAccelerators(std::string root, DeviceNameDatabases names,
                      std::shared_ptr<IntelBusySource> intelBusy = nullptr);
    explicit LinuxAccelerators(const std::string& root)
        : LinuxAccelerators(root, installedDeviceNameDatabases(root)) {}
    ~LinuxAccelerators() override;

    std::vector<std::unique_ptr<RegistryService>> services() override;
    std::string_view subsystem() const override { return "drm"; }

private:
    struct Card;
    void describe(Card& card);
    std::string modelOf(const Card& card);
    PropertyTable read(Card& card);

    std::string root_;
    linux_fs::ClassListing listing_;
    DeviceNameDatabases names_;
    std::shared_ptr<IntelBusySource> intelBusy_;
    std::map<std::string, std::unique_ptr<Card>, std::less<>> cards_; // by cardN
    std::map<std::uint64_t, std::string> models_; // by vendor, device and revision
};

} // namespace orb::platform
