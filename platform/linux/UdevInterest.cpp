#include "platform/linux/UdevInterest.h"

#include "platform/linux/DescriptorWatch.h"
#include "platform/linux/LinuxDeviceRegistry.h"

#include <libudev.h>
#include <string>

namespace orb::platform {

namespace {

struct UdevRelease {
    void operator()(udev* context) const { udev_unref(context); }
    void operator()(udev_monitor* monitor) const { udev_monitor_unref(monitor); }
    void operator()(udev_device* device) const { udev_device_unref(device); }
};
template <typename T> using UdevPtr = std::unique_ptr<T, UdevRelease>;

// A burst of events (a dock with several devices) is taken a slice at a time so the event loop
// keeps turning; the notifier fires again for the rest.
constexpr int eventsPerWakeUp = 32;

class UdevInterest final : public InterestNotification {
public:
    UdevInterest(UdevPtr<udev> context, UdevPtr<udev_monitor> monitor,
                 std::unique_ptr<DescriptorWatch> watch)
        : context_(std::move(context)), monitor_(std::move(monitor)), watch_(std::move(watch)) {}

private:
    // Destroyed in reverse: the watch stops before the monitor's socket closes.
    UdevPtr<udev> context_;
    UdevPtr<udev_monitor> monitor_;
    std::unique_ptr<DescriptorWatch> watch_;
};

// Watches the udev events of one kernel subsystem; `translate` turns each event of a wake-up
// into messages for `callback`.
template <typename Translate>
std::unique_ptr<InterestNotification>
watchUdevEvents(std::string_view subsystem, Translate translate, InterestCallback&& callback) {
    UdevPtr<udev> context(udev_new());
    if (!context)
        return nullptr;
    UdevPtr<udev_monitor> monitor(udev_monitor_new_from_netlink(context.get(), "udev"));
    const std::string subsystemName(subsystem);
    if (!monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), subsystemName.c_str(),
                                                        nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor.get()) < 0)
        return nullptr;

    // The monitor's socket does not block: receiving gives null once nothing is left.
    auto drain = [monitor = monitor.get(), translate = std::move(translate)] {
        std::vector<InterestMessage> messages;
        for (int i = 0; i < eventsPerWakeUp; ++i) {
            UdevPtr<udev_device> device(udev_monitor_receive_device(monitor));
            if (!device)
                break;
            translate(device.get(), messages);
        }
        return messages;
    };
    auto watch = DescriptorWatch::create(udev_monitor_get_fd(monitor.get()), std::move(drain),
                                         std::move(callback));
    if (!watch)
        return nullptr;
    return std::make_unique<UdevInterest>(std::move(context), std::move(monitor), std::move(watch));
}

} // namespace

std::optional<InterestMessage>
udevInterestMessage(RegistryEntryId watched, std::string_view devicePath, std::string_view action) {
    if (devicePath.empty() || registryEntryId(devicePath) != watched)
        return std::nullopt;
    return action == "remove" ? serviceRemoved : serviceStateChanged;
}

std::unique_ptr<InterestNotification>
watchUdevDevice(std::string_view subsystem, RegistryEntryId service, InterestCallback callback) {
    return watchUdevEvents(
        subsystem,
        [service](udev_device* device, std::vector<InterestMessage>& messages) {
            const char* path = udev_device_get_devpath(device);
            const char* action = udev_device_get_action(device);
            if (auto message = udevInterestMessage(service, path ? path : "", action ? action : ""))
                messages.push_back(*message);
        },
        std::move(callback));
}

std::unique_ptr<InterestNotification> watchUdevSubsystem(std::string_view subsystem,
                                                         std::function<void()> changed) {
    return watchUdevEvents(
        subsystem,
        [](udev_device*, std::vector<InterestMessage>& messages) {
            if (messages.empty())
                messages.push_back(serviceStateChanged);
        },
        [changed = std::move(changed)](InterestMessage) { changed(); });
}

} // namespace orb::platform
