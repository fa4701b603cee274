#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// Takes typed values off a fuzz input: numbers from its end, so that a text seed keeps its
// beginning, and texts and bytes from its front. Past the end every value is zero or empty.
namespace orb::fuzz {

class ByteInput {
public:
    ByteInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return size_ == 0; }

    template <typename T> T number() {
        T value{};
        const auto n = sizeof(T) < size_ ? sizeof(T) : size_;
        std::memcpy(&value, data_ + size_ - n, n);
        size_ -= n;
        return value;
    }
    std::uint8_t byte() { return number<std::uint8_t>(); }
    bool flag() { return (byte() & 1) != 0; }

    // A text of up to `most` bytes, its length given by the byte before it.
    std::string text(std::size_t most = 64) {
        std::size_t length = byte();
        length = length < most ? length : most;
        length = length < size_ ? length : size_;
        std::string taken(reinterpret_cast<const char*>(data_), length);
        data_ += length;
        size_ -= length;
        return taken;
    }
    std::string rest() {
        std::string taken(reinterpret_cast<const char*>(data_), size_);
        data_ += size_;
        size_ = 0;
        return taken;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

} // namespace orb::fuzz
