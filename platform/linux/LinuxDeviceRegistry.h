#pragma once

#include "platform/DeviceRegistry.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orb::platform {

// Produces the services of one class, read afresh for every match.
class ServiceSource {
public:
    virtual ~ServiceSource() = default;
    virtual std::vector<std::unique_ptr<RegistryService>> services() = 0;
};

// A service whose property table was read when it was found.
class SnapshotService final : public RegistryService {
public:
    explicit SnapshotService(PropertyTable properties) : properties_(std::move(properties)) {}
    std::optional<PropertyTable> properties() override { return properties_; }

private:
    PropertyTable properties_;
};

// The device registry on Linux: each class of service is built from /proc and /sys by its own
// source. A class without a source has no services.
class LinuxDeviceRegistry final : public DeviceRegistry {
public:
    void addSource(std::string className, std::unique_ptr<ServiceSource> source);

    std::unique_ptr<ServiceIterator> matchingServices(std::string_view className) override;
    // No service here has a user client or sends interest messages yet.
    std::unique_ptr<UserClient> openUserClient(RegistryService&, std::uint32_t) override {
        return nullptr;
    }
    std::unique_ptr<InterestNotification> addInterestNotification(RegistryService&,
                                                                  InterestCallback) override {
        return nullptr;
    }

private:
    std::map<std::string, std::unique_ptr<ServiceSource>, std::less<>> sources_;
};

} // namespace orb::platform
