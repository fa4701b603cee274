#pragma once

#include <chrono>
#include <optional>
#include <string>

class QCommandLineParser;

namespace orb {

class SystemMonitor;

// How a program starts the engine; both programs take these options. The defaults are the
// normal start; the rest serve tests and fixtures.
struct EngineOptions {
    std::string root = "/";                                // read /proc and /sys below this
    std::optional<std::chrono::milliseconds> tickInterval; // instead of one second
    bool tickStats = false; // the engine's own counts on standard error after every tick
};

// Adds --root, --tick-interval-ms and --stats, with their help, to `parser`.
void addEngineOptions(QCommandLineParser& parser);

// Their values once `parser` has processed the command line. A bad value is told on standard
// error as "<program>: ..." and gives nothing: the caller exits with status 2, as a
// command-line tool does.
std::optional<EngineOptions> readEngineOptions(const QCommandLineParser& parser,
                                               const char* program);

// Sets the interval and the counts on `monitor`; the root is the platform's to take.
void applyEngineOptions(const EngineOptions& options, SystemMonitor& monitor);

} // namespace orb
