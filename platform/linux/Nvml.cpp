#include "platform/linux/Nvml.h"

#include <cstdio>
#include <cstring>
#include <dlfcn.h>

namespace orb::platform {

std::string nvml::describe(Return result, ErrorStringFn errorString) {
    if (errorString) {
        if (const char* text = errorString(result); text && *text)
            return text;
    }
    switch (result) {
    case errorUninitialized:
        return "not initialized";
    case errorNotSupported:
        return "not supported";
    case errorNoPermission:
        return "insufficient permissions";
    case errorDriverNotLoaded:
        return "driver not loaded";
    case errorLibRmVersionMismatch:
        return "driver/library version mismatch";
    case errorGpuIsLost:
        return "GPU is lost";
    default:
        return "error " + std::to_string(result);
    }
}

namespace {

template <typename Fn> bool resolve(void* handle, const char* symbol, Fn& function) {
    function = reinterpret_cast<Fn>(::dlsym(handle, symbol));
    return function != nullptr;
}

} // namespace

NvmlSession::NvmlSession(const std::string& library) {
    if (!load(library))
        return;
    if (const auto result = init_(); result != nvml::success) {
        error_ = "nvmlInit failed: " + nvml::describe(result, errorString_);
        return;
    }
    initialized_ = true;
    describeGpus();
}

NvmlSession::~NvmlSession() {
    if (initialized_)
        shutdown_();
    if (handle_)
        ::dlclose(handle_);
}

bool NvmlSession::load(const std::string& library) {
    // A relative path with a slash is looked up from the working directory, which is wherever
    // the program happened to be started: only a soname, which the loader looks up in the
    // system's library paths (LD_LIBRARY_PATH included, by the system's own rule), or an
    // absolute path is loaded.
    if (library.find('/') != std::string::npos && !library.starts_with('/')) {
        error_ = library + ": not loaded, since a relative path depends on the working directory";
        return false;
    }
    // Local binding keeps the library's names out of the program's own lookups; resolving every
    // name at once means a broken install fails here rather than inside a later call.
    handle_ = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = ::dlerror();
        error_ = why ? why : library + ": cannot be loaded";
        return false;
    }
    const char* missing = nullptr;
    auto need = [&](const char* symbol, auto& function) {
        if (!missing && !resolve(handle_, symbol, function))
            missing = symbol;
    };
    need("nvmlInit_v2", init_);
    need("nvmlShutdown", shutdown_);
    need("nvmlDeviceGetCount_v2", getCount_);
    need("nvmlDeviceGetHandleByIndex_v2", getHandleByIndex_);
    need("nvmlDeviceGetName", getName_);
    need("nvmlDeviceGetUtilizationRates", getUtilizationRates_);
    need("nvmlDeviceGetMemoryInfo", getMemoryInfo_);
    need("nvmlDeviceGetPowerUsage", getPowerUsage_);
    need("nvmlDeviceGetPciInfo_v3", getPciInfo_);
    if (missing) {
        error_ = library + " lacks " + missing;
        ::dlclose(handle_);
        handle_ = nullptr;
        return false;
    }
    resolve(handle_, "nvmlDeviceGetNumGpuCores", getNumGpuCores_);
    resolve(handle_, "nvmlDeviceGetTemperature", getTemperature_);
    resolve(handle_, "nvmlErrorString", errorString_);
    return true;
}

void NvmlSession::describeGpus() {
    unsigned int count = 0;
    if (getCount_(&count) != nvml::success)
        return;
    for (unsigned int index = 0; index < count; ++index) {
        NvmlGpu gpu;
        if (getHandleByIndex_(index, &gpu.handle) != nvml::success || !gpu.handle)
            continue; // a device the user may not open, or one that fell off the bus
        nvml::PciInfo pci{};
        if (getPciInfo_(gpu.handle, &pci) != nvml::success)
            continue; // without its address it could not be checked for suspension
        // The library writes the domain with eight digits; the kernel's name has four, and a
        // graphics processor is always function 0 of its slot.
        char address[32];
        std::snprintf(address, sizeof address, "%04x:%02x:%02x.0", pci.domain & 0xffffu,
                      pci.bus & 0xffu, pci.device & 0x1fu);
        gpu.pciAddress = address;
        char name[nvml::deviceNameBufferSize] = {};
        if (getName_(gpu.handle, name, sizeof name) == nvml::success)
            gpu.name.assign(name, ::strnlen(name, sizeof name));
        unsigned int cores = 0;
        if (getNumGpuCores_ && getNumGpuCores_(gpu.handle, &cores) == nvml::success && cores > 0)
            gpu.coreCount = cores;
        gpus_.push_back(std::move(gpu));
    }
}

NvmlReading NvmlSession::read(const NvmlGpu& gpu) const {
    NvmlReading reading;
    if (!initialized_)
        return reading;
    nvml::Utilization utilization{};
    if (getUtilizationRates_(gpu.handle, &utilization) == nvml::success && utilization.gpu <= 100)
        reading.utilizationPercent = utilization.gpu;
    nvml::Memory memory{};
    if (getMemoryInfo_(gpu.handle, &memory) == nvml::success && memory.used <= memory.total) {
        reading.memoryUsed = memory.used;
        reading.memoryTotal = memory.total;
    }
    unsigned int milliwatts = 0;
    if (getPowerUsage_(gpu.handle, &milliwatts) == nvml::success)
        reading.powerMilliwatts = milliwatts;
    // 0 and anything from 150 °C on are a sensor that did not answer, not the die.
    unsigned int celsius = 0;
    if (getTemperature_ &&
        getTemperature_(gpu.handle, nvml::temperatureGpu, &celsius) == nvml::success &&
        celsius > 0 && celsius < 150)
        reading.temperatureCelsius = celsius;
    return reading;
}

} // namespace orb::platform
