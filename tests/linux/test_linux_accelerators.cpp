#include "fakes/ScratchRoot.h"
#include "platform/Accelerator.h"
#include "platform/linux/LinuxAccelerators.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

using namespace orb::platform;
using orb::testing::fixtures;
using orb::testing::ScratchRoot;
namespace keys = orb::platform::accelerator;

namespace {

// A root holding the name databases where a distribution installs them.
const DeviceNameDatabases names = installedDeviceNameDatabases(fixtures + "/device-names");

// What one accelerator service says, with absent figures left empty.
struct Accelerator {
    std::optional<std::string> model = {};
    std::optional<int> busy = {};
    std::optional<std::int64_t> used = {}, allocated = {};
    std::optional<double> watts = {};
    bool operator==(const Accelerator&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Accelerator& a) {
    return out << a.model.value_or("-") << " busy " << a.busy.value_or(-1) << " used "
               << a.used.value_or(-1) << " alloc " << a.allocated.value_or(-1) << " W "
               << a.watts.value_or(-1);
}

std::vector<Accelerator> accelerators(ServiceSource& source) {
    std::vector<Accelerator> found;
    for (const auto& service : source.services()) {
        const auto table = service->properties();
        Accelerator a;
        if (const auto* model = table->find(keys::modelKey))
            a.model = *model->string();
        if (const auto* power = table->find(keys::powerKey))
            a.watts = power->toDouble();
        if (const auto* value = table->find(keys::statisticsKey)) {
            const auto& statistics = *value->table();
            a.busy = statistics.find(keys::deviceUtilizationKey)->toInt();
            if (const auto* used = statistics.find(keys::inUseMemoryKey))
                a.used = used->toInt64();
            if (const auto* allocated = statistics.find(keys::allocMemoryKey))
                a.allocated = allocated->toInt64();
        }
        found.push_back(a);
    }
    return found;
}

class FixedIntelBusy final : public IntelBusySource {
public:
    std::optional<double> busyPercent(std::string_view pciAddress) override {
        asked.emplace_back(pciAddress);
        return 41.6;
    }
    std::vector<std::string> asked;
};

} // namespace

TEST(LinuxAccelerators, EachCardGivesItsDriversFiguresAndAName) {
    struct Case {
        std::string root;
        DeviceNameDatabases names;
        std::vector<Accelerator> expected;
    };
    const Case cases[] = {
        // Vega 10 without hwmon; the i915 card has connectors beside it and no busy figure.
        {"prometheus-procfs",
         names,
         {{"AMD Radeon RX Vega", 4, 1490378752, 8573157376, {}}, {"UHD Graphics 620"}}},
        // Every file NUL-padded to 4096 bytes; a discrete card, so its PPT is its own power.
        {"lact/amd/rx6900xt", names, {{"AMD Radeon RX 6900 XT", 3, 668274688, 17163091968, 36.0}}},
        // An APU: not in amdgpu.ids; its power figure is the whole package's, so none.
        {"lact/amd/phoenix", names, {{"Phoenix1", 0, 1272893440, 4294967296, {}}}},
        {"lact/amd/phoenix", {}, {{{}, 0, 1272893440, 4294967296, {}}}},
        {"lact/intel/a380-xe", names, {{"DG2 [Arc A380]"}}},
        // The suspended discrete card, never seen awake, is idle and nameless.
        {"handmade-drm/laptop", names, {{"TigerLake-LP GT2 [Iris Xe Graphics]"}, {{}, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.root);
        LinuxAccelerators source(fixtures + "/" + c.root, c.names);
        EXPECT_EQ(accelerators(source), c.expected);
    }
}

TEST(LinuxAccelerators, IntelCardsTakeTheirBusyFigureFromTheIntelSource) {
    auto intel = std::make_shared<FixedIntelBusy>();
    LinuxAccelerators xe(fixtures + "/lact/intel/a380-xe", names, intel);
    EXPECT_EQ(accelerators(xe), (std::vector<Accelerator>{{"DG2 [Arc A380]", 42}}));
    LinuxAccelerators amd(fixtures + "/lact/amd/rx6900xt", names, intel);
    accelerators(amd);
    EXPECT_EQ(intel->asked, std::vector<std::string>{"0000:08:00.0"});
}

TEST(LinuxAccelerators, ASuspendedCardIsNotReadAndItsFiguresAreNotKept) {
    ScratchRoot root;
    root.copy(fixtures + "/handmade-drm/laptop");
    const auto device = root.str() + "/sys/devices/pci0000:00/0000:00:01.0/0000:01:00.0";
    auto setState = [&](const char* state) {
        root.write(device.substr(root.str().size() + 1) + "/power/runtime_status", state);
    };
    LinuxAccelerators source(root.str(), names);

    setState("active");
    const Accelerator awake{"AMD Radeon RX 6600M", 97, 2147483648, 8573157376, 41.0};
    EXPECT_EQ(accelerators(source).at(1), awake);

    // Any open of the card's files would show here; its power state lives in a folder apart.
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    for (const auto& dir : {device, device + "/hwmon/hwmon5"})
        ASSERT_GE(::inotify_add_watch(watch, dir.c_str(), IN_OPEN | IN_ACCESS), 0);
    setState("suspended");
    EXPECT_EQ(accelerators(source).at(1), (Accelerator{"AMD Radeon RX 6600M", 0}));
    char events[4096];
    EXPECT_LT(::read(watch, events, sizeof events), 0) << "a suspended card's file was opened";
    ::close(watch);
}
