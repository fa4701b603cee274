#pragma once

#include "monitor/AppProcess.h"
#include "monitor/BatteryDetailsReader.h"
#include "monitor/CpuReader.h"
#include "monitor/DiskThroughputReader.h"
#include "monitor/LoadAndUptimeReader.h"
#include "monitor/MemoryReader.h"
#include "monitor/NetworkThroughputReader.h"
#include "monitor/PowerSourceReader.h"
#include "monitor/PublishedField.h"
#include "monitor/WiFiReader.h"
#include "sensors/HIDMonitor.h"
#include "sensors/SMC.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <chrono>
#include <initializer_list>
#include <iostream>
#include <memory>
#include <optional>

class QTimer;

namespace orb {

namespace platform {
struct Platform;
}
class ProcessQueue;
struct GPUStats;
struct ProcessSnapshot;

using History = QList<double>;
using SpeedList = QList<int>;

// The one object that holds every reading the program shows. It samples the machine on a 1 s
// tick and hands the process walk to a background thread every 3 s; every assignment of a
// published field happens on the thread that owns it and announces itself. The readers are units
// of their own that return plain records; an update step assigns one record to the fields.
class SystemMonitor : public QObject {
    Q_OBJECT

    // Published readings, in the order they are declared and initialised.
    ORB_PUBLISHED_WRITABLE(QString, activeWindow, setActiveWindow) // empty: no detail window
    ORB_PUBLISHED(double, cpuUsage, setCpuUsage)
    ORB_PUBLISHED(double, cpuSystem, setCpuSystem)
    ORB_PUBLISHED(double, cpuUser, setCpuUser)
    ORB_PUBLISHED(double, gpuUsage, setGpuUsage)
    ORB_PUBLISHED(double, gpuRendererUtil, setGpuRendererUtil)
    ORB_PUBLISHED(double, gpuTilerUtil, setGpuTilerUtil)
    ORB_PUBLISHED(qint64, gpuMemoryUsed, setGpuMemoryUsed)
    ORB_PUBLISHED(qint64, gpuMemoryAllocated, setGpuMemoryAllocated)
    ORB_PUBLISHED(int, gpuCoreCount, setGpuCoreCount)
    ORB_PUBLISHED(QString, gpuModelName, setGpuModelName)
    ORB_PUBLISHED(int, gpuRecoveryCount, setGpuRecoveryCount)
    ORB_PUBLISHED(double, gpuPowerWatts, setGpuPowerWatts) // W; 0 where no driver measures it
    ORB_PUBLISHED(double, gpuTemperature, setGpuTemperature)
    ORB_PUBLISHED(double, cpuTemperature, setCpuTemperature)
    ORB_PUBLISHED(SpeedList, fanSpeeds, setFanSpeeds)
    ORB_PUBLISHED(int, fan0Speed, setFan0Speed)
    ORB_PUBLISHED(int, fan1Speed, setFan1Speed)
    ORB_PUBLISHED(double, memoryPressure, setMemoryPressure)
    ORB_PUBLISHED(double, memoryUsed, setMemoryUsed)
    ORB_PUBLISHED(double, memoryTotal, setMemoryTotal)
    ORB_PUBLISHED(QString, uploadSpeed, setUploadSpeed)
    ORB_PUBLISHED(QString, downloadSpeed, setDownloadSpeed)
    ORB_PUBLISHED(double, batteryLevel, setBatteryLevel)
    ORB_PUBLISHED(bool, isCharging, setIsCharging)
    ORB_PUBLISHED(QString, timeRemaining, setTimeRemaining)
    ORB_PUBLISHED(double, batteryVoltage, setBatteryVoltage)
    ORB_PUBLISHED(double, batteryCurrent, setBatteryCurrent)
    ORB_PUBLISHED(double, batteryWatts, setBatteryWatts)
    ORB_PUBLISHED(double, batteryDrawWatts, setBatteryDrawWatts)
    ORB_PUBLISHED(double, batteryChargeWatts, setBatteryChargeWatts)
    ORB_PUBLISHED(double, totalSystemWatts, setTotalSystemWatts)
    ORB_PUBLISHED(double, netSystemWatts, setNetSystemWatts)
    ORB_PUBLISHED(bool, batteryACConnected, setBatteryACConnected)
    ORB_PUBLISHED(int, adapterWatts, setAdapterWatts)
    ORB_PUBLISHED(double, adapterVoltage, setAdapterVoltage)
    ORB_PUBLISHED(int, adapterCurrent, setAdapterCurrent)
    ORB_PUBLISHED(double, acInputWatts, setAcInputWatts)
    ORB_PUBLISHED(double, systemInputVoltage, setSystemInputVoltage)
    ORB_PUBLISHED(double, systemInputCurrent, setSystemInputCurrent)
    ORB_PUBLISHED(int, batteryCycleCount, setBatteryCycleCount)
    ORB_PUBLISHED(double, batteryHealthPercent, setBatteryHealthPercent)
    ORB_PUBLISHED(QString, batteryHealthCondition, setBatteryHealthCondition)
    ORB_PUBLISHED(int, batteryDesignCapacity, setBatteryDesignCapacity)
    ORB_PUBLISHED(int, batteryMaxCapacity, setBatteryMaxCapacity)
    ORB_PUBLISHED(QString, batteryTimeToFull, setBatteryTimeToFull)
    ORB_PUBLISHED(double, batteryTemperature, setBatteryTemperature)
    ORB_PUBLISHED(AppProcessList, topCPUProcesses, setTopCPUProcesses)
    ORB_PUBLISHED(AppProcessList, topMemoryProcesses, setTopMemoryProcesses)
    ORB_PUBLISHED(AppProcessList, topEnergyProcesses, setTopEnergyProcesses)
    ORB_PUBLISHED(QVariantMap, sensors, setSensors) // label -> degrees Celsius
    ORB_PUBLISHED(QString, thermalState, setThermalState)
    ORB_PUBLISHED(History, cpuHistory, setCpuHistory)
    ORB_PUBLISHED(History, gpuHistory, setGpuHistory)
    ORB_PUBLISHED(History, uploadHistory, setUploadHistory)
    ORB_PUBLISHED(History, downloadHistory, setDownloadHistory)
    ORB_PUBLISHED(History, batteryWattsHistory, setBatteryWattsHistory)
    ORB_PUBLISHED(History, adapterWattsHistory, setAdapterWattsHistory)
    ORB_PUBLISHED(double, diskReadBytesPerSec, setDiskReadBytesPerSec)
    ORB_PUBLISHED(double, diskWriteBytesPerSec, setDiskWriteBytesPerSec)
    ORB_PUBLISHED(History, diskReadHistory, setDiskReadHistory)
    ORB_PUBLISHED(History, diskWriteHistory, setDiskWriteHistory)
    ORB_PUBLISHED(double, memoryWired, setMemoryWired)
    ORB_PUBLISHED(double, memoryActive, setMemoryActive)
    ORB_PUBLISHED(double, memoryInactive, setMemoryInactive)
    ORB_PUBLISHED(double, memoryCompressed, setMemoryCompressed)
    ORB_PUBLISHED(double, swapUsed, setSwapUsed)
    ORB_PUBLISHED(double, swapTotal, setSwapTotal)
    ORB_PUBLISHED(double, loadAvg1, setLoadAvg1)
    ORB_PUBLISHED(double, loadAvg5, setLoadAvg5)
    ORB_PUBLISHED(double, loadAvg15, setLoadAvg15)
    ORB_PUBLISHED(qint64, uptimeSeconds, setUptimeSeconds)
    ORB_PUBLISHED(int, processCount, setProcessCount)
    ORB_PUBLISHED(int, wifiRSSI, setWifiRSSI)
    ORB_PUBLISHED(double, wifiTxRate, setWifiTxRate)
    ORB_PUBLISHED(int, wifiNoise, setWifiNoise)
    ORB_PUBLISHED(int, wifiChannel, setWifiChannel)
    ORB_PUBLISHED(QString, cpuBrandString, setCpuBrandString)
    ORB_PUBLISHED(int, cpuPCoreCount, setCpuPCoreCount)
    ORB_PUBLISHED(int, cpuECoreCount, setCpuECoreCount)

