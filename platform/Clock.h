#pragma once

#include <chrono>

namespace orb::platform {

// Monotonic time for measuring intervals between samples, injectable so that tests can drive the
// readers.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::chrono::steady_clock::time_point now() = 0;
};

class SystemClock final : public Clock {
public:
    std::chrono::steady_clock::time_point now() override {
        return std::chrono::steady_clock::now();
    }
};

} // namespace orb::platform
