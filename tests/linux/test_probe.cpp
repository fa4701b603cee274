#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

QByteArray runProbe(const QStringList& arguments) {
    QProcess probe;
    probe.start(QStringLiteral(ORB_PROBE_PATH), arguments);
    EXPECT_TRUE(probe.waitForFinished(15000));
    EXPECT_EQ(probe.exitCode(), 0) << probe.readAllStandardError().toStdString();
    return probe.readAllStandardOutput();
}

} // namespace

TEST(Probe, PrintsEveryPublishedFieldAsJsonFromAFixtureRoot) {
    const QByteArray output = runProbe(
        {"--once", "--json", "--root", QStringLiteral(ORB_FIXTURES_DIR "/sysstat/root1")});
    const auto lines = output.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 1);
    QJsonParseError error;
    const auto document = QJsonDocument::fromJson(lines[0], &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    const QJsonObject sample = document.object();
    EXPECT_EQ(sample.size(), 79);
    EXPECT_EQ(sample.keys().contains("cpuUsage"), true);
    EXPECT_EQ(sample["cpuBrandString"].toString(), "Intel(R) Core(TM) i7-2600 CPU @ 3.40GHz");
    EXPECT_EQ(sample["cpuHistory"].toArray().size(), 60);
    EXPECT_EQ(sample["thermalState"].toString(), "Nominal");
    EXPECT_DOUBLE_EQ(sample["loadAvg1"].toDouble(), 3.16);
}

TEST(Probe, WatchModePrintsOneObjectPerSample) {
    const QByteArray output = runProbe({"--watch", "--count", "2", "--json"});
    const auto lines = output.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2);
    for (const auto& line : lines) {
        const auto sample = QJsonDocument::fromJson(line).object();
        EXPECT_GE(sample["cpuUsage"].toDouble(-1), 0.0);
        EXPECT_LE(sample["cpuUsage"].toDouble(2), 1.0);
        EXPECT_GT(sample["uptimeSeconds"].toInteger(), 0);
    }
}

TEST(Probe, TextModeListsFieldsOnePerLine) {
    const QString text = QString::fromUtf8(runProbe({"--root", QStringLiteral(ORB_FIXTURES_DIR "/sysstat/root1")}));
    EXPECT_EQ(text.trimmed().split('\n').size(), 79);
    EXPECT_TRUE(text.contains(QStringLiteral("downloadSpeed")));
}
