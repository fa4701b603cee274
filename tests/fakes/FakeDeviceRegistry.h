#pragma once

#include "platform/DeviceRegistry.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace orb::testing {

// Services by class name: each one's property table, or empty when reading it fails. Counts the
// services and iterators it handed out that are still alive, so a test can see that a reader
// released everything it took.
class FakeDeviceRegistry final : public platform::DeviceRegistry {
public:
    std::map<std::string, std::vector<std::optional<platform::PropertyTable>>, std::less<>>
        services;
    bool matchFails = false;
    int unreleased = 0;

    std::unique_ptr<platform::ServiceIterator>
    matchingServices(std::string_view className) override;
    std::unique_ptr<platform::UserClient> openUserClient(platform::RegistryEntryId,
                                                         std::uint32_t) override {
        return nullptr;
    }
    // No reader on these fakes watches its devices.
    std::unique_ptr<platform::InterestNotification>
    addInterestNotification(platform::RegistryEntryId, platform::InterestCallback) override {
        return nullptr;
    }
};

} // namespace orb::testing
