#include "fakes/FakePlatform.h"

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
    FakeService(int& unreleased, std::optional<platform::PropertyTable> properties)
        : tracked_(unreleased), properties_(std::move(properties)) {}
    std::optional<platform::PropertyTable> properties() override { return properties_; }

private:
    Tracked tracked_;
    std::optional<platform::PropertyTable> properties_;
};

class FakeIterator final : public platform::ServiceIterator {
public:
    FakeIterator(int& unreleased, std::vector<std::optional<platform::PropertyTable>> tables)
        : tracked_(unreleased), unreleased_(unreleased), tables_(std::move(tables)) {}
    std::unique_ptr<platform::RegistryService> next() override {
        if (position_ >= tables_.size())
            return nullptr;
        return std::make_unique<FakeService>(unreleased_, tables_[position_++]);
    }

private:
    Tracked tracked_;
    int& unreleased_;
    std::vector<std::optional<platform::PropertyTable>> tables_;
    std::size_t position_ = 0;
};

} // namespace

std::unique_ptr<platform::ServiceIterator>
FakeDeviceRegistry::matchingServices(std::string_view className) {
    if (matchFails)
        return nullptr;
    auto it = services.find(className);
    return std::make_unique<FakeIterator>(
        unreleased,
        it == services.end() ? std::vector<std::optional<platform::PropertyTable>>{} : it->second);
}

FakePlatform::FakePlatform() {
    auto fakeClock = std::make_unique<FakeClock>();
    auto fakeProcessors = std::make_unique<FakeProcessorInfo>();
    auto fakeHost = std::make_unique<FakeHostInfo>();
    auto fakeWifi = std::make_unique<FakeWiFi>();
    auto fakeMemory = std::make_unique<FakeVirtualMemory>();
    auto fakeNetwork = std::make_unique<FakeNetworkInterfaces>();
    auto fakeRegistry = std::make_unique<FakeDeviceRegistry>();
    clock = fakeClock.get();
    processors = fakeProcessors.get();
    host = fakeHost.get();
    wifi = fakeWifi.get();
    memory = fakeMemory.get();
    network = fakeNetwork.get();
    registry = fakeRegistry.get();
    platform_.clock = std::move(fakeClock);
    platform_.processors = std::move(fakeProcessors);
    platform_.host = std::move(fakeHost);
    platform_.wifi = std::move(fakeWifi);
    platform_.memory = std::move(fakeMemory);
    platform_.network = std::move(fakeNetwork);
    platform_.registry = std::move(fakeRegistry);
}

} // namespace orb::testing
