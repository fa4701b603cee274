#include "platform/linux/XdgAutostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orb;
using orb::platform::LoginItemStatus;
using orb::platform::XdgAutostart;

namespace {

void writeFile(const QString& path, const QString& text) {
    QFile file(path);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly));
    file.write(text.toUtf8());
}

// A temporary home with an executable program file in a folder whose name has a space.
class XdgAutostartEntry : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(program, "#!/bin/sh\n");
        QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner);
    }
    QTemporaryDir home;
    QString program = home.filePath("My Apps/orbimeter");
    QString directory = home.filePath("config/autostart");
    XdgAutostart autostart{directory, program};
};

} // namespace

TEST(XdgAutostart, ExecValueQuotesOnlyWhatNeedsQuoting) {
    // Inside the quotes ", `, $ and \ take a backslash, the desktop-file string value doubles
    // every backslash, and a percent sign is doubled whether quoted or not.
    const std::pair<QString, QString> cases[] = {
        {"/usr/bin/orbimeter", "/usr/bin/orbimeter"},
        {R"(/opt/say "hi"/orbimeter)", R"("/opt/say \\"hi\\"/orbimeter")"},
        {"/opt/50% off/orbimeter", R"("/opt/50%% off/orbimeter")"},
    };
    for (const auto& [program, expected] : cases)
        EXPECT_EQ(platform::desktopExecValue(program).toStdString(), expected.toStdString());
}

TEST_F(XdgAutostartEntry, RegistersAWorkingEntryAndTellsSwitchedOffOrStaleOnes) {
    EXPECT_EQ(autostart.status(), LoginItemStatus::notRegistered);
    EXPECT_EQ(autostart.registerItem(), std::nullopt);
    EXPECT_EQ(autostart.status(), LoginItemStatus::enabled);
    QFile entry(autostart.entryPath());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(entry.readAll()).split('\n');
    EXPECT_EQ(lines.front(), "[Desktop Entry]");
    EXPECT_TRUE(lines.contains("Exec=\"" + program + '"') && lines.contains("TryExec=" + program));
    // The login item starts the program as a session does from the installed desktop entry.
    QFile installed(ORB_PACKAGING_DIR "/orbimeter.desktop");
    ASSERT_TRUE(installed.open(QIODevice::ReadOnly));
    for (const QString& line : QString::fromUtf8(installed.readAll()).split('\n')) {
        if (line.startsWith("X-GNOME-Autostart") || line.startsWith("NoDisplay")) {
            EXPECT_TRUE(lines.contains(line)) << line.toStdString();
        }
    }
    // Written atomically: no temporary file is left beside the entry.
    EXPECT_EQ(QDir(directory).entryList(QDir::Files), QStringList({"orbimeter.desktop"}));
    EXPECT_EQ(autostart.unregisterItem(), std::nullopt);
    EXPECT_EQ(autostart.status(), LoginItemStatus::notRegistered);
    EXPECT_EQ(autostart.unregisterItem(), std::nullopt) << "nothing to remove is no failure";

    // Switched off or stale entries are not enabled.
    const QString head = "[Desktop Entry]\nType=Application\nExec=orbimeter\n";
    const std::pair<QString, LoginItemStatus> cases[] = {
        {head + "Hidden=false\nX-GNOME-Autostart-enabled=true\n", LoginItemStatus::enabled},
        {head + "# Hidden=true\n", LoginItemStatus::enabled},
        {head + "[Desktop Action Quit]\nHidden=true\n", LoginItemStatus::enabled},
        {head + "TryExec=" + home.filePath("gone/orbimeter") + "\n", LoginItemStatus::notFound},
        {head + "TryExec=" + home.filePath("My\\sApps/orbimeter") + "\n", LoginItemStatus::enabled},
        {head + "X-GNOME-Autostart-enabled=false\n", LoginItemStatus::notRegistered},
        {head + "Hidden = true\n", LoginItemStatus::notRegistered},
    };
    for (const auto& [text, expected] : cases) {
        writeFile(autostart.entryPath(), text);
        EXPECT_EQ(autostart.status(), expected) << text.toStdString();
    }
    // Registering again replaces the switched-off entry with a working one.
    EXPECT_EQ(autostart.registerItem(), std::nullopt);
    EXPECT_EQ(autostart.status(), LoginItemStatus::enabled);
}

TEST_F(XdgAutostartEntry, FailuresAreDescribed) {
    // A regular file where a folder is needed stops writes even for the superuser; a folder in
    // place of the entry cannot be removed as a file.
    writeFile(home.filePath("blocker"), "");
    XdgAutostart blocked(home.filePath("blocker/autostart"), program);
    ASSERT_TRUE(QDir().mkpath(autostart.entryPath() + "/inside"));
    const std::pair<std::optional<QString>, QString> cases[] = {
        {blocked.registerItem(), home.filePath("blocker/autostart")},
        {autostart.unregisterItem(), autostart.entryPath()},
    };
    for (const auto& [error, names] : cases)
        EXPECT_TRUE(error && error->contains(names)) << error.value_or("none").toStdString();
    EXPECT_EQ(blocked.status(), LoginItemStatus::notRegistered);
}
