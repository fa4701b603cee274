#pragma once

#include "platform/PropertyValue.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace orb::platform {

// One device service found in the registry. Destroying the object releases the service, so a
// reader that lets it go out of scope has released it.
class RegistryService {
public:
    virtual ~RegistryService() = default;
    // The service's property table as it is now; empty when it cannot be read.
    virtual std::optional<PropertyTable> properties() = 0;
};

// Walks the services of one match. Destroying it releases the match.
class ServiceIterator {
public:
    virtual ~ServiceIterator() = default;
    // The next service, null once every service has been returned.
    virtual std::unique_ptr<RegistryService> next() = 0;
};

// A walk over services collected up front.
class ServiceList final : public ServiceIterator {
public:
    explicit ServiceList(std::vector<std::unique_ptr<RegistryService>> services)
        : services_(std::move(services)) {}
    std::unique_ptr<RegistryService> next() override {
        if (position_ >= services_.size())
            return nullptr;
        return std::move(services_[position_++]);
    }

private:
    std::vector<std::unique_ptr<RegistryService>> services_;
    std::size_t position_ = 0;
};

// An open connection to a service's user client, closed when destroyed.
class UserClient {
public:
    virtual ~UserClient() = default;
    // Calls a method without arguments or results; false when the call fails.
    virtual bool callScalarMethod(std::uint32_t selector) = 0;
    // Calls a method with a fixed-size input record and fills `output`; false when it fails.
    virtual bool callStructMethod(std::uint32_t selector, std::span<const std::uint8_t> input,
                                  std::span<std::uint8_t> output) = 0;
};

// A registration for a service's interest messages, cancelled when destroyed.
class InterestNotification {
public:
    virtual ~InterestNotification() = default;
};

// Receives one interest message; runs on the thread that registered it, from its event loop.
using InterestCallback = std::function<void(std::uint32_t message)>;

// The device registry: services matched by class name, each with a property table.
class DeviceRegistry {
public:
    virtual ~DeviceRegistry() = default;
    // The services of class `className`. Null when the match itself fails; a class without
    // services gives an iterator that ends at once.
    virtual std::unique_ptr<ServiceIterator> matchingServices(std::string_view className) = 0;
    // Opens the user client of `service`; null when it cannot be opened.
    virtual std::unique_ptr<UserClient> openUserClient(RegistryService& service,
                                                       std::uint32_t type) = 0;
    // Delivers the interest messages of `service` to `callback` until the registration is
    // destroyed; null when the service cannot be watched.
    virtual std::unique_ptr<InterestNotification>
    addInterestNotification(RegistryService& service, InterestCallback callback) = 0;
};

} // namespace orb::platform
