#pragma once

#include <QString>

namespace orb {
class SystemMonitor;
}

namespace orb::probe {

// The monitor's readings in the Prometheus text exposition format (version 0.0.4): names
// prefixed "orbimeter_" with their base unit, shares as ratios 0-1, labels for sensors, fans
// and the processes of the top lists. Only what the machine measures is written (the monitor's
// `measured`): a figure it does not give is left out instead of showing as 0.
class PrometheusExposition {
public:
    explicit PrometheusExposition(const SystemMonitor& monitor) : monitor_(monitor) {}
    QString text() const;

private:
    const SystemMonitor& monitor_;
};

} // namespace orb::probe
