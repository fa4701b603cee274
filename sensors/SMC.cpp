#include "sensors/SMC.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace orb::sensors {

using platform::smc::Command;
using platform::smc::KeyData;

const std::array<std::string_view, 62> SMC::scanKeys = {
    "Tp09", "Tp0T", "Tp01", "Tp05", "Tp0D", "Tp0H", "Tp0L", "Tp0P", "Tp0X", "Tp0b", "Tg05",
    "Tg0D", "Tg0L", "Tg0T", "Tg0f", "Tg0j", "Tm02", "Tm06", "Tm08", "Tm09", "Tp1h", "Tp1t",
    "Tp1p", "Tp1l", "Te05", "Te0L", "Te0P", "Te0S", "Tf04", "Tf09", "Tf0A", "Tf0B", "Tf0D",
    "Tf0E", "Tf44", "Tf49", "Tf4A", "Tf4B", "Tf4D", "Tf4E", "Tf14", "Tf18", "Tf19", "Tf1A",
    "Tf24", "Tf28", "Tf29", "Tf2A", "TaLP", "TaRF", "TH0x", "TB1T", "TB2T", "TC0P", "TC0D",
    "TC0H", "VCAC", "VCSC", "VCTC", "PSTR", "PCPT", "PCPR"};

const std::array<std::string_view, 26> SMC::cpuKeys = {
    "Tp09", "Tp0T", "Tp01", "Tp05", "Tp0D", "Tp0H", "Tp0L", "Tp0P", "Tp0X",
    "Tp0b", "Tp1h", "Tp1t", "Tp1p", "Tp1l", "Te05", "Te0L", "Te0P", "Te0S",
    "Tf04", "Tf09", "Tf0A", "Tf0B", "Tf0D", "Tf0E", "TC0P", "TC0D"};

const std::array<std::string_view, 14> SMC::gpuKeys = {"Tg0D", "Tg05", "Tg0L", "Tg0T", "Tg0f",
                                                       "Tg0j", "Tf14", "Tf18", "Tf19", "Tf1A",
                                                       "Tf24", "Tf28", "Tf29", "Tf2A"};

SMC::SMC(platform::DeviceRegistry& registry, std::ostream& log) : registry_(registry), log_(log) {
    open();
}

SMC::~SMC() {
    close();
}

void SMC::reportMissingService(const char* message) {
    // Every reading of every tick retries; the first attempt's word is enough.
    if (!std::exchange(reportedMissingService_, true))
        log_ << message << '\n' << std::flush;
}

void SMC::open() {
    auto services = registry_.matchingServices("AppleSMC");
    if (!services) {
        reportMissingService("SMC: Failed to find AppleSMC service.");
        return;
    }
    auto service = services->next();
    services.reset();
    if (!service) {
        reportMissingService("SMC: No device found in iterator.");
        return;
    }
    connection_ = registry_.openUserClient(service->entryId(), 0);
    if (!connection_)
        return;
    // The connection stays open even when the controller turns the opening call down.
    if (const auto code = connection_->callScalarMethod(platform::smc::openSelector); code != 0)
        log_ << "SMC: UserClientOpen failed: " << code << '\n' << std::flush;
    else
        log_ << "SMC: Connection established.\n" << std::flush;
}

void SMC::close() {
    if (!connection_)
        return;
    connection_->callScalarMethod(platform::smc::closeSelector);
    connection_.reset();
}

bool SMC::ensureConnection() {
    if (!connection_)
        open();
    return connection_ != nullptr;
}

std::int32_t SMC::call(const KeyData& request, KeyData& reply) {
    reply = KeyData{};
    if (!connection_)
        return -1;
    const auto code =
        connection_->callStructMethod(platform::smc::recordSelector, request.raw, reply.raw);
    if (code != 0)
        reply = KeyData{};
    return code;
}

std::optional<KeyData> SMC::exchange(const KeyData& request) {
    KeyData reply;
    if (call(request, reply) != 0 || reply.result() != platform::smc::success)
        return std::nullopt;
    return reply;
}

std::optional<KeyData> SMC::getKeyInfo(std::string_view key) {
    return exchange(KeyData::request(key, Command::keyInfo));
}

std::optional<SMC::TypedValue> SMC::readTyped(std::string_view key) {
    const auto info = getKeyInfo(key);
    if (!info)
        return std::nullopt;
    const auto reply = exchange(KeyData::request(key, Command::readKey, info->dataSize()));
    if (!reply)
        return std::nullopt;
    return TypedValue{info->dataType(), reply->byte(0), reply->byte(1)};
}

std::optional<double> SMC::readTemperatureKey(std::string_view key) {
    const auto value = readTyped(key);
    if (!value)
        return std::nullopt;
    if (value->type == "sp78")
        return platform::smc::decodeSp78(value->b0, value->b1);
    if (value->type == "fpe2")
        return value->raw() * 0.25;
    return std::nullopt;
}

std::optional<double> SMC::readFanValue(std::string_view key) {
    const auto value = readTyped(key);
    if (!value)
        return std::nullopt;
    const unsigned raw = value->raw();
    if (value->type == "fpe2")
        return raw * 0.25;
    if (value->type == "ui16")
        return raw;
    // An unknown type: quarters if that gives a believable speed, else whole rpm.
    if (const double quarters = raw * 0.25; quarters > 100 && quarters < 12000)
        return quarters;
    if (raw >= 101 && raw <= 11999)
        return raw;
    return std::nullopt;
}

std::optional<double> SMC::readProbeValue(std::string_view key) {
    if (const auto reply = exchange(KeyData::request(key, Command::readKey, 4))) {
        const double f =
            platform::smc::decodeFloatBigEndian(reply->raw.data() + KeyData::bytesOffset);
        if (!key.starts_with('T'))
            return f;
        const double s = platform::smc::decodeSp78(reply->byte(0), reply->byte(1));
        if (s > 0 && s < 120)
            return s;
        if (f > 0 && f < 120)
            return f;
        return s;
    }
    if (const auto reply = exchange(KeyData::request(key, Command::readKey, 2)))
        return platform::smc::decodeSp78(reply->byte(0), reply->byte(1));
    return std::nullopt;
}

std::optional<std::string> SMC::keyAtIndex(std::uint32_t index) {
    auto request = KeyData::request("", Command::keyAtIndex);
    request.setData32(index);
    const auto reply = exchange(request);
    if (!reply)
        return std::nullopt;
    return reply->key();
}

std::vector<int> SMC::readFanSpeeds() {
    std::vector<int> speeds;
    if (!ensureConnection())
        return speeds;
    // Desktop boards leave their first headers unconnected and graphics fans stop when cool, so
    // a fan that is missing, stopped or unconnected is passed over rather than ending the list.
    for (int fan = 0; fan < maxFans; ++fan) {
        char key[8];
        std::snprintf(key, sizeof key, "F%dAc", fan);
        const auto rpm = readFanValue(key);
        if (rpm && *rpm > 50.0)
            speeds.push_back(static_cast<int>(std::lround(*rpm)));
    }
    return speeds;
}

} // namespace orb::sensors
