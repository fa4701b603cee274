#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The NVIDIA management library, declared by hand for the few calls the program makes: the
// library is loaded at run time when it is installed, so the build needs nothing from NVIDIA
// and a machine without the driver runs the same binary.
namespace orb::platform::nvml {

// The library's C interface, as its driver exports it.
extern "C" {
using Return = int; // nvmlReturn_t
inline constexpr Return success = 0;
inline constexpr Return errorUninitialized = 1;
inline constexpr Return errorInvalidArgument = 2;
inline constexpr Return errorNotSupported = 3;
inline constexpr Return errorNoPermission = 4;
inline constexpr Return errorNotFound = 6;
inline constexpr Return errorInsufficientSize = 7;
inline constexpr Return errorDriverNotLoaded = 9;
inline constexpr Return errorGpuIsLost = 15;
inline constexpr Return errorLibRmVersionMismatch = 18;
inline constexpr Return errorUnknown = 999;

struct nvmlDevice_st;
using Device = nvmlDevice_st*; // nvmlDevice_t

struct Utilization { // nvmlUtilization_t, percent over the driver's last sample period
    unsigned int gpu;
    unsigned int memory;
};

struct Memory { // nvmlMemory_t, bytes of the device's own memory
    unsigned long long total;
    unsigned long long free;
    unsigned long long used;
};

struct PciInfo { // nvmlPciInfo_t (third version)
    char busIdLegacy[16];
    unsigned int domain;
    unsigned int bus;
    unsigned int device;
    unsigned int pciDeviceId;
    unsigned int pciSubSystemId;
    char busId[32];
};

inline constexpr unsigned int deviceNameBufferSize = 96; // NVML_DEVICE_NAME_V2_BUFFER_SIZE
inline constexpr int temperatureGpu = 0;                 // NVML_TEMPERATURE_GPU: the die's sensor

using InitFn = Return (*)();
using ShutdownFn = Return (*)();
using GetCountFn = Return (*)(unsigned int* deviceCount);
using GetHandleByIndexFn = Return (*)(unsigned int index, Device* device);
using GetNameFn = Return (*)(Device device, char* name, unsigned int length);
using GetUtilizationRatesFn = Return (*)(Device device, Utilization* utilization);
using GetMemoryInfoFn = Return (*)(Device device, Memory* memory);
using GetPowerUsageFn = Return (*)(Device device, unsigned int* milliwatts);
using GetNumGpuCoresFn = Return (*)(Device device, unsigned int* cores);
using GetPciInfoFn = Return (*)(Device device, PciInfo* pci);
using GetTemperatureFn = Return (*)(Device device, int sensor, unsigned int* celsius);
using ErrorStringFn = const char* (*)(Return result);
}

// What a failing call said, in words: the library's own text when it has one.
std::string describe(Return result, ErrorStringFn errorString);

} // namespace orb::platform::nvml

namespace orb::platform {

// One graphics processor the library manages, described once when the library starts.
struct NvmlGpu {
    nvml::Device handle = nullptr;
    std::string pciAddress; // "0000:01:00.0", as the kernel names it under /sys/bus/pci/devices
    std::string name;       // "NVIDIA GeForce RTX 3060"; empty when the driver gives none
    std::optional<unsigned> coreCount;
};

// Its figures at one moment; each is empty when the driver cannot give it.
struct NvmlReading {
    std::optional<unsigned> utilizationPercent;
    std::optional<std::uint64_t> memoryUsed;
    std::optional<std::uint64_t> memoryTotal;
    std::optional<unsigned> powerMilliwatts;
    std::optional<unsigned> temperatureCelsius;
};

// The library loaded from `library` (a soname looked up in the system's library paths, or a
// path) and initialised, with the devices it saw. Construction waits for the driver, so it is
// done off the main thread. When loading or initialising fails, `error()` says why and there
// are no devices. Destruction shuts the library down and unloads it.
class NvmlSession {
public:
    explicit NvmlSession(const std::string& library);
    ~NvmlSession();
    NvmlSession(const NvmlSession&) = delete;
    NvmlSession& operator=(const NvmlSession&) = delete;

    bool ready() const { return initialized_; }
    const std::string& error() const { return error_; }
    const std::vector<NvmlGpu>& gpus() const { return gpus_; }

    NvmlReading read(const NvmlGpu& gpu) const;

private:
    bool load(const std::string& library);
    void describeGpus();

    void* handle_ = nullptr;
    bool initialized_ = false;
    std::string error_;
    std::vector<NvmlGpu> gpus_;

    nvml::InitFn init_ = nullptr;
    nvml::ShutdownFn shutdown_ = nullptr;
    nvml::GetCountFn getCount_ = nullptr;
    nvml::GetHandleByIndexFn getHandleByIndex_ = nullptr;
    nvml::GetNameFn getName_ = nullptr;
    nvml::GetUtilizationRatesFn getUtilizationRates_ = nullptr;
    nvml::GetMemoryInfoFn getMemoryInfo_ = nullptr;
    nvml::GetPowerUsageFn getPowerUsage_ = nullptr;
    nvml::GetPciInfoFn getPciInfo_ = nullptr;
    // Optional: older drivers lack them.
    nvml::GetNumGpuCoresFn getNumGpuCores_ = nullptr;
    nvml::GetTemperatureFn getTemperature_ = nullptr;
    nvml::ErrorStringFn errorString_ = nullptr;
};

} // namespace orb::platform
