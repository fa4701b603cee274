#include "platform/linux/PowerPacks.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace orb::platform {

namespace {

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

std::optional<std::int64_t> magnitude(std::optional<std::int64_t> value) {
    if (!value)
        return std::nullopt;
    return std::llabs(*value);
}

std::optional<Level> packLevel(std::optional<std::int64_t> now, std::optional<std::int64_t> full) {
    if (!now || !full)
        return std::nullopt;
    const auto mark = std::max<std::int64_t>(*full, 0);
    return Level{std::clamp<std::int64_t>(*now, 0, mark), mark};
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

} // namespace

Packs systemBatteries(const std::vector<PowerSupply>& supplies) {
    Packs packs;
    for (const auto& supply : supplies) {
        if (isSystemBattery(supply))
            packs.push_back(&supply);
    }
    return packs;
}

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

std::int64_t perThousand(std::int64_t value) {
    return (value >= 0 ? value + 500 : value - 500) / 1000;
}

std::optional<bool> adapterOnline(const std::vector<PowerSupply>& supplies) {
    std::optional<bool> online;
    for (const auto& supply : supplies) {
        if (isAdapter(supply) && supply.online)
            online = online.value_or(false) || *supply.online;
    }
    return online;
}

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

std::optional<std::int64_t> microampHours(std::optional<std::int64_t> charge,
                                          std::optional<std::int64_t> energy,
                                          std::optional<std::int64_t> designVoltage) {
    if (charge)
        return charge;
    if (energy && designVoltage && *designVoltage > 0)
        return *energy * 1'000'000 / *designVoltage;
    return std::nullopt;
}

} // namespace orb::platform
