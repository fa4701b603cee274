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

// Names one service of the registry for as long as its device exists: two matches find the
// same service under the same identity, and a service that is gone leaves its identity unused
// (a device that comes back in the same place may take it again). Identities are how a client
// is opened on a service or its interest messages are watched, so a caller never needs more
// than the identity it read from a match. Each platform's registry says how it makes them.
using RegistryEntryId = std::uint64_t;

// One device service found in the registry. Destroying the object releases the service, so a
// reader that lets it go out of scope has released it.
class RegistryService {
public:
    virtual ~RegistryService() = default;
    virtual RegistryEntryId entryId() const = 0;
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
    // Each call returns 0 when it succeeds, else the failure's code.
    // Calls a method without arguments or results.
    virtual std::int32_t callScalarMethod(std::uint32_t selector) = 0;
    // Calls a method with a fixed-size input record and fills `output`.
    virtual std::int32_t callStructMethod(std::uint32_t selector,
                                          std::span<const std::uint8_t> input,
                                          std::span<std::uint8_t> output) = 0;
};

// What an interest message says about its service.
using InterestMessage = std::uint32_t;
// Something about the service changed (a battery's charge, its state, the adapter); read its
// properties again to see what.
inline constexpr InterestMessage serviceStateChanged = 1;
// The service's device went away; its identity is no longer matched.
inline constexpr InterestMessage serviceRemoved = 2;

// A registration for a service's interest messages, cancelled when destroyed: no message
// reaches the callback after that, and what the registration held is released.
class InterestNotification {
public:
    virtual ~InterestNotification() = default;
};

// Receives one interest message. It runs on the thread that registered it, from that thread's
// event loop, never from inside the registration or another registry call.
using InterestCallback = std::function<void(InterestMessage message)>;

// The device registry: services matched by class name, each with a property table.
class DeviceRegistry {
public:
    virtual ~DeviceRegistry() = default;
    // The services of class `className`. Null when the match itself fails; a class without
    // services gives an iterator that ends at once.
    virtual std::unique_ptr<ServiceIterator> matchingServices(std::string_view className) = 0;
    // Opens a user client of kind `type` on the service named `service`; null when there is no
    // such service or it cannot be opened.
    virtual std::unique_ptr<UserClient> openUserClient(RegistryEntryId service,
                                                       std::uint32_t type) = 0;
    // Delivers the interest messages of the service named `service` to `callback` until the
    // registration is destroyed; null when there is no such service or it cannot be watched.
    virtual std::unique_ptr<InterestNotification>
    addInterestNotification(RegistryEntryId service, InterestCallback callback) = 0;
};

} // namespace orb::platform
