#include "fakes/FakePlatform.h"

namespace orb::testing {

namespace {
template <typename Fake, typename Facility> Fake* install(std::unique_ptr<Facility>& slot) {
    slot = std::make_unique<Fake>();
    return static_cast<Fake*>(slot.get());
}
} // namespace

FakePlatform::FakePlatform()
    : clock(install<FakeClock>(platform_.clock)),
      processors(install<FakeProcessorInfo>(platform_.processors)),
      host(install<FakeHostInfo>(platform_.host)), wifi(install<FakeWiFi>(platform_.wifi)),
      memory(install<FakeVirtualMemory>(platform_.memory)),
      network(install<FakeNetworkInterfaces>(platform_.network)),
      registry(install<FakeDeviceRegistry>(platform_.registry)),
      processes(install<FakeProcessTable>(platform_.processes)),
      power(install<FakePowerSources>(platform_.power)),
      thermal(install<FakeThermalState>(platform_.thermal)) {}

} // namespace orb::testing
