#include "platform/linux/PowerSupplyTables.h"

#include "platform/PowerSources.h"
#include "platform/SmartBattery.h"
#include "platform/linux/PowerPacks.h"

#include <algorithm>
#include <cmath>

namespace orb::platform {

namespace {

// The online adapter to describe: one that reports its contract where several are online.
const PowerSupply* onlineAdapter(const std::vector<PowerSupply>& supplies) {
    const PowerSupply* chosen = nullptr;
    for (const auto& supply : supplies) {
        if (!isAdapter(supply) || supply.online != true)
            continue;
        if (supply.voltageNow && supply.currentNow)
            return &supply;
        if (!chosen)
            chosen = &supply;
    }
    return chosen;
}

// A USB-C supply's voltage_now and current_now are the contract it negotiated; voltage_max and
// current_max are offers or limits, and some firmware decodes them wrongly, so they are not read.
PropertyTable adapterDetails(const PowerSupply& adapter) {
    using namespace smart_battery;
    PropertyTable details;
    if (adapter.voltageNow)
        details.set(std::string(adapterVoltageKey), perThousand(*adapter.voltageNow));
    if (adapter.currentNow)
        details.set(std::string(adapterCurrentKey), perThousand(*adapter.currentNow));
    if (adapter.voltageNow && adapter.currentNow) {
        const double watts = static_cast<double>(*adapter.voltageNow) *
                             static_cast<double>(*adapter.currentNow) / 1e12;
        details.set(std::string(adapterWattsKey), static_cast<std::int64_t>(std::llround(watts)));
    }
    return details;
}

} // namespace

std::optional<PropertyTable> batteryDescription(const std::vector<PowerSupply>& supplies) {
    const auto packs = systemBatteries(supplies);
    if (packs.empty())
        return std::nullopt;
    using namespace power_source;
    PropertyTable description;
    description.set(std::string(typeKey), std::string(internalBattery));
    if (auto level = combinedLevel(packs); level && level->full > 0) {
        description.set(std::string(currentCapacityKey), level->now);
        description.set(std::string(maxCapacityKey), level->full);
    }
    const bool discharging = anyFlowing(packs, -1);
    description.set(std::string(isChargingKey), anyFlowing(packs, 1));
    // Without an adapter that says whether it is online, a pack that discharges is the only sign
    // of running on battery.
    const bool onAC = adapterOnline(supplies).value_or(!discharging);
    description.set(std::string(stateKey), std::string(onAC ? acPower : batteryPower));
    description.set(std::string(timeToEmptyKey), minutesToEmpty(packs));
    description.set(std::string(timeToFullKey), minutesToFull(packs));
    if (!packs.front()->health.empty())
        description.set(std::string(healthKey), packs.front()->health);
    return description;
}

std::optional<PropertyTable> smartBatteryProperties(const std::vector<PowerSupply>& supplies) {
    const auto packs = systemBatteries(supplies);
    if (packs.empty())
        return std::nullopt;
    using namespace smart_battery;
    PropertyTable properties;
    auto set = [&](std::string_view key, PropertyValue value) {
        properties.set(std::string(key), std::move(value));
    };

    // The voltage of the pack that carries the current, where one does.
    const auto active = std::find_if(packs.begin(), packs.end(),
                                     [](const PowerSupply* pack) { return direction(*pack); });
    const auto& voltagePack = **(active != packs.end() ? active : packs.begin());
    if (voltagePack.voltageNow)
        set(voltageKey, perThousand(*voltagePack.voltageNow));
    if (auto amperage = signedMilliamps(packs))
        set(amperageKey, *amperage);

    const auto& first = *packs.front();
    if (first.cycleCount)
        set(cycleCountKey, *first.cycleCount);
    if (first.temp)
        set(temperatureKey, *first.temp * 10);
    auto design = sumOver(packs, [](const PowerSupply& pack) {
        return microampHours(pack.chargeFullDesign, pack.energyFullDesign, pack.voltageMinDesign);
    });
    if (design)
        set(designCapacityKey, perThousand(*design));
    auto full = sumOver(packs, [](const PowerSupply& pack) {
        return microampHours(pack.chargeFull, pack.energyFull, pack.voltageMinDesign);
    });
    if (full)
        set(rawMaxCapacityKey, perThousand(*full));

    const auto online = adapterOnline(supplies);
    if (online)
        set(externalConnectedKey, *online);
    if (const auto* adapter = onlineAdapter(supplies))
        set(adapterDetailsKey, adapterDetails(*adapter));

    // What the machine draws from its packs, which is all it uses while they discharge (on the
    // adapter the packs say nothing of it), and what it takes from its adapter where the
    // adapter's driver measures that (power_now): an adapter's voltage and current are its
    // contract, a rating that says nothing of what flows. Unplugged, nothing flows.
    PropertyTable batteryData;
    if (auto draw = drawMicrowatts(packs); draw && anyFlowing(packs, -1))
        batteryData.set(std::string(systemPowerKey), static_cast<double>(*draw) / 1e6);
    const auto* adapter = onlineAdapter(supplies);
    if (online == false)
        batteryData.set(std::string(adapterPowerKey), 0.0);
    else if (adapter && adapter->powerNow && *adapter->powerNow >= 0)
        batteryData.set(std::string(adapterPowerKey),
                        static_cast<double>(*adapter->powerNow) / 1e6);
    if (!batteryData.empty())
        set(batteryDataKey, std::move(batteryData));
    return properties;
}

} // namespace orb::platform