    // The readings this machine measures: each published reading's name maps to true once an
    // update step assigned it from a figure the machine gave. A reading missing here holds its
    // initial value or a fallback, which views show as "—" and exports leave out.
    Q_PROPERTY(QVariantMap measured READ measured NOTIFY measuredChanged)

public:
    // A published reading, named by its change signal (&SystemMonitor::cpuUsageChanged).
    using Reading = void (SystemMonitor::*)();
    bool isMeasured(Reading reading) const;
    const QVariantMap& measured() const { return measured_; }
    // Records whether the machine gave the figures of `readings`: the update steps do, each for
    // the readings it assigns. By name for those who hold readings by name.
    void setMeasured(std::initializer_list<Reading> readings, bool given);
    void setMeasured(const QStringList& names, bool given);

    static constexpr int historyLength = 60;
    static constexpr int tickIntervalMs = 1000;
    static constexpr int processIntervalMs = 3000;
    static constexpr const char* processQueueLabel = "com.velmora.processQueue";

    // Takes the first samples and starts sampling. `platform` must outlive the monitor.
    // `diagnostics` takes the sensor readers' lines (standard output in the program).
    explicit SystemMonitor(platform::Platform& platform, QObject* parent = nullptr,
                           std::ostream& diagnostics = std::cout);
    // Stops the process queue, waiting for a walk under way, before anything else goes.
    ~SystemMonitor() override;

