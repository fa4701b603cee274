#include "platform/linux/LinuxHidSensors.h"

#include "platform/linux/SysFs.h"

#include <algorithm>
#include <map>
#include <set>

namespace orb::platform {

namespace {

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

bool isOtherReadersChip(const HwmonChip& chip, const std::vector<std::string>& thermalZoneChips) {
    return chip.name == "acpitz" || chip.name == "applesmc" ||
           contains(chip.devicePath, "/power_supply/") ||
           std::find(thermalZoneChips.begin(), thermalZoneChips.end(), chip.name) !=
               thermalZoneChips.end();
}

std::string channelName(const HwmonTemperature& channel) {
    return channel.label.empty() ? "temp" + std::to_string(channel.index) : channel.label;
}

std::string baseProduct(const HwmonChip& chip, const HwmonTemperature& channel) {
    std::string name = channelName(channel);
    if (chip.name == "coretemp" || chip.name.empty())
        return name;
    if (chip.name == "nvme")
        return (chip.deviceName.empty() ? chip.name : chip.deviceName) + " " + name;
    if (isGraphicsChip(chip))
        return chip.name + (contains(chip.name, "gpu") ? " " : " GPU ") + name;
    if (channel.label.empty() && chip.temperatures.size() == 1)
        return chip.name;
    return chip.name + " " + name;
}

// The coretemp chip's package channel, which names the socket it sits in.
std::string packageOf(const HwmonChip& chip) {
    if (chip.name != "coretemp")
        return {};
    for (const HwmonTemperature& channel : chip.temperatures)
        if (channel.label.starts_with("Package id") || channel.label.starts_with("Physical id"))
            return channel.label;
    return {};
}

// The first way of naming the chips that tells all of them apart.
std::map<int, std::string> distinctQualifiers(const std::vector<const HwmonChip*>& chips) {
    const auto ways = {+[](const HwmonChip& c) { return packageOf(c); },
                       +[](const HwmonChip& c) { return c.deviceName; },
                       +[](const HwmonChip& c) { return "hwmon" + std::to_string(c.number); }};
    for (auto way : ways) {
        std::map<int, std::string> qualifiers;
        std::set<std::string> seen;
        for (const HwmonChip* chip : chips) {
            std::string qualifier = way(*chip);
            if (qualifier.empty() || !seen.insert(qualifier).second)
                break;
            qualifiers[chip->number] = std::move(qualifier);
        }
        if (qualifiers.size() == chips.size())
            return qualifiers;
    }
    return {}; // hwmonN is unique, so this is not reached
}

} // namespace

std::vector<HidSensorChannel> hidSensorChannels(const std::vector<HwmonChip>& chips,
                                                const std::vector<std::string>& thermalZoneChips) {
    std::vector<HidSensorChannel> channels;
    std::map<int, const HwmonChip*> chipByNumber;
    for (const HwmonChip& chip : chips) {
        if (isOtherReadersChip(chip, thermalZoneChips))
            continue;
        chipByNumber[chip.number] = &chip;
        for (const HwmonTemperature& channel : chip.temperatures)
            if (!hasSmcKey(chip, channel))
                channels.push_back({baseProduct(chip, channel), chip.number, channel.index});
    }

    // Chips of one name that give a product twice (two sockets) are told apart in every product,
    // so that a socket's channels read alike.
    std::map<std::string, std::vector<const HwmonChip*>> chipsByName;
    for (const auto& [number, chip] : chipByNumber)
        chipsByName[chip->name].push_back(chip);
    for (const auto& [name, group] : chipsByName) {
        std::map<std::string, int> owner; // product to the chip that gave it first
        bool repeated = false;
        for (const HidSensorChannel& channel : channels)
            if (chipByNumber[channel.chip]->name == name)
                repeated |=
                    owner.try_emplace(channel.product, channel.chip).first->second != channel.chip;
        if (!repeated)
            continue;
        const auto qualifiers = distinctQualifiers(group);
        for (HidSensorChannel& channel : channels)
            if (qualifiers.contains(channel.chip))
                channel.product = qualifiers.at(channel.chip) + " " + channel.product;
    }

    // What is still alike: channels of one chip with the same label go by their numbers, and
    // chips of different names that happen to agree by their hwmon numbers.
    const auto repeatedProducts = [&channels] {
        std::map<std::string, int> uses;
        for (const HidSensorChannel& channel : channels)
            ++uses[channel.product];
        return uses;
    };
    auto uses = repeatedProducts();
    for (HidSensorChannel& channel : channels)
        if (uses[channel.product] > 1)
            channel.product += " temp" + std::to_string(channel.channel);
    uses = repeatedProducts();
    for (HidSensorChannel& channel : channels)
        if (uses[channel.product] > 1)
            channel.product = "hwmon" + std::to_string(channel.chip) + " " + channel.product;
    return channels;
}

std::vector<HidZoneSensor> hidZoneSensors(const std::vector<ThermalZone>& zones) {
    std::vector<HidZoneSensor> sensors;
    std::map<std::string, int, std::less<>> seen; // zones of each type so far
    for (const ThermalZone& zone : zones) {
        const int ordinal = ++seen[zone.type];
        if (zone.type.empty() || zone.shownElsewhere)
            continue;
        std::string product;
        switch (zone.kind) {
        case ZoneKind::Processor:
            product = "CPU (" + zone.type + ")";
            break;
        case ZoneKind::Graphics:
            product = "GPU (" + zone.type + ")";
            break;
        case ZoneKind::Other:
            product = ordinal == 1 ? zone.type : zone.type + " " + std::to_string(ordinal);
            break;
        }
        sensors.push_back({std::move(product), zone.name});
    }
    return sensors;
}

namespace {

PropertyTable sensorProperties(std::string product) {
    return PropertyTable{{std::string(hid_temperature::productKey), std::move(product)},
                         {std::string(hid_temperature::usagePageKey), hid_temperature::usagePage},
                         {std::string(hid_temperature::usageKey), hid_temperature::usage}};
}

struct Client final : HidClientObject {
    std::optional<PropertyTable> matching; // every service matches until this is set
};

struct Service final : HidServiceObject {
    PropertyTable properties;
    int chip = 0;
    int channel = 0;
    std::string zone;        // set for a thermal zone's sensor
    bool fromDriver = false; // a driver library's sensor, found again by its product
};

struct Event final : HidEventObject {
    explicit Event(double celsius) : celsius(celsius) {}
    double celsius;
};

bool matches(const PropertyTable& properties, const std::optional<PropertyTable>& matching) {
    if (!matching)
        return true;
    return std::all_of(matching->begin(), matching->end(), [&](const auto& entry) {
        const PropertyValue* value = properties.find(entry.first);
        return value && *value == entry.second;
    });
}

} // namespace

struct LinuxHidSensors::State {
    std::shared_ptr<HwmonReader> reader;
    std::shared_ptr<ThermalZoneReader> zones;
    std::shared_ptr<const DriverTemperatures> drivers;

