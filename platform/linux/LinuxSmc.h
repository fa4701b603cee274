#pragma once

#include "platform/linux/Hwmon.h"
#include "platform/linux/LinuxDeviceRegistry.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orb::platform {

// One key of the controller as Linux presents it.
struct SmcKey {
    std::string name; // four characters
    std::string type; // "sp78", "fpe2", "ui32"
    // The value's bytes as the controller sends them; empty when there is no reading now.
    std::vector<std::uint8_t> value;
    std::uint16_t size = 2;
};

// The controller's key table built from the hwmon chips, in enumeration order:
// - "#KEY", the number of keys (this one included), ui32;
// - the applesmc chip's temperatures under their own keys (it labels each channel with it);
// - the CPU package or die channel of each CPU chip, in chip order, as TC0D, TC1D, … TC9D;
// - the edge or die channel of each GPU chip, in chip order, as Tg0D, Tg1D, … Tg9D;
// - every fan channel but a graphics card's, chips in order and each chip's fans by index, as
//   F0Ac … F9Ac.
// Temperatures are sp78 and fans ui16 (whole rpm), two bytes each. A key whose channel has no
// believable reading stays in the table and answers reads with an error, so enumeration does not
// change with the readings. A second key of the same name is dropped.
std::vector<SmcKey> smcKeyTable(const std::vector<HwmonChip>& chips);

// The "AppleSMC" service: on Linux the controller is the machine's hwmon chips (and, on Apple
// hardware, the applesmc driver's keys among them). It always exists; a machine without sensors
// has a controller without temperature or fan keys. Its user client answers key info (9), read
// (5) and key-at-index (8) on the key-data record from the key table, reading the chips afresh
// at most once per reuse window of `reader`.
class LinuxSmc final : public ServiceSource {
public:
    explicit LinuxSmc(std::shared_ptr<HwmonReader> reader);
    std::vector<std::unique_ptr<RegistryService>> services() override;
    // Chips come and go with the hwmon class; nothing watches it.
    std::string_view subsystem() const override { return "hwmon"; }
    std::unique_ptr<UserClient> openUserClient(RegistryEntryId service,
                                               std::uint32_t type) override;

    static RegistryEntryId serviceId();

private:
    std::shared_ptr<HwmonReader> reader_;
};

} // namespace orb::platform
