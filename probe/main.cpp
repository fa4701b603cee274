// orbimeter-probe: runs the sampling engine without a display and prints its readings.
#include "monitor/SystemMonitor.h"
#include "monitor/TickStats.h"
#include "platform/Platform.h"
#include "platform/TerminationSignals.h"
#include "probe/AtomicFile.h"
#include "probe/ProbePrinter.h"
#include "probe/PrometheusFormat.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonDocument>
#include <QTextStream>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

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
    QCommandLineOption format(
        QStringLiteral("format"),
        QStringLiteral("Print each sample as FORMAT: text (default), json (one object per line) "
                       "or prometheus (the Prometheus text exposition format)."),
        QStringLiteral("FORMAT"), QStringLiteral("text"));
    QCommandLineOption json(QStringLiteral("json"), QStringLiteral("The same as --format json."));
    QCommandLineOption output(
        QStringLiteral("output"),
        QStringLiteral("Write each sample to FILE instead of the standard output, replacing it "
                       "whole (a temporary file beside it, renamed over it) so that a reader never "
                       "finds half a sample; with --watch the file is rewritten every interval."),
        QStringLiteral("FILE"));
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
    parser.addOptions({once, watch, format, json, output, root, count, tickInterval, stats});
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

    QString formatName = parser.value(format);
    if (parser.isSet(json)) {
        if (parser.isSet(format) && formatName != QLatin1StringView("json")) {
            std::fprintf(stderr, "orbimeter-probe: --json contradicts --format %s\n",
                         qPrintable(formatName));
            return 2;
        }
        formatName = QStringLiteral("json");
    }
    const bool asJson = formatName == QLatin1StringView("json");
    const bool asPrometheus = formatName == QLatin1StringView("prometheus");
    if (!asJson && !asPrometheus && formatName != QLatin1StringView("text")) {
        std::fprintf(stderr, "orbimeter-probe: --format takes text, json or prometheus\n");
        return 2;
    }
    const std::string outputPath = parser.value(output).toStdString();
    if (parser.isSet(output) && outputPath.empty()) {
        std::fprintf(stderr, "orbimeter-probe: --output needs a file name\n");
        return 2;
    }

    const bool watching = parser.isSet(watch) && !parser.isSet(once);
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
    // Made before the first tick, so that it sees which readings the machine gives.
    std::unique_ptr<orb::probe::PrometheusExposition> exposition;
    if (asPrometheus)
        exposition = std::make_unique<orb::probe::PrometheusExposition>(monitor);
    if (parser.isSet(stats))
        orb::logTickStats(monitor, stderr);

    auto sample = [&]() -> QString {
        if (asJson)
            return QString::fromUtf8(QJsonDocument(orb::probe::fieldsAsJson(monitor))
                                         .toJson(QJsonDocument::Compact)) +
                   '\n';
        if (asPrometheus)
            return exposition->text();
        return orb::probe::fieldsAsText(monitor);
    };

    orb::platform::quitOnTerminationSignals();
    QTextStream out(stdout);
    std::string lastError; // of the latest sample; each new failure is reported once
    // Print after each completed tick: the first one is a full interval after start, so the
    // processor shares and rates are real measurements.
    QObject::connect(&monitor, &orb::SystemMonitor::tickCompleted, &app, [&] {
        if (outputPath.empty()) {
            // Text and exposition samples are blocks of lines: a blank line parts them.
            out << sample() << (watching && !asJson ? "\n" : "");
            out.flush();
        } else {
            const std::string error = orb::probe::replaceFile(outputPath, sample().toStdString());
            if (!error.empty() && error != lastError)
                std::fprintf(stderr, "orbimeter-probe: %s\n", error.c_str());
            lastError = error;
            if (!error.empty() && !watching) {
                QCoreApplication::exit(1);
                return;
            }
        }
        if (remaining > 0 && --remaining == 0)
            QCoreApplication::exit(lastError.empty() ? 0 : 1);
    });
    return app.exec();
}
