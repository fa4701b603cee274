#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace orb::platform {

// Temperatures that only a driver's own library gives (NVIDIA's driver has no hwmon chip), as
// the last reading of that library left them: each sensor's product and its degrees Celsius.
// The library's reader writes them and the HID sensors offer them, both on the main thread.
struct DriverTemperatures {
    std::vector<std::pair<std::string, double>> sensors;
};

} // namespace orb::platform
