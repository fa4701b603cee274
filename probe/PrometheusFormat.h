#pragma once

#include <QObject>
#include <QString>
#include <vector>

namespace orb {
class SystemMonitor;
}

namespace orb::probe {

// The monitor's readings in the Prometheus text exposition format (version 0.0.4): names
// prefixed "orbimeter_" with their base unit, shares as ratios 0-1, labels for sensors, fans
// and the processes of the top lists. A reading is written only once the monitor has assigned it
// after this object was made, so a figure the machine does not give is left out instead of
// showing as 0: make it before the first tick.
class PrometheusExposition : public QObject {
public:
    explicit PrometheusExposition(const SystemMonitor& monitor);

    QString text() const;

    using Notifier = void (SystemMonitor::*)();
    // Whether the field announced by `notifier` has been assigned since construction.
    bool assigned(Notifier notifier) const;

    // Receives the change signals of the monitor's fields (connected by index, so the class needs
    // no generated code).
    int qt_metacall(QMetaObject::Call call, int id, void** arguments) override;

private:
    const SystemMonitor& monitor_;
    std::vector<int> notifiers_;        // signal index of each connection, by its slot number
    std::vector<bool> assignedSignals_; // by signal index
};

} // namespace orb::probe
