#include "monitor/BatteryDetailsReader.h"

#include "platform/SmartBattery.h"

#include <bit>

namespace orb {

namespace {

namespace keys = platform::smart_battery;
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
    auto services = registry_.matchingServices(keys::serviceClass);
    auto service = services ? services->next() : nullptr;
    const auto properties = service ? service->properties() : std::nullopt;
    if (!properties)
        return std::nullopt;

    BatteryDetails details;
    details.voltage = int64Of(*properties, keys::voltageKey);
    if (const auto* amperage = properties->find(keys::amperageKey)) {
        // A current stored unsigned is the bit pattern of a signed one.
        details.amperage = amperage->toInt64();
        if (!details.amperage)
            if (auto bits = amperage->toUInt64())
                details.amperage = std::bit_cast<std::int64_t>(*bits);
    }
    if (const auto* adapter = tableOf(*properties, keys::adapterDetailsKey))
        details.adapter = BatteryDetails::Adapter{intOf(*adapter, keys::adapterWattsKey),
                                                  intOf(*adapter, keys::adapterCurrentKey),
                                                  int64Of(*adapter, keys::adapterVoltageKey)};
    if (const auto* data = tableOf(*properties, keys::batteryDataKey)) {
        details.systemPower = wattsOf(*data, keys::systemPowerKey);
        details.adapterPower = wattsOf(*data, keys::adapterPowerKey);
    }
    if (const auto* telemetry = tableOf(*properties, keys::powerTelemetryKey)) {
        details.systemVoltageIn = int64Of(*telemetry, keys::systemVoltageInKey);
        details.systemCurrentIn = int64Of(*telemetry, keys::systemCurrentInKey);
    }
    details.cycleCount = intOf(*properties, keys::cycleCountKey);
    details.designCapacity = intOf(*properties, keys::designCapacityKey);
    details.rawMaxCapacity = intOf(*properties, keys::rawMaxCapacityKey);
    details.temperature = int64Of(*properties, keys::temperatureKey);
    if (const auto* external = properties->find(keys::externalConnectedKey))
        details.externalConnected = external->toBool();
    return details;
}

std::optional<platform::RegistryEntryId> BatteryDetailsReader::serviceId() {
    auto services = registry_.matchingServices(keys::serviceClass);
    auto service = services ? services->next() : nullptr;
    if (!service)
        return std::nullopt;
    return service->entryId();
}

} // namespace orb
