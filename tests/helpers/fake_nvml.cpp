// The management library's calls the program makes, answering from a table the test sets.

#include "fake_nvml.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int success = 0;
constexpr int errorUninitialized = 1;
constexpr int errorInvalidArgument = 2;
constexpr int errorNotSupported = 3;
constexpr int errorInsufficientSize = 7;
constexpr unsigned int maxGpus = 4;

struct Device {
    FakeNvmlGpu gpu;
    char name[96];
};

int initResult = success;
Device devices[maxGpus];
unsigned int deviceCount = 0;
unsigned int initCalls = 0;
bool initialized = false;

// Answers `read` for a handle this library gave out, and refuses any other.
template <typename Read> int withDevice(void* handle, Read read) {
    for (unsigned int i = 0; i < deviceCount; ++i)
        if (handle == &devices[i])
            return read(devices[i]);
    return errorInvalidArgument;
}

struct PciInfo {
    char busIdLegacy[16];
    unsigned int domain, bus, device, pciDeviceId, pciSubSystemId;
    char busId[32];
};
struct Utilization {
    unsigned int gpu, memory;
};
struct Memory {
    unsigned long long total, free, used;
};

} // namespace

extern "C" {

void fakeNvmlConfigure(int result, const FakeNvmlGpu* gpus, unsigned int count) {
    initResult = result;
    deviceCount = count < maxGpus ? count : maxGpus;
    for (unsigned int i = 0; i < deviceCount; ++i) {
        devices[i].gpu = gpus[i];
        std::snprintf(devices[i].name, sizeof devices[i].name, "%s", gpus[i].name);
    }
}

unsigned int fakeNvmlInitCalls() {
    return initCalls;
}

int nvmlInit_v2() {
    ++initCalls;
    initialized = initResult == success;
    return initResult;
}

int nvmlShutdown() {
    if (!initialized)
        return errorUninitialized;
    initialized = false;
    return success;
}

const char* nvmlErrorString(int result) {
    return result == 9 ? "Driver Not Loaded" : "Unknown Error";
}

int nvmlDeviceGetCount_v2(unsigned int* count) {
    if (!initialized)
        return errorUninitialized;
    *count = deviceCount;
    return success;
}

int nvmlDeviceGetHandleByIndex_v2(unsigned int index, void** handle) {
    if (!initialized)
        return errorUninitialized;
    if (index >= deviceCount)
        return errorInvalidArgument;
    *handle = &devices[index];
    return success;
}

int nvmlDeviceGetName(void* handle, char* name, unsigned int length) {
    return withDevice(handle, [&](const Device& d) {
        if (std::strlen(d.name) >= length)
            return errorInsufficientSize;
        std::strcpy(name, d.name);
        return success;
    });
}

int nvmlDeviceGetPciInfo_v3(void* handle, PciInfo* pci) {
    return withDevice(handle, [&](const Device& d) {
        std::memset(pci, 0, sizeof *pci);
        pci->bus = d.gpu.pciBus;
        std::snprintf(pci->busId, sizeof pci->busId, "00000000:%02X:00.0", d.gpu.pciBus);
        return success;
    });
}

int nvmlDeviceGetUtilizationRates(void* handle, Utilization* utilization) {
    return withDevice(handle, [&](const Device& d) {
        utilization->gpu = d.gpu.utilization;
        utilization->memory = 0;
        return success;
    });
}

int nvmlDeviceGetMemoryInfo(void* handle, Memory* memory) {
    return withDevice(handle, [&](const Device& d) {
        memory->total = d.gpu.memoryTotal;
        memory->used = d.gpu.memoryUsed;
        memory->free = memory->total - memory->used;
        return success;
    });
}

int nvmlDeviceGetPowerUsage(void* handle, unsigned int* milliwatts) {
    return withDevice(handle, [&](const Device& d) {
        *milliwatts = d.gpu.milliwatts;
        return success;
    });
}

int nvmlDeviceGetNumGpuCores(void* handle, unsigned int* cores) {
    return withDevice(handle, [&](const Device& d) {
        if (d.gpu.cores == 0)
            return errorNotSupported;
        *cores = d.gpu.cores;
        return success;
    });
}

int nvmlDeviceGetTemperature(void* handle, int sensor, unsigned int* celsius) {
    return withDevice(handle, [&](const Device& d) {
        if (sensor != 0)
            return errorInvalidArgument;
        if (d.gpu.celsius == 0)
            return errorNotSupported;
        *celsius = d.gpu.celsius;
        return success;
    });
}

} // extern "C"
