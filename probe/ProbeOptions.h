#pragma once

#include "monitor/EngineOptions.h"

#include <optional>
#include <string>

class QCoreApplication;

namespace orb::probe {

enum class SampleFormat { Text, Json, Prometheus };

// What the probe was asked for on its command line.
struct ProbeOptions : EngineOptions {
    SampleFormat format = SampleFormat::Text;
    std::string outputPath; // empty: the standard output
    bool watching = false;
    int samples = 1; // printed before the probe exits; -1: until it is stopped
};

// Reads the command line of `app` (--help prints and exits). A bad value is told on standard
// error and gives nothing: the probe exits with status 2.
std::optional<ProbeOptions> parseProbeOptions(const QCoreApplication& app);

} // namespace orb::probe
