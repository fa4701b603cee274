// The probe's Prometheus output: well formed, in base units, without the readings a machine does
// not give, and written to its file in one step.
#include "fakes/FakePlatform.h"
#include "monitor/SystemMonitor.h"
#include "probe/PrometheusFormat.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cmath>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace orb;

namespace {

struct Series {
    QString name;
    QMap<QString, QString> labels;
    double value = 0;
};

// Reads an exposition back as a scraper would, failing the test on any line out of place: each
// family is declared once by HELP then TYPE and its samples follow, names and labels keep to
// their syntax, label values use only the three escapes, and only counters end in _total.
QList<Series> parse(const QString& text) {
    static const QRegularExpression sampleLine(
        QStringLiteral("^([a-zA-Z_:][a-zA-Z0-9_:]*)(?:\\{(.*)\\})? (\\S+)$"));
    static const QRegularExpression label(
        QStringLiteral("([a-zA-Z_][a-zA-Z0-9_]*)=\"((?:[^\"\\\\]|\\\\[\\\\\"n])*)\"(,|$)"));
    EXPECT_TRUE(text.endsWith('\n'));
    QList<Series> all;
    QSet<QString> declared;
    QString helped, family;
    for (const QString& line : text.split('\n', Qt::SkipEmptyParts)) {
        const QString name = line.section(' ', 2, 2);
        if (line.startsWith(QLatin1StringView("# HELP "))) {
            EXPECT_FALSE(declared.contains(name)) << "declared twice: " << line.toStdString();
            declared.insert(helped = name);
        } else if (line.startsWith(QLatin1StringView("# TYPE "))) {
            const QString type = line.section(' ', 3);
            EXPECT_EQ(name, helped) << "TYPE without its HELP: " << line.toStdString();
            EXPECT_TRUE(type == "gauge" || type == "counter") << line.toStdString();
            EXPECT_EQ(type == "counter", name.endsWith("_total")) << line.toStdString();
            family = name;
        } else {
            const auto match = sampleLine.match(line);
            bool isNumber = false;
            Series series{match.captured(1), {}, match.captured(3).toDouble(&isNumber)};
            EXPECT_TRUE(isNumber && series.name == family) << line.toStdString();
            const QString labels = match.captured(2);
            qsizetype parsed = 0;
            for (auto it = label.globalMatch(labels); it.hasNext();) {
                const auto pair = it.next();
                EXPECT_EQ(pair.capturedStart(), parsed) << line.toStdString();
                parsed = pair.capturedEnd();
                const QString raw = pair.captured(2);
                QString value;
                for (qsizetype i = 0; i < raw.size(); ++i)
                    value += raw[i] != '\\' ? raw[i] : raw[++i] == 'n' ? QChar('\n') : raw[i];
                series.labels.insert(pair.captured(1), value);
            }
            EXPECT_EQ(parsed, labels.size()) << line.toStdString();
            all.append(series);
        }
    }
    return all;
}

// The value of one series; NaN where it is missing.
double valueOf(const QList<Series>& all, const QString& name,
               const QMap<QString, QString>& labels = {}) {
    for (const Series& series : all)
        if (series.name == name && series.labels == labels)
            return series.value;
    return NAN;
}

struct Run {
    int exitCode;
    QByteArray output;
    QStringList errors; // lines
};

Run runProbe(const QStringList& arguments) {
    QProcess probe;
    probe.start(QStringLiteral(ORB_PROBE_PATH), arguments);
    EXPECT_TRUE(probe.waitForFinished(15000));
    return {probe.exitCode(), probe.readAllStandardOutput(),
            QString::fromUtf8(probe.readAllStandardError()).split('\n', Qt::SkipEmptyParts)};
}

const QString laptopRoot = QStringLiteral(ORB_FIXTURES_DIR "/prometheus-procfs");

} // namespace

