#pragma once

#include "platform/DeviceRegistry.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orb::testing {

// Services by class name. Counts the services and iterators it handed out that are still
// alive, so a test can see that a reader released everything it took. Interest messages are
// delivered when the test says so, standing in for the event loop.
class FakeDeviceRegistry final : public platform::DeviceRegistry {
public:
    // One entry per service: its property table, or empty when reading it fails. The service
    // at `index` of class `className` has the identity identityOf(className, index).
    std::map<std::string, std::vector<std::optional<platform::PropertyTable>>, std::less<>>
        services;
    bool matchFails = false;
    int unreleased = 0;

    static platform::RegistryEntryId identityOf(std::string_view className, std::size_t index);

    // Hands `message` to every live registration on the service `service`; returns how many
    // received it.
    int deliver(platform::RegistryEntryId service, platform::InterestMessage message);

    std::unique_ptr<platform::ServiceIterator>
    matchingServices(std::string_view className) override;
    std::unique_ptr<platform::UserClient> openUserClient(platform::RegistryEntryId,
                                                         std::uint32_t) override {
        return nullptr;
    }
    // Null for an identity that no service has, as for a device that is gone.
    std::unique_ptr<platform::InterestNotification>
    addInterestNotification(platform::RegistryEntryId service,
                            platform::InterestCallback callback) override;

private:
    class Registration;

    std::shared_ptr<std::vector<Registration*>> registrations_ =
        std::make_shared<std::vector<Registration*>>();
};

} // namespace orb::testing
