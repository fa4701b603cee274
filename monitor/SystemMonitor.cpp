#include "monitor/SystemMonitor.h"

#include "monitor/ProcessQueue.h"
#include "monitor/SystemInfoReader.h"
#include "platform/Platform.h"

#include <QMetaMethod>
#include <QTimer>
#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace orb {

SystemMonitor::SystemMonitor(platform::Platform& platform, QObject* parent,
                             std::ostream& diagnostics)
    : QObject(parent), platform_(platform), cpu_(*platform.processors),
      network_(*platform.network, *platform.clock), disk_(*platform.registry),
      memory_(*platform.memory), loadAndUptime_(*platform.host), wifi_(*platform.wifi),
      powerSource_(*platform.power), batteryDetails_(*platform.registry), hid_(platform.hid.get()),
      smc_(*platform.registry, diagnostics) {
    // The readers took the processor count, the time and the throughput baselines above, so
    // the first rates cover only the time since start. Published fields start at zero, empty or
    // absent unless they say otherwise.
    uploadSpeed_ = QStringLiteral("0 KB/s");
    downloadSpeed_ = QStringLiteral("0 KB/s");
    timeRemaining_ = QStringLiteral("Unknown");
    thermalState_ = QStringLiteral("Nominal");
    const History zeros(historyLength, 0.0);
    for (History* history :
         {&cpuHistory_, &gpuHistory_, &uploadHistory_, &downloadHistory_, &batteryWattsHistory_,
          &adapterWattsHistory_, &diskReadHistory_, &diskWriteHistory_})
        *history = zeros;

    // The walk's state is captured by the walk and so lives and dies with the queue's thread.
    auto walk = std::make_shared<ProcessWalk>(*platform_.processes, *platform_.clock);
    processQueue_ = std::make_unique<ProcessQueue>(
        QString::fromLatin1(processQueueLabel), [walk] { return walk->updateProcesses(); }, this,
        [this](const ProcessSnapshot& snapshot) { publishProcesses(snapshot); });

    const auto system = SystemInfoReader(*platform_.host).read();
    setCpuBrandString(system.brand);
    setCpuPCoreCount(system.performanceCores);
    setCpuECoreCount(system.efficiencyCores);
    setMeasured({&SystemMonitor::cpuBrandStringChanged}, !system.brand.isEmpty());
    // A processor whose cores are all of one kind has no levels to count.
    setMeasured({&SystemMonitor::cpuPCoreCountChanged, &SystemMonitor::cpuECoreCountChanged},
                system.performanceCores > 0 || system.efficiencyCores > 0);

    updateCPU(); // only stores the first counter sample
    updateMemory();
    updateNetwork();

    startMonitoring();
}

SystemMonitor::~SystemMonitor() {
    // A walk under way may still hand over its result; the queue goes before the fields.
    processQueue_.reset();
}

void SystemMonitor::startMonitoring() {
    tickTimer_ = new QTimer(this);
    tickTimer_->setInterval(tickIntervalMs);
    connect(tickTimer_, &QTimer::timeout, this, &SystemMonitor::sampleTick);
    tickTimer_->start();

    processTimer_ = new QTimer(this);
    processTimer_->setInterval(processIntervalMs);
    connect(processTimer_, &QTimer::timeout, this, &SystemMonitor::scheduleProcessUpdate);
    processTimer_->start();

    scheduleProcessUpdate();
    updatePowerSources();
    updateSensors();
    registerPowerSourceNotifications();
    registerBatteryNotifications();
}

void SystemMonitor::setTickInterval(std::chrono::milliseconds interval) {
    const int tickMs = static_cast<int>(std::max<std::int64_t>(interval.count(), 1));
    tickTimer_->setInterval(tickMs);
    processTimer_->setInterval(tickMs * (processIntervalMs / tickIntervalMs));
}

void SystemMonitor::sampleTick() {
    updateCPU();
    updateMemory();
    updateNetwork();
    updateDisk();
    updateLoadAndUptime();
    updateWiFi();
    updatePowerSources();
    updateSensors();
    updateGPU();
    Q_EMIT tickCompleted();
}

namespace {

// "cpuUsage" for &SystemMonitor::cpuUsageChanged. Every tick marks some forty readings, so each
// name is looked up in the meta-object once and kept.
QString readingName(SystemMonitor::Reading reading) {
    static std::mutex mutex;
    static std::vector<std::pair<SystemMonitor::Reading, QString>> names;
    const std::lock_guard lock(mutex);
    for (const auto& [known, name] : names) {
        if (known == reading)
            return name;
    }
    QByteArray name = QMetaMethod::fromSignal(reading).name();
    name.chop(int(sizeof("Changed")) - 1);
    return names.emplace_back(reading, QString::fromLatin1(name)).second;
}

} // namespace

bool SystemMonitor::isMeasured(Reading reading) const {
    return measured_.contains(readingName(reading));
}

void SystemMonitor::setMeasured(std::initializer_list<Reading> readings, bool given) {
    bool changed = false;
    for (const Reading reading : readings)
        changed |= markMeasured(readingName(reading), given);
    if (changed)
        Q_EMIT measuredChanged();
}

void SystemMonitor::setMeasured(const QStringList& names, bool given) {
    bool changed = false;
    for (const QString& name : names)
        changed |= markMeasured(name, given);
    if (changed)
        Q_EMIT measuredChanged();
}

bool SystemMonitor::markMeasured(const QString& name, bool given) {
    if (given == measured_.contains(name))
        return false;
    if (given)
        measured_.insert(name, true);
    else
        measured_.remove(name);
    return true;
}

void SystemMonitor::pushHistory(HistoryGetter get, HistorySetter set, double value) {
    // Two separate assignments: observers may see the 61-entry list before it is trimmed.
    appendToHistory(get, set, value);
    trimHistory(get, set);
}

// Each assignment gets a list of its own, sized to its contents. Appending to or trimming a copy
// that still shares the published list would detach it and keep the free room in front of the
// first entry, so each tick's allocation would be one entry larger than the last, for good.
void SystemMonitor::appendToHistory(HistoryGetter get, HistorySetter set, double value) {
    const History& current = (this->*get)();
    History grown;
    grown.reserve(current.size() + 1);
    grown << current << value;
    (this->*set)(grown);
}

void SystemMonitor::trimHistory(HistoryGetter get, HistorySetter set) {
    const History& current = (this->*get)();
    if (current.size() > historyLength)
        (this->*set)(History(current.begin() + (current.size() - historyLength), current.end()));
}

} // namespace orb
