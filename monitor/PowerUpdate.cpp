#include "monitor/SystemMonitor.h"

#include "platform/Clock.h"
#include "platform/Platform.h"

#include <cmath>

namespace orb {

using SM = SystemMonitor;

void SystemMonitor::updatePowerSources() {
    if (const auto reading = powerSource_.read(isCharging())) {
        if (reading->level)
            setBatteryLevel(*reading->level);
        if (reading->isCharging)
            setIsCharging(*reading->isCharging);
        if (reading->acConnected)
            setBatteryACConnected(*reading->acConnected);
        if (reading->timeRemaining)
            setTimeRemaining(*reading->timeRemaining);
        setBatteryTimeToFull(reading->timeToFull);
        if (reading->healthCondition)
            setBatteryHealthCondition(*reading->healthCondition);
        setMeasured({&SM::batteryTimeToFullChanged}, true);
        if (reading->level)
            setMeasured({&SM::batteryLevelChanged}, true);
        if (reading->isCharging)
            setMeasured({&SM::isChargingChanged}, true);
        if (reading->acConnected)
            setMeasured({&SM::batteryACConnectedChanged}, true);
        if (reading->timeRemaining)
            setMeasured({&SM::timeRemainingChanged}, true);
        if (reading->healthCondition)
            setMeasured({&SM::batteryHealthConditionChanged}, true);
    }
    updateBatteryDetails();
}

void SystemMonitor::updateBatteryDetails() {
    const auto details = batteryDetails_.read();
    if (!details)
        return; // a machine without a battery: nothing is published
    if (details->voltage) {
        setBatteryVoltage(static_cast<double>(*details->voltage) / 1000);
        setMeasured({&SM::batteryVoltageChanged}, true);
    }
    if (details->amperage) {
        setBatteryCurrent(static_cast<double>(*details->amperage));
        setMeasured({&SM::batteryCurrentChanged}, true);
    }

    // From the published figures, which keep the last read's where a key was absent.
    const double current = batteryCurrent();
    if (current < 0) {
        setBatteryDrawWatts(std::abs(current / 1000) * batteryVoltage());
        setBatteryChargeWatts(0);
    } else if (current > 0) {
        setBatteryChargeWatts(current / 1000 * batteryVoltage());
        setBatteryDrawWatts(0);
    } else {
        setBatteryDrawWatts(0);
        setBatteryChargeWatts(0);
    }
    setBatteryWatts(batteryDrawWatts() <= batteryChargeWatts() ? batteryChargeWatts()
                                                               : batteryDrawWatts());
    // Charging positive, drawing negative.
    pushHistory(&SystemMonitor::batteryWattsHistory, &SystemMonitor::setBatteryWattsHistory,
                batteryChargeWatts() > 0 ? batteryChargeWatts() : -batteryDrawWatts());
    const bool flowMeasured =
        isMeasured(&SM::batteryCurrentChanged) && isMeasured(&SM::batteryVoltageChanged);
    setMeasured({&SM::batteryDrawWattsChanged, &SM::batteryChargeWattsChanged,
                 &SM::batteryWattsChanged, &SM::batteryWattsHistoryChanged},
                flowMeasured);

    if (!details->adapter) {
        setAdapterWatts(0);
        setAdapterVoltage(0);
        setAdapterCurrent(0);
    } else {
        setAdapterWatts(details->adapter->watts.value_or(0));
        setAdapterCurrent(details->adapter->current.value_or(0));
        if (details->adapter->voltage)
            setAdapterVoltage(static_cast<double>(*details->adapter->voltage) / 1000);
    }
    const auto* adapter = details->adapter ? &*details->adapter : nullptr;
    setMeasured({&SM::adapterWattsChanged}, adapter && adapter->watts);
    setMeasured({&SM::adapterCurrentChanged}, adapter && adapter->current);
    setMeasured({&SM::adapterVoltageChanged}, adapter && adapter->voltage);

    if (details->systemPower)
        setTotalSystemWatts(*details->systemPower);
    // Only a figure measured as the adapter's input: the adapter's voltage and current are its
    // contract, a rating that says nothing of what the machine takes.
    if (details->adapterPower)
        setAcInputWatts(*details->adapterPower);
    setMeasured({&SM::acInputWattsChanged}, details->adapterPower.has_value());
    if (totalSystemWatts() == 0)
        setTotalSystemWatts(batteryDrawWatts());
    // Without its own figure the system's total is what it draws from its battery, which says
    // nothing while the adapter powers it.
    setMeasured({&SM::totalSystemWattsChanged},
                details->systemPower.has_value() || (flowMeasured && batteryDrawWatts() > 0));
    if (details->systemVoltageIn) {
        setSystemInputVoltage(static_cast<double>(*details->systemVoltageIn) / 1000);
        setMeasured({&SM::systemInputVoltageChanged}, true);
    }
    if (details->systemCurrentIn) {
        setSystemInputCurrent(static_cast<double>(*details->systemCurrentIn));
        setMeasured({&SM::systemInputCurrentChanged}, true);
    }
    pushHistory(&SystemMonitor::adapterWattsHistory, &SystemMonitor::setAdapterWattsHistory,
                acInputWatts() > 0 ? acInputWatts() : adapterWatts());
    setMeasured({&SM::adapterWattsHistoryChanged},
                isMeasured(&SM::acInputWattsChanged) || isMeasured(&SM::adapterWattsChanged));

    if (details->cycleCount) {
        setBatteryCycleCount(*details->cycleCount);
        setMeasured({&SM::batteryCycleCountChanged}, true);
    }
    if (details->designCapacity) {
        setBatteryDesignCapacity(*details->designCapacity);
        setMeasured({&SM::batteryDesignCapacityChanged}, true);
    }
    if (details->rawMaxCapacity) {
        setBatteryMaxCapacity(*details->rawMaxCapacity);
        setMeasured({&SM::batteryMaxCapacityChanged}, true);
        if (batteryDesignCapacity() > 0) {
            setBatteryHealthPercent(static_cast<double>(*details->rawMaxCapacity) /
                                    batteryDesignCapacity());
            setMeasured({&SM::batteryHealthPercentChanged}, true);
        }
    }
    if (details->temperature) {
        setBatteryTemperature(static_cast<double>(*details->temperature) / 100);
        setMeasured({&SM::batteryTemperatureChanged}, true);
    }
    if (details->externalConnected) {
        setBatteryACConnected(*details->externalConnected);
        setMeasured({&SM::batteryACConnectedChanged}, true);
    }

    // What the system takes from the adapter beyond what goes into the battery.
    if (batteryACConnected()) {
        const double beyondCharging = acInputWatts() - batteryChargeWatts();
        setNetSystemWatts(beyondCharging > 0 ? beyondCharging : 0);
    } else {
        setNetSystemWatts(batteryDrawWatts());
    }
    setMeasured({&SM::netSystemWattsChanged},
                batteryACConnected() ? isMeasured(&SM::acInputWattsChanged) : flowMeasured);
}

void SystemMonitor::registerPowerSourceNotifications() {
    powerSourceNotification_ = platform_.power->notifyChanges([this] { updatePowerSources(); });
}

void SystemMonitor::registerBatteryNotifications() {
    const auto service = batteryDetails_.serviceId();
    if (!service)
        return;
    batteryServiceNote_ = platform_.registry->addInterestNotification(
        *service, [this](platform::InterestMessage) { batteryInterest(); });
}

void SystemMonitor::batteryInterest() {
    constexpr auto throttle = std::chrono::milliseconds(250);
    const auto now = platform_.clock->now();
    if (lastBatteryRead_ && now - *lastBatteryRead_ < throttle)
        return;
    lastBatteryRead_ = now;
    updateBatteryDetails();
}

} // namespace orb
