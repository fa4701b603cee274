#include "monitor/EngineOptions.h"

#include "monitor/SystemMonitor.h"
#include "monitor/TickStats.h"

#include <QCommandLineParser>
#include <cstdio>

namespace orb {

namespace {

// Shorter intervals would leave the event loop no time between samples.
constexpr int shortestTickMs = 10;

} // namespace

void addEngineOptions(QCommandLineParser& parser) {
    parser.addOptions({
        {QStringLiteral("root"),
         QStringLiteral("Read /proc and /sys below DIR instead of / (no D-Bus readings)."),
         QStringLiteral("DIR"), QStringLiteral("/")},
        {QStringLiteral("tick-interval-ms"),
         QStringLiteral("Testing aid: sample every N milliseconds (at least %1) instead of every "
                        "second; the process walk keeps to every third sample.")
             .arg(shortestTickMs),
         QStringLiteral("N")},
        {QStringLiteral("stats"),
         QStringLiteral("Testing aid: after each sample, write the engine's own counts "
                        "(processes listed, processes tracked) as one line to standard error.")},
    });
}

std::optional<EngineOptions> readEngineOptions(const QCommandLineParser& parser,
                                               const char* program) {
    EngineOptions options;
    options.root = parser.value(QStringLiteral("root")).toStdString();
    options.tickStats = parser.isSet(QStringLiteral("stats"));
    const QString interval = parser.value(QStringLiteral("tick-interval-ms"));
    if (parser.isSet(QStringLiteral("tick-interval-ms"))) {
        bool isNumber = false;
        const int ms = interval.toInt(&isNumber);
        if (!isNumber || ms < shortestTickMs) {
            std::fprintf(stderr,
                         "%s: --tick-interval-ms needs a whole number of at least %d, not "
                         "\"%s\"\n",
                         program, shortestTickMs, qPrintable(interval));
            return std::nullopt;
        }
        options.tickInterval = std::chrono::milliseconds(ms);
    }
    return options;
}

void applyEngineOptions(const EngineOptions& options, SystemMonitor& monitor) {
    if (options.tickInterval)
        monitor.setTickInterval(*options.tickInterval);
    if (options.tickStats)
        logTickStats(monitor, stderr);
}

} // namespace orb
