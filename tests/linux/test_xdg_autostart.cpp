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

// A temporary home with an executable program file in a folder whose name has a space.
class XdgAutostartEntry : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        writeFile(program, "#!/bin/sh\n");
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void writeFile(const QString& path, const QString& text) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
    }
    void writeEntry(const QString& text) { writeFile(autostart.entryPath(), text); }

    QTemporaryDir home;
    QString program = home.filePath("My Apps/orbimeter");
    QString directory = home.filePath("config/autostart");
    XdgAutostart autostart{directory, program};
};

} // namespace

TEST(XdgAutostart, ExecValueQuotesOnlyWhatNeedsQuoting) {
    const std::pair<QString, QString> cases[] = {
        {"/usr/bin/orbimeter", "/usr/bin/orbimeter"},
        {"/opt/My Apps/orbimeter", R"("/opt/My Apps/orbimeter")"},
        // Inside the quotes ", `, $ and \ take a backslash, and the desktop-file string value
        // doubles every backslash.
        {R"(/opt/say "hi"/orbimeter)", R"("/opt/say \\"hi\\"/orbimeter")"},
        {"/opt/$HOME/orbimeter", R"("/opt/\\$HOME/orbimeter")"},
        {R"(/opt/back\slash/orbimeter)", R"("/opt/back\\\\slash/orbimeter")"},
        // Reserved but needing no backslash inside double quotes.
        {"/opt/it's/orbimeter", R"("/opt/it's/orbimeter")"},
        // A percent sign is doubled whether quoted or not.
        {"/opt/50% off/orbimeter", R"("/opt/50%% off/orbimeter")"},
        {"/opt/line\nbreak/orbimeter", R"("/opt/line\nbreak/orbimeter")"},
    };
    for (const auto& [program, expected] : cases)
        EXPECT_EQ(platform::desktopExecValue(program).toStdString(), expected.toStdString());
}

TEST_F(XdgAutostartEntry, RegisterWritesAnEntryAndUnregisterRemovesIt) {
    EXPECT_EQ(autostart.status(), LoginItemStatus::notRegistered);
    EXPECT_EQ(autostart.registerItem(), std::nullopt);
    EXPECT_EQ(autostart.status(), LoginItemStatus::enabled);

    QFile entry(autostart.entryPath());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    const QStringList lines = text.split('\n');
    EXPECT_EQ(lines.front(), "[Desktop Entry]");
    EXPECT_TRUE(lines.contains("Type=Application"));
    EXPECT_TRUE(lines.contains("Exec=\"" + program + "\"")) << text.toStdString();
    EXPECT_TRUE(lines.contains("TryExec=" + program));
    // Written atomically: no temporary file is left beside the entry.
    EXPECT_EQ(QDir(directory).entryList(QDir::Files), QStringList({"orbimeter.desktop"}));

    EXPECT_EQ(autostart.unregisterItem(), std::nullopt);
    EXPECT_FALSE(QFile::exists(autostart.entryPath()));
    EXPECT_EQ(autostart.status(), LoginItemStatus::notRegistered);
    EXPECT_EQ(autostart.unregisterItem(), std::nullopt) << "nothing to remove is no failure";
}

TEST_F(XdgAutostartEntry, SwitchedOffOrStaleEntriesAreNotEnabled) {
    const QString head = "[Desktop Entry]\nType=Application\nExec=orbimeter\n";
    const std::pair<QString, LoginItemStatus> cases[] = {
        {head, LoginItemStatus::enabled},
        {head + "Hidden=true\n", LoginItemStatus::notRegistered},
        {head + "Hidden = true\n", LoginItemStatus::notRegistered},
        {head + "X-GNOME-Autostart-enabled=false\n", LoginItemStatus::notRegistered},
        {head + "Hidden=false\nX-GNOME-Autostart-enabled=true\n", LoginItemStatus::enabled},
        {head + "# Hidden=true\n", LoginItemStatus::enabled},
        {head + "[Desktop Action Quit]\nHidden=true\n", LoginItemStatus::enabled},
        {head + "TryExec=" + home.filePath("gone/orbimeter") + "\n", LoginItemStatus::notFound},
        {head + "TryExec=" + home.filePath("My\\sApps/orbimeter") + "\n", LoginItemStatus::enabled},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text.toStdString());
        writeEntry(text);
        EXPECT_EQ(autostart.status(), expected);
    }

    // Registering again replaces a switched-off entry with a working one.
    writeEntry(head + "Hidden=true\n");
    EXPECT_EQ(autostart.registerItem(), std::nullopt);
    EXPECT_EQ(autostart.status(), LoginItemStatus::enabled);
}

TEST_F(XdgAutostartEntry, FailuresAreDescribed) {
    // A regular file where a folder is needed stops writes even for the superuser.
    writeFile(home.filePath("blocker"), "");
    XdgAutostart blocked(home.filePath("blocker/autostart"), program);
    const auto error = blocked.registerItem();
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->contains(home.filePath("blocker/autostart"))) << error->toStdString();
    EXPECT_EQ(blocked.status(), LoginItemStatus::notRegistered);

    EXPECT_TRUE(XdgAutostart(directory, "").registerItem());

    // A folder in place of the entry cannot be removed as a file.
    ASSERT_TRUE(QDir().mkpath(autostart.entryPath() + "/inside"));
    const auto removeError = autostart.unregisterItem();
    ASSERT_TRUE(removeError);
    EXPECT_TRUE(removeError->contains(autostart.entryPath())) << removeError->toStdString();
}

TEST_F(XdgAutostartEntry, DefaultDirectoryFollowsXdgConfigHome) {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", home.filePath("xdg").toUtf8());
    const QString directory = XdgAutostart::defaultDirectory();
    if (saved.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", saved);
    EXPECT_EQ(directory, home.filePath("xdg/autostart"));
}
