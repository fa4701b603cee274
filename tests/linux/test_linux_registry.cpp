#include "fakes/ScratchRoot.h"
#include "platform/BlockStorage.h"
#include "platform/linux/DescriptorWatch.h"
#include "platform/linux/LinuxBlockStorage.h"
#include "platform/linux/UdevInterest.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using namespace orb::platform;

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
    orb::testing::ScratchRoot root;
    root.write("proc/diskstats", "8 0 sda 1 0 2 0 3 0 4 0 0 0 0\n"
                                 "259 0 nvme0n1 1 0 2 0 3 0 4 0 0 0 0\n");
    // As on a live system, /sys/block/sda links into the device tree; a captured tree keeps
    // nvme0n1 as a plain folder.
    const std::string sda = "/devices/pci0000:00/0000:00:17.0/ata1/block/sda";
    root.link("sys" + sda + "/device", "../../..");
    root.link("sys/block/sda", ".." + sda);
    root.link("sys/block/nvme0n1/device", "../../devices/pci0000:00/0000:00:1d.0");
    LinuxDeviceRegistry registry;
    registry.addSource(std::string(block_storage::serviceClass),
                       std::make_unique<LinuxBlockStorage>(root.str()));
    auto identities = [&] { // by name
        std::map<std::string, RegistryEntryId> byName;
        auto services = registry.matchingServices(block_storage::serviceClass);
        while (auto service = services->next())
            byName[*service->properties()->find(block_storage::nameKey)->string()] =
                service->entryId();
        return byName;
    };
    const auto found = identities();
    EXPECT_EQ(found,
              (std::map<std::string, RegistryEntryId>{
                  {"nvme0n1", registryEntryId("/block/nvme0n1")}, {"sda", registryEntryId(sda)}}));
    EXPECT_EQ(identities(), found) << "the same device keeps its identity";

    // Watched by identity: null for a device that is gone and on a thread without an event loop.
    const auto sdaId = found.at("sda");
    EXPECT_NE(registry.addInterestNotification(sdaId, [](auto) {}), nullptr);
    EXPECT_EQ(registry.addInterestNotification(registryEntryId("/block/sdz"), [](auto) {}),
              nullptr);
    std::unique_ptr<InterestNotification> fromPlainThread;
    std::thread([&] {
        fromPlainThread = registry.addInterestNotification(sdaId, [](auto) {});
    }).join();
    EXPECT_EQ(fromPlainThread, nullptr);
    LinuxDeviceRegistry captured(false); // over a captured tree: this machine's events do not apply
    captured.addSource(std::string(block_storage::serviceClass),
                       std::make_unique<LinuxBlockStorage>(root.str()));
    EXPECT_EQ(captured.addInterestNotification(sdaId, [](auto) {}), nullptr);

    // A second source of a class adds its services after the first one's.
    struct OneService final : ServiceSource {
        std::vector<std::unique_ptr<RegistryService>> services() override {
            std::vector<std::unique_ptr<RegistryService>> one;
            one.push_back(std::make_unique<SnapshotService>(7, PropertyTable{}));
            return one;
        }
        std::string_view subsystem() const override { return "pci"; }
    };
    captured.addSource(std::string(block_storage::serviceClass), std::make_unique<OneService>());
    std::vector<RegistryEntryId> ids;
    for (auto services = captured.matchingServices(block_storage::serviceClass);
         auto service = services->next();)
        ids.push_back(service->entryId());
    EXPECT_EQ(ids, (std::vector<RegistryEntryId>{registryEntryId("/block/nvme0n1"), sdaId, 7}));

    // A udev event reaches only the watcher of its own device.
    const std::string battery = "/devices/LNXSYSTM:00/LNXSYBUS:00/PNP0C0A:00/power_supply/BAT0";
    const auto watched = registryEntryId(battery);
    EXPECT_EQ(udevInterestMessage(watched, battery, "change"), serviceStateChanged);
    EXPECT_EQ(udevInterestMessage(watched, battery, "remove"), serviceRemoved);
    EXPECT_EQ(udevInterestMessage(watched, battery + "/extension", "change"), std::nullopt);
    EXPECT_EQ(udevInterestMessage(watched, "", "change"), std::nullopt);
}
