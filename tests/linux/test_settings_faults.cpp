// The settings file as users and full disks leave it: never overwritten with anything but a
// whole new file, never a reason to stop.
#include "PrivateMount.h"
#include "platform/QtSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using orb::platform::QtSettingsStore;
using orb::testing::PrivateMount;

namespace {

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// The store of a config directory, opened afresh; what opening it and the writes printed.
struct Session {
    std::optional<QtSettingsStore> store;
    std::string printed;

    explicit Session(const QString& configHome) {
        qputenv("XDG_CONFIG_HOME", configHome.toUtf8());
        ::testing::internal::CaptureStdout();
        store.emplace();
    }
    std::optional<QString> read(const QString& key) { return store->stringForKey(key); }
    void write(const QString& key, const QString& value) { store->setString(key, value); }
    std::string end() {
        printed = ::testing::internal::GetCapturedStdout();
        return printed;
    }
};

struct SettingsFaults : ::testing::Test {
    const QByteArray savedConfigHome = qgetenv("XDG_CONFIG_HOME");
    ~SettingsFaults() override { qputenv("XDG_CONFIG_HOME", savedConfigHome); }
};

} // namespace

TEST_F(SettingsFaults, EmptyOrBinaryFilesGiveTheDefaultsAndAreReplacedOnlyByAWholeFile) {
    QByteArray binary;
    for (int i = 0; i < 512; ++i)
        binary.append(static_cast<char>((i * 151 + 7) % 256)); // NULs, '[' and '=' among them
    const struct {
        const char* what;
        QByteArray content;
        bool setAside; // kept as orbimeter.conf.damaged, with one line
    } cases[] = {{"empty", "", false}, {"binary", binary, true}};
    for (const auto& c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath("orbimeter/orbimeter.conf");
        ASSERT_TRUE(writeFile(path, c.content));
        Session session(dir.path());
        EXPECT_EQ(session.read("numberMetric"), std::nullopt) << c.what;
        session.write("numberMetric", "CPU %");
        const std::string printed = session.end();
        EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), c.setAside ? 1 : 0)
            << c.what << ": " << printed;
        EXPECT_EQ(contentOf(path + ".damaged"), c.setAside ? c.content : QByteArray()) << c.what;
        EXPECT_EQ(contentOf(path), "[General]\nnumberMetric=CPU %\n") << c.what;
    }
}

TEST_F(SettingsFaults, ReadOnlyOrFullDiskKeepsTheFileAsItWasAndSaysSoOnce) {
    QTemporaryDir dir;
    const auto configHome = [&](PrivateMount& mount) {
        return QString::fromStdString(mount.path());
    };
    const QByteArray saved = "[General]\nnumberMetric=Mem Free\n";
    for (const bool readOnly : {true, false}) {
        PrivateMount mount("tmpfs", dir.path().toStdString(), "size=64k");
        if (mount.path().empty())
            GTEST_SKIP() << mount.failure();
        const QString path = configHome(mount) + "/orbimeter/orbimeter.conf";
        ASSERT_TRUE(writeFile(path, saved));
        const QString filler = configHome(mount) + "/filler";
        if (readOnly) {
            ASSERT_TRUE(mount.makeReadOnly());
        } else {
            QFile fill(filler);
            ASSERT_TRUE(fill.open(QIODevice::WriteOnly));
            while (fill.write(QByteArray(4096, 'x')) > 0 && fill.flush()) {
            }
        }
        Session session(configHome(mount));
        EXPECT_EQ(session.read("numberMetric"), "Mem Free");
        session.write("numberMetric", "CPU %");
        session.write("outerRingMetric", "Fan 0");
        EXPECT_EQ(session.read("numberMetric"), "CPU %") << "kept for the session";
        EXPECT_EQ(session.end(), "Settings: cannot save to " + path.toStdString() +
                                     "; changes last until Orbimeter quits\n");
        EXPECT_EQ(contentOf(path), saved);
        // No half-written temporary file is left beside it.
        const QStringList left = QDir(QFileInfo(path).path()).entryList(QDir::Files);
        EXPECT_EQ(left, QStringList{"orbimeter.conf"}) << left.join(", ").toStdString();
        if (!readOnly) {
            // Once there is room again the choices still pending are saved, all at once.
            ASSERT_TRUE(QFile::remove(filler));
            session.write("innerRingMetric", "GPU");
            EXPECT_EQ(contentOf(path), "[General]\ninnerRingMetric=GPU\nnumberMetric=CPU %\n"
                                       "outerRingMetric=Fan 0\n");
        }
    }
}
