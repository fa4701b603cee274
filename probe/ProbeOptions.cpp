#include "probe/ProbeOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

namespace orb::probe {

namespace {

constexpr const char* program = "orbimeter-probe";

std::optional<SampleFormat> formatNamed(const QString& name) {
    if (name == QLatin1StringView("text"))
        return SampleFormat::Text;
    if (name == QLatin1StringView("json"))
        return SampleFormat::Json;
    if (name == QLatin1StringView("prometheus"))
        return SampleFormat::Prometheus;
    return std::nullopt;
}

} // namespace

std::optional<ProbeOptions> parseProbeOptions(const QCoreApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Prints every reading of the Orbimeter sampling engine."));
    parser.addHelpOption();
    const QCommandLineOption once(QStringLiteral("once"),
                                  QStringLiteral("Print one sample and exit (default)."));
    const QCommandLineOption watch(QStringLiteral("watch"),
                                   QStringLiteral("Print a sample every second."));
    const QCommandLineOption format(
        QStringLiteral("format"),
        QStringLiteral("Print each sample as FORMAT: text (default), json (one object per line) "
                       "or prometheus (the Prometheus text exposition format)."),
        QStringLiteral("FORMAT"), QStringLiteral("text"));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("The same as --format json."));
    const QCommandLineOption output(
        QStringLiteral("output"),
        QStringLiteral("Write each sample to FILE instead of the standard output, replacing it "
                       "whole (a temporary file beside it, renamed over it) so that a reader never "
                       "finds half a sample; with --watch the file is rewritten every interval."),
        QStringLiteral("FILE"));
    const QCommandLineOption count(QStringLiteral("count"),
                                   QStringLiteral("With --watch, stop after N samples."),
                                   QStringLiteral("N"));
    parser.addOptions({once, watch, format, json, output, count});
    addEngineOptions(parser);
    parser.process(app);

    const auto engine = readEngineOptions(parser, program);
    if (!engine)
        return std::nullopt;
    ProbeOptions options;
    static_cast<EngineOptions&>(options) = *engine;

    QString formatName = parser.value(format);
    if (parser.isSet(json)) {
        if (parser.isSet(format) && formatName != QLatin1StringView("json")) {
            std::fprintf(stderr, "%s: --json contradicts --format %s\n", program,
                         qPrintable(formatName));
            return std::nullopt;
        }
        formatName = QStringLiteral("json");
    }
    const auto chosen = formatNamed(formatName);
    if (!chosen) {
        std::fprintf(stderr, "%s: --format takes text, json or prometheus\n", program);
        return std::nullopt;
    }
    options.format = *chosen;

    options.outputPath = parser.value(output).toStdString();
    if (parser.isSet(output) && options.outputPath.empty()) {
        std::fprintf(stderr, "%s: --output needs a file name\n", program);
        return std::nullopt;
    }

    options.watching = parser.isSet(watch) && !parser.isSet(once);
    if (options.watching) {
        options.samples = parser.isSet(count) ? parser.value(count).toInt() : -1;
        if (parser.isSet(count) && options.samples <= 0) {
            std::fprintf(stderr, "%s: --count needs a positive number\n", program);
            return std::nullopt;
        }
    }
    return options;
}

} // namespace orb::probe
