#pragma once

#include "platform/linux/PowerSupplies.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace orb::platform {

// Arithmetic over a machine's battery packs, taken together as the machine's one battery: the
// kernel's units in (µV, µA, µW, µWh, µAh), the machine's figures out.
using Packs = std::vector<const PowerSupply*>;

// The machine's own batteries among the supplies (isSystemBattery), in name order.
Packs systemBatteries(const std::vector<PowerSupply>& supplies);

// Which way charge flows through a pack: +1 charging, -1 discharging, 0 for every other
// status ("Full", "Not charging", "Unknown", "Error"), which all mean no flow we can count.
int direction(const PowerSupply& pack);

bool anyFlowing(const Packs& packs, int way);

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
std::int64_t perThousand(std::int64_t value);

// Whether an adapter of the machine is online; empty when none says (a desktop, or a capture
// whose adapters lack their `online` file).
std::optional<bool> adapterOnline(const std::vector<PowerSupply>& supplies);

// The packs' charge level as one, in the unit every pack can give: mWh, else mAh, else percent
// points out of 100 per pack. Each pack's level is clamped to its own full mark first: worn
// packs report energy_now above energy_full at the end of a charge.
struct Level {
    std::int64_t now = 0;
    std::int64_t full = 0;
};

// The gauge's own `capacity` is the level the desktop's indicator shows and the one its
// firmware calibrates; energies or charges only where a pack lacks it. Two packs' capacities
// are weighted by what each holds when full (energy, else charge; alike without either).
std::optional<Level> combinedLevel(const Packs& packs);

// -1 while the packs do not discharge or the time cannot be told: the reader then says
// "Charging" or "Calculating...".
std::int64_t minutesToEmpty(const Packs& packs);

std::int64_t minutesToFull(const Packs& packs);

// The current through all packs in mA, negative while the machine draws on them. The sign comes
// from each pack's status: drivers disagree on the sign of current_now. Empty when a pack that
// charges or discharges gives no figure.
std::optional<std::int64_t> signedMilliamps(const Packs& packs);

// What the machine draws from its packs in µW, 0 while none discharges. Empty when a pack that
// discharges gives no figure.
std::optional<std::int64_t> drawMicrowatts(const Packs& packs);

// Capacity in µAh from charge figures, or from energy over the design voltage.
std::optional<std::int64_t> microampHours(std::optional<std::int64_t> charge,
                                          std::optional<std::int64_t> energy,
                                          std::optional<std::int64_t> designVoltage);

} // namespace orb::platform
