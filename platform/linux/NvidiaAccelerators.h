#pragma once

#include "platform/linux/BackgroundQuery.h"
#include "platform/linux/DriverTemperatures.h"
#include "platform/linux/LinuxDeviceRegistry.h"
#include "platform/linux/Nvml.h"

#include <chrono>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orb::platform {

namespace nvidia {
// The management library as the driver installs it; looked up in the system's library paths.
inline constexpr std::string_view managementLibrary = "libnvidia-ml.so.1";
} // namespace nvidia

// An NVIDIA display or 3D controller under /sys/bus/pci/devices.
struct NvidiaPciDevice {
    std::string address; // "0000:01:00.0"
    bool suspended = false;
};

// The NVIDIA graphics devices of the PCI bus below `root`, and whether the kernel has put each
// into runtime suspend.
std::vector<NvidiaPciDevice> findNvidiaPciDevices(const std::string& root);

// Whether the PCI device at `address` is in runtime suspend; false when the kernel does not say.
bool isRuntimeSuspended(const std::string& root, std::string_view address);

// One accelerator service's figures, ready to publish.
struct AcceleratorSnapshot {
    RegistryEntryId id = 0;
    PropertyTable properties;
    std::string name;              // the device's, empty when the driver gives none
    std::optional<double> celsius; // the die's temperature, where the driver gave it
};

// One reading of the NVIDIA devices, taken on the caller's thread (it can wait for the driver).
// The library is started on the first reading that finds an NVIDIA device awake: a device in
// runtime suspend stays asleep until something else wakes it, as a laptop's battery wants.
// When the library cannot start, `failure()` says why once and no later reading tries again.
class NvidiaQuery {
public:
    NvidiaQuery(std::string root, std::string library);
    ~NvidiaQuery();
    std::vector<AcceleratorSnapshot> read();
    // Why the library could not start, the first time it is asked after that happened.
    std::optional<std::string> failure();
    // Nothing to read until the bus is listed again: no NVIDIA device is known, or the library
    // could not start.
    bool idle() const { return gaveUp_ || (listed_ && known_.empty() && !session_); }

    // How often the bus is listed again while no NVIDIA device is known.
    static constexpr std::chrono::seconds relistEvery{30};

private:
    bool shouldStart();
    AcceleratorSnapshot snapshot(const NvmlGpu& gpu, RegistryEntryId id);

    std::string root_;
    std::string library_;
    std::unique_ptr<NvmlSession> session_;
    std::vector<RegistryEntryId> ids_; // one per device of the session
    bool gaveUp_ = false;
    std::optional<std::string> failure_;
    // While no NVIDIA device is known, the bus is listed again only now and then: devices on
    // it rarely come and go.
    std::vector<NvidiaPciDevice> known_;
    std::chrono::steady_clock::time_point listedAt_;
    bool listed_ = false;
};

// The accelerator services of NVIDIA graphics processors, read through the driver's management
// library. The readings run on a thread of its own, so the caller never waits for the driver:
// each match answers with the last reading completed and asks for the next one. The first
// match after the library failed to start writes one line to `log`.
//
// Each match also leaves the devices' temperatures in `temperatures` (where given), for the
// temperature sensors: the driver has no hwmon chip.
//
// Reading the driver wakes a device: it is meant for the live system, whatever `root` its sysfs
// is read from.
class NvidiaAccelerators final : public ServiceSource {
public:
    explicit NvidiaAccelerators(std::string root = "/",
                                std::string library = std::string(nvidia::managementLibrary),
                                std::ostream& log = std::cout,
                                std::shared_ptr<DriverTemperatures> temperatures = nullptr);
    ~NvidiaAccelerators() override; // waits for a reading under way

    std::vector<std::unique_ptr<RegistryService>> services() override;
    std::string_view subsystem() const override { return "pci"; }

private:
    // One reading, and why the library could not start when that happened in it.
    struct Reading {
        std::vector<AcceleratorSnapshot> snapshots;
        std::optional<std::string> failure;
        bool idle = false; // the query's idle() after this reading
    };

    NvidiaQuery query_;                  // used on the worker thread only
    std::optional<std::string> failure_; // the worker's: why the library did not start
    std::ostream& log_;
    bool reported_ = false; // the failure's line was written
    std::shared_ptr<DriverTemperatures> temperatures_;
    BackgroundQuery<Reading> background_;
};

} // namespace orb::platform
