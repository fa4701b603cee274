#include "sensors/IoregMonitor.h"

#include "platform/DeviceRegistry.h"
#include "platform/SmartBattery.h"

#include <algorithm>
#include <cctype>

namespace orb {

using platform::PropertyTable;
using platform::PropertyValue;

namespace {

// Drivers give whole degrees or hundredths of a degree; anything else is a count, a limit or a
// sentinel that only happens to sit on a temperature-like key.
std::optional<double> degreesOf(const PropertyValue& value) {
    const auto v = value.toInt64();
    if (!v)
        return std::nullopt;
    if (*v > 20 && *v < 100)
        return static_cast<double>(*v);
    if (*v > 2000 && *v <= 9999)
        return static_cast<double>(*v) / 100.0;
    return std::nullopt;
}

bool namesATemperature(std::string_view key) {
    std::string lower(key);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::ranges::any_of(std::array{"temp", "therm", "sensor", "die"}, [&](const char* word) {
        return lower.find(word) != std::string::npos;
    });
}

std::string sensorName(const PropertyTable& table, std::string_view className) {
    for (const char* key : {"name", "Product"}) {
        if (const auto* value = table.find(key); value && value->string())
            return *value->string();
    }
    return std::string(className);
}

} // namespace

std::optional<PropertyTable> IoregMonitor::propertyTable(platform::RegistryService& service) {
    return service.properties();
}

std::optional<double> IoregMonitor::batteryTemperature(platform::DeviceRegistry& registry) {
    auto services = registry.matchingServices(platform::smart_battery::serviceClass);
    if (!services)
        return std::nullopt;
    auto battery = services->next();
    if (!battery)
        return std::nullopt;
    const auto table = propertyTable(*battery);
    const auto* temperature =
        table ? table->find(platform::smart_battery::temperatureKey) : nullptr;
    const auto hundredths = temperature ? temperature->toInt64() : std::nullopt;
    if (!hundredths)
        return std::nullopt;
    return static_cast<double>(*hundredths) / 100.0;
}

std::string IoregMonitor::renamedLabel(std::string label) {
    static constexpr std::pair<std::string_view, std::string_view> renames[] = {
        {"AppleSmartBattery.Temperature", batteryTemperatureLabel},
        {"VirtualTemperature", "Battery Temp (Virtual)"},
        {"IOPMPowerSource", powerSourceTemperatureLabel},
    };
    for (const auto& [fragment, renamed] : renames) {
        if (label.find(fragment) != std::string::npos)
            return std::string(renamed);
    }
    return label;
}

TemperatureTable IoregMonitor::registryTemperatures(platform::DeviceRegistry& registry) {
    TemperatureTable table;
    for (const auto className : scannedClasses) {
        auto services = registry.matchingServices(className);
        if (!services)
            continue;
        while (auto service = services->next()) {
            const auto properties = propertyTable(*service);
            if (!properties)
                continue;
            for (const auto& [key, value] : *properties) {
                const auto degrees = degreesOf(value);
                if (!degrees || !namesATemperature(key))
                    continue;
                table[renamedLabel(sensorName(*properties, className) + "." + key)] = *degrees;
            }
        }
    }
    return table;
}

TemperatureTable IoregMonitor::read(platform::DeviceRegistry& registry) {
    TemperatureTable table;
    const auto battery = batteryTemperature(registry);
    if (battery)
        table["Battery"] = *battery;
    for (auto& [label, degrees] : registryTemperatures(registry)) {
        // The scan meets the battery's own temperature again, on its service and on the same
        // service as a power source: one sensor, one row.
        if (battery && (label == batteryTemperatureLabel || label == powerSourceTemperatureLabel))
            continue;
        table.try_emplace(label, degrees);
    }
    return table;
}

} // namespace orb
