#include "platform/linux/NvidiaAccelerators.h"

#include "platform/Accelerator.h"
#include "platform/Platform.h"
#include "platform/linux/LinuxAccelerators.h"
#include "platform/linux/SysFs.h"

#include <algorithm>
#include <utility>

namespace orb::platform {

namespace fs = linux_fs;
using namespace accelerator;

namespace {

constexpr std::string_view pciDevices = "/sys/bus/pci/devices";
constexpr std::string_view nvidiaVendor = "0x10de";

std::string pciDevicePath(std::string_view address) {
    return std::string(pciDevices) + "/" + std::string(address);
}

} // namespace

bool isRuntimeSuspended(const std::string& root, std::string_view address) {
    return fs::isRuntimeAsleep(fs::underRoot(root, pciDevicePath(address)));
}

std::vector<NvidiaPciDevice> findNvidiaPciDevices(const std::string& root) {
    std::vector<NvidiaPciDevice> devices;
    const auto bus = fs::underRoot(root, std::string(pciDevices));
    for (const auto& address : fs::listDirectory(bus)) {
        const auto dir = bus + "/" + address;
        if (fs::readAttribute(dir + "/vendor") != nvidiaVendor)
            continue;
        // Class 0x03xxxx: a display controller (VGA, 3D, other); the same vendor also makes
        // audio functions and USB controllers on its cards.
        const auto deviceClass = fs::readAttribute(dir + "/class");
        if (!deviceClass || !deviceClass->starts_with("0x03"))
            continue;
        devices.push_back({address, isRuntimeSuspended(root, address)});
    }
    return devices;
}

NvidiaQuery::NvidiaQuery(std::string root, std::string library)
    : root_(std::move(root)), library_(std::move(library)) {}

NvidiaQuery::~NvidiaQuery() = default;

bool NvidiaQuery::shouldStart() {
    const auto now = std::chrono::steady_clock::now();
    if (!listed_ || (known_.empty() && now - listedAt_ >= relistEvery)) {
        known_ = findNvidiaPciDevices(root_);
        listedAt_ = now;
        listed_ = true;
    } else {
        for (auto& device : known_)
            device.suspended = isRuntimeSuspended(root_, device.address);
    }
    // A machine without an NVIDIA device never loads the library, so it says nothing of one.
    return std::any_of(known_.begin(), known_.end(),
                       [](const NvidiaPciDevice& device) { return !device.suspended; });
}

std::optional<std::string> NvidiaQuery::failure() {
    return std::exchange(failure_, std::nullopt);
}

std::vector<AcceleratorSnapshot> NvidiaQuery::read() {
    if (gaveUp_)
        return {};
    if (!session_) {
        if (!shouldStart())
            return {};
        session_ = std::make_unique<NvmlSession>(library_);
        if (!session_->ready()) {
            failure_ = session_->error();
            session_.reset();
            gaveUp_ = true;
            return {};
        }
        for (const auto& gpu : session_->gpus())
            ids_.push_back(registryEntryId(kernelDevicePath(root_, pciDevicePath(gpu.pciAddress))));
    }
    std::vector<AcceleratorSnapshot> snapshots;
    const auto& gpus = session_->gpus();
    for (std::size_t i = 0; i < gpus.size(); ++i)
        snapshots.push_back(snapshot(gpus[i], ids_[i]));
    return snapshots;
}

AcceleratorSnapshot NvidiaQuery::snapshot(const NvmlGpu& gpu, RegistryEntryId id) {
    AcceleratorSnapshot result{id, {}, gpu.name, {}};
    auto& properties = result.properties;
    if (!gpu.name.empty())
        properties.set(std::string(modelKey), gpu.name);
    if (gpu.coreCount)
        properties.set(std::string(coreCountKey), static_cast<int>(*gpu.coreCount));

    // A suspended device is not asked anything, since asking wakes it; it is idle, and what it
    // held before it slept is no longer in use.
    if (isRuntimeSuspended(root_, gpu.pciAddress)) {
        properties.set(std::string(statisticsKey),
                       PropertyTable{{std::string(deviceUtilizationKey), 0}});
        return result;
    }
    const auto reading = session_->read(gpu);
    // Without its utilisation a device publishes no statistics, so that it does not pull the
    // mean of the others towards 0.
    if (reading.utilizationPercent) {
        PropertyTable statistics{
            {std::string(deviceUtilizationKey), static_cast<int>(*reading.utilizationPercent)}};
        // The device's own memory: what its allocations use, and all of it as what is
        // allocated, since the driver hands out its memory from one pool sized at start.
        if (reading.memoryUsed && reading.memoryTotal) {
            statistics.set(std::string(inUseMemoryKey),
                           static_cast<std::int64_t>(*reading.memoryUsed));
            statistics.set(std::string(allocMemoryKey),
                           static_cast<std::int64_t>(*reading.memoryTotal));
        }
        properties.set(std::string(statisticsKey), std::move(statistics));
    }
    if (reading.powerMilliwatts && *reading.powerMilliwatts > 0)
        properties.set(std::string(powerKey), *reading.powerMilliwatts / 1000.0);
    if (reading.temperatureCelsius)
        result.celsius = *reading.temperatureCelsius;
    return result;
}

NvidiaAccelerators::NvidiaAccelerators(std::string root, std::string library, std::ostream& log,
                                       std::shared_ptr<DriverTemperatures> temperatures)
    : query_(std::move(root), std::move(library)), log_(log),
      temperatures_(std::move(temperatures)),
      background_(
          [this] {
              // In order: idle() says what the read just found.
              Reading reading{query_.read(), {}, query_.idle()};
              // Kept on every later reading: the next one may replace this one before a
              // caller has taken it.
              if (auto failure = query_.failure())
                  failure_ = std::move(failure);
              reading.failure = failure_;
              return reading;
          },
          "orbimeter-nvml", [](const Reading& reading) { return reading.idle; },
          NvidiaQuery::relistEvery) {}

NvidiaAccelerators::~NvidiaAccelerators() = default;

std::vector<std::unique_ptr<RegistryService>> NvidiaAccelerators::services() {
    auto reading = background_.take();
    std::vector<std::unique_ptr<RegistryService>> services;
    if (temperatures_)
        temperatures_->sensors.clear();
    for (auto& snapshot : reading.snapshots) {
        if (temperatures_ && snapshot.celsius)
            temperatures_->sensors.emplace_back(
                "GPU (" + (snapshot.name.empty() ? std::string("NVIDIA") : snapshot.name) + ")",
                *snapshot.celsius);
        services.push_back(
            std::make_unique<SnapshotService>(snapshot.id, std::move(snapshot.properties)));
    }
    // Written here rather than on the worker, so that the program's output has one writer; the
    // library gives up after its failure, so there is one line at most.
    if (reading.failure && !std::exchange(reported_, true))
        log_ << "GPU: NVIDIA management library not available: " << *reading.failure << std::endl;
    return services;
}

} // namespace orb::platform
