#include "fakes/ScratchRoot.h"
#include "helpers/fake_nvml.h"
#include "platform/Accelerator.h"
#include "platform/linux/Hwmon.h"
#include "platform/linux/LinuxAccelerators.h"
#include "platform/linux/NvidiaAccelerators.h"

#include <algorithm>
#include <chrono>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/inotify.h>
#include <thread>
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

constexpr std::int64_t GiB = 1024LL * 1024 * 1024;

// The stand-in library, loaded here too so that the test shares the copy the program loads.
struct NvidiaAcceleratorsTest : ::testing::Test {
    void* handle = ::dlopen(ORB_FAKE_NVML_PATH, RTLD_NOW | RTLD_LOCAL);
    FakeNvmlConfigureFn configure = FakeNvmlConfigureFn(symbol("fakeNvmlConfigure"));
    FakeNvmlInitCallsFn initCalls = FakeNvmlInitCallsFn(symbol("fakeNvmlInitCalls"));
    ScratchRoot root;
    std::ostringstream log;

    void SetUp() override { ASSERT_TRUE(configure && initCalls) << ::dlerror(); }
    ~NvidiaAcceleratorsTest() override {
        if (handle)
            ::dlclose(handle);
    }
    void* symbol(const char* name) { return handle ? ::dlsym(handle, name) : nullptr; }
    void addPciDevice(const std::string& address, const std::string& words) {
        root.writeWords("sys/bus/pci/devices/" + address, words);
    }
};

