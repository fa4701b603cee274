#include "platform/linux/PowerSupplies.h"

#include "platform/PowerSources.h"
#include "platform/SmartBattery.h"
#include "platform/linux/LinuxDeviceRegistry.h"
#include "platform/linux/SysFs.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orb::platform {

namespace fs = linux_fs;

namespace {

constexpr std::string_view classDirectory = "/sys/class/power_supply";

// Reads the attribute files the supply has, by name: listing its folder again would walk into
// its `subsystem` and `device` links, which lead back up the tree.
PowerSupply readSupply(const std::string& dir, const std::string& name,
                       const std::string& devicePath, const std::vector<std::string>& attributes) {
    auto attribute = [&](const char* file) -> std::optional<std::string> {
        if (!std::binary_search(attributes.begin(), attributes.end(), std::string_view(file)))
            return std::nullopt;
        return fs::readAttribute(dir + file);
    };
    auto text = [&](const char* file) { return attribute(file).value_or(""); };
    // No supply reads a million units (1.1 MW, MV or MWh in µ-units) or more; a number that
    // large is garbage, and the sums and products below would overflow on it.
    auto number = [&](const char* file) -> std::optional<std::int64_t> {
        constexpr std::int64_t largest = std::int64_t(1) << 40;
        const auto value = attribute(file);
        const auto parsed = value ? fs::parseInt(*value) : std::nullopt;
        if (!parsed || *parsed > largest || *parsed < -largest)
            return std::nullopt;
        return parsed;
    };
    auto flag = [&](const char* file) -> std::optional<bool> {
        const auto value = number(file);
        if (value == 0 || value == 1)
            return *value == 1;
        return std::nullopt;
    };

    PowerSupply supply;
    supply.name = name;
    supply.devicePath = devicePath;
    supply.type = text("type");
    supply.scope = text("scope");
    supply.status = text("status");
    supply.health = text("health");
    supply.online = flag("online");
    supply.present = flag("present");
    supply.capacity = number("capacity");
    supply.energyNow = number("energy_now");
    supply.energyFull = number("energy_full");
    supply.energyFullDesign = number("energy_full_design");
    supply.chargeNow = number("charge_now");
    supply.chargeFull = number("charge_full");
    supply.chargeFullDesign = number("charge_full_design");
    supply.powerNow = number("power_now");
    supply.currentNow = number("current_now");
    supply.voltageNow = number("voltage_now");
    supply.voltageMinDesign = number("voltage_min_design");
    supply.cycleCount = number("cycle_count");
    supply.temp = number("temp");
    supply.timeToEmptyNow = number("time_to_empty_now");
    supply.timeToFullNow = number("time_to_full_now");
    if (supply.type.empty() && supply.capacity)
        supply.type = "Battery";
    return supply;
}

using Packs = std::vector<const PowerSupply*>;

Packs systemBatteries(const std::vector<PowerSupply>& supplies) {
    Packs packs;
    for (const auto& supply : supplies) {
        if (isSystemBattery(supply))
            packs.push_back(&supply);
    }
    return packs;
}

// Which way charge flows through a pack: +1 charging, -1 discharging, 0 for every other
// status ("Full", "Not charging", "Unknown", "Error"), which all mean no flow we can count.
int direction(const PowerSupply& pack) {
    if (pack.status == "Charging")
        return 1;
    if (pack.status == "Discharging")
        return -1;
    return 0;
}

bool anyFlowing(const Packs& packs, int way) {
    return std::any_of(packs.begin(), packs.end(),
                       [way](const PowerSupply* pack) { return direction(*pack) == way; });
}

// The sum of one figure over the packs; empty unless every pack gives it, since a partial sum
// would pass for the whole machine's.
template <typename Figure> std::optional<std::int64_t> sumOver(const Packs& packs, Figure figure) {
    std::int64_t total = 0;
    for (const auto* pack : packs) {
        const std::optional<std::int64_t> value = figure(*pack);
        if (!value)
            return std::nullopt;
        total += *value;
    }
    return total;
}

// Thousandths to units, rounded to the nearest (µV to mV, µWh to mWh, ...).
std::int64_t perThousand(std::int64_t value) {
    return (value >= 0 ? value + 500 : value - 500) / 1000;
}

std::optional<std::int64_t> magnitude(std::optional<std::int64_t> value) {
    if (!value)
        return std::nullopt;
    return std::llabs(*value);
}

// Whether an adapter of the machine is online; empty when none says (a desktop, or a capture
// whose adapters lack their `online` file).
std::optional<bool> adapterOnline(const std::vector<PowerSupply>& supplies) {
    std::optional<bool> online;
    for (const auto& supply : supplies) {
        if (isAdapter(supply) && supply.online)
            online = online.value_or(false) || *supply.online;
    }
    return online;
}

// The packs' charge level as one, in the unit every pack can give: mWh, else mAh, else percent
// points out of 100 per pack. Each pack's level is clamped to its own full mark first: worn
// packs report energy_now above energy_full at the end of a charge.
struct Level {
    std::int64_t now = 0;
    std::int64_t full = 0;
};

std::optional<Level> packLevel(std::optional<std::int64_t> now, std::optional<std::int64_t> full) {
    if (!now || !full)
        return std::nullopt;
    const auto mark = std::max<std::int64_t>(*full, 0);
    return Level{std::clamp<std::int64_t>(*now, 0, mark), mark};
}

template <typename PackLevel>
std::optional<Level> sumLevels(const Packs& packs, PackLevel packLevel) {
    Level total;
    for (const auto* pack : packs) {
        const std::optional<Level> level = packLevel(*pack);
        if (!level)
            return std::nullopt;
        total.now += level->now;
        total.full += level->full;
    }
    return total;
}

// The gauge's own `capacity` is the level the desktop's indicator shows and the one its
// firmware calibrates; energies or charges only where a pack lacks it. Two packs' capacities
// are weighted by what each holds when full (energy, else charge; alike without either).
std::optional<Level> combinedLevel(const Packs& packs) {
    auto thousandths = [](Level level) {
        return Level{perThousand(level.now), perThousand(level.full)};
    };
    if (sumOver(packs, [](const PowerSupply& p) { return p.capacity; })) {
        for (const auto full : {&PowerSupply::energyFull, &PowerSupply::chargeFull}) {
            auto weighted = sumLevels(packs, [full](const PowerSupply& p) -> std::optional<Level> {
                const auto& mark = p.*full;
                if (!mark || *mark <= 0)
                    return std::nullopt;
                const auto percent = std::clamp<std::int64_t>(*p.capacity, 0, 100);
                return Level{*mark / 100 * percent + *mark % 100 * percent / 100, *mark};
            });
            if (packs.size() > 1 && weighted)
                return thousandths(*weighted);
        }
        return sumLevels(packs, [](auto& p) { return packLevel(p.capacity, 100); });
    }
    if (auto energy =
            sumLevels(packs, [](auto& p) { return packLevel(p.energyNow, p.energyFull); }))
        return thousandths(*energy);
    if (auto charge =
            sumLevels(packs, [](auto& p) { return packLevel(p.chargeNow, p.chargeFull); }))
        return thousandths(*charge);
    return std::nullopt;
}

// Minutes to move `amount` at `rate` (µWh at µW, or µAh at µA).
std::optional<std::int64_t> minutesAt(std::optional<std::int64_t> amount,
                                      std::optional<std::int64_t> rate) {
    if (!amount || !rate || *amount < 0 || *rate <= 0)
        return std::nullopt;
    return std::llround(60.0 * static_cast<double>(*amount) / static_cast<double>(*rate));
}

// Minutes until the packs are empty (or full) at their present rate: their energy over their
// power, else their charge over their current, each summed over the packs. Two packs drain one
// after the other, so the machine's time is their contents together over their draws together.
std::optional<std::int64_t> minutesFromReadings(const Packs& packs, bool toFull) {
    auto toGo = [toFull](std::optional<std::int64_t> now,
                         std::optional<std::int64_t> full) -> std::optional<std::int64_t> {
        if (!now || (toFull && !full))
            return std::nullopt;
        return std::max<std::int64_t>(toFull ? *full - *now : *now, 0);
    };
    auto energy = sumOver(packs, [&](auto& p) { return toGo(p.energyNow, p.energyFull); });
    auto power = sumOver(packs, [](auto& p) { return magnitude(p.powerNow); });
    if (auto minutes = minutesAt(energy, power))
        return minutes;
    auto charge = sumOver(packs, [&](auto& p) { return toGo(p.chargeNow, p.chargeFull); });
    auto current = sumOver(packs, [](auto& p) { return magnitude(p.currentNow); });
    return minutesAt(charge, current);
}

// The kernel's own estimate, taken for a lone pack only: with two, each pack's estimate covers
// itself alone.
std::optional<std::int64_t> kernelMinutes(const Packs& packs,
                                          std::optional<std::int64_t> PowerSupply::*seconds) {
    const auto& estimate = packs.front()->*seconds;
    if (packs.size() != 1 || !estimate || *estimate <= 0)
        return std::nullopt;
    return std::llround(static_cast<double>(*estimate) / 60.0);
}

// -1 while the packs do not discharge or the time cannot be told: the reader then says
// "Charging" or "Calculating...".
std::int64_t minutesToEmpty(const Packs& packs) {
    if (!anyFlowing(packs, -1))
        return -1;
    if (auto minutes = kernelMinutes(packs, &PowerSupply::timeToEmptyNow))
        return *minutes;
    return minutesFromReadings(packs, false).value_or(-1);
}

std::int64_t minutesToFull(const Packs& packs) {
    if (!anyFlowing(packs, 1))
        return 0;
    if (auto minutes = kernelMinutes(packs, &PowerSupply::timeToFullNow))
        return *minutes;
    return minutesFromReadings(packs, true).value_or(0);
}

// A pack's current in µA, unsigned: current_now where the driver gives it, else its power over
// its voltage (batteries that report energy rather than charge).
std::optional<std::int64_t> packMicroamps(const PowerSupply& pack) {
    if (pack.currentNow)
        return std::llabs(*pack.currentNow);
    if (pack.powerNow && pack.voltageNow && *pack.voltageNow > 0)
        return std::llabs(*pack.powerNow) * 1'000'000 / *pack.voltageNow;
    return std::nullopt;
}

// A pack's draw or charge in µW, unsigned.
std::optional<std::int64_t> packMicrowatts(const PowerSupply& pack) {
    if (pack.powerNow)
        return std::llabs(*pack.powerNow);
    if (pack.currentNow && pack.voltageNow) // µA × µV needs more than 64 bits before the division
        return static_cast<std::int64_t>(static_cast<__int128>(std::llabs(*pack.currentNow)) *
                                         std::llabs(*pack.voltageNow) / 1'000'000);
    return std::nullopt;
}

// The current through all packs in mA, negative while the machine draws on them. The sign comes
// from each pack's status: drivers disagree on the sign of current_now. Empty when a pack that
// charges or discharges gives no figure.
std::optional<std::int64_t> signedMilliamps(const Packs& packs) {
    std::int64_t total = 0;
    for (const auto* pack : packs) {
        const int way = direction(*pack);
        if (way == 0)
            continue;
        const auto microamps = packMicroamps(*pack);
        if (!microamps)
            return std::nullopt;
        total += way * *microamps;
    }
    return perThousand(total);
}

// What the machine draws from its packs in µW, 0 while none discharges. Empty when a pack that
// discharges gives no figure.
std::optional<std::int64_t> drawMicrowatts(const Packs& packs) {
    std::int64_t total = 0;
    for (const auto* pack : packs) {
        if (direction(*pack) != -1)
            continue;
        const auto microwatts = packMicrowatts(*pack);
        if (!microwatts)
            return std::nullopt;
        total += *microwatts;
    }
    return total;
}

// Capacity in µAh from charge figures, or from energy over the design voltage.
std::optional<std::int64_t> microampHours(std::optional<std::int64_t> charge,
                                          std::optional<std::int64_t> energy,
                                          std::optional<std::int64_t> designVoltage) {
    if (charge)
        return charge;
    if (energy && designVoltage && *designVoltage > 0)
        return *energy * 1'000'000 / *designVoltage;
    return std::nullopt;
}

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

std::vector<PowerSupply> readPowerSupplies(const std::string& root) {
    return PowerSupplyReader(root).supplies();
}

PowerSupplyReader::PowerSupplyReader(std::string root, std::chrono::milliseconds reuseWindow)
    : root_(std::move(root)), reuse_(reuseWindow),
      listing_(fs::underRoot(root_, classDirectory), "power_supply",
               fs::DeviceEvents::forRoot(root_)) {}

const std::vector<PowerSupply>& PowerSupplyReader::supplies() {
    if (!reuse_.due())
        return supplies_;
    supplies_.clear();

    const auto classDir = fs::underRoot(root_, classDirectory);
    const auto& names = listing_.entries();
    std::erase_if(layouts_, [&](const auto& entry) {
        return !std::binary_search(names.begin(), names.end(), entry.first);
    });
    for (const auto& name : names) {
        // A link whose target was never captured, or a stray file, is not a supply.
        const auto dir = classDir + "/" + name + "/";
        struct stat status {};
        if (!fs::statInsideRoot(dir, status) || !S_ISDIR(status.st_mode)) {
            layouts_.erase(name);
            listing_.invalidate();
            continue;
        }
        Layout& layout = layouts_[name];
        if (layout.inode != status.st_ino || layout.attributes.empty()) {
            layout.inode = status.st_ino;
            layout.devicePath = kernelDevicePath(root_, std::string(classDirectory) + "/" + name);
            layout.attributes = fs::listDirectory(dir);
        }
        supplies_.push_back(readSupply(dir, name, layout.devicePath, layout.attributes));
    }
    return supplies_;
}

bool isSystemBattery(const PowerSupply& supply) {
    return supply.type == "Battery" && supply.scope != "Device" && supply.present != false;
}

bool isAdapter(const PowerSupply& supply) {
    return (supply.type == "Mains" || supply.type.starts_with("USB")) && supply.scope != "Device";
}

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
