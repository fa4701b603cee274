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

void addPciDevice(ScratchRoot& root, const std::string& address, const std::string& vendor,
                  const std::string& deviceClass, const std::string& runtimeStatus) {
    const std::string dir = "sys/bus/pci/devices/" + address + "/";
    root.write(dir + "vendor", vendor + "\n");
    root.write(dir + "class", deviceClass + "\n");
    root.write(dir + "power/runtime_status", runtimeStatus + "\n");
}

// The stand-in library, loaded here too so that the test shares the copy the program loads.
class FakeNvml {
public:
    FakeNvml() : handle_(::dlopen(ORB_FAKE_NVML_PATH, RTLD_NOW | RTLD_LOCAL)) {
        if (handle_) {
            configure =
                reinterpret_cast<FakeNvmlConfigureFn>(::dlsym(handle_, "fakeNvmlConfigure"));
            initCalls =
                reinterpret_cast<FakeNvmlInitCallsFn>(::dlsym(handle_, "fakeNvmlInitCalls"));
        }
    }
    ~FakeNvml() {
        if (handle_)
            ::dlclose(handle_);
    }
    bool loaded() const { return configure && initCalls; }

    FakeNvmlConfigureFn configure = nullptr;
    FakeNvmlInitCallsFn initCalls = nullptr;

private:
    void* handle_;
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

TEST(NvidiaAccelerators, PublishesEachDeviceWithTheDriversFigures) {
    FakeNvml fake;
    ASSERT_TRUE(fake.loaded()) << ::dlerror();
    const FakeNvmlGpu gpus[] = {
        {"NVIDIA GeForce RTX 4070", 1, 37, 1 * GiB, 12 * GiB, 65400, 5888},
        // Asleep: nothing is read from it, so its busy figure and memory must not show.
        {"NVIDIA RTX A2000", 2, 90, 2 * GiB, 6 * GiB, 30000, 0},
    };
    fake.configure(0, gpus, 2);
    ScratchRoot root;
    addPciDevice(root, "0000:01:00.0", "0x10de", "0x030000", "active");
    addPciDevice(root, "0000:02:00.0", "0x10de", "0x030200", "suspended");

    std::ostringstream log;
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

TEST(NvidiaAccelerators, ALibraryThatCannotStartGivesNoDeviceAndOneLine) {
    FakeNvml fake;
    ASSERT_TRUE(fake.loaded()) << ::dlerror();
    const FakeNvmlGpu gpu{"NVIDIA GeForce GTX 1650", 1, 10, GiB, 4 * GiB, 9000, 896};
    fake.configure(9, &gpu, 1); // the kernel module is not loaded
    ScratchRoot root;
    addPciDevice(root, "0000:01:00.0", "0x10de", "0x030000", "active");

    struct Case {
        std::string library;
        std::string reason;
    };
    for (const auto& [library, reason] :
         {Case{root.str() + "/libnvidia-ml.so.1", "libnvidia-ml.so.1"},
          Case{ORB_FAKE_NVML_PATH, "nvmlInit failed: Driver Not Loaded"}}) {
        SCOPED_TRACE(reason);
        std::ostringstream log;
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

TEST(NvidiaAccelerators, LeavesTheLibraryAloneWhileEveryDeviceSleeps) {
    FakeNvml fake;
    ASSERT_TRUE(fake.loaded()) << ::dlerror();
    const FakeNvmlGpu gpu{"NVIDIA GeForce RTX 3050 Laptop GPU", 1, 0, GiB, 4 * GiB, 5000, 2048};
    fake.configure(0, &gpu, 1);
    ScratchRoot root;
    addPciDevice(root, "0000:01:00.0", "0x10de", "0x030000", "suspended");
    // Awake, but neither an NVIDIA graphics device: the card's sound function, the iGPU.
    addPciDevice(root, "0000:01:00.1", "0x10de", "0x040300", "active");
    addPciDevice(root, "0000:00:02.0", "0x8086", "0x030000", "active");
    const auto initsBefore = fake.initCalls();

    std::ostringstream log;
    NvidiaAccelerators source(root.str(), ORB_FAKE_NVML_PATH, log);
    for (int tick = 0; tick < 40; ++tick) {
        EXPECT_TRUE(source.services().empty());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(fake.initCalls(), initsBefore);

    // Once something else wakes it, the library starts, once.
    root.write("sys/bus/pci/devices/0000:01:00.0/power/runtime_status", "active\n");
    EXPECT_EQ(servicesWhen(source, [](const auto& found) { return !found.empty(); }).size(), 1u);
    EXPECT_EQ(fake.initCalls(), initsBefore + 1);
    EXPECT_EQ(log.str(), "");
}
