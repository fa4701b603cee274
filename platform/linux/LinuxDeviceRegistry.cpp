#include "platform/linux/LinuxDeviceRegistry.h"

#include "platform/linux/SysFs.h"
#include "platform/linux/UdevInterest.h"

#include <filesystem>
#include <iterator>

namespace orb::platform {

RegistryEntryId registryEntryId(std::string_view devicePath) {
    // 64-bit FNV-1a: cheap, stable from run to run and between processes, and spread well
    // enough that the few hundred devices of a machine never collide in practice.
    std::uint64_t hash = 0xcbf29ce484222325;
    for (unsigned char c : devicePath) {
        hash ^= c;
        hash *= 0x100000001b3;
    }
    return hash;
}

std::string kernelDevicePath(const std::string& root, const std::string& sysfsEntry) {
    namespace stdfs = std::filesystem;
    std::error_code error;
    const auto sys = stdfs::canonical(linux_fs::underRoot(root, "/sys"), error);
    const auto entry = stdfs::canonical(linux_fs::underRoot(root, sysfsEntry), error);
    if (!error && !sys.empty()) {
        const auto below = entry.lexically_relative(sys);
        if (!below.empty() && *below.begin() != "..")
            return "/" + below.generic_string();
    }
    return sysfsEntry.starts_with("/sys/") ? sysfsEntry.substr(4) : sysfsEntry;
}

void LinuxDeviceRegistry::addSource(std::string className, std::unique_ptr<ServiceSource> source) {
    sources_.emplace(std::move(className), std::move(source));
}

std::unique_ptr<ServiceIterator> LinuxDeviceRegistry::matchingServices(std::string_view className) {
    std::vector<std::unique_ptr<RegistryService>> services;
    auto [first, last] = sources_.equal_range(className);
    for (auto it = first; it != last; ++it) {
        auto found = it->second->services();
        std::move(found.begin(), found.end(), std::back_inserter(services));
    }
    return std::make_unique<ServiceList>(std::move(services));
}

ServiceSource* LinuxDeviceRegistry::sourceOf(RegistryEntryId service) {
    for (auto& [className, source] : sources_) {
        for (const auto& candidate : source->services()) {
            if (candidate->entryId() == service)
                return source.get();
        }
    }
    return nullptr;
}

std::unique_ptr<UserClient> LinuxDeviceRegistry::openUserClient(RegistryEntryId service,
                                                                std::uint32_t type) {
    auto* source = sourceOf(service);
    return source ? source->openUserClient(service, type) : nullptr;
}

std::unique_ptr<InterestNotification>
LinuxDeviceRegistry::addInterestNotification(RegistryEntryId service, InterestCallback callback) {
    auto* source = watchesDevices_ ? sourceOf(service) : nullptr;
    if (!source)
        return nullptr;
    return watchUdevDevice(source->subsystem(), service, std::move(callback));
}

} // namespace orb::platform
