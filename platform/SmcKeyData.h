#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The 80-byte key-data record the system management controller's user client exchanges through
// struct method 2, and the encodings of its values. Both sides use it: the client that asks for
// keys and every platform's controller that answers.
namespace orb::platform::smc {

inline constexpr std::uint32_t openSelector = 0;   // scalar method after opening
inline constexpr std::uint32_t closeSelector = 1;  // scalar method before closing
inline constexpr std::uint32_t recordSelector = 2; // struct method taking and filling a record

enum class Command : std::uint8_t { readKey = 5, keyAtIndex = 8, keyInfo = 9 };

// Result bytes. Callers only tell zero from non-zero; the controller uses these to say why.
inline constexpr std::uint8_t success = 0x00;
inline constexpr std::uint8_t keyNotFound = 0x84;
inline constexpr std::uint8_t badArgument = 0x89;
inline constexpr std::uint8_t badCommand = 0x8B;
inline constexpr std::uint8_t indexOutOfRange = 0xB8;

// Field offsets. Unset bytes are zero; multi-byte numbers are big-endian except dataSize.
struct KeyData {
    static constexpr std::size_t size = 80;
    static constexpr std::size_t keyOffset = 0;      // 4 ASCII characters, first at byte 0
    static constexpr std::size_t dataSizeOffset = 6; // unsigned 16-bit little-endian
    static constexpr std::size_t resultOffset = 8;
    static constexpr std::size_t commandOffset = 10;
    static constexpr std::size_t data32Offset = 12; // index, data type, or key count
    static constexpr std::size_t bytesOffset = 16;  // 32 bytes of value
    static constexpr std::size_t bytesSize = 32;

    std::array<std::uint8_t, size> raw{};

    static KeyData request(std::string_view key, Command command, std::uint16_t dataSize = 0);

    std::string key() const;
    void setKey(std::string_view key);
    std::uint16_t dataSize() const;
    void setDataSize(std::uint16_t size);
    std::uint8_t result() const { return raw[resultOffset]; }
    void setResult(std::uint8_t result) { raw[resultOffset] = result; }
    std::uint8_t command() const { return raw[commandOffset]; }
    std::uint32_t data32() const; // big-endian
    void setData32(std::uint32_t value);
    std::string dataType() const; // data32 read as four characters
    void setDataType(std::string_view type);
    std::uint8_t byte(std::size_t i) const { return raw[bytesOffset + i]; }
    void setByte(std::size_t i, std::uint8_t value) { raw[bytesOffset + i] = value; }
};

// A four-character code written into 4 bytes in its written order (missing characters are
// zero), and read back in memory order; bytes that are not ASCII read as the empty string.
void writeCode(std::uint8_t* field, std::string_view code);
std::string readCode(const std::uint8_t* field);

// sp78: signed 8-bit integer part, then 1/256ths.
double decodeSp78(std::uint8_t b0, std::uint8_t b1);
std::array<std::uint8_t, 2> encodeSp78(double value);
// fpe2: unsigned 16-bit big-endian in quarters.
double decodeFpe2(std::uint8_t b0, std::uint8_t b1);
std::array<std::uint8_t, 2> encodeFpe2(double value);
// The IEEE single-precision number of 4 big-endian bytes.
double decodeFloatBigEndian(const std::uint8_t* bytes);

} // namespace orb::platform::smc
