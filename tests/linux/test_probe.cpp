#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

const QString fixtureRoot = QStringLiteral(ORB_FIXTURES_DIR "/sysstat/root1");

struct Run {
    int exitCode = -1;
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

TEST(Probe, PrintsEveryPublishedFieldAsJsonOrTextFromAFixtureRoot) {
    const auto json = runProbe({"--once", "--json", "--root", fixtureRoot});
    ASSERT_EQ(json.exitCode, 0) << json.errors.toStdString();
    ASSERT_EQ(json.lines.size(), 1);
    QJsonParseError error;
    const QJsonObject sample = QJsonDocument::fromJson(json.lines[0], &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    EXPECT_EQ(sample.size(), 79);
    EXPECT_TRUE(sample.contains("cpuUsage"));
    EXPECT_EQ(sample["cpuBrandString"].toString(), "Intel(R) Core(TM) i7-2600 CPU @ 3.40GHz");
    EXPECT_EQ(sample["cpuHistory"].toArray().size(), 60);
    EXPECT_EQ(sample["thermalState"].toString(), "Nominal");
    EXPECT_DOUBLE_EQ(sample["loadAvg1"].toDouble(), 3.16);
    EXPECT_EQ(sample["uptimeSeconds"].toInteger(), 7192); // the captured machine's

    const auto text = runProbe({"--root", fixtureRoot});
    EXPECT_EQ(text.lines.size(), 79);
    EXPECT_TRUE(text.lines.join('\n').contains("downloadSpeed"));
}

TEST(Probe, WatchModePrintsOneObjectPerSampleAtTheChosenInterval) {
    // Twenty samples 20 ms apart take far less than the twenty seconds of the usual interval.
    QElapsedTimer elapsed;
    elapsed.start();
    const auto run = runProbe({"--watch", "--count", "20", "--json", "--tick-interval-ms", "20"});
    EXPECT_LT(elapsed.elapsed(), 10000);
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    ASSERT_EQ(run.lines.size(), 20);
    for (const auto& line : run.lines) {
        const auto sample = QJsonDocument::fromJson(line).object();
        EXPECT_GE(sample["cpuUsage"].toDouble(-1), 0.0);
        EXPECT_LE(sample["cpuUsage"].toDouble(2), 1.0);
        EXPECT_GT(sample["uptimeSeconds"].toInteger(), 0);
    }

    // Shorter intervals are refused; the help calls the option a testing aid.
    for (const char* interval : {"9", "0", "-5", "fast"}) {
        const auto refused = runProbe({"--tick-interval-ms", interval});
        EXPECT_EQ(refused.exitCode, 2) << interval;
        EXPECT_TRUE(refused.errors.contains("at least 10")) << refused.errors.toStdString();
    }
    EXPECT_TRUE(runProbe({"--help"}).lines.join('\n').contains("Testing aid"));
}
