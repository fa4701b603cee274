#pragma once

#include "platform/DeviceRegistry.h"
#include "platform/SmcKeyData.h"

#include <array>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orb::sensors {

// The client of the system management controller: one connection to the "AppleSMC" user
// client, key-data records exchanged through it, and the readings built on them (fans,
// temperature keys, the CPU and GPU temperatures). One object lives for the whole run; the
// monitor owns it. Everything runs on the thread that owns it.
//
// The readers that stand at the top of a tick (readFanSpeeds, readCPUTemperature,
// readGPUTemperature, readAllTemperatures) open the connection again while there is none; the
// lower-level reads assume one and fail without it. Only opening and the one-time scan print,
// each message a line on `log`. A machine without the service says so once per run, not on
// every attempt.
class SMC {
public:
    // Opens the connection at once.
    explicit SMC(platform::DeviceRegistry& registry, std::ostream& log = std::cout);
    ~SMC(); // closes the connection
    SMC(const SMC&) = delete;
    SMC& operator=(const SMC&) = delete;

    void open();
    bool connected() const { return connection_ != nullptr; }

    // Fixed key tables, in probing order.
    static const std::array<std::string_view, 62> scanKeys; // probed when enumeration fails
    static const std::array<std::string_view, 26> cpuKeys;
    static const std::array<std::string_view, 14> gpuKeys;

    std::optional<platform::smc::KeyData> getKeyInfo(std::string_view key);
    std::optional<double> readTemperatureKey(std::string_view key); // °C
    std::optional<double> readFanValue(std::string_view key);       // rpm
    // A read without asking the key's type first: 4 bytes, then 2.
    std::optional<double> readProbeValue(std::string_view key);
    std::optional<std::string> keyAtIndex(std::uint32_t index);

    // Speeds of the fans of keys F0Ac to F5Ac in rpm, rounded, in fan order; fans that are
    // missing or at 50 rpm or less are left out.
    std::vector<int> readFanSpeeds();
    static constexpr int maxFans = 6;

    // Temperature keys found by the one-time scan, in discovery order.
    const std::vector<std::string>& knownTempKeys() const { return knownTempKeys_; }
    bool hasScanned() const { return hasScanned_; }
    void scanSensors();
    void probeFallbackKeys();
    // Label to °C for every known key reading strictly between 0 and 120 °C.
    std::map<std::string, double> readAllTemperatures();
    // The first of the CPU (GPU) keys reading strictly between 20 and 120 °C.
    std::optional<double> readCPUTemperature();
    std::optional<double> readGPUTemperature();
    static std::string labelForKey(std::string_view key);

private:
    // A key's value as its type and first two bytes.
    struct TypedValue {
        std::string type;
        std::uint8_t b0 = 0, b1 = 0;
        unsigned raw() const { return b0 * 256u + b1; }
    };

    bool ensureConnection();
    // Key info, then a read of the size it gives.
    std::optional<TypedValue> readTyped(std::string_view key);
    // The call's own result code; a failed call leaves `reply` zeroed.
    std::int32_t call(const platform::smc::KeyData& request, platform::smc::KeyData& reply);
    // Succeeds when both the call and the controller's result byte say so.
    std::optional<platform::smc::KeyData> exchange(const platform::smc::KeyData& request);
    std::optional<double> readFirstInRange(std::span<const std::string_view> keys);
    void reportMissingService(const char* message);
    void close();

    platform::DeviceRegistry& registry_;
    std::ostream& log_;
    std::unique_ptr<platform::UserClient> connection_;
    std::vector<std::string> knownTempKeys_;
    bool hasScanned_ = false;
    bool reportedMissingService_ = false;
};

} // namespace orb::sensors
