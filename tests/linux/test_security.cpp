#include "fakes/ScratchRoot.h"
#include "platform/linux/Hwmon.h"
#include "platform/linux/NvidiaAccelerators.h"
#include "platform/linux/Nvml.h"
#include "platform/linux/SysFs.h"

#include <QFile>
#include <QThread>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

using namespace orb::platform;
using orb::testing::ScratchRoot;
namespace fs = linux_fs;
namespace stdfs = std::filesystem;

namespace {

// Every file mapped into this process that lies in `directory`.
QStringList mappedFrom(const QString& directory) {
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return {};
    QStringList found;
    for (const QString& line : QString::fromUtf8(maps.readAll()).split('\n')) {
        if (line.contains(directory + '/'))
            found << line;
    }
    return found;
}

} // namespace

// A tree given with --root is read as if it were "/": its links are followed the way the kernel
// follows sysfs's own, so none reaches a file outside it, however it is written.
TEST(FixtureRootLinks, AreResolvedInsideTheRoot) {
    ScratchRoot outside{{"name", "outside\n"}, {"temp1_input", "99000\n"}, {"secret", "leak\n"}};
    ScratchRoot root{{"sys/devices/platform/a/hwmon/hwmon0/name", "inside\n"},
                     {"sys/devices/platform/a/hwmon/hwmon0/temp1_input", "40000\n"},
                     {"sys/devices/platform/b/hwmon/hwmon3/name", "absolute\n"},
                     {"sys/devices/platform/b/hwmon/hwmon3/temp1_input", "41000\n"},
                     {"secret", "the tree's own\n"}};
    const std::string climb =
        stdfs::path(outside.str()).lexically_relative(root.path() / "sys/class/hwmon").string();
    root.link("sys/class/hwmon/hwmon0", "../../devices/platform/a/hwmon/hwmon0");
    root.link("sys/class/hwmon/hwmon1", outside.str()); // absolute, out of the tree
    root.link("sys/class/hwmon/hwmon2", climb);         // "..", out of the tree
    root.link("sys/class/hwmon/hwmon3", "/sys/devices/platform/b/hwmon/hwmon3");
    root.link("sys/escape", "../../../../../../../../..");
    root.link("sys/top", "/");

    const auto chips = readHwmon(root.str());
    std::vector<std::string> names;
    for (const auto& chip : chips)
        names.push_back(chip.name + "@" + std::to_string(chip.number));
    EXPECT_EQ(names, (std::vector<std::string>{"inside@0", "absolute@3"}));

    // The shared readers: ".." stops at the root, "/" is the root's.
    const auto sys = fs::underRoot(root.str(), "/sys");
    EXPECT_EQ(fs::readLine(sys + "/escape/secret"), "the tree's own");
    EXPECT_EQ(fs::readAttribute(sys + "/top/secret"), "the tree's own");
    EXPECT_EQ(fs::listDirectory(sys + "/top"), (std::vector<std::string>{"secret", "sys"}));
    EXPECT_FALSE(fs::readFile(sys + "/class/hwmon/hwmon1/secret"));
    EXPECT_FALSE(fs::readAttribute(sys + "/class/hwmon/hwmon2/secret"));
    EXPECT_TRUE(fs::listDirectory(sys + "/class/hwmon/hwmon1").empty());
    // Outside any root, links are the system's own.
    EXPECT_EQ(fs::readLine(outside.str() + "/secret"), "leak");
}

// The management library is looked up by its soname in the system's library paths: a copy in
// the working directory is never loaded, nor is a relative path.
TEST(VendorLibraries, AreNotLoadedFromTheWorkingDirectory) {
    ScratchRoot root;
    root.writeWords("sys/bus/pci/devices/0000:01:00.0",
                    "vendor=0x10de class=0x030000 power/runtime_status=active");
    ScratchRoot start;
    const QString planted = QString::fromStdString(start.str());
    ASSERT_TRUE(QFile::copy(ORB_FAKE_NVML_PATH, planted + "/libnvidia-ml.so.1"));
    const auto saved = stdfs::current_path();
    stdfs::current_path(start.path());

    // An NVIDIA device awake, so that the source asks for the library by its usual name; it
    // answers once the library is loaded, or with one line saying why not.
    std::ostringstream log;
    QStringList fromPlanted, anyManagementLibrary;
    {
        NvidiaAccelerators source(root.str(), std::string(nvidia::managementLibrary), log);
        for (int i = 0; i < 100 && log.str().empty() && source.services().empty(); ++i)
            QThread::msleep(50);
        fromPlanted = mappedFrom(planted);
        anyManagementLibrary = mappedFrom(QString()).filter(QStringLiteral("libnvidia-ml"));
    }
    NvmlSession relative("./libnvidia-ml.so.1");
    stdfs::current_path(saved);

    EXPECT_TRUE(log.str().find("libnvidia-ml") != std::string::npos ||
                !anyManagementLibrary.isEmpty())
        << "the library was never asked for: " << log.str();
    EXPECT_TRUE(fromPlanted.isEmpty()) << fromPlanted.join('\n').toStdString();
    EXPECT_FALSE(relative.ready());
    EXPECT_NE(relative.error().find("relative path"), std::string::npos) << relative.error();
}
