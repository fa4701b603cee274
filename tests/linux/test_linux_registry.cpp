// Files kept open between ticks, class directories listed again only when the kernel reports a
// device added or removed, descriptors watched from the event loop, and the registry of devices.
#include "fakes/ScratchRoot.h"
#include "platform/BlockStorage.h"
#include "platform/linux/DescriptorWatch.h"
#include "platform/linux/DeviceEvents.h"
#include "platform/linux/KeptFile.h"
#include "platform/linux/LinuxBlockStorage.h"
#include "platform/linux/UdevInterest.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace orb::platform;
using orb::testing::ScratchRoot;

TEST(KeptFile, ProcfsStaysOpenAndReadsAfreshWhileOtherFilesAreReopened) {
    auto openDescriptors = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    // A procfs file: one descriptor held, and each read sees the kernel's current contents.
    char name[16] = {};
    ::prctl(PR_GET_NAME, name);
    linux_fs::KeptFile comm("/proc/thread-self/comm");
    std::string text;
    const auto before = openDescriptors();
    for (const char* now : {"kept-one", "kept-two"}) {
        ::prctl(PR_SET_NAME, now);
        ASSERT_TRUE(comm.readInto(text));
        EXPECT_EQ(text, now + std::string("\n"));
        EXPECT_EQ(openDescriptors(), before + 1);
    }
    ::prctl(PR_SET_NAME, name);

    // A captured tree: a file replaced between reads, grown past the first buffer, removed and
    // put back is read as it is now, and a missing one gives nothing.
    ScratchRoot root({{"proc/stat", "short\n"}});
    linux_fs::KeptFile stat(root.str() + "/proc/stat");
    ASSERT_TRUE(stat.readInto(text));
    EXPECT_EQ(text, "short\n");
    EXPECT_EQ(openDescriptors(), before + 1);
    const std::string longer(20000, 'x');
    root.write("proc/stat.new", longer);
    std::filesystem::rename(root.path() / "proc/stat.new", root.path() / "proc/stat");
    ASSERT_TRUE(stat.readInto(text));
    EXPECT_EQ(text, longer);
    std::filesystem::remove(root.path() / "proc/stat");
    EXPECT_FALSE(stat.readInto(text));
    EXPECT_TRUE(text.empty());
    root.write("proc/stat", "back\n");
    ASSERT_TRUE(stat.readInto(text, 2));
    EXPECT_EQ(text, "ba") << "cut at the limit";
}

TEST(DeviceEvents, OnlyAddedRemovedOrMovedDevicesChangeTheirSubsystem) {
    using namespace std::string_view_literals;
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, ends), 0);
    auto send = [&](std::string_view message) {
        ::send(ends[1], message.data(), message.size(), 0);
    };
    auto events = std::make_shared<linux_fs::DeviceEvents>(ends[0]);
    EXPECT_EQ(events->generation("power_supply"), 0u);
    send("change@/devices/BAT0\0ACTION=change\0SUBSYSTEM=power_supply\0"sv);
    send("add@/devices/x\0ACTION=add\0"sv); // no subsystem
    send("\0\0garbage=\0"sv);
    EXPECT_EQ(events->generation("power_supply"), 0u);
    send("add@/devices/ucsi\0ACTION=add\0DEVPATH=/devices/ucsi\0SUBSYSTEM=power_supply\0"sv);
    send("remove@/devices/hwmon3\0ACTION=remove\0SUBSYSTEM=hwmon\0"sv);
    EXPECT_EQ(events->generation("power_supply"), 1u);
    EXPECT_EQ(events->generation("hwmon"), 1u);
    EXPECT_EQ(events->generation("drm"), 0u);

    // A class directory is listed again on its subsystem's event or when a reader saw an entry
    // go; without events it is listed on every call.
    ScratchRoot root({{"sys/class/power_supply/AC/online", "1\n"}});
    const auto dir = root.str() + "/sys/class/power_supply";
    linux_fs::ClassListing listing(dir, "power_supply", events), unwatched(dir, "power_supply", {});
    EXPECT_EQ(listing.entries(), std::vector<std::string>{"AC"});
    root.write("sys/class/power_supply/BAT0/capacity", "50\n");
    EXPECT_EQ(listing.entries(), std::vector<std::string>{"AC"});
    EXPECT_EQ(unwatched.entries(), (std::vector<std::string>{"AC", "BAT0"}));
    send("add@/devices/BAT0\0ACTION=add\0SUBSYSTEM=power_supply\0"sv);
    EXPECT_EQ(listing.entries(), (std::vector<std::string>{"AC", "BAT0"}));
    std::filesystem::remove_all(root.path() / "sys/class/power_supply/AC");
    EXPECT_EQ(listing.entries().size(), 2u);
    listing.invalidate();
    EXPECT_EQ(listing.entries(), std::vector<std::string>{"BAT0"});
    ::close(ends[1]);
}

