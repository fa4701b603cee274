#pragma once

#include "platform/HidEventSystem.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace orb::testing {

using namespace orb::platform;

struct FakeService final : HidServiceObject {
    std::optional<PropertyValue> product;
    std::optional<double> celsius; // no event when empty
};
struct FakeEvent final : HidEventObject {
    double celsius = 0;
};

// An event system with the given services; the names in `missing` are not found.
struct FakeHidSystem final : HidFunctionResolver {
    std::vector<HidService> services;
    std::set<std::string, std::less<>> missing;
    bool clientFails = false;
    bool listFails = false;
    std::optional<PropertyTable> matching;

    void add(std::optional<PropertyValue> product, std::optional<double> celsius) {
        auto service = std::make_shared<FakeService>();
        service->product = std::move(product);
        service->celsius = celsius;
        services.push_back(service);
    }

    HidFunction resolve(std::string_view name) override {
        if (missing.contains(name))
            return std::monostate();
        if (name == hid_symbols::clientCreate)
            return HidClientCreate([this](HidAllocator) {
                return clientFails ? nullptr : std::make_shared<HidClientObject>();
            });
        if (name == hid_symbols::clientSetMatching)
            return HidClientSetMatching(
                [this](const HidClient&, const PropertyTable& table) { matching = table; });
        if (name == hid_symbols::clientCopyServices)
            return HidClientCopyServices([this](const HidClient&) {
                return listFails ? std::nullopt : std::optional(services);
            });
        if (name == hid_symbols::serviceCopyProperty)
            return HidServiceCopyProperty([](const HidService& service, std::string_view key) {
                return key == "Product" ? static_cast<FakeService&>(*service).product
                                        : std::nullopt;
            });
        if (name == hid_symbols::serviceCopyEvent)
            return HidServiceCopyEvent(
                [](const HidService& service, std::int64_t type, std::int32_t, std::int64_t) {
                    auto& fake = static_cast<FakeService&>(*service);
                    if (type != 15 || !fake.celsius)
                        return HidEvent();
                    auto event = std::make_shared<FakeEvent>();
                    event->celsius = *fake.celsius;
                    return HidEvent(event);
                });
        if (name == hid_symbols::eventGetFloatValue)
            return HidEventGetFloatValue([](const HidEvent& event, std::int32_t field) {
                return field == 0xF0000 ? static_cast<FakeEvent&>(*event).celsius : -1.0;
            });
        return std::monostate();
    }
};

} // namespace orb::testing
