#pragma once

#include <string_view>

namespace orb::platform::block_storage {

// The registry class of block-storage drivers, one service per whole disk, and the keys of its
// property table: "Statistics" holds a table with the byte counters since boot (unsigned 64-bit).
inline constexpr std::string_view serviceClass = "IOBlockStorageDriver";
inline constexpr std::string_view statisticsKey = "Statistics";
inline constexpr std::string_view bytesReadKey = "Bytes (Read)";
inline constexpr std::string_view bytesWrittenKey = "Bytes (Write)";
// The disk's name, as the kernel gives it.
inline constexpr std::string_view nameKey = "BSD Name";

} // namespace orb::platform::block_storage