    std::optional<std::vector<HidService>> copyServices(const HidClient& handle) {
        auto* client = dynamic_cast<Client*>(handle.get());
        if (!client)
            return std::nullopt;
        std::vector<HidService> services;
        auto offer = [&](std::shared_ptr<Service> service, std::string product) {
            service->properties = sensorProperties(std::move(product));
            if (matches(service->properties, client->matching))
                services.push_back(std::move(service));
        };
        const auto& zoneList = zones->zones();
        std::vector<std::string> zoneChips;
        for (const ThermalZone& zone : zoneList) {
            std::string chip = zone.type;
            std::replace(chip.begin(), chip.end(), '-', '_');
            zoneChips.push_back(std::move(chip));
        }
        for (HidSensorChannel& channel : hidSensorChannels(reader->chips(), zoneChips)) {
            auto service = std::make_shared<Service>();
            service->chip = channel.chip;
            service->channel = channel.channel;
            offer(std::move(service), std::move(channel.product));
        }
        for (HidZoneSensor& sensor : hidZoneSensors(zoneList)) {
            auto service = std::make_shared<Service>();
            service->zone = std::move(sensor.zone);
            offer(std::move(service), std::move(sensor.product));
        }
        for (std::size_t i = 0; drivers && i < drivers->sensors.size(); ++i) {
            auto service = std::make_shared<Service>();
            service->fromDriver = true;
            offer(std::move(service), drivers->sensors[i].first);
        }
        return services;
    }

