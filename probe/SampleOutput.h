#pragma once

#include "probe/ProbeOptions.h"
#include "probe/PrometheusFormat.h"

#include <QString>
#include <QTextStream>
#include <memory>
#include <string>

namespace orb {
class SystemMonitor;
}

namespace orb::probe {

// Writes the monitor's latest sample where the options say, in their format.
class SampleOutput {
public:
    // Made before the first tick, so that the exposition sees which readings the machine gives.
    SampleOutput(const SystemMonitor& monitor, const ProbeOptions& options);

    // Writes the sample; false when the file could not be replaced. Each new failure is told
    // once on standard error.
    bool write();
    bool lastWriteFailed() const { return !lastError_.empty(); }

private:
    QString sample() const;

    const SystemMonitor& monitor_;
    const ProbeOptions& options_;
    std::unique_ptr<PrometheusExposition> exposition_;
    QTextStream out_;
    std::string lastError_;
};

} // namespace orb::probe
