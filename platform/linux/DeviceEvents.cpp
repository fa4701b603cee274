#include "platform/linux/DeviceEvents.h"

#include "platform/linux/SysFs.h"

#include <array>
#include <cerrno>
#include <linux/netlink.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orb::platform::linux_fs {

namespace {

constexpr unsigned kernelEventGroup = 1;

int openKernelEventSocket() {
    const int fd =
        ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
    if (fd < 0)
        return -1;
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = kernelEventGroup;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Events that change what a class directory lists; "change" and the driver binds do not.
bool changesListing(std::string_view action) {
    return action == "add" || action == "remove" || action == "move";
}

} // namespace

std::optional<DeviceEvent> parseDeviceEvent(std::string_view message) {
    DeviceEvent event;
    while (!message.empty()) {
        const auto end = message.find('\0');
        const auto field = message.substr(0, end);
        if (field.starts_with("ACTION="))
            event.action = field.substr(7);
        else if (field.starts_with("SUBSYSTEM="))
            event.subsystem = field.substr(10);
        if (end == std::string_view::npos)
            break;
        message.remove_prefix(end + 1);
    }
    if (event.action.empty() || event.subsystem.empty())
        return std::nullopt;
    return event;
}

std::shared_ptr<DeviceEvents> DeviceEvents::live() {
    // One socket for the whole program, opened by the first reader that asks and closed with
    // the last one.
    static std::mutex mutex;
    static std::weak_ptr<DeviceEvents> shared;
    std::lock_guard lock(mutex);
    auto events = shared.lock();
    if (!events) {
        const int fd = openKernelEventSocket();
        if (fd < 0)
            return nullptr;
        events = std::make_shared<DeviceEvents>(fd, std::chrono::milliseconds(200));
        shared = events;
    }
    return events;
}

std::shared_ptr<DeviceEvents> DeviceEvents::forRoot(const std::string& root) {
    return root.empty() || root == "/" ? live() : nullptr;
}

DeviceEvents::DeviceEvents(int socket, std::chrono::milliseconds readEvery)
    : socket_(socket), readEvery_(readEvery) {}

DeviceEvents::~DeviceEvents() {
    if (socket_ >= 0)
        ::close(socket_);
}

void DeviceEvents::drain() {
    std::array<char, 8192> buffer;
    for (;;) {
        sockaddr_nl sender{};
        socklen_t senderLength = sizeof sender;
        const ssize_t n = ::recvfrom(socket_, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&sender), &senderLength);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == ENOBUFS) { // messages dropped: any class may have changed
                ++lost_;
                continue;
            }
            return; // EAGAIN: nothing more for now
        }
        // Only the kernel speaks on this socket; a message from a process (port id not 0) is
        // not the kernel's word.
        if (senderLength == sizeof sender && sender.nl_family == AF_NETLINK && sender.nl_pid != 0)
            continue;
        const auto event = parseDeviceEvent({buffer.data(), static_cast<std::size_t>(n)});
        if (event && changesListing(event->action))
            ++changes_[event->subsystem];
    }
}

std::uint64_t DeviceEvents::generation(std::string_view subsystem) {
    std::lock_guard lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    if (!readAt_ || now - *readAt_ >= readEvery_) {
        drain();
        readAt_ = now;
    }
    const auto found = changes_.find(subsystem);
    return lost_ + (found == changes_.end() ? 0 : found->second);
}

ClassListing::ClassListing(std::string directory, std::string subsystem,
                           std::shared_ptr<DeviceEvents> events)
    : directory_(std::move(directory)), subsystem_(std::move(subsystem)),
      events_(std::move(events)) {}

const std::vector<std::string>& ClassListing::entries() {
    constexpr auto relistEvery = std::chrono::seconds(10);
    const auto now = std::chrono::steady_clock::now();
    if (events_) {
        const auto generation = events_->generation(subsystem_);
        if (current_ && generation == generation_ && now - listedAt_ < relistEvery)
            return entries_;
        generation_ = generation;
    }
    entries_ = listDirectory(directory_);
    listedAt_ = now;
    current_ = true;
    return entries_;
}

std::optional<std::uint64_t> ClassListing::folderInode(const std::string& path) {
    struct stat status {};
    if (!statInsideRoot(path, status) || !S_ISDIR(status.st_mode)) {
        invalidate();
        return std::nullopt;
    }
    return status.st_ino;
}

} // namespace orb::platform::linux_fs
