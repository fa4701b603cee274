#pragma once

#include "platform/PowerSources.h"

#include <QString>
#include <optional>

namespace orb {

// What the internal battery's power-source description says; an absent key is empty and its
// field keeps its value.
struct PowerSourceReading {
    std::optional<double> level; // fraction 0 to 1
    std::optional<bool> isCharging;
    std::optional<bool> acConnected;
    std::optional<QString> timeRemaining; // "2:05 Remaining", "Charging" or "Calculating..."
    QString timeToFull;                   // "1:30 to full", or empty
    std::optional<QString> healthCondition;
};

// Reads the first internal battery of the power-source snapshot.
class PowerSourceReader {
public:
    explicit PowerSourceReader(platform::PowerSources& sources) : sources_(sources) {}
    // Empty when there is no snapshot or no internal battery in it. `wasCharging` stands in for
    // a description without its own charging flag.
    std::optional<PowerSourceReading> read(bool wasCharging);

private:
    platform::PowerSources& sources_;
};

} // namespace orb
