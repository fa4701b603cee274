#include "fakes/ScratchRoot.h"
#include "helpers/fake_nvml.h"
#include "platform/linux/NvidiaAccelerators.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <dlfcn.h>
#include <sstream>
#include <thread>

using namespace orb::platform;
using orb::testing::ScratchRoot;

namespace {

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

TEST_F(NvidiaAcceleratorsTest, PublishesEachDeviceWithTheDriversFigures) {
    const FakeNvmlGpu gpus[] = {
        {"NVIDIA GeForce RTX 4070", 1, 37, 1 * GiB, 12 * GiB, 65400, 5888},
        // Asleep: nothing is read from it, so its busy figure and memory must not show.
        {"NVIDIA RTX A2000", 2, 90, 2 * GiB, 6 * GiB, 30000, 0},
    };
    configure(0, gpus, 2);
    addPciDevice("0000:01:00.0", "vendor=0x10de class=0x030000 power/runtime_status=active");
    addPciDevice("0000:02:00.0", "vendor=0x10de class=0x030200 power/runtime_status=suspended");

    NvidiaAccelerators source(root.str(), ORB_FAKE_NVML_PATH, log);
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
    EXPECT_NE(services[0]->entryId(), services[1]->entryId());
    EXPECT_EQ(log.str(), "");
}

TEST_F(NvidiaAcceleratorsTest, ALibraryThatCannotStartGivesNoDeviceAndOneLine) {
    const FakeNvmlGpu gpu{"NVIDIA GeForce GTX 1650", 1, 10, GiB, 4 * GiB, 9000, 896};
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
    const FakeNvmlGpu gpu{"NVIDIA GeForce RTX 3050 Laptop GPU", 1, 0, GiB, 4 * GiB, 5000, 2048};
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
