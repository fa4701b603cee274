// The temperature side of the controller client: discovery of temperature keys, their labels,
// and the CPU and GPU temperatures.
#include "sensors/SMC.h"

#include <algorithm>
#include <utility>

namespace orb::sensors {

using platform::smc::Command;
using platform::smc::KeyData;

namespace {

// Enumeration claiming this many keys or more is not believed; the fixed list is probed instead.
constexpr std::uint32_t implausibleKeyCount = 2000;

bool isTemperatureType(const std::string& type) {
    return type == "sp78" || type == "fpe2";
}

} // namespace

void SMC::scanSensors() {
    if (std::exchange(hasScanned_, true))
        return;
    auto enumerate = [this] {
        const auto info = getKeyInfo("#KEY");
        if (!info)
            return;
        KeyData reply;
        // The count is taken from any answer the call itself accepts.
        if (call(KeyData::request("#KEY", Command::readKey, info->dataSize()), reply) != 0)
            return;
        const std::uint32_t count = reply.data32();
        if (count == 0 || count >= implausibleKeyCount)
            return;
        for (std::uint32_t index = 0; index < count; ++index) {
            const auto key = keyAtIndex(index);
            if (!key || !(key->starts_with('T') || key->starts_with('P')))
                continue;
            const auto keyInfo = getKeyInfo(*key);
            if (!keyInfo || !isTemperatureType(keyInfo->dataType()))
                continue;
            if (std::ranges::find(knownTempKeys_, *key) == knownTempKeys_.end())
                knownTempKeys_.push_back(*key);
        }
    };
    enumerate();
    if (knownTempKeys_.empty())
        probeFallbackKeys();
    if (knownTempKeys_.empty())
        log_ << "SMC: No sensors found.\n" << std::flush;
    else
        log_ << "SMC: Scan complete. Found " << knownTempKeys_.size() << " sensors.\n"
             << std::flush;
}

void SMC::probeFallbackKeys() {
    // Voltage and power keys may pass the range too; they count later only if their type is
    // one a temperature is read in.
    for (const auto key : scanKeys) {
        const auto value = readProbeValue(key);
        if (value && *value > 1.0 && *value < 150.0 &&
            std::ranges::find(knownTempKeys_, key) == knownTempKeys_.end())
            knownTempKeys_.emplace_back(key);
    }
}

std::map<std::string, double> SMC::readAllTemperatures() {
    std::map<std::string, double> temperatures;
    if (!ensureConnection())
        return temperatures;
    if (knownTempKeys_.empty())
        scanSensors();
    for (const auto& key : knownTempKeys_) {
        const auto celsius = readTemperatureKey(key);
        if (celsius && *celsius > 0 && *celsius < 120)
            temperatures[labelForKey(key)] = *celsius;
    }
    return temperatures;
}

std::optional<double> SMC::readFirstInRange(std::span<const std::string_view> keys) {
    if (!ensureConnection())
        return std::nullopt;
    // Every key is read, in order, before the first believable value is taken.
    std::vector<double> values;
    for (const auto key : keys) {
        if (const auto celsius = readTemperatureKey(key))
            values.push_back(*celsius);
    }
    const auto first = std::ranges::find_if(values, [](double v) { return v > 20 && v < 120; });
    if (first == values.end())
        return std::nullopt;
    return *first;
}

std::optional<double> SMC::readCPUTemperature() {
    return readFirstInRange(cpuKeys);
}
std::optional<double> SMC::readGPUTemperature() {
    return readFirstInRange(gpuKeys);
}

std::string SMC::labelForKey(std::string_view key) {
    static const std::pair<std::string_view, std::string_view> exact[] = {
        {"TC0P", "CPU Proximity"}, {"TC0D", "CPU Die"}, {"TC0H", "CPU Heatsink"},
        {"Tg0D", "GPU Die"},       {"Tb0P", "Battery"}, {"Tp0P", "PCH/Power"}};
    static const std::pair<std::string_view, std::string_view> prefixes[] = {
        {"Tp", "CPU P-Core"}, {"Te", "CPU E-Core"}, {"Tf", "CPU Cluster"}, {"Tg", "GPU"},
        {"Tm", "Memory"},     {"Ta", "Airflow"},    {"TB", "Battery"},     {"TH", "SSD"}};
    for (const auto& [name, label] : exact) {
        if (key == name)
            return std::string(label);
    }
    for (const auto& [prefix, label] : prefixes) {
        if (key.starts_with(prefix))
            return std::string(label) + " (" + std::string(key) + ")";
    }
    return std::string(key);
}

} // namespace orb::sensors
