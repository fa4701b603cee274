// Files kept open between ticks and class directories listed only when the kernel reports a
// device added or removed.
#include "fakes/ScratchRoot.h"
#include "platform/linux/DeviceEvents.h"
#include "platform/linux/KeptFile.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orb::platform::linux_fs {
namespace {

using orb::testing::ScratchRoot;

std::size_t openDescriptors() {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                      std::filesystem::directory_iterator()));
}

TEST(KeptFile, ProcfsStaysOpenAndReadsAfreshWhileOtherFilesAreReopened) {
    // A procfs file: one descriptor held, and each read sees the kernel's current contents.
    char name[16] = {};
    ::prctl(PR_GET_NAME, name);
    KeptFile comm("/proc/thread-self/comm");
    std::string text;
    const auto before = openDescriptors();
    ::prctl(PR_SET_NAME, "kept-one");
    ASSERT_TRUE(comm.readInto(text));
    EXPECT_EQ(text, "kept-one\n");
    EXPECT_EQ(openDescriptors(), before + 1);
    ::prctl(PR_SET_NAME, "kept-two");
    ASSERT_TRUE(comm.readInto(text));
    EXPECT_EQ(text, "kept-two\n");
    ::prctl(PR_SET_NAME, name);

    // A captured tree: a file replaced between reads, grown past the first buffer, removed and
    // put back is read as it is now, and a missing one gives nothing.
    ScratchRoot root({{"proc/stat", "short\n"}});
    KeptFile stat(root.str() + "/proc/stat");
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

struct EventPair {
    EventPair() { ::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, ends); }
    ~EventPair() { ::close(ends[1]); }
    void send(std::string_view message) { ::send(ends[1], message.data(), message.size(), 0); }
    int ends[2] = {-1, -1};
};

TEST(DeviceEvents, OnlyAddedRemovedOrMovedDevicesChangeTheirSubsystem) {
    using namespace std::string_view_literals;
    EventPair pair;
    auto events = std::make_shared<DeviceEvents>(pair.ends[0]);
    EXPECT_EQ(events->generation("power_supply"), 0u);
    pair.send("change@/devices/BAT0\0ACTION=change\0SUBSYSTEM=power_supply\0"sv);
    pair.send("add@/devices/x\0ACTION=add\0"sv); // no subsystem
    pair.send("\0\0garbage=\0"sv);
    EXPECT_EQ(events->generation("power_supply"), 0u);
    pair.send("add@/devices/ucsi\0ACTION=add\0DEVPATH=/devices/ucsi\0SUBSYSTEM=power_supply\0"sv);
    pair.send("remove@/devices/hwmon3\0ACTION=remove\0SUBSYSTEM=hwmon\0"sv);
    EXPECT_EQ(events->generation("power_supply"), 1u);
    EXPECT_EQ(events->generation("hwmon"), 1u);
    EXPECT_EQ(events->generation("drm"), 0u);

    // A class directory is listed again on its subsystem's event or when a reader saw an entry
    // go; without events it is listed on every call.
    ScratchRoot root({{"sys/class/power_supply/AC/online", "1\n"}});
    const auto dir = root.str() + "/sys/class/power_supply";
    ClassListing listing(dir, "power_supply", events);
    ClassListing unwatched(dir, "power_supply", nullptr);
    EXPECT_EQ(listing.entries(), std::vector<std::string>{"AC"});
    root.write("sys/class/power_supply/BAT0/capacity", "50\n");
    EXPECT_EQ(listing.entries(), std::vector<std::string>{"AC"});
    EXPECT_EQ(unwatched.entries(), (std::vector<std::string>{"AC", "BAT0"}));
    pair.send("add@/devices/BAT0\0ACTION=add\0SUBSYSTEM=power_supply\0"sv);
    EXPECT_EQ(listing.entries(), (std::vector<std::string>{"AC", "BAT0"}));
    std::filesystem::remove_all(root.path() / "sys/class/power_supply/AC");
    EXPECT_EQ(listing.entries().size(), 2u);
    listing.invalidate();
    EXPECT_EQ(listing.entries(), std::vector<std::string>{"BAT0"});
}

} // namespace
} // namespace orb::platform::linux_fs
