#include "monitor/BatteryDetailsReader.h"

#include "platform/SmartBattery.h"

#include <bit>

namespace orb {

namespace {

namespace batteryKeys = platform::smart_battery;
using platform::PropertyTable;

std::optional<int> intOf(const PropertyTable& table, std::string_view key) {
    const auto* value = table.find(key);
    return value ? value->toInt() : std::nullopt;
}
std::optional<std::int64_t> int64Of(const PropertyTable& table, std::string_view key) {
    const auto* value = table.find(key);
    return value ? value->toInt64() : std::nullopt;
}
// A power figure in watts; a negative one counts as absent.
std::optional<double> wattsOf(const PropertyTable& table, std::string_view key) {
    const auto* value = table.find(key);
    if (!value)
        return std::nullopt;
    if (auto watts = value->toDouble(); watts && *watts >= 0)
        return watts;
    if (auto watts = value->toFloat(); watts && *watts >= 0)
        return static_cast<double>(*watts);
    return std::nullopt;
}
const PropertyTable* tableOf(const PropertyTable& table, std::string_view key) {
    const auto* value = table.find(key);
    return value ? value->table() : nullptr;
}

} // namespace

std::optional<BatteryDetails> BatteryDetailsReader::read() {
    auto services = registry_.matchingServices(batteryKeys::serviceClass);
    auto service = services ? services->next() : nullptr;
    const auto properties = service ? service->properties() : std::nullopt;
    if (!properties)
        return std::nullopt;

    BatteryDetails details;
    details.voltage = int64Of(*properties, batteryKeys::voltageKey);
    if (const auto* amperage = properties->find(batteryKeys::amperageKey)) {
        // A current stored unsigned is the bit pattern of a signed one.
        details.amperage = amperage->toInt64();
        if (!details.amperage)
            if (auto bits = amperage->toUInt64())
                details.amperage = std::bit_cast<std::int64_t>(*bits);
    }
    if (const auto* adapter = tableOf(*properties, batteryKeys::adapterDetailsKey))
        details.adapter =
            BatteryDetails::Adapter{intOf(*adapter, batteryKeys::adapterWattsKey),
                                    intOf(*adapter, batteryKeys::adapterCurrentKey),
                                    int64Of(*adapter, batteryKeys::adapterVoltageKey)};
    if (const auto* data = tableOf(*properties, batteryKeys::batteryDataKey)) {
        details.systemPower = wattsOf(*data, batteryKeys::systemPowerKey);
        details.adapterPower = wattsOf(*data, batteryKeys::adapterPowerKey);
    }
    if (const auto* telemetry = tableOf(*properties, batteryKeys::powerTelemetryKey)) {
        details.systemVoltageIn = int64Of(*telemetry, batteryKeys::systemVoltageInKey);
        details.systemCurrentIn = int64Of(*telemetry, batteryKeys::systemCurrentInKey);
    }
    details.cycleCount = intOf(*properties, batteryKeys::cycleCountKey);
    details.designCapacity = intOf(*properties, batteryKeys::designCapacityKey);
    details.rawMaxCapacity = intOf(*properties, batteryKeys::rawMaxCapacityKey);
    details.temperature = int64Of(*properties, batteryKeys::temperatureKey);
    if (const auto* external = properties->find(batteryKeys::externalConnectedKey))
        details.externalConnected = external->toBool();
    return details;
}

std::optional<platform::RegistryEntryId> BatteryDetailsReader::serviceId() {
    auto services = registry_.matchingServices(batteryKeys::serviceClass);
    auto service = services ? services->next() : nullptr;
    if (!service)
        return std::nullopt;
    return service->entryId();
}

} // namespace orb
