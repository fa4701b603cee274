// orbimeter-probe: runs the sampling engine without a display and prints its readings.
#include "monitor/SystemMonitor.h"
#include "monitor/TickStats.h"
#include "platform/Platform.h"
#include "probe/ProbePrinter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonDocument>
#include <QTextStream>
#include <chrono>
#include <cstdio>
#include <iostream>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orbimeter-probe"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Prints every reading of the Orbimeter sampling engine."));
    parser.addHelpOption();
    QCommandLineOption once(QStringLiteral("once"),
                            QStringLiteral("Print one sample and exit (default)."));
    QCommandLineOption watch(QStringLiteral("watch"),
                             QStringLiteral("Print a sample every second."));
    QCommandLineOption json(QStringLiteral("json"),
                            QStringLiteral("Print one JSON object per sample."));
    QCommandLineOption root(QStringLiteral("root"),
                            QStringLiteral("Read /proc and /sys below DIR instead of /."),
                            QStringLiteral("DIR"), QStringLiteral("/"));
    QCommandLineOption count(QStringLiteral("count"),
                             QStringLiteral("With --watch, stop after N samples."),
                             QStringLiteral("N"));
    QCommandLineOption tickInterval(
        QStringLiteral("tick-interval-ms"),
        QStringLiteral("Testing aid: sample every N milliseconds (at least 10) instead of every "
                       "second; the process walk keeps to every third sample."),
        QStringLiteral("N"));
    QCommandLineOption stats(
        QStringLiteral("stats"),
        QStringLiteral("Testing aid: after each sample, write the engine's own counts (processes "
                       "listed, processes tracked) as one line to standard error."));
    parser.addOptions({once, watch, json, root, count, tickInterval, stats});
    parser.process(app);

    // Shorter intervals would leave the event loop no time between samples.
    constexpr int shortestTickMs = 10;
    int tickMs = 0;
    if (parser.isSet(tickInterval)) {
        bool isNumber = false;
        tickMs = parser.value(tickInterval).toInt(&isNumber);
        if (!isNumber || tickMs < shortestTickMs) {
            std::fprintf(stderr,
                         "orbimeter-probe: --tick-interval-ms needs a number of at least %d\n",
                         shortestTickMs);
            return 2;
        }
    }

    const bool watching = parser.isSet(watch) && !parser.isSet(once);
    const bool asJson = parser.isSet(json);
    int remaining = watching ? (parser.isSet(count) ? parser.value(count).toInt() : -1) : 1;
    if (watching && parser.isSet(count) && remaining <= 0) {
        std::fprintf(stderr, "orbimeter-probe: --count needs a positive number\n");
        return 2;
    }

    auto platform = orb::platform::makeSystemPlatform(parser.value(root).toStdString());
    // Standard output carries the readings alone; the sensor readers' lines go to the errors.
    orb::SystemMonitor monitor(*platform, nullptr, std::cerr);
    if (tickMs > 0)
        monitor.setTickInterval(std::chrono::milliseconds(tickMs));
    if (parser.isSet(stats))
        orb::logTickStats(monitor, stderr);

    QTextStream out(stdout);
    // Print after each completed tick: the first one is a full interval after start, so the
    // processor shares and rates are real measurements.
    QObject::connect(&monitor, &orb::SystemMonitor::tickCompleted, &app, [&] {
        if (asJson)
            out << QJsonDocument(orb::probe::fieldsAsJson(monitor)).toJson(QJsonDocument::Compact)
                << "\n";
        else
            out << orb::probe::fieldsAsText(monitor) << (watching ? "\n" : "");
        out.flush();
        if (remaining > 0 && --remaining == 0)
            QCoreApplication::quit();
    });
    return app.exec();
}