    // One pass of every reader, in a fixed order; run by the 1 s timer.
    void sampleTick();

    // A testing aid: runs the tick every `interval` instead of every second, and the process
    // walk every third tick. Rates stay per second: they are measured against the clock.
    void setTickInterval(std::chrono::milliseconds interval);

    // The update steps, in the tick's order. Each takes one reading from its reader and assigns
    // it to the fields it owns; a reading that could not be taken leaves them as they are.
    void updateCPU();
    void updateMemory();
    void updateNetwork();
    void updateDisk();
    void updateLoadAndUptime();
    void updateWiFi();
    void updatePowerSources(); // ends with updateBatteryDetails
    void updateBatteryDetails();
    void updateSensors();
    void updateGPU();
    void scheduleProcessUpdate();

    // The processor count taken at construction.
    unsigned numCPUs() const { return cpu_.processorCount(); }
    // Assign the graphics fields from one reading, and the process lists from one walk.
    void publishGPU(const GPUStats& stats);
    void publishProcesses(const ProcessSnapshot& snapshot);
    // How many processes the last walk kept processor times for: at most the processes it
    // listed, however many have come and gone before.
    int trackedProcessCount() const { return trackedProcessCount_; }

Q_SIGNALS:
    // Emitted after each pass of the readers, once every field of that pass is assigned.
    void tickCompleted();
    // Only when a reading starts or stops being measured.
    void measuredChanged();

private:
    // Records one name; whether it changed between measured and not.
    bool markMeasured(const QString& name, bool given);
    using HistoryGetter = const History& (SystemMonitor::*)() const;
    using HistorySetter = void (SystemMonitor::*)(const History&);
    // Appends `value` to a history and trims it back to its fixed length, publishing both steps.
    void pushHistory(HistoryGetter get, HistorySetter set, double value);
    void appendToHistory(HistoryGetter get, HistorySetter set, double value);
    void trimHistory(HistoryGetter get, HistorySetter set);

    void startMonitoring();
    void registerPowerSourceNotifications();
    void registerBatteryNotifications();
    // A message from the battery's service: its details are read again, at most every 0.25 s.
    void batteryInterest();

    platform::Platform& platform_;

    // The readers, with the state each keeps between readings. Declared in the order they take
    // their first samples.
    CpuReader cpu_;
    NetworkThroughputReader network_;
    DiskThroughputReader disk_;
    MemoryReader memory_;
    LoadAndUptimeReader loadAndUptime_;
    WiFiReader wifi_;
    PowerSourceReader powerSource_;
    BatteryDetailsReader batteryDetails_;
    HIDMonitor hid_;
    sensors::SMC smc_; // opens the controller's connection at start, with its one line of output
    QMap<int, double> energyTracker_; // kept empty: nothing reads it
    // When a battery message last caused a read; empty before the first, which always does.
    std::optional<std::chrono::steady_clock::time_point> lastBatteryRead_;
    std::unique_ptr<platform::InterestNotification> powerSourceNotification_;
    std::unique_ptr<platform::InterestNotification> batteryServiceNote_;

    QVariantMap measured_;
    std::unique_ptr<ProcessQueue> processQueue_; // owns the process walk and its state
    int trackedProcessCount_ = 0;
    QTimer* tickTimer_ = nullptr;
    QTimer* processTimer_ = nullptr;
};

} // namespace orb