TEST(PrometheusExport, DeclaresFamiliesOnceEscapesLabelsAndLeavesOutWhatTheMachineDoesNotGive) {
    // A machine with processors and memory only: no battery, adapter, Wi-Fi, graphics processor,
    // uptime or temperature.
    orb::testing::FakePlatform fake;
    fake.processors->samples = {platform::ProcessorSample{{0, 100, 100, 100}},
                                platform::ProcessorSample{{0, 130, 110, 160}}};
    fake.memory->bytesPerPage = 4096;
    fake.memory->counts = platform::PageCounts{1000, 500, 200, 100};
    fake.memory->size = 2600 * 4096;
    SystemMonitor monitor(fake.platform());
    probe::PrometheusExposition exposition(monitor);
    fake.clock->advance(2);
    monitor.sampleTick();

    const QString awkward = QStringLiteral("say \"hi\"\\ back\nthen");
    AppProcess busy{{}, 7, awkward, 3, 150.0, 12.5, 150.0, 0};
    AppProcess quiet{{}, 8, QStringLiteral("idle"), 1, 0.0, 1.0, 0.0, 0};
    monitor.setTopCPUProcesses({busy, quiet});
    monitor.setTopMemoryProcesses({busy, quiet});
    monitor.setSensors({{QStringLiteral("Die \"A\"\\2"), 41.5}});
    monitor.setFanSpeeds({0, 2400});

    const QString text = exposition.text();
    const auto all = parse(text);
    // Shares as ratios: of all processors, and of one processor for a process group.
    EXPECT_DOUBLE_EQ(valueOf(all, "orbimeter_cpu_usage_ratio"), 0.4);
    EXPECT_EQ(valueOf(all, "orbimeter_top_process_cpu_ratio", {{"name", awkward}}), 1.5);
    EXPECT_EQ(valueOf(all, "orbimeter_top_process_memory_bytes", {{"name", awkward}}), 13107200);
    EXPECT_EQ(valueOf(all, "orbimeter_top_process_instances", {{"name", awkward}}), 3);
    EXPECT_EQ(valueOf(all, "orbimeter_sensor_temperature_celsius", {{"name", "Die \"A\"\\2"}}),
              41.5);
    // A stopped fan is a reading; a group in both top lists is one series per family.
    EXPECT_EQ(valueOf(all, "orbimeter_fan_speed_rpm", {{"fan", "0"}}), 0);
    EXPECT_EQ(valueOf(all, "orbimeter_fan_speed_rpm", {{"fan", "1"}}), 2400);
    EXPECT_EQ(std::count_if(all.begin(), all.end(),
                            [](const Series& s) { return s.name.endsWith("process_cpu_ratio"); }),
              2);
    for (const char* missing :
         {"orbimeter_battery", "orbimeter_power_adapter", "orbimeter_system_", "orbimeter_wifi",
          "orbimeter_gpu", "orbimeter_uptime", "orbimeter_cpu_temperature", "orbimeter_disk",
          "orbimeter_thermal", "orbimeter_cpu_performance"})
        EXPECT_FALSE(text.contains(QLatin1StringView(missing))) << missing << "\n"
                                                                << text.toStdString();
}

TEST(PrometheusExport, ReplacesItsFileWithAFixtureMachinesReadingsInBaseUnitsOrSaysWhyNot) {
    QTemporaryDir directory;
    const QString path = directory.filePath(QStringLiteral("orbimeter.prom"));
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old and complete\n");
    old.close();
    const int reader = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    ASSERT_GE(reader, 0);

    const QStringList quick = {"--tick-interval-ms", "20", "--root", laptopRoot, "--output"};
    const auto once = runProbe(QStringList{"--format", "prometheus"} + quick + QStringList{path});
    EXPECT_EQ(once.exitCode, 0) << once.errors.join('\n').toStdString();
    EXPECT_TRUE(once.output.isEmpty());
    // A reader that had the old file open still reads all of it: the file was replaced, not
    // rewritten in place.
    char held[64] = {};
    EXPECT_EQ(std::string(held, ::pread(reader, held, sizeof held, 0)), "old and complete\n");
    ::close(reader);
    QFile replaced(path);
    ASSERT_TRUE(replaced.open(QIODevice::ReadOnly));
    const auto all = parse(QString::fromUtf8(replaced.readAll()));
    // The tree's busy percentage 4, voltage in microvolts and memory size in kibibytes.
    EXPECT_DOUBLE_EQ(valueOf(all, "orbimeter_gpu_utilization_ratio"), 0.04);
    EXPECT_DOUBLE_EQ(valueOf(all, "orbimeter_battery_voltage_volts"), 12.229);
    EXPECT_EQ(valueOf(all, "orbimeter_memory_size_bytes"), 15666184.0 * 1024);
    struct stat status {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0644u);

    // Each sample of a watch replaces the last, in any format; no temporary file stays behind.
    const auto watch =
        runProbe(QStringList{"--watch", "--count", "3", "--json"} + quick + QStringList{path});
    EXPECT_EQ(watch.exitCode, 0) << watch.errors.join('\n').toStdString();
    QFile json(path);
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    EXPECT_EQ(json.readAll().count('\n'), 1);
    EXPECT_EQ(QDir(directory.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{"orbimeter.prom"});

    // A folder that cannot take the file (here: a path through a plain file): one line, a
    // failed exit, once per distinct failure however many samples fail.
    const QString impossible = path + QStringLiteral("/nested.prom");
    for (const QStringList& mode :
         {QStringList{"--once"}, QStringList{"--watch", "--count", "3"}}) {
        const auto failed = runProbe(mode + quick + QStringList{impossible});
        EXPECT_EQ(failed.exitCode, 1) << mode.join(' ').toStdString();
        EXPECT_EQ(failed.errors
                      .filter(QRegularExpression("^orbimeter-probe: cannot create a "
                                                 "file in .*: Not a directory$"))
                      .size(),
                  1)
            << failed.errors.join('\n').toStdString();
    }
}
