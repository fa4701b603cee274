// The probe: its command line, its JSON, text and Prometheus output (labels escaped, in base
// units, without the readings a machine does not give; their syntax is promtool's to check, in
// tests/export), and its output file, written in one step.
#include "fakes/FakePlatform.h"
#include "fakes/ScratchRoot.h"
#include "monitor/SystemMonitor.h"
#include "platform/linux/SysFs.h"
#include "probe/PrometheusFormat.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <cmath>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace orb;
using orb::testing::ScratchRoot;

namespace {

const QString fixtureRoot = QStringLiteral(ORB_FIXTURES_DIR "/sysstat/root1");
const QString laptopRoot = QStringLiteral(ORB_FIXTURES_DIR "/prometheus-procfs");

struct Run {
    int exitCode;
    QList<QByteArray> lines; // of standard output
    QStringList errors;
};

Run runProbe(const QStringList& arguments) {
    QProcess probe;
    probe.start(QStringLiteral(ORB_PROBE_PATH), arguments);
    EXPECT_TRUE(probe.waitForFinished(15000));
    const QByteArray output = probe.readAllStandardOutput().trimmed();
    return {probe.exitCode(), output.isEmpty() ? QList<QByteArray>() : output.split('\n'),
            QString::fromUtf8(probe.readAllStandardError()).split('\n', Qt::SkipEmptyParts)};
}

// The value of the sample written exactly as `series` (name and labels); NaN where there is none.
double valueOf(const QString& text, const QString& series) {
    for (const QString& line : text.split('\n'))
        if (line.startsWith(series + ' '))
            return line.sliced(series.size() + 1).toDouble();
    return NAN;
}

} // namespace

TEST(Probe, PrintsEveryFieldAsJsonOrTextAndRefusesTooShortAnInterval) {
    const auto json = runProbe({"--once", "--json", "--root", fixtureRoot});
    ASSERT_EQ(json.exitCode, 0) << json.errors.join('\n').toStdString();
    ASSERT_EQ(json.lines.size(), 1);
    const QJsonObject sample = QJsonDocument::fromJson(json.lines[0]).object();
    EXPECT_EQ(sample.size(), 80);
    // The network rate replaced at once with a real one.
    EXPECT_EQ(sample["downloadSpeed"].toString(), "0 B/s");
    // The process walk has published by then: the tree's four processes, largest first.
    EXPECT_EQ(sample["processCount"].toInt(), 4);
    EXPECT_EQ(sample["topMemoryProcesses"][0]["name"].toString(), "soffice.bin");
    const auto text = runProbe({"--root", fixtureRoot}).lines;
    EXPECT_EQ(text.size(), 80);
    EXPECT_TRUE(
        text.join('\n').contains("topMemoryProcesses      (4) [soffice.bin 0.0% 280.9 MB, "))
        << text.join('\n').toStdString();

    // Three samples 20 ms apart come well before the three seconds they take at the usual
    // interval; shorter intervals are refused.
    QElapsedTimer elapsed;
    elapsed.start();
    const auto watch = runProbe({"--watch", "--count", "3", "--json", "--tick-interval-ms", "20"});
    EXPECT_LT(elapsed.elapsed(), 2500);
    EXPECT_EQ(watch.lines.size(), 3) << watch.errors.join('\n').toStdString();
    for (const char* interval : {"9", "fast"}) {
        const auto refused = runProbe({"--tick-interval-ms", interval});
        EXPECT_EQ(refused.exitCode, 2) << interval;
        EXPECT_TRUE(refused.errors.join('\n').contains("at least 10"))
            << refused.errors.join('\n').toStdString();
    }
}