TEST(DescriptorWatch, DeliversFromTheEventLoopInOrderAndNothingOnceDestroyed) {
    using Messages = std::vector<InterestMessage>;
    auto runEventLoop = [](const std::function<bool()>& done) {
        for (QDeadlineTimer deadline(200); !done() && !deadline.hasExpired();)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    };
    // A non-blocking pipe whose bytes are the messages.
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_NONBLOCK | O_CLOEXEC), 0);
    auto send = [&](std::string bytes) { return ::write(ends[1], bytes.data(), bytes.size()); };
    Messages received;
    std::unique_ptr<DescriptorWatch> watch;
    auto watchPipe = [&](bool cancelOnDelivery) {
        auto drain = [&] {
            unsigned char bytes[16];
            return Messages(bytes, bytes + std::max<ssize_t>(::read(ends[0], bytes, 16), 0));
        };
        watch = DescriptorWatch::create(ends[0], drain, [&, cancelOnDelivery](InterestMessage m) {
            received.push_back(m);
            if (cancelOnDelivery)
                watch.reset();
        });
    };
    send("\1\2");
    watchPipe(false);
    ASSERT_NE(watch, nullptr);
    EXPECT_TRUE(received.empty()) << "delivered inside the registration";
    runEventLoop([&] { return received.size() == 2; });
    send("\3");
    runEventLoop([&] { return received.size() == 3; });
    EXPECT_EQ(received, (Messages{1, 2, 3}));
    // A watch destroyed with 4 waiting leaves it in the pipe; a callback that cancels its own
    // registration ends the batch it came in (4, 5, 6).
    send("\4");
    watch.reset();
    runEventLoop([] { return false; });
    watchPipe(true);
    send("\5\6");
    runEventLoop([&] { return !watch; });
    send("\7");
    runEventLoop([] { return false; });
    EXPECT_EQ(received, (Messages{1, 2, 3, 4}));
    ::close(ends[0]), ::close(ends[1]);
}

TEST(LinuxDeviceRegistry, ServicesAreNamedByTheirKernelDevicePath) {
    ScratchRoot root({{"proc/diskstats", "8 0 sda 1 0 2 0 3 0 4 0 0 0 0\n"
                                         "259 0 nvme0n1 1 0 2 0 3 0 4 0 0 0 0\n"}});
    // As on a live system, /sys/block/sda links into the device tree; a captured tree keeps
    // nvme0n1 as a plain folder.
    const std::string sda = "/devices/pci0000:00/0000:00:17.0/ata1/block/sda";
    root.link("sys" + sda + "/device", "../../..");
    root.link("sys/block/sda", ".." + sda);
    root.link("sys/block/nvme0n1/device", "../../devices/pci0000:00/0000:00:1d.0");
    const std::string disks(block_storage::serviceClass);
    LinuxDeviceRegistry registry;
    registry.addSource(disks, std::make_unique<LinuxBlockStorage>(root.str()));
    using Services = std::vector<std::pair<std::string, RegistryEntryId>>; // name, identity
    auto servicesOf = [&](LinuxDeviceRegistry& from) {
        Services found;
        for (auto services = from.matchingServices(disks); auto service = services->next();)
            found.emplace_back(*service->properties()->find(block_storage::nameKey)->string(),
                               service->entryId());
        return found;
    };
    const auto sdaId = registryEntryId(sda), nvmeId = registryEntryId("/block/nvme0n1");
    const Services both{{"nvme0n1", nvmeId}, {"sda", sdaId}};
    EXPECT_EQ(servicesOf(registry), both);
    EXPECT_EQ(servicesOf(registry), both) << "the same device keeps its identity";

    // Watched by identity: null for a device that is gone and on a thread without an event loop.
    EXPECT_NE(registry.addInterestNotification(sdaId, [](auto) {}), nullptr);
    EXPECT_EQ(registry.addInterestNotification(registryEntryId("/block/sdz"), [](auto) {}),
              nullptr);
    std::unique_ptr<InterestNotification> fromPlainThread;
    std::thread([&] {
        fromPlainThread = registry.addInterestNotification(sdaId, [](auto) {});
    }).join();
    EXPECT_EQ(fromPlainThread, nullptr);
    LinuxDeviceRegistry captured(false); // over a captured tree: this machine's events do not apply
    captured.addSource(disks, std::make_unique<LinuxBlockStorage>(root.str()));
    EXPECT_EQ(captured.addInterestNotification(sdaId, [](auto) {}), nullptr);

    // A second source of a class adds its services after the first one's.
    ScratchRoot other({{"proc/diskstats", "8 16 sdb 1 0 2 0 3 0 4 0 0 0 0\n"}});
    other.link("sys/block/sdb/device", "../../devices/pci0000:00/0000:00:17.1");
    captured.addSource(disks, std::make_unique<LinuxBlockStorage>(other.str()));
    EXPECT_EQ(
        servicesOf(captured),
        (Services{{"nvme0n1", nvmeId}, {"sda", sdaId}, {"sdb", registryEntryId("/block/sdb")}}));

    // A udev event reaches only the watcher of its own device.
    const std::string battery = "/devices/LNXSYSTM:00/LNXSYBUS:00/PNP0C0A:00/power_supply/BAT0";
    const auto watched = registryEntryId(battery);
    EXPECT_EQ(udevInterestMessage(watched, battery, "change"), serviceStateChanged);
    EXPECT_EQ(udevInterestMessage(watched, battery, "remove"), serviceRemoved);
    EXPECT_EQ(udevInterestMessage(watched, battery + "/extension", "change"), std::nullopt);
    EXPECT_EQ(udevInterestMessage(watched, "", "change"), std::nullopt);
}
