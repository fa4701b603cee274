#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orb::platform::linux_fs {

// The kernel's word, from its uevent socket, that a device was added to a subsystem, removed or
// moved: the readers list a class directory again when that happens instead of on every pass.
class DeviceEvents {
public:
    // The machine's own events, shared by every reader; empty where the socket cannot be opened.
    static std::shared_ptr<DeviceEvents> live();
    // The live events for the machine's own tree ("/"), none for a captured tree.
    static std::shared_ptr<DeviceEvents> forRoot(const std::string& root);

    // Takes a datagram socket that receives uevent messages (the kernel's, or a test's). The
    // socket is read at most once per `readEvery`, so the readers that ask in one pass share one
    // look at it.
    explicit DeviceEvents(int socket, std::chrono::milliseconds readEvery = {});
    ~DeviceEvents();
    DeviceEvents(const DeviceEvents&) = delete;
    DeviceEvents& operator=(const DeviceEvents&) = delete;

    // Changes so far to the devices of `subsystem`, counting lost messages as changes to all.
    // Takes what the socket holds first, without waiting.
    std::uint64_t generation(std::string_view subsystem);

private:
    void drain();

    int socket_;
    std::chrono::milliseconds readEvery_;
    std::optional<std::chrono::steady_clock::time_point> readAt_;
    std::mutex mutex_;
    std::map<std::string, std::uint64_t, std::less<>> changes_;
    std::uint64_t lost_ = 0;
};

struct DeviceEvent {
    std::string action; // "add", "remove", "move", "change", "bind", ...
    std::string subsystem;
};
// The ACTION and SUBSYSTEM of one uevent message ("add@/devices/...\0ACTION=add\0..."); empty
// when either is missing.
std::optional<DeviceEvent> parseDeviceEvent(std::string_view message);

// The entries of a class directory (/sys/class/power_supply), listed again when the kernel
// reports a device of its subsystem added, removed or moved, or when a reader found an entry
// gone, and at least every 10 s in case an event never came (a network namespace of its own
// sees none). Without events (a captured tree) it lists on every call.
class ClassListing {
public:
    ClassListing(std::string directory, std::string subsystem,
                 std::shared_ptr<DeviceEvents> events);

    // Sorted names, as listDirectory gives them.
    const std::vector<std::string>& entries();
    // An entry could not be read: list afresh on the next call.
    void invalidate() { current_ = false; }
    // The inode of an entry's folder, which changes when another device takes the name; none,
    // and a fresh listing next time, when it is a link whose target was never captured or not a
    // folder at all.
    std::optional<std::uint64_t> folderInode(const std::string& path);

private:
    std::string directory_;
    std::string subsystem_;
    std::shared_ptr<DeviceEvents> events_;
    std::vector<std::string> entries_;
    std::uint64_t generation_ = 0;
    std::chrono::steady_clock::time_point listedAt_{};
    bool current_ = false;
};

} // namespace orb::platform::linux_fs
