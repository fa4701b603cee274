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

bool isGraphicsDriver(std::string_view name) {
    return name == "amdgpu" || name == "radeon" || name == "nouveau" || name == "i915" ||
           name == "xe";
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
    const std::string name = channelName(channel);
    if (chip.name == "coretemp" || chip.name.empty())
        return name;
    if (chip.name == "nvme")
        return (chip.deviceName.empty() ? chip.name : chip.deviceName) + " " + name;
    if (isGraphicsDriver(chip.name))
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
    std::string root;
    std::shared_ptr<HwmonReader> reader;
    // Thermal zone types change only when chips come or go; they are read again then.
    std::optional<std::vector<std::pair<int, std::string>>> zonesReadFor;
    std::vector<std::string> thermalZoneChips;

    const std::vector<std::string>& zoneChipsFor(const std::vector<HwmonChip>& chips) {
        std::vector<std::pair<int, std::string>> present;
        for (const HwmonChip& chip : chips)
            present.emplace_back(chip.number, chip.name);
        if (present == zonesReadFor)
            return thermalZoneChips;
        zonesReadFor = std::move(present);
        thermalZoneChips.clear();
        const std::string zones = linux_fs::underRoot(root, "/sys/class/thermal");
        for (const std::string& entry : linux_fs::listDirectory(zones)) {
            if (!entry.starts_with("thermal_zone"))
                continue;
            // The hwmon copy of a zone takes the zone's type with '-' made '_', as hwmon names
            // may not contain '-'.
            if (auto type = linux_fs::readLine(zones + "/" + entry + "/type")) {
                std::replace(type->begin(), type->end(), '-', '_');
                thermalZoneChips.push_back(std::move(*type));
            }
        }
        return thermalZoneChips;
    }

    std::optional<std::vector<HidService>> copyServices(const HidClient& handle) {
        auto* client = dynamic_cast<Client*>(handle.get());
        if (!client)
            return std::nullopt;
        const auto& chips = reader->chips();
        std::vector<HidService> services;
        for (HidSensorChannel& channel : hidSensorChannels(chips, zoneChipsFor(chips))) {
            auto service = std::make_shared<Service>();
            service->properties = sensorProperties(std::move(channel.product));
            service->chip = channel.chip;
            service->channel = channel.channel;
            if (matches(service->properties, client->matching))
                services.push_back(std::move(service));
        }
        return services;
    }

    HidEvent copyEvent(const HidService& handle, std::int64_t eventType) {
        auto* service = dynamic_cast<Service*>(handle.get());
        if (!service || eventType != hid_temperature::eventType)
            return nullptr;
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

LinuxHidSensors::LinuxHidSensors(std::string root, std::shared_ptr<HwmonReader> reader)
    : state_(std::make_shared<State>()) {
    state_->root = std::move(root);
    state_->reader = std::move(reader);
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
