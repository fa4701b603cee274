// The management library's calls the program makes, answering from a table the test sets. The
// structures are laid out here as the library lays them out, not taken from the program.

#include "fake_nvml.h"

#include <cstdio>
#include <cstring>
#include <utility>

namespace {

constexpr int success = 0, errorUninitialized = 1, errorInvalidArgument = 2;
constexpr unsigned int maxGpus = 4;

int initResult = success;
FakeNvmlGpu gpus[maxGpus];
unsigned int gpuCount = 0, initCalls = 0;
bool initialized = false;

// Answers with `read` for a handle this library gave out, and refuses any other.
template <typename Read> int withGpu(void* handle, Read read) {
    for (unsigned int i = 0; i < gpuCount; ++i) {
        if (handle == &gpus[i]) {
            read(gpus[i]);
            return success;
        }
    }
    return errorInvalidArgument;
}

struct PciInfo {
    char busIdLegacy[16];
    unsigned int domain, bus, device, pciDeviceId, pciSubSystemId;
    char busId[32];
};

} // namespace

extern "C" {

void fakeNvmlConfigure(int result, const FakeNvmlGpu* configured, unsigned int count) {
    initResult = result;
    gpuCount = count < maxGpus ? count : maxGpus;
    std::memcpy(gpus, configured, gpuCount * sizeof *gpus);
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
    return std::exchange(initialized, false) ? success : errorUninitialized;
}

const char* nvmlErrorString(int result) {
    return result == 9 ? "Driver Not Loaded" : "Unknown Error";
}

int nvmlDeviceGetCount_v2(unsigned int* count) {
    if (!initialized)
        return errorUninitialized;
    *count = gpuCount;
    return success;
}

int nvmlDeviceGetHandleByIndex_v2(unsigned int index, void** handle) {
    if (!initialized || index >= gpuCount)
        return errorInvalidArgument;
    *handle = &gpus[index];
    return success;
}

int nvmlDeviceGetName(void* handle, char* name, unsigned int length) {
    return withGpu(handle,
                   [&](const FakeNvmlGpu& gpu) { std::snprintf(name, length, "%s", gpu.name); });
}

int nvmlDeviceGetPciInfo_v3(void* handle, PciInfo* pci) {
    return withGpu(handle, [&](const FakeNvmlGpu& gpu) {
        *pci = {};
        pci->bus = gpu.pciBus;
    });
}

int nvmlDeviceGetUtilizationRates(void* handle, unsigned int rates[2]) { // GPU, then memory
    return withGpu(handle,
                   [&](const FakeNvmlGpu& gpu) { rates[0] = gpu.utilization, rates[1] = 0; });
}

int nvmlDeviceGetMemoryInfo(void* handle, unsigned long long memory[3]) { // total, free, used
    return withGpu(handle, [&](const FakeNvmlGpu& gpu) {
        memory[0] = gpu.memoryTotal, memory[1] = gpu.memoryTotal - gpu.memoryUsed;
        memory[2] = gpu.memoryUsed;
    });
}

int nvmlDeviceGetPowerUsage(void* handle, unsigned int* milliwatts) {
    return withGpu(handle, [&](const FakeNvmlGpu& gpu) { *milliwatts = gpu.milliwatts; });
}

// A figure the driver does not give reads 0, which the program takes as none.
int nvmlDeviceGetNumGpuCores(void* handle, unsigned int* cores) {
    return withGpu(handle, [&](const FakeNvmlGpu& gpu) { *cores = gpu.cores; });
}

int nvmlDeviceGetTemperature(void* handle, int sensor, unsigned int* celsius) {
    if (sensor != 0) // the die's
        return errorInvalidArgument;
    return withGpu(handle, [&](const FakeNvmlGpu& gpu) { *celsius = gpu.celsius; });
}

} // extern "C"
