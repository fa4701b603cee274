#include "fakes/FakeDeviceRegistry.h"

#include <algorithm>
#include <functional>

namespace orb::testing {

namespace {

// Keeps its registry's count of unreleased objects.
class Tracked {
public:
    explicit Tracked(int& unreleased) : unreleased_(unreleased) { ++unreleased_; }
    Tracked(const Tracked&) = delete;
    Tracked& operator=(const Tracked&) = delete;
    ~Tracked() { --unreleased_; }

private:
    int& unreleased_;
};

class FakeService final : public platform::RegistryService {
public:
    FakeService(int& unreleased, platform::RegistryEntryId id,
                std::optional<platform::PropertyTable> properties)
        : tracked_(unreleased), id_(id), properties_(std::move(properties)) {}
    platform::RegistryEntryId entryId() const override { return id_; }
    std::optional<platform::PropertyTable> properties() override { return properties_; }

private:
    Tracked tracked_;
    platform::RegistryEntryId id_;
    std::optional<platform::PropertyTable> properties_;
};

class FakeIterator final : public platform::ServiceIterator {
public:
    FakeIterator(int& unreleased, std::string className,
                 std::vector<std::optional<platform::PropertyTable>> tables)
        : tracked_(unreleased), unreleased_(unreleased), className_(std::move(className)),
          tables_(std::move(tables)) {}
    std::unique_ptr<platform::RegistryService> next() override {
        if (position_ >= tables_.size())
            return nullptr;
        const auto id = FakeDeviceRegistry::identityOf(className_, position_);
        return std::make_unique<FakeService>(unreleased_, id, tables_[position_++]);
    }

private:
    Tracked tracked_;
    int& unreleased_;
    std::string className_;
    std::vector<std::optional<platform::PropertyTable>> tables_;
    std::size_t position_ = 0;
};

} // namespace

// Listed in its registry while alive. The list is shared so a registration may outlive it.
class FakeDeviceRegistry::Registration final : public platform::InterestNotification {
public:
    Registration(std::shared_ptr<std::vector<Registration*>> all, platform::RegistryEntryId service,
                 platform::InterestCallback callback)
        : service(service), callback(std::move(callback)), all_(std::move(all)) {
        all_->push_back(this);
    }
    ~Registration() override { std::erase(*all_, this); }

    const platform::RegistryEntryId service;
    const platform::InterestCallback callback;

private:
    std::shared_ptr<std::vector<Registration*>> all_;
};

platform::RegistryEntryId FakeDeviceRegistry::identityOf(std::string_view className,
                                                         std::size_t index) {
    return std::hash<std::string_view>{}(className)*31 + index + 1;
}

bool FakeDeviceRegistry::hasService(platform::RegistryEntryId service) const {
    return std::any_of(services.begin(), services.end(), [&](const auto& entry) {
        for (std::size_t i = 0; i < entry.second.size(); ++i) {
            if (identityOf(entry.first, i) == service)
                return true;
        }
        return false;
    });
}

std::unique_ptr<platform::ServiceIterator>
FakeDeviceRegistry::matchingServices(std::string_view className) {
    if (matchFails)
        return nullptr;
    auto it = services.find(className);
    return std::make_unique<FakeIterator>(
        unreleased, std::string(className),
        it == services.end() ? std::vector<std::optional<platform::PropertyTable>>{} : it->second);
}

std::unique_ptr<platform::InterestNotification>
FakeDeviceRegistry::addInterestNotification(platform::RegistryEntryId service,
                                            platform::InterestCallback callback) {
    if (!hasService(service))
        return nullptr;
    return std::make_unique<Registration>(registrations_, service, std::move(callback));
}

int FakeDeviceRegistry::deliver(platform::RegistryEntryId service,
                                platform::InterestMessage message) {
    // A callback may cancel registrations, its own included: each one live when its turn
    // comes, and registered when the message came, receives it.
    int delivered = 0;
    for (auto* registration : std::vector(*registrations_)) {
        const auto& live = *registrations_;
        if (std::find(live.begin(), live.end(), registration) == live.end() ||
            registration->service != service)
            continue;
        auto callback = registration->callback;
        callback(message);
        ++delivered;
    }
    return delivered;
}

} // namespace orb::testing
