#include "monitor/PowerSourceReader.h"

namespace orb {

namespace {

namespace sourceKeys = platform::power_source;

// "%d:%02d" of a count of minutes within the range the system estimates, else empty: 0, -1
// and 65535 mean it has no estimate.
std::optional<QString> hoursAndMinutes(const platform::PropertyTable& description,
                                       std::string_view key, const char* format) {
    const auto* value = description.find(key);
    const auto minutes = value ? value->toInt64() : std::nullopt;
    if (!minutes || *minutes < 1 || *minutes > 65534)
        return std::nullopt;
    return QString::asprintf(format, static_cast<int>(*minutes / 60),
                             static_cast<int>(*minutes % 60));
}

} // namespace

std::optional<PowerSourceReading> PowerSourceReader::read(bool wasCharging) {
    const auto descriptions = sources_.descriptions();
    if (!descriptions)
        return std::nullopt;
    const platform::PropertyTable* battery = nullptr;
    for (const auto& description : *descriptions) {
        const auto* table = description.table();
        const auto* type = table ? table->find(sourceKeys::typeKey) : nullptr;
        if (type && type->string() && *type->string() == sourceKeys::internalBattery) {
            battery = table;
            break;
        }
    }
    if (!battery)
        return std::nullopt;

    PowerSourceReading reading;
    const auto* current = battery->find(sourceKeys::currentCapacityKey);
    const auto* max = battery->find(sourceKeys::maxCapacityKey);
    const auto currentCapacity = current ? current->toInt64() : std::nullopt;
    const auto maxCapacity = max ? max->toInt64() : std::nullopt;
    if (currentCapacity && maxCapacity && *maxCapacity > 0)
        reading.level = static_cast<double>(*currentCapacity) / static_cast<double>(*maxCapacity);
    if (const auto* charging = battery->find(sourceKeys::isChargingKey))
        reading.isCharging = charging->toBool();
    if (const auto* state = battery->find(sourceKeys::stateKey); state && state->string())
        reading.acConnected = *state->string() == sourceKeys::acPower;
    if (const auto* empty = battery->find(sourceKeys::timeToEmptyKey); empty && empty->toInt64()) {
        reading.timeRemaining =
            hoursAndMinutes(*battery, sourceKeys::timeToEmptyKey, "%d:%02d Remaining");
        if (!reading.timeRemaining)
            reading.timeRemaining = reading.isCharging.value_or(wasCharging)
                                        ? QStringLiteral("Charging")
                                        : QStringLiteral("Calculating...");
    }
    reading.timeToFull =
        hoursAndMinutes(*battery, sourceKeys::timeToFullKey, "%d:%02d to full").value_or(QString());
    if (const auto* health = battery->find(sourceKeys::healthKey); health && health->string())
        reading.healthCondition = QString::fromStdString(*health->string());
    return reading;
}

} // namespace orb
