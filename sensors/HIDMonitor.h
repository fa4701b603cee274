#pragma once

#include "platform/HidEventSystem.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace orb {

// Reads the temperature sensors published as HID event services and names each one from its
// product name. Bound to the thread that reads the sensors.
class HIDMonitor {
public:
    // Looks the functions up once and creates the client. Without a resolver (the library is
    // missing) every read is empty.
    explicit HIDMonitor(platform::HidFunctionResolver* resolver);

    // Sensor label to degrees Celsius; sensors that share a label keep the hottest reading.
    std::map<std::string, double> readTemperatures();

    // The label a product name gets: several products may share one (every performance-cluster
    // sensor is "CPU P-Cluster").
    static std::string classify(std::string_view productName);

private:
    platform::HidClient client;
    platform::HidClientCreate clientCreate;
    platform::HidClientSetMatching clientSetMatching;
    platform::HidClientCopyServices clientCopyServices;
    platform::HidServiceCopyProperty serviceGetProperty;
    platform::HidServiceCopyEvent serviceCopyEvent;
    platform::HidEventGetFloatValue eventGetFloatValue;
};

} // namespace orb
