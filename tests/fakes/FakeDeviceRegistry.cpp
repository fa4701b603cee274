#include "fakes/FakeDeviceRegistry.h"

namespace orb::testing {

using namespace platform;

namespace {

// Keeps its registry's count of unreleased objects.
struct Tracked {
    explicit Tracked(int& unreleased) : unreleased(unreleased) { ++unreleased; }
    Tracked(const Tracked&) = delete;
    ~Tracked() { --unreleased; }
    int& unreleased;
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

std::unique_ptr<ServiceIterator> FakeDeviceRegistry::matchingServices(std::string_view className) {
    if (matchFails)
        return nullptr;
    std::vector<std::unique_ptr<RegistryService>> found;
    if (auto it = services.find(className); it != services.end()) {
        const RegistryEntryId first = std::hash<std::string_view>{}(className)*31 + 1;
        for (std::size_t i = 0; i < it->second.size(); ++i)
            found.push_back(std::make_unique<FakeService>(unreleased, first + i, it->second[i]));
    }
    return std::make_unique<FakeIterator>(unreleased, std::move(found));
}

} // namespace orb::testing
