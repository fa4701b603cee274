#include "fakes/FakePlatform.h"

namespace orb::testing {

FakePlatform::FakePlatform() {
    auto fakeClock = std::make_unique<FakeClock>();
    auto fakeProcessors = std::make_unique<FakeProcessorInfo>();
    auto fakeHost = std::make_unique<FakeHostInfo>();
    auto fakeWifi = std::make_unique<FakeWiFi>();
    auto fakeMemory = std::make_unique<FakeVirtualMemory>();
    auto fakeNetwork = std::make_unique<FakeNetworkInterfaces>();
    auto fakeRegistry = std::make_unique<FakeDeviceRegistry>();
    clock = fakeClock.get();
    processors = fakeProcessors.get();
    host = fakeHost.get();
    wifi = fakeWifi.get();
    memory = fakeMemory.get();
    network = fakeNetwork.get();
    registry = fakeRegistry.get();
    platform_.clock = std::move(fakeClock);
    platform_.processors = std::move(fakeProcessors);
    platform_.host = std::move(fakeHost);
    platform_.wifi = std::move(fakeWifi);
    platform_.memory = std::move(fakeMemory);
    platform_.network = std::move(fakeNetwork);
    platform_.registry = std::move(fakeRegistry);
}

} // namespace orb::testing