    HidEvent copyEvent(const HidService& handle, std::int64_t eventType) {
        auto* service = dynamic_cast<Service*>(handle.get());
        if (!service || eventType != hid_temperature::eventType)
            return nullptr;
        if (service->fromDriver) {
            const auto* product = service->properties.find(hid_temperature::productKey);
            for (const auto& [name, celsius] : drivers->sensors)
                if (product && product->string() && name == *product->string())
                    return std::make_shared<Event>(celsius);
            return nullptr;
        }
        if (!service->zone.empty()) {
            for (const ThermalZone& zone : zones->zones())
                if (zone.name == service->zone && zone.millidegrees &&
                    isShownZoneTemperature(*zone.millidegrees))
                    return std::make_shared<Event>(static_cast<double>(*zone.millidegrees) / 1000);
            return nullptr;
        }
        for (const HwmonChip& chip : reader->chips()) {
            if (chip.number != service->chip)
                continue;
            for (const HwmonTemperature& channel : chip.temperatures)
                if (channel.index == service->channel && channel.celsius)
                    return std::make_shared<Event>(*channel.celsius);
        }
        return nullptr; // gone since the services were listed, or no plausible reading now
    }
};

LinuxHidSensors::LinuxHidSensors(std::shared_ptr<HwmonReader> reader,
                                 std::shared_ptr<ThermalZoneReader> zones,
                                 std::shared_ptr<const DriverTemperatures> drivers)
    : state_(std::make_shared<State>()) {
    state_->reader = std::move(reader);
    state_->zones = std::move(zones);
    state_->drivers = std::move(drivers);
}

HidFunction LinuxHidSensors::resolve(std::string_view name) {
    // The functions keep the state alive, so they outlive the resolver as looked-up symbols do.
    auto state = state_;
    if (name == hid_symbols::clientCreate)
        return HidClientCreate([](HidAllocator) { return std::make_shared<Client>(); });
    if (name == hid_symbols::clientSetMatching)
        return HidClientSetMatching([](const HidClient& handle, const PropertyTable& matching) {
            if (auto* client = dynamic_cast<Client*>(handle.get()))
                client->matching = matching;
        });
    if (name == hid_symbols::clientCopyServices)
        return HidClientCopyServices(
            [state](const HidClient& client) { return state->copyServices(client); });
    if (name == hid_symbols::serviceCopyProperty)
        return HidServiceCopyProperty(
            [](const HidService& handle,
               std::string_view property) -> std::optional<PropertyValue> {
                auto* service = dynamic_cast<Service*>(handle.get());
                const PropertyValue* value = service ? service->properties.find(property) : nullptr;
                return value ? std::optional(*value) : std::nullopt;
            });
    if (name == hid_symbols::serviceCopyEvent)
        return HidServiceCopyEvent(
            [state](const HidService& service, std::int64_t type, std::int32_t, std::int64_t) {
                return state->copyEvent(service, type);
            });
    if (name == hid_symbols::eventGetFloatValue)
        return HidEventGetFloatValue([](const HidEvent& handle, std::int32_t field) {
            auto* event = dynamic_cast<Event*>(handle.get());
            return event && field == hid_temperature::levelField ? event->celsius : 0.0;
        });
    return std::monostate();
}

} // namespace orb::platform
