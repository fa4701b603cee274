#pragma once

// A stand-in for the NVIDIA management library, built as a shared library and loaded the way
// the program loads the real one. A test loads it as well, with the same path, so that both
// share one copy and the test can set what the devices report through the calls below.

struct FakeNvmlGpu {
    const char* name;
    unsigned int pciBus;      // the device sits at 0000:<bus>:00.0
    unsigned int utilization; // percent
    unsigned long long memoryUsed;
    unsigned long long memoryTotal;
    unsigned int milliwatts;
    unsigned int cores;   // 0: the driver does not say
    unsigned int celsius; // 0: the driver does not say
};

extern "C" {
// What the next nvmlInit_v2 returns and which devices it finds (at most 4; copied, but the
// names they point to are not).
using FakeNvmlConfigureFn = void (*)(int initResult, const FakeNvmlGpu* gpus, unsigned int count);
// How often nvmlInit_v2 has been called since the library was loaded.
using FakeNvmlInitCallsFn = unsigned int (*)();
}
