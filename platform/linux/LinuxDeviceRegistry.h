#pragma once

#include "platform/DeviceRegistry.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orb::platform {

// The identity of the device at `devicePath`: a 64-bit hash of the kernel's path of it below
// /sys ("/devices/pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/sda"). Udev gives
// the same path in its events, so an event is matched to its service without a lookup.
RegistryEntryId registryEntryId(std::string_view devicePath);

// The kernel's device path of the sysfs entry `sysfsEntry` ("/sys/block/sda") below `root`,
// with its links followed. A captured tree often keeps its entries as plain folders; there the
// entry's own path below /sys serves ("/block/sda"), which names it just as well.
std::string kernelDevicePath(const std::string& root, const std::string& sysfsEntry);

// Produces the services of one class, read afresh for every match.
class ServiceSource {
public:
    virtual ~ServiceSource() = default;
    virtual std::vector<std::unique_ptr<RegistryService>> services() = 0;
    // The kernel subsystem its devices belong to ("block", "power_supply"): their events are
    // the services' interest messages.
    virtual std::string_view subsystem() const = 0;
    // A user client of kind `type` on one of its services; null for a source whose services
    // have none.
    virtual std::unique_ptr<UserClient> openUserClient(RegistryEntryId /*service*/,
                                                       std::uint32_t /*type*/) {
        return nullptr;
    }
};

// A service whose property table was read when it was found.
class SnapshotService final : public RegistryService {
public:
    SnapshotService(RegistryEntryId id, PropertyTable properties)
        : id_(id), properties_(std::move(properties)) {}
    RegistryEntryId entryId() const override { return id_; }
    std::optional<PropertyTable> properties() override { return properties_; }

private:
    RegistryEntryId id_;
    PropertyTable properties_;
};

// The device registry on Linux: each class of service is built from /proc and /sys by its own
// source, or by several whose services follow one another in the order they were added. A class
// without a source has no services.
//
// Interest messages come from udev, so they follow the running system's devices; a registry
// over a captured tree is built without them, since this machine's events say nothing of it.
class LinuxDeviceRegistry final : public DeviceRegistry {
public:
    explicit LinuxDeviceRegistry(bool watchesDevices = true) : watchesDevices_(watchesDevices) {}
    void addSource(std::string className, std::unique_ptr<ServiceSource> source);

    std::unique_ptr<ServiceIterator> matchingServices(std::string_view className) override;
    // Opened by the source that has the service.
    std::unique_ptr<UserClient> openUserClient(RegistryEntryId service,
                                               std::uint32_t type) override;
    std::unique_ptr<InterestNotification>
    addInterestNotification(RegistryEntryId service, InterestCallback callback) override;

private:
    // The source that currently has the service named `service`; null when none has.
    ServiceSource* sourceOf(RegistryEntryId service);

    bool watchesDevices_;
    std::multimap<std::string, std::unique_ptr<ServiceSource>, std::less<>> sources_;
};

} // namespace orb::platform