TEST(Probe, ASampleHoldsOneTicksReadingsTheSensorsIncluded) {
    // The tick publishes its sensor readings a turn of the event loop after the others; a
    // sample written at the tick itself would show the tick before's temperature.
    ScratchRoot root({{"sys/class/hwmon/hwmon0/name", "coretemp\n"},
                      {"sys/class/hwmon/hwmon0/temp1_label", "Package id 0\n"},
                      {"sys/class/hwmon/hwmon0/temp1_input", "50000\n"}});
    QProcess probe;
    probe.start(QStringLiteral(ORB_PROBE_PATH),
                {"--watch", "--count", "2", "--json", "--tick-interval-ms", "1000", "--root",
                 QString::fromStdString(root.str())});
    ASSERT_TRUE(probe.waitForReadyRead(15000));
    root.write("sys/class/hwmon/hwmon0/temp1_input", "61000\n");
    ASSERT_TRUE(probe.waitForFinished(15000));
    const auto samples = probe.readAllStandardOutput().trimmed().split('\n');
    ASSERT_EQ(samples.size(), 2);
    EXPECT_EQ(QJsonDocument::fromJson(samples[0])["cpuTemperature"].toDouble(), 50);
    EXPECT_EQ(QJsonDocument::fromJson(samples[1])["cpuTemperature"].toDouble(), 61);
}

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
    // Shares as ratios: of all processors, and of one processor for a process group; label values
    // escape quotes, backslashes and line breaks.
    const QString name = R"({name="say \"hi\"\\ back\nthen"})";
    EXPECT_DOUBLE_EQ(valueOf(text, "orbimeter_cpu_usage_ratio"), 0.4);
    EXPECT_EQ(valueOf(text, "orbimeter_top_process_cpu_ratio" + name), 1.5);
    EXPECT_EQ(valueOf(text, "orbimeter_top_process_memory_bytes" + name), 13107200);
    EXPECT_EQ(valueOf(text, "orbimeter_top_process_instances" + name), 3);
    EXPECT_EQ(valueOf(text, R"(orbimeter_sensor_temperature_celsius{name="Die \"A\"\\2"})"), 41.5);
    // A stopped fan is a reading; a group in both top lists is one series per family.
    EXPECT_EQ(valueOf(text, R"(orbimeter_fan_speed_rpm{fan="0"})"), 0);
    EXPECT_EQ(valueOf(text, R"(orbimeter_fan_speed_rpm{fan="1"})"), 2400);
    EXPECT_EQ(text.count("\norbimeter_top_process_cpu_ratio{"), 2);
    EXPECT_EQ(text.count("# TYPE orbimeter_top_process_cpu_ratio gauge"), 1);
    for (const char* missing :
         {"orbimeter_battery", "orbimeter_power_adapter", "orbimeter_system_", "orbimeter_wifi",
          "orbimeter_gpu", "orbimeter_uptime", "orbimeter_cpu_temperature", "orbimeter_disk",
          "orbimeter_thermal", "orbimeter_cpu_performance"})
        EXPECT_FALSE(text.contains(QLatin1StringView(missing))) << missing << "\n"
                                                                << text.toStdString();
}

TEST(PrometheusExport, ReplacesItsFileWithAFixtureMachinesReadingsInBaseUnitsOrSaysWhyNot) {
    ScratchRoot directory({{"orbimeter.prom", "old and complete\n"}});
    const std::string file = directory.str() + "/orbimeter.prom";
    const QString path = QString::fromStdString(file);
    const int reader = ::open(file.c_str(), O_RDONLY);
    ASSERT_GE(reader, 0);

    const QStringList quick = {"--tick-interval-ms", "20", "--root", laptopRoot, "--output"};
    const auto once = runProbe(QStringList{"--format", "prometheus"} + quick + QStringList{path});
    EXPECT_EQ(once.exitCode, 0) << once.errors.join('\n').toStdString();
    EXPECT_TRUE(once.lines.isEmpty());
    // A reader that had the old file open still reads all of it: the file was replaced, not
    // rewritten in place.
    char held[64] = {};
    EXPECT_EQ(std::string(held, ::pread(reader, held, sizeof held, 0)), "old and complete\n");
    ::close(reader);
    const QString all = QString::fromStdString(platform::linux_fs::readFile(file).value_or(""));
    // The tree's busy percentage 4, voltage in microvolts and memory size in kibibytes.
    EXPECT_DOUBLE_EQ(valueOf(all, "orbimeter_gpu_utilization_ratio"), 0.04);
    EXPECT_DOUBLE_EQ(valueOf(all, "orbimeter_battery_voltage_volts"), 12.229);
    EXPECT_EQ(valueOf(all, "orbimeter_memory_size_bytes"), 15666184.0 * 1024);
    struct stat status {};
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0644u);

    // Each sample of a watch replaces the last, in any format; no temporary file stays behind.
    const auto watch =
        runProbe(QStringList{"--watch", "--count", "3", "--json"} + quick + QStringList{path});
    EXPECT_EQ(watch.exitCode, 0) << watch.errors.join('\n').toStdString();
    const auto written = QByteArray::fromStdString(platform::linux_fs::readFile(file).value_or(""));
    EXPECT_EQ(written.count('\n'), 1);
    // A reading the machine does not give is null, not 0: this laptop has no graphics statistics.
    EXPECT_TRUE(QJsonDocument::fromJson(written)["gpuRendererUtil"].isNull());
    EXPECT_EQ(QDir(QString::fromStdString(directory.str())).entryList(QDir::Files | QDir::Hidden),
              QStringList{"orbimeter.prom"});

    // A folder that cannot take the file (here: a path through a plain file): one line, a
    // failed exit, once per distinct failure however many samples fail.
    const QString impossible = path + QStringLiteral("/nested.prom");
    const QRegularExpression cannotCreate(
        "^orbimeter-probe: cannot create a file in .*: Not a directory$");
    for (const QStringList& mode :
         {QStringList{"--once"}, QStringList{"--watch", "--count", "3"}}) {
        const auto failed = runProbe(mode + quick + QStringList{impossible});
        EXPECT_EQ(failed.exitCode, 1) << mode.join(' ').toStdString();
        EXPECT_EQ(failed.errors.filter(cannotCreate).size(), 1)
            << failed.errors.join('\n').toStdString();
    }
}
