#include "platform/linux/LinuxDeviceRegistry.h"

namespace orb::platform {

void LinuxDeviceRegistry::addSource(std::string className, std::unique_ptr<ServiceSource> source) {
    sources_.insert_or_assign(std::move(className), std::move(source));
}

std::unique_ptr<ServiceIterator> LinuxDeviceRegistry::matchingServices(std::string_view className) {
    auto it = sources_.find(className);
    if (it == sources_.end())
        return std::make_unique<ServiceList>(std::vector<std::unique_ptr<RegistryService>>{});
    return std::make_unique<ServiceList>(it->second->services());
}

} // namespace orb::platform
