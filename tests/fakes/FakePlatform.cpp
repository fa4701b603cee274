#include "fakes/FakePlatform.h"

namespace orb::testing {

FakePlatform::FakePlatform() {
    auto fakeClock = std::make_unique<FakeClock>();
    auto fakeProcessors = std::make_unique<FakeProcessorInfo>();
    auto fakeHost = std::make_unique<FakeHostInfo>();
    auto fakeWifi = std::make_unique<FakeWiFi>();
    clock = fakeClock.get();
    processors = fakeProcessors.get();
    host = fakeHost.get();
    wifi = fakeWifi.get();
    platform_.clock = std::move(fakeClock);
    platform_.processors = std::move(fakeProcessors);
    platform_.host = std::move(fakeHost);
    platform_.wifi = std::move(fakeWifi);
}

} // namespace orb::testing
