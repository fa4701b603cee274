#include "platform/linux/LinuxPowerSources.h"

#include "platform/linux/UPowerClient.h"
#include "platform/linux/UdevInterest.h"

#include <QDBusConnection>

namespace orb::platform {

namespace {

// Follows UPower's changes, and the kernel's power_supply events while UPower is not there to
// summarise them (the descriptions then come from sysfs).
class PowerSourceChanges final : public InterestNotification {
public:
    PowerSourceChanges(UPowerClient& upower, std::function<void()> changed)
        : upower_(upower), changed_(std::move(changed)) {
        followUPower();
        connection_ = QObject::connect(&upower, &UPowerClient::changed, &upower, [this] {
            followUPower();
            // Held locally: the callback may end this registration.
            const auto changed = changed_;
            changed();
        });
    }
    ~PowerSourceChanges() override { QObject::disconnect(connection_); }

private:
    void followUPower() {
        if (upower_.available())
            udev_.reset();
        else if (!udev_)
            udev_ = watchUdevSubsystem("power_supply", changed_);
    }

    UPowerClient& upower_;
    std::function<void()> changed_;
    QMetaObject::Connection connection_;
    std::unique_ptr<InterestNotification> udev_;
};

} // namespace

LinuxPowerSources::LinuxPowerSources(const std::string& root, bool live)
    : LinuxPowerSources(std::make_shared<PowerSupplyReader>(root),
                        live && root == "/"
                            ? std::make_unique<UPowerClient>(QDBusConnection::systemBus())
                            : nullptr) {}

LinuxPowerSources::LinuxPowerSources(std::shared_ptr<PowerSupplyReader> reader,
                                     std::unique_ptr<UPowerClient> upower)
    : reader_(std::move(reader)), upower_(std::move(upower)) {}

LinuxPowerSources::~LinuxPowerSources() = default;

std::optional<std::vector<PropertyValue>> LinuxPowerSources::descriptions() {
    const auto& supplies = reader_->supplies();
    auto description =
        upower_ && upower_->available() ? upower_->description() : batteryDescription(supplies);
    if (!description)
        return std::vector<PropertyValue>();
    addBatteryHealth(*description, supplies);
    return std::vector<PropertyValue>{PropertyValue(std::move(*description))};
}

std::unique_ptr<InterestNotification>
LinuxPowerSources::notifyChanges(std::function<void()> changed) {
    if (!upower_)
        return nullptr;
    return std::make_unique<PowerSourceChanges>(*upower_, std::move(changed));
}

void addBatteryHealth(PropertyTable& description, const std::vector<PowerSupply>& supplies) {
    for (const auto& supply : supplies) {
        if (!isSystemBattery(supply))
            continue;
        if (!supply.health.empty())
            description.set(std::string(power_source::healthKey), supply.health);
        return;
    }
}

} // namespace orb::platform
