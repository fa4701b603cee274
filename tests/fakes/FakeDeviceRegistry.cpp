#include "fakes/FakeDeviceRegistry.h"

#include <algorithm>
#include <functional>

namespace orb::testing {

using namespace platform;

namespace {

// Keeps its registry's count of unreleased objects.
class Tracked {
public:
    explicit Tracked(int& unreleased) : unreleased_(unreleased) { ++unreleased_; }
    Tracked(const Tracked&) = delete;
    ~Tracked() { --unreleased_; }

private:
    int& unreleased_;
};

class FakeService final : public RegistryService {
public:
    FakeService(int& unreleased, RegistryEntryId id, std::optional<PropertyTable> properties)
        : tracked_(unreleased), id_(id), properties_(std::move(properties)) {}
    RegistryEntryId entryId() const override { return id_; }
    std::optional<PropertyTable> properties() override { return properties_; }

private:
    Tracked tracked_;
    RegistryEntryId id_;
    std::optional<PropertyTable> properties_;
};

class FakeIterator final : public ServiceIterator {
public:
    FakeIterator(int& unreleased, std::vector<std::unique_ptr<RegistryService>> services)
        : tracked_(unreleased), services_(std::move(services)) {}
    std::unique_ptr<RegistryService> next() override { return services_.next(); }

private:
    Tracked tracked_;
    ServiceList services_;
};

} // namespace

// Listed in its registry while alive; the list is shared, so a registration may outlive it.
class FakeDeviceRegistry::Registration final : public InterestNotification {
public:
    Registration(std::shared_ptr<std::vector<Registration*>> all, RegistryEntryId service,
                 InterestCallback callback)
        : service(service), callback(std::move(callback)), all_(std::move(all)) {
        all_->push_back(this);
    }
    ~Registration() override { std::erase(*all_, this); }

    const RegistryEntryId service;
    const InterestCallback callback;

private:
    std::shared_ptr<std::vector<Registration*>> all_;
};

RegistryEntryId FakeDeviceRegistry::identityOf(std::string_view className, std::size_t index) {
    return std::hash<std::string_view>{}(className)*31 + index + 1;
}

std::unique_ptr<ServiceIterator> FakeDeviceRegistry::matchingServices(std::string_view className) {
    if (matchFails)
        return nullptr;
    std::vector<std::unique_ptr<RegistryService>> found;
    if (auto it = services.find(className); it != services.end()) {
        for (std::size_t i = 0; i < it->second.size(); ++i)
            found.push_back(
                std::make_unique<FakeService>(unreleased, identityOf(className, i), it->second[i]));
    }
    return std::make_unique<FakeIterator>(unreleased, std::move(found));
}

std::unique_ptr<InterestNotification>
FakeDeviceRegistry::addInterestNotification(RegistryEntryId service, InterestCallback callback) {
    for (const auto& [className, tables] : services) {
        for (std::size_t i = 0; i < tables.size(); ++i) {
            if (identityOf(className, i) == service)
                return std::make_unique<Registration>(registrations_, service, std::move(callback));
        }
    }
    return nullptr;
}

int FakeDeviceRegistry::deliver(RegistryEntryId service, InterestMessage message) {
    // A callback may cancel registrations, its own included: each one registered when the
    // message came and still live when its turn comes receives it.
    int delivered = 0;
    for (auto* registration : std::vector(*registrations_)) {
        if (std::ranges::find(*registrations_, registration) == registrations_->end() ||
            registration->service != service)
            continue;
        auto callback = registration->callback;
        callback(message);
        ++delivered;
    }
    return delivered;
}

} // namespace orb::testing
