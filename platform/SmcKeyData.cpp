#include "platform/SmcKeyData.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace orb::platform::smc {

KeyData KeyData::request(std::string_view key, Command command, std::uint16_t dataSize) {
    KeyData record;
    record.setKey(key);
    record.setDataSize(dataSize);
    record.raw[commandOffset] = static_cast<std::uint8_t>(command);
    return record;
}

std::string KeyData::key() const {
    return readCode(raw.data() + keyOffset);
}
void KeyData::setKey(std::string_view key) {
    writeCode(raw.data() + keyOffset, key);
}

std::uint16_t KeyData::dataSize() const {
    return static_cast<std::uint16_t>(raw[dataSizeOffset] | raw[dataSizeOffset + 1] << 8);
}

void KeyData::setDataSize(std::uint16_t size) {
    raw[dataSizeOffset] = static_cast<std::uint8_t>(size & 0xFF);
    raw[dataSizeOffset + 1] = static_cast<std::uint8_t>(size >> 8);
}

std::uint32_t KeyData::data32() const {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = value << 8 | raw[data32Offset + i];
    return value;
}

void KeyData::setData32(std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
        raw[data32Offset + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

std::string KeyData::dataType() const {
    return readCode(raw.data() + data32Offset);
}
void KeyData::setDataType(std::string_view type) {
    writeCode(raw.data() + data32Offset, type);
}

void writeCode(std::uint8_t* field, std::string_view code) {
    for (std::size_t i = 0; i < 4; ++i)
        field[i] = i < code.size() ? static_cast<std::uint8_t>(code[i]) : 0;
}

std::string readCode(const std::uint8_t* field) {
    if (std::any_of(field, field + 4, [](std::uint8_t b) { return b > 0x7F; }))
        return {};
    return std::string(reinterpret_cast<const char*>(field), 4);
}

double decodeSp78(std::uint8_t b0, std::uint8_t b1) {
    return static_cast<std::int8_t>(b0) + b1 / 256.0;
}

std::array<std::uint8_t, 2> encodeSp78(double value) {
    const long steps = std::lround(std::clamp(value, -128.0, 127.99609375) * 256.0);
    const auto word = static_cast<std::uint16_t>(steps & 0xFFFF); // two's complement
    return {static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word & 0xFF)};
}

double decodeFpe2(std::uint8_t b0, std::uint8_t b1) {
    return (b0 * 256 + b1) * 0.25;
}

std::array<std::uint8_t, 2> encodeFpe2(double value) {
    const auto quarters =
        static_cast<std::uint16_t>(std::lround(std::clamp(value, 0.0, 16383.75) * 4));
    return {static_cast<std::uint8_t>(quarters >> 8), static_cast<std::uint8_t>(quarters & 0xFF)};
}

double decodeFloatBigEndian(const std::uint8_t* bytes) {
    const std::uint32_t bits = std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 |
                               std::uint32_t(bytes[2]) << 8 | bytes[3];
    return std::bit_cast<float>(bits);
}

} // namespace orb::platform::smc