// Asks for services until `done` holds for them or two seconds pass; the source answers from
// its worker's last reading, so an answer may take a few calls.
template <typename Done>
std::vector<std::unique_ptr<RegistryService>> servicesWhen(NvidiaAccelerators& source, Done done) {
    std::vector<std::unique_ptr<RegistryService>> services;
    for (int i = 0; i < 400; ++i) {
        services = source.services();
        if (done(services))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return services;
}

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

TEST(LinuxAccelerators, ASuspendedCardIsReadByNoReaderAndItsFiguresAreNotKept) {
    ScratchRoot root;
    root.copy(fixtures + "/handmade-drm/laptop");
    const auto device = root.str() + "/sys/devices/pci0000:00/0000:00:01.0/0000:01:00.0";
    auto setState = [&](const char* state) {
        root.write(device.substr(root.str().size() + 1) + "/power/runtime_status", state);
    };
    LinuxAccelerators source(root.str(), names);
    // The card's own hwmon chip, which the temperature and fan readers share.
    HwmonReader sensors(root.str(), std::chrono::milliseconds(0));
    auto cardReadings = [&] {
        std::vector<std::optional<double>> found;
        for (const auto& chip : sensors.chips())
            for (const auto& channel : chip.temperatures)
                found.push_back(channel.celsius);
        return found;
    };

    setState("active");
    const Accelerator awake{"AMD Radeon RX 6600M", 97, 2147483648, 8573157376, 41.0};
    EXPECT_EQ(accelerators(source).at(1), awake);
    EXPECT_EQ(cardReadings(), (std::vector<std::optional<double>>{71, 84, 76}));

    // Any open of the card's files would show here; its power state lives in a folder apart.
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    for (const auto& dir : {device, device + "/hwmon/hwmon5"})
        ASSERT_GE(::inotify_add_watch(watch, dir.c_str(), IN_OPEN | IN_ACCESS), 0);
    setState("suspended");
    EXPECT_EQ(accelerators(source).at(1), (Accelerator{"AMD Radeon RX 6600M", 0}));
    // Its sensors leave the table until it wakes.
    EXPECT_EQ(cardReadings(), (std::vector<std::optional<double>>(3)));
    char events[4096];
    EXPECT_LT(::read(watch, events, sizeof events), 0) << "a suspended card's file was opened";
    ::close(watch);
}

TEST_F(NvidiaAcceleratorsTest, PublishesEachDeviceWithTheDriversFigures) {
    const FakeNvmlGpu gpus[] = {
        {"NVIDIA GeForce RTX 4070", 1, 37, 1 * GiB, 12 * GiB, 65400, 5888, 63},
        // Asleep: nothing is read from it, so its busy figure, memory and temperature must not
        // show.
        {"NVIDIA RTX A2000", 2, 90, 2 * GiB, 6 * GiB, 30000, 0, 70},
    };
    configure(0, gpus, 2);
    addPciDevice("0000:01:00.0", "vendor=0x10de class=0x030000 power/runtime_status=active");
    addPciDevice("0000:02:00.0", "vendor=0x10de class=0x030200 power/runtime_status=suspended");

    // The driver has no hwmon chip: the temperature reaches the sensors from here.
    auto temperatures = std::make_shared<DriverTemperatures>();
    NvidiaAccelerators source(root.str(), ORB_FAKE_NVML_PATH, log, temperatures);
    auto services = servicesWhen(source, [](const auto& found) { return found.size() == 2; });
    ASSERT_EQ(services.size(), 2u);

    const PropertyTable awake{
        {"model", "NVIDIA GeForce RTX 4070"},
        {"gpu-core-count", 5888},
        {"PowerWatts", 65.4},
        {"PerformanceStatistics", PropertyTable{{"Device Utilization %", 37},
                                                {"In use system memory", 1 * GiB},
                                                {"Alloc system memory", 12 * GiB}}}};
    const PropertyTable asleep{
        {"model", "NVIDIA RTX A2000"},
        {"PerformanceStatistics", PropertyTable{{"Device Utilization %", 0}}}};
    EXPECT_EQ(services[0]->properties(), awake);
    EXPECT_EQ(services[1]->properties(), asleep);
    EXPECT_EQ(temperatures->sensors,
              (std::vector<std::pair<std::string, double>>{{"GPU (NVIDIA GeForce RTX 4070)", 63}}));
    EXPECT_NE(services[0]->entryId(), services[1]->entryId());
    EXPECT_EQ(log.str(), "");
}

TEST_F(NvidiaAcceleratorsTest, ALibraryThatCannotStartGivesNoDeviceAndOneLine) {
    const FakeNvmlGpu gpu{"NVIDIA GeForce GTX 1650", 1, 10, GiB, 4 * GiB, 9000, 896, 0};
    configure(9, &gpu, 1); // the kernel module is not loaded
    addPciDevice("0000:01:00.0", "vendor=0x10de class=0x030000 power/runtime_status=active");

    struct Case {
        std::string library;
        std::string reason;
    };
    for (const auto& [library, reason] :
         {Case{root.str() + "/libnvidia-ml.so.1", "libnvidia-ml.so.1"},
          Case{ORB_FAKE_NVML_PATH, "nvmlInit failed: Driver Not Loaded"}}) {
        SCOPED_TRACE(reason);
        log.str("");
        NvidiaAccelerators source(root.str(), library, log);
        servicesWhen(source, [&](const auto&) { return !log.str().empty(); });
        for (int tick = 0; tick < 10; ++tick) {
            EXPECT_TRUE(source.services().empty());
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const auto text = log.str();
        EXPECT_TRUE(text.starts_with("GPU: NVIDIA management library not available: ")) << text;
        EXPECT_NE(text.find(reason), std::string::npos) << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    }
}

TEST_F(NvidiaAcceleratorsTest, LeavesTheLibraryAloneWhileEveryDeviceSleeps) {
    const FakeNvmlGpu gpu{"NVIDIA GeForce RTX 3050 Laptop GPU", 1, 0, GiB, 4 * GiB, 5000, 2048, 0};
    configure(0, &gpu, 1);
    addPciDevice("0000:01:00.0", "vendor=0x10de class=0x030000 power/runtime_status=suspended");
    // Awake, but neither an NVIDIA graphics device: the card's sound function, the iGPU.
    addPciDevice("0000:01:00.1", "vendor=0x10de class=0x040300 power/runtime_status=active");
    addPciDevice("0000:00:02.0", "vendor=0x8086 class=0x030000 power/runtime_status=active");
    const auto initsBefore = initCalls();

    NvidiaAccelerators source(root.str(), ORB_FAKE_NVML_PATH, log);
    for (int tick = 0; tick < 40; ++tick) {
        EXPECT_TRUE(source.services().empty());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(initCalls(), initsBefore);

    // Once something else wakes it, the library starts, once.
    root.write("sys/bus/pci/devices/0000:01:00.0/power/runtime_status", "active\n");
    EXPECT_EQ(servicesWhen(source, [](const auto& found) { return !found.empty(); }).size(), 1u);
    EXPECT_EQ(initCalls(), initsBefore + 1);
    EXPECT_EQ(log.str(), "");
}
