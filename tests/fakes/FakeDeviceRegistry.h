#pragma once

#include "platform/DeviceRegistry.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orb::testing {

// A scripted controller behind the user client of the "AppleSMC" services. Keys answer key
// info with their type and size, and reads of exactly that size with their bytes; a read of
// another size fails in the record's result byte, like the real one.
struct FakeSmc {
    struct Key {
        std::string type;
        std::vector<std::uint8_t> bytes;
    };
    std::map<std::string, Key, std::less<>> keys;
    std::vector<std::string> enumeration;  // what key-at-index answers, by index
    std::optional<std::uint32_t> keyCount; // "#KEY" answers this when set
    std::int32_t openResult = 0;           // of scalar method 0
    std::vector<std::uint32_t> scalarCalls;

    // Keys in the controller's formats: a temperature (sp78) and a fan's speed (fpe2).
    void temperature(const std::string& key, double celsius);
    void fan(const std::string& key, double rpm);
};

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
    // Answers the user client of every "AppleSMC" service when set.
    std::shared_ptr<FakeSmc> smc;
    int unreleased = 0;

    static platform::RegistryEntryId identityOf(std::string_view className, std::size_t index);
    // Adds an "AppleSMC" service, whose user client is the controller returned.
    FakeSmc& addSmc();

    // Hands `message` to every live registration on the service `service`; returns how many
    // received it.
    int deliver(platform::RegistryEntryId service, platform::InterestMessage message);

    std::unique_ptr<platform::ServiceIterator>
    matchingServices(std::string_view className) override;
    std::unique_ptr<platform::UserClient> openUserClient(platform::RegistryEntryId service,
                                                         std::uint32_t type) override;
    // Null for an identity that no service has, as for a device that is gone.
    std::unique_ptr<platform::InterestNotification>
    addInterestNotification(platform::RegistryEntryId service,
                            platform::InterestCallback callback) override;

private:
    class Registration;
    bool exists(std::string_view className, platform::RegistryEntryId service) const;

    std::shared_ptr<std::vector<Registration*>> registrations_ =
        std::make_shared<std::vector<Registration*>>();
};

} // namespace orb::testing
