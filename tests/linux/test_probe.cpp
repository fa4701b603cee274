#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

const QString fixtureRoot = QStringLiteral(ORB_FIXTURES_DIR "/sysstat/root1");

struct Run {
    int exitCode;
    QList<QByteArray> lines; // of standard output
    QString errors;
};

Run runProbe(const QStringList& arguments) {
    QProcess probe;
    probe.start(QStringLiteral(ORB_PROBE_PATH), arguments);
    EXPECT_TRUE(probe.waitForFinished(15000));
    return {probe.exitCode(), probe.readAllStandardOutput().trimmed().split('\n'),
            QString::fromUtf8(probe.readAllStandardError())};
}

} // namespace

TEST(Probe, PrintsEveryFieldOnceOrAtTheChosenIntervalAsJsonOrText) {
    const auto json = runProbe({"--once", "--json", "--root", fixtureRoot});
    ASSERT_EQ(json.exitCode, 0) << json.errors.toStdString();
    ASSERT_EQ(json.lines.size(), 1);
    const QJsonObject sample = QJsonDocument::fromJson(json.lines[0]).object();
    EXPECT_EQ(sample.size(), 80);
    // The captured machine's, and the network rate replaced at once with a real one.
    EXPECT_EQ(sample["cpuBrandString"].toString(), "Intel(R) Core(TM) i7-2600 CPU @ 3.40GHz");
    EXPECT_EQ(sample["uptimeSeconds"].toInteger(), 7192);
    EXPECT_EQ(sample["downloadSpeed"].toString(), "0 B/s");
    // The process walk has published by then: the tree's four processes, largest first.
    EXPECT_EQ(sample["processCount"].toInt(), 4);
    EXPECT_EQ(sample["topMemoryProcesses"][0]["name"].toString(), "soffice.bin");
    EXPECT_EQ(sample["topEnergyProcesses"], sample["topCPUProcesses"]);
    const auto text = runProbe({"--root", fixtureRoot}).lines;
    EXPECT_EQ(text.size(), 80);
    EXPECT_TRUE(
        text.join('\n').contains("topMemoryProcesses      (4) [soffice.bin 0.0% 280.9 MB, "))
        << text.join('\n').toStdString();

    // Captured machines as their users see them. A laptop: the battery's gauge and its draw,
    // the processor's temperature from a Raspberry Pi kernel's zone, and null for what it does
    // not measure. A desktop whose first fan is unconnected; a Smart Battery gauge.
    auto sampleOf = [](const char* root) {
        const auto run = runProbe({"--once", "--json", "--root", ORB_FIXTURES_DIR + QString(root)});
        return QJsonDocument::fromJson(run.lines.value(0)).object();
    };
    const QJsonObject laptop = sampleOf("/prometheus-procfs");
    EXPECT_DOUBLE_EQ(laptop["batteryLevel"].toDouble(), 0.98);
    EXPECT_EQ(laptop["timeRemaining"].toString(), "10:14 Remaining");
    EXPECT_NEAR(laptop["batteryDrawWatts"].toDouble(), 4.83, 0.01);
    EXPECT_FALSE(laptop["batteryACConnected"].toBool(true));
    EXPECT_DOUBLE_EQ(laptop["cpuTemperature"].toDouble(), 49.925);
    EXPECT_TRUE(laptop["gpuRendererUtil"].isNull());
    EXPECT_EQ(sampleOf("/prometheus-node_exporter")["fanSpeeds"], QJsonArray({1998, 1098}));
    EXPECT_DOUBLE_EQ(sampleOf("/lkml-transcribed/sbs-battery-imx6-2020")["batteryLevel"].toDouble(),
                     0.76);

    // Twenty samples 20 ms apart take far less than the twenty seconds of the usual interval.
    QElapsedTimer elapsed;
    elapsed.start();
    const auto run = runProbe({"--watch", "--count", "20", "--json", "--tick-interval-ms", "20"});
    EXPECT_LT(elapsed.elapsed(), 10000);
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    ASSERT_EQ(run.lines.size(), 20);
    const auto usage = QJsonDocument::fromJson(run.lines.last()).object()["cpuUsage"].toDouble(-1);
    EXPECT_TRUE(usage >= 0 && usage <= 1) << run.lines.last().toStdString();
    // Shorter intervals are refused; the help calls the option a testing aid.
    for (const char* interval : {"9", "fast"}) {
        const auto refused = runProbe({"--tick-interval-ms", interval});
        EXPECT_EQ(refused.exitCode, 2) << interval;
        EXPECT_TRUE(refused.errors.contains("at least 10")) << refused.errors.toStdString();
    }
    EXPECT_TRUE(runProbe({"--help"}).lines.join('\n').contains("Testing aid"));
}
