#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orb::platform {

// One DRM client's usage of one engine class, from its fdinfo: busy time in nanoseconds (i915),
// or busy cycles and the engine's elapsed cycles (xe).
struct DrmEngineUsage {
    std::string name; // "render", "rcs", ...
    std::optional<std::uint64_t> busyNs;
    std::optional<std::uint64_t> cycles;
    std::optional<std::uint64_t> totalCycles;
    unsigned capacity = 1; // engines of the class sharing the time
};

// What the program needs of a DRM fdinfo file.
struct DrmClientUsage {
    std::optional<std::uint64_t> clientId;
    std::vector<DrmEngineUsage> engines;
};

// The number at the start of a value such as "1234 ns".
std::optional<std::uint64_t> leadingNumber(std::string_view value);

// Reads the keys of the kernel's DRM client usage statistics; lines it does not know are left
// out, and a text without "drm-client-id" gives no client.
void parseDrmFdinfo(std::string_view text, DrmClientUsage& usage);

// Reads one file below /proc through `procFd` into `content` with a single read, as the kernel
// prints an fdinfo file whole on the first one; false when it cannot be opened or is empty.
bool readProcFile(int procFd, const std::string& relative, std::string& content);

} // namespace orb::platform
