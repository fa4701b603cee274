#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

const QString fixtureRoot = QStringLiteral(ORB_FIXTURES_DIR "/sysstat/root1");

// The probe's output lines.
QList<QByteArray> runProbe(const QStringList& arguments) {
    QProcess probe;
    probe.start(QStringLiteral(ORB_PROBE_PATH), arguments);
    EXPECT_TRUE(probe.waitForFinished(15000));
    EXPECT_EQ(probe.exitCode(), 0) << probe.readAllStandardError().toStdString();
    return probe.readAllStandardOutput().trimmed().split('\n');
}

} // namespace

TEST(Probe, PrintsEveryPublishedFieldAsJsonOrTextFromAFixtureRoot) {
    const auto lines = runProbe({"--once", "--json", "--root", fixtureRoot});
    ASSERT_EQ(lines.size(), 1);
    QJsonParseError error;
    const QJsonObject sample = QJsonDocument::fromJson(lines[0], &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    EXPECT_EQ(sample.size(), 79);
    EXPECT_TRUE(sample.contains("cpuUsage"));
    EXPECT_EQ(sample["cpuBrandString"].toString(), "Intel(R) Core(TM) i7-2600 CPU @ 3.40GHz");
    EXPECT_EQ(sample["cpuHistory"].toArray().size(), 60);
    EXPECT_EQ(sample["thermalState"].toString(), "Nominal");
    EXPECT_DOUBLE_EQ(sample["loadAvg1"].toDouble(), 3.16);

    const auto text = runProbe({"--root", fixtureRoot});
    EXPECT_EQ(text.size(), 79);
    EXPECT_TRUE(text.join('\n').contains("downloadSpeed"));
}

TEST(Probe, WatchModePrintsOneObjectPerSample) {
    const auto lines = runProbe({"--watch", "--count", "2", "--json"});
    ASSERT_EQ(lines.size(), 2);
    for (const auto& line : lines) {
        const auto sample = QJsonDocument::fromJson(line).object();
        EXPECT_GE(sample["cpuUsage"].toDouble(-1), 0.0);
        EXPECT_LE(sample["cpuUsage"].toDouble(2), 1.0);
        EXPECT_GT(sample["uptimeSeconds"].toInteger(), 0);
    }
}
