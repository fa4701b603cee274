#include "platform/linux/DrmFdinfo.h"

#include "platform/linux/SysFs.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace orb::platform {

namespace fs = linux_fs;

namespace {

DrmEngineUsage& engineNamed(std::vector<DrmEngineUsage>& engines, std::string_view name) {
    auto engine = std::find_if(engines.begin(), engines.end(),
                               [&](const DrmEngineUsage& e) { return e.name == name; });
    if (engine != engines.end())
        return *engine;
    engines.push_back({std::string(name), {}, {}, {}, 1});
    return engines.back();
}

} // namespace

std::optional<std::uint64_t> leadingNumber(std::string_view value) {
    value = fs::trim(value);
    return fs::parseUnsigned(value.substr(0, value.find(' ')));
}

void parseDrmFdinfo(std::string_view text, DrmClientUsage& usage) {
    usage.clientId.reset();
    usage.engines.clear();
    fs::forEachLine(text, [&](std::string_view line) {
        const auto colon = line.find(':');
        if (colon == std::string_view::npos || !line.starts_with("drm-"))
            return;
        const auto key = line.substr(0, colon);
        const auto number = leadingNumber(line.substr(colon + 1));
        if (!number)
            return;
        auto suffix = [&](std::string_view prefix) {
            return key.starts_with(prefix) && key.size() > prefix.size() ? key.substr(prefix.size())
                                                                         : std::string_view{};
        };
        if (key == "drm-client-id") {
            usage.clientId = *number;
        } else if (const auto name = suffix("drm-engine-capacity-"); !name.empty()) {
            engineNamed(usage.engines, name).capacity =
                static_cast<unsigned>(std::clamp<std::uint64_t>(*number, 1, 64));
        } else if (const auto name = suffix("drm-engine-"); !name.empty()) {
            engineNamed(usage.engines, name).busyNs = *number;
        } else if (const auto name = suffix("drm-total-cycles-"); !name.empty()) {
            engineNamed(usage.engines, name).totalCycles = *number;
        } else if (const auto name = suffix("drm-cycles-"); !name.empty()) {
            engineNamed(usage.engines, name).cycles = *number;
        }
    });
}

bool readProcFile(int procFd, const std::string& relative, std::string& content) {
    // One read: the kernel prints an fdinfo file whole on the first one.
    content.resize(8192);
    const int fd = ::openat(procFd, relative.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        content.clear();
        return false;
    }
    ssize_t length = 0;
    do
        length = ::read(fd, content.data(), content.size());
    while (length < 0 && errno == EINTR);
    ::close(fd);
    content.resize(static_cast<std::size_t>(std::max<ssize_t>(length, 0)));
    return length > 0;
}

} // namespace orb::platform
