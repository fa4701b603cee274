#include "fakes/ScratchRoot.h"
#include "platform/BlockStorage.h"
#include "platform/linux/DescriptorWatch.h"
#include "platform/linux/LinuxBlockStorage.h"
#include "platform/linux/UdevInterest.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using namespace orb::platform;
using orb::testing::ScratchRoot;

namespace {

using Messages = std::vector<InterestMessage>;

void runEventLoop(const std::function<bool()>& done = [] { return false; }) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 200)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// A non-blocking pipe whose bytes are the messages of a watch on its reading end.
struct MessagePipe {
    MessagePipe() { EXPECT_EQ(::pipe2(ends, O_NONBLOCK | O_CLOEXEC), 0); }
    ~MessagePipe() { ::close(ends[0]), ::close(ends[1]); }
    void send(std::initializer_list<unsigned char> messages) {
        for (auto m : messages)
            ASSERT_EQ(::write(ends[1], &m, 1), 1);
    }
    std::unique_ptr<DescriptorWatch> watch(Messages& received, std::function<void()> then = {}) {
        auto drain = [fd = ends[0]] {
            Messages messages;
            for (unsigned char byte; ::read(fd, &byte, 1) == 1;)
                messages.push_back(byte);
            return messages;
        };
        return DescriptorWatch::create(ends[0], drain, [&received, then](InterestMessage m) {
            received.push_back(m);
            if (then)
                then();
        });
    }
    int ends[2] = {-1, -1};
};

} // namespace

TEST(DescriptorWatch, DeliversFromTheEventLoopInOrderAndNothingOnceDestroyed) {
    MessagePipe pipe;
    Messages received;
    pipe.send({1, 2});
    auto watch = pipe.watch(received);
    ASSERT_NE(watch, nullptr);
    EXPECT_TRUE(received.empty()) << "delivered inside the registration";
    runEventLoop([&] { return received.size() == 2; });
    pipe.send({3});
    runEventLoop([&] { return received.size() == 3; });
    EXPECT_EQ(received, (Messages{1, 2, 3}));

    // A watch destroyed with 4 waiting leaves it in the pipe; a callback that cancels its own
    // registration ends the batch it came in (4, 5, 6).
    pipe.send({4});
    watch.reset();
    runEventLoop();
    watch = pipe.watch(received, [&] { watch.reset(); });
    pipe.send({5, 6});
    runEventLoop([&] { return !watch; });
    pipe.send({7});
    runEventLoop();
    EXPECT_EQ(received, (Messages{1, 2, 3, 4}));
}

TEST(UdevInterest, EventsReachOnlyTheWatcherOfTheirDevice) {
    const std::string battery = "/devices/LNXSYSTM:00/LNXSYBUS:00/PNP0C0A:00/power_supply/BAT0";
    const auto watched = registryEntryId(battery);
    EXPECT_EQ(udevInterestMessage(watched, battery, "change"), serviceStateChanged);
    EXPECT_EQ(udevInterestMessage(watched, battery, "unbind"), serviceStateChanged);
    EXPECT_EQ(udevInterestMessage(watched, battery, "remove"), serviceRemoved);
    EXPECT_EQ(udevInterestMessage(watched, battery + "/extension", "change"), std::nullopt);
    EXPECT_EQ(udevInterestMessage(watched, "", "change"), std::nullopt);
}

TEST(LinuxDeviceRegistry, ServicesAreNamedByTheirKernelDevicePath) {
    ScratchRoot root;
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

    auto identities = [&] {
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

    // Watched by identity: null for a device that is gone and on a thread without an event
    // loop to deliver on.
    EXPECT_NE(registry.addInterestNotification(found.at("sda"), [](auto) {}), nullptr);
    EXPECT_EQ(registry.addInterestNotification(registryEntryId("/block/sdz"), [](auto) {}),
              nullptr);
    std::unique_ptr<InterestNotification> fromPlainThread;
    std::thread([&] {
        fromPlainThread = registry.addInterestNotification(found.at("sda"), [](auto) {});
    }).join();
    EXPECT_EQ(fromPlainThread, nullptr);
    EXPECT_EQ(registry.openUserClient(found.at("sda"), 0), nullptr);
}
