// orbimeter-probe: runs the sampling engine without a display and prints its readings.
#include "monitor/SystemMonitor.h"
#include "platform/Platform.h"
#include "platform/TerminationSignals.h"
#include "probe/ProbeOptions.h"
#include "probe/SampleOutput.h"

#include <QCoreApplication>
#include <iostream>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orbimeter-probe"));
    const auto options = orb::probe::parseProbeOptions(app);
    if (!options)
        return 2;

    auto platform = orb::platform::makeSystemPlatform(options->root);
    // Standard output carries the readings alone; the sensor readers' lines go to the errors.
    orb::SystemMonitor monitor(*platform, nullptr, std::cerr);
    orb::applyEngineOptions(*options, monitor);
    orb::probe::SampleOutput output(monitor, *options);

    orb::platform::quitOnTerminationSignals();
    int remaining = options->samples;
    // Print after each completed tick: the first one is a full interval after start, so the
    // processor shares and rates are real measurements. The tick publishes its sensor readings
    // on the next turn of the event loop, so the sample is written on that turn too, after them:
    // one sample, one tick's readings.
    QObject::connect(
        &monitor, &orb::SystemMonitor::tickCompleted, &app,
        [&] {
            if (!output.write() && !options->watching) {
                QCoreApplication::exit(1);
                return;
            }
            if (remaining > 0 && --remaining == 0)
                QCoreApplication::exit(output.lastWriteFailed() ? 1 : 0);
        },
        Qt::QueuedConnection);
    return app.exec();
}
