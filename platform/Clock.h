#pragma once

#include <chrono>

namespace orb::platform {

// Time sources, injectable so the readers can be driven by tests.
class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic time for measuring intervals between samples.
    virtual std::chrono::steady_clock::time_point now() = 0;
    // Wall-clock seconds since 1970, with fraction.
    virtual double secondsSinceEpoch() = 0;
};

class SystemClock final : public Clock {
public:
    std::chrono::steady_clock::time_point now() override { return std::chrono::steady_clock::now(); }
    double secondsSinceEpoch() override {
        using namespace std::chrono;
        return duration<double>(system_clock::now().time_since_epoch()).count();
    }
};

} // namespace orb::platform
