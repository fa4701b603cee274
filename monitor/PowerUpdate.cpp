#include "monitor/SystemMonitor.h"

#include "platform/Clock.h"
#include "platform/Platform.h"

#include <cmath>

namespace orb {

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
    }
    updateBatteryDetails();
}

void SystemMonitor::updateBatteryDetails() {
    const auto details = batteryDetails_.read();
    if (!details)
        return; // a machine without a battery: nothing is published
    if (details->voltage)
        setBatteryVoltage(static_cast<double>(*details->voltage) / 1000);
    if (details->amperage)
        setBatteryCurrent(static_cast<double>(*details->amperage));

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
    if (details->systemPower)
        setTotalSystemWatts(*details->systemPower);
    if (details->adapterPower)
        setAcInputWatts(*details->adapterPower);
    if (totalSystemWatts() == 0)
        setTotalSystemWatts(batteryDrawWatts());
    if (acInputWatts() == 0 && adapterVoltage() > 0 && adapterCurrent() > 0)
        setAcInputWatts(adapterCurrent() * adapterVoltage() / 1000);
    if (details->systemVoltageIn)
        setSystemInputVoltage(static_cast<double>(*details->systemVoltageIn) / 1000);
    if (details->systemCurrentIn)
        setSystemInputCurrent(static_cast<double>(*details->systemCurrentIn));
    pushHistory(&SystemMonitor::adapterWattsHistory, &SystemMonitor::setAdapterWattsHistory,
                acInputWatts() > 0 ? acInputWatts() : adapterWatts());

    if (details->cycleCount)
        setBatteryCycleCount(*details->cycleCount);
    if (details->designCapacity)
        setBatteryDesignCapacity(*details->designCapacity);
    if (details->rawMaxCapacity) {
        setBatteryMaxCapacity(*details->rawMaxCapacity);
        if (batteryDesignCapacity() > 0)
            setBatteryHealthPercent(static_cast<double>(*details->rawMaxCapacity) /
                                    batteryDesignCapacity());
    }
    if (details->temperature)
        setBatteryTemperature(static_cast<double>(*details->temperature) / 100);
    if (details->externalConnected)
        setBatteryACConnected(*details->externalConnected);

    // What the system takes from the adapter beyond what goes into the battery.
    if (batteryACConnected()) {
        const double beyondCharging = acInputWatts() - batteryChargeWatts();
        setNetSystemWatts(beyondCharging > 0 ? beyondCharging : 0);
    } else {
        setNetSystemWatts(batteryDrawWatts());
    }
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
