// orbimeter-probe: runs the sampling engine without a display and prints its readings.
#include "monitor/SystemMonitor.h"
#include "platform/Platform.h"
#include "probe/ProbePrinter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonDocument>
#include <QTextStream>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orbimeter-probe"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Prints every reading of the Orbimeter sampling engine."));
    parser.addHelpOption();
    QCommandLineOption once(QStringLiteral("once"), QStringLiteral("Print one sample and exit (default)."));
    QCommandLineOption watch(QStringLiteral("watch"), QStringLiteral("Print a sample every second."));
    QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print one JSON object per sample."));
    QCommandLineOption root(QStringLiteral("root"),
                            QStringLiteral("Read /proc and /sys below DIR instead of /."),
                            QStringLiteral("DIR"), QStringLiteral("/"));
    QCommandLineOption count(QStringLiteral("count"),
                             QStringLiteral("With --watch, stop after N samples."), QStringLiteral("N"));
    parser.addOptions({once, watch, json, root, count});
    parser.process(app);

    const bool watching = parser.isSet(watch) && !parser.isSet(once);
    const bool asJson = parser.isSet(json);
    int remaining = watching ? (parser.isSet(count) ? parser.value(count).toInt() : -1) : 1;
    if (watching && parser.isSet(count) && remaining <= 0) {
        std::fprintf(stderr, "orbimeter-probe: --count needs a positive number\n");
        return 2;
    }

    auto platform = orb::platform::makeSystemPlatform(parser.value(root).toStdString());
    orb::SystemMonitor monitor(*platform);

    QTextStream out(stdout);
    // Print after each completed tick: the first one is a full second after start, so the
    // processor shares and rates are real measurements.
    QObject::connect(&monitor, &orb::SystemMonitor::tickCompleted, &app, [&] {
        if (asJson)
            out << QJsonDocument(orb::probe::fieldsAsJson(monitor)).toJson(QJsonDocument::Compact) << "\n";
        else
            out << orb::probe::fieldsAsText(monitor) << (watching ? "\n" : "");
        out.flush();
        if (remaining > 0 && --remaining == 0)
            QCoreApplication::quit();
    });
    return app.exec();
}
