// Property tables of any shape: every number's conversions are checked against its exact value,
// then the tables are handed, as device services and power-source descriptions, to every reader
// that walks them. The input is a byte code: a kind, then the value's bytes or entries.
#include "ByteInput.h"
#include "monitor/BatteryDetailsReader.h"
#include "monitor/PowerSourceReader.h"
#include "platform/Accelerator.h"
#include "platform/PowerSources.h"
#include "platform/PropertyValue.h"
#include "platform/SmartBattery.h"
#include "platform/linux/LinuxDeviceRegistry.h"
#include "sensors/GPUMonitor.h"
#include "sensors/IoregMonitor.h"

#include <array>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <limits>

using namespace orb::platform;
using orb::fuzz::ByteInput;

namespace {

constexpr std::array<const char*, 45> knownKeys = {"Voltage",
                                                   "Amperage",
                                                   "CycleCount",
                                                   "DesignCapacity",
                                                   "AppleRawMaxCapacity",
                                                   "Temperature",
                                                   "ExternalConnected",
                                                   "AdapterDetails",
                                                   "Watts",
                                                   "Current",
                                                   "AdapterVoltage",
                                                   "BatteryData",
                                                   "SystemPower",
                                                   "AdapterPower",
                                                   "PowerTelemetryData",
                                                   "SystemVoltageIn",
                                                   "SystemCurrentIn",
                                                   "PerformanceStatistics",
                                                   "Device Utilization %",
                                                   "GPU Activity",
                                                   "Renderer Utilization %",
                                                   "Tiler Utilization %",
                                                   "In use system memory",
                                                   "Alloc system memory",
                                                   "recoveryCount",
                                                   "gpu-core-count",
                                                   "model",
                                                   "PowerWatts",
                                                   "Type",
                                                   "Current Capacity",
                                                   "Max Capacity",
                                                   "Is Charging",
                                                   "Power Source State",
                                                   "Time to Empty",
                                                   "Time to Full Charge",
                                                   "BatteryHealth",
                                                   "name",
                                                   "Product",
                                                   "VirtualTemperature",
                                                   "die temp",
                                                   "ThermalSensor",
                                                   "InternalBattery",
                                                   "AC Power",
                                                   "Battery Power",
                                                   "sensor"};

constexpr std::array<std::string_view, 5> classes = {
    smart_battery::serviceClass, accelerator::serviceClass, "AppleEmbeddedTempSensor",
    "IOPMPowerSource", "AppleCLPC"};

PropertyTable table(ByteInput& input, int depth);

PropertyValue value(ByteInput& input, int depth) {
    switch (input.byte() % (depth < 3 ? 10 : 8)) {
    case 0:
        return input.number<std::int64_t>();
    case 1:
        return input.number<std::uint64_t>();
    case 2:
        return input.number<float>();
    case 3:
        return input.number<double>();
    case 4:
        return input.number<std::int32_t>();
    case 5:
        return input.flag();
    case 6:
    case 7:
        return (input.flag() ? std::string(knownKeys[input.byte() % knownKeys.size()])
                             : input.text());
    case 8:
        return table(input, depth + 1);
    default: {
        PropertyList list;
        for (int n = input.byte() % 4; n > 0 && !input.empty(); --n)
            list.push_back(value(input, depth + 1));
        return list;
    }
    }
}

PropertyTable table(ByteInput& input, int depth) {
    PropertyTable entries;
    for (int n = input.byte() % 8; n > 0 && !input.empty(); --n) {
        auto key =
            input.flag() ? std::string(knownKeys[input.byte() % knownKeys.size()]) : input.text(24);
        entries.set(std::move(key), value(input, depth));
    }
    return entries;
}

// The number as a long double, which holds every 64-bit integer, float and double exactly.
long double exactly(const PropertyValue& number) {
    switch (*number.numberKind()) {
    case NumberKind::Signed:
        return static_cast<long double>(*number.toInt64());
    case NumberKind::Unsigned:
        return static_cast<long double>(*number.toUInt64());
    default:
        return static_cast<long double>(*number.toDouble());
    }
}

void check(bool holds) {
    if (!holds)
        std::abort();
}

// Each conversion gives a value exactly when the target type holds the number exactly, and
// then gives that number.
void checkConversions(const PropertyValue& number) {
    if (!number.isNumber()) {
        check(!number.toInt64() && !number.toUInt64() && !number.toDouble() && !number.toFloat());
        return;
    }
    const auto kind = *number.numberKind();
    const bool floating = kind == NumberKind::Float || kind == NumberKind::Double;
    check(floating || (number.toInt64() || number.toUInt64()));
    const long double x = exactly(number);
    if (std::isnan(x)) {
        check(!number.toInt64() && !number.toUInt64() && !number.toInt());
        check(number.toDouble() && number.toFloat());
        return;
    }
    const bool whole = std::isfinite(x) && std::trunc(x) == x;
    const long double two63 = std::ldexp(1.0L, 63);
    check(number.toInt64().has_value() == (whole && x >= -two63 && x < two63));
    check(number.toUInt64().has_value() == (whole && x >= 0 && x < 2 * two63));
    check(number.toInt().has_value() == (whole && x >= INT_MIN && x <= INT_MAX));
    check(number.toDouble().has_value() ==
          (floating || static_cast<long double>(static_cast<double>(x)) == x));
    const bool fitsFloat =
        !std::isfinite(x) || (std::fabs(x) <= std::numeric_limits<float>::max() &&
                              static_cast<long double>(static_cast<float>(x)) == x);
    check(number.toFloat().has_value() == (kind == NumberKind::Float || fitsFloat));
    if (auto v = number.toInt64())
        check(static_cast<long double>(*v) == x);
    if (auto v = number.toUInt64())
        check(static_cast<long double>(*v) == x);
    if (auto v = number.toInt())
        check(static_cast<long double>(*v) == x);
    if (auto v = number.toDouble())
        check(static_cast<long double>(*v) == x);
    if (auto v = number.toFloat())
        check(static_cast<long double>(*v) == x);
}

void checkAll(const PropertyValue& v) {
    checkConversions(v);
    if (const auto* t = v.table())
        for (const auto& [key, entry] : *t)
            checkAll(entry);
    if (const auto* l = v.list())
        for (const auto& entry : *l)
            checkAll(entry);
}

class Services final : public ServiceSource {
public:
    std::vector<PropertyTable> tables;
    std::vector<std::unique_ptr<RegistryService>> services() override {
        std::vector<std::unique_ptr<RegistryService>> list;
        RegistryEntryId id = 1;
        for (const auto& properties : tables)
            list.push_back(std::make_unique<SnapshotService>(id++, properties));
        return list;
    }
    std::string_view subsystem() const override { return "fuzz"; }
};

class Descriptions final : public PowerSources {
public:
    std::vector<PropertyValue> values;
    std::optional<std::vector<PropertyValue>> descriptions() override { return values; }
    std::unique_ptr<InterestNotification> notifyChanges(std::function<void()>) override {
        return nullptr;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteInput input(data, size);
    std::array<Services*, classes.size()> byClass{};
    LinuxDeviceRegistry registry(false);
    for (std::size_t i = 0; i < classes.size(); ++i) {
        auto source = std::make_unique<Services>();
        byClass[i] = source.get();
        registry.addSource(std::string(classes[i]), std::move(source));
    }
    Descriptions sources;
    for (int n = 0; n < 8 && !input.empty(); ++n) {
        const auto where = input.byte();
        auto properties = table(input, 0);
        checkAll(properties);
        if (where % 2)
            sources.values.push_back(std::move(properties));
        else
            byClass[(where / 2) % classes.size()]->tables.push_back(std::move(properties));
    }

    orb::BatteryDetailsReader(registry).read();
    orb::GPUMonitor::readStats(registry);
    orb::IoregMonitor::read(registry);
    orb::PowerSourceReader(sources).read(false);
    return 0;
}
