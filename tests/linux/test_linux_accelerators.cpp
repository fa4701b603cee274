#include "fakes/FakePlatform.h"
#include "fakes/ScratchRoot.h"
#include "helpers/fake_nvml.h"
#include "platform/Accelerator.h"
#include "platform/linux/Hwmon.h"
#include "platform/linux/IntelBusy.h"
#include "platform/linux/LinuxAccelerators.h"
#include "platform/linux/NvidiaAccelerators.h"

#include <algorithm>
#include <chrono>
#include <dlfcn.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>

using namespace orb::platform;
using orb::testing::FakeClock;
using orb::testing::fixtures;
using orb::testing::ScratchRoot;

namespace keys = orb::platform::accelerator;
namespace stdfs = std::filesystem;

namespace {

// A root holding the name databases where a distribution installs them.
const DeviceNameDatabases names = installedDeviceNameDatabases(fixtures + "/device-names");

// What each accelerator service says, as "model busy% used/allocated bytes, power W; ...",
// absent figures left out.
std::string accelerators(ServiceSource& source) {
    std::ostringstream out;
    for (const auto& service : source.services()) {
        const auto table = service->properties();
        if (const auto* model = table->find(keys::modelKey))
            out << *model->string();
        if (const auto* value = table->find(keys::statisticsKey)) {
            const auto& statistics = *value->table();
            out << " " << *statistics.find(keys::deviceUtilizationKey)->toInt() << "%";
            if (const auto* used = statistics.find(keys::inUseMemoryKey))
                out << " " << *used->toInt64();
            if (const auto* allocated = statistics.find(keys::allocMemoryKey))
                out << "/" << *allocated->toInt64();
        }
        if (const auto* power = table->find(keys::powerKey))
            out << ", " << *power->toDouble() << " W";
        out << "; ";
    }
    return out.str();
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

const std::string igpu = "0000:00:02.0", dgpu = "0000:03:00.0";
// Hand-built Intel trees, copied into a root so that a test can move their counters on.
const std::string intelTrees = fixtures + "/handmade-intel/";

} // namespace

TEST(LinuxAccelerators, EachCardGivesItsDriversFiguresAndAName) {
    const std::tuple<std::string, DeviceNameDatabases, std::string> cases[] = {
        // Vega 10 without hwmon; the i915 card has connectors beside it and no busy figure.
        {"prometheus-procfs", names,
         "AMD Radeon RX Vega 4% 1490378752/8573157376; UHD Graphics 620; "},
        // Every file NUL-padded to 4096 bytes; a discrete card, so its PPT is its own power.
        {"lact/amd/rx6900xt", names, "AMD Radeon RX 6900 XT 3% 668274688/17163091968, 36 W; "},
        // An APU: not in amdgpu.ids; its power figure is the whole package's, so none.
        {"lact/amd/phoenix", names, "Phoenix1 0% 1272893440/4294967296; "},
        {"lact/amd/phoenix", {}, " 0% 1272893440/4294967296; "},
        {"lact/intel/a380-xe", names, "DG2 [Arc A380]; "},
        // The suspended discrete card, never seen awake, is idle and nameless.
        {"handmade-drm/laptop", names, "TigerLake-LP GT2 [Iris Xe Graphics];  0%; "},
    };
    for (const auto& [root, names, expected] : cases) {
        SCOPED_TRACE(root);
        LinuxAccelerators source(fixtures + "/" + root, names);
        EXPECT_EQ(accelerators(source), expected);
    }
    // Intel cards take their busy figure from the Intel source, which is asked of no other card.
    auto intel = std::make_shared<FixedIntelBusy>();
    LinuxAccelerators xe(fixtures + "/lact/intel/a380-xe", names, intel);
    EXPECT_EQ(accelerators(xe), "DG2 [Arc A380] 42%; ");
    LinuxAccelerators amd(fixtures + "/lact/amd/rx6900xt", names, intel);
    accelerators(amd);
    EXPECT_EQ(intel->asked, std::vector<std::string>{"0000:08:00.0"});
}

TEST(LinuxAccelerators, ASuspendedCardIsReadByNoReaderAndItsFiguresAreNotKept) {
    ScratchRoot root;
    root.copy(fixtures + "/handmade-drm/laptop");
    const std::string device = "sys/devices/pci0000:00/0000:00:01.0/0000:01:00.0";
    auto setState = [&](const char* state) { root.write(device + "/power/runtime_status", state); };
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
    const std::string iris = "TigerLake-LP GT2 [Iris Xe Graphics]; ";
    EXPECT_EQ(accelerators(source), iris + "AMD Radeon RX 6600M 97% 2147483648/8573157376, 41 W; ");
    EXPECT_EQ(cardReadings(), (std::vector<std::optional<double>>{71, 84, 76}));

    // Any open of the card's files would show here; its power state lives in a folder apart.
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    for (const auto& dir : {root.path() / device, root.path() / device / "hwmon/hwmon5"})
        ASSERT_GE(::inotify_add_watch(watch, dir.c_str(), IN_OPEN | IN_ACCESS), 0);
    setState("suspended");
    EXPECT_EQ(accelerators(source), iris + "AMD Radeon RX 6600M 0%; ");
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

    for (const auto& [library, reason] :
         {std::pair<std::string, std::string>{root.str() + "/libnvidia-ml.so.1",
                                              "libnvidia-ml.so.1"},
          {ORB_FAKE_NVML_PATH, "nvmlInit failed: Driver Not Loaded"}}) {
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

TEST(IntelBusy, IdleResidencyGivesTheBusiestTileBetweenTwoReads) {
    const std::string i915 = "sys/class/drm/card0/gt/gt0/rc6_residency_ms";
    const std::string xeRender = "sys/class/drm/card1/device/tile0/gt0/gtidle/idle_residency_ms";
    const std::string xeMedia = "sys/class/drm/card1/device/tile0/gt1/gtidle/idle_residency_ms";
    const struct {
        const char* what;
        std::optional<double> igpuBusy, dgpuBusy;
        std::array<const char*, 3> later; // the three counters 2 s on; null: left as they are
    } cases[] = {
        // The render tile idle 1 s, the media tile 2 s: gone idle while unread.
        {"idle 1.5 s of 2", 25, 50, {"81236067", "5121000", "5902000"}},
        {"idle over the wall time: idle, not below 0", 0, 0, {"81239999", "5122000", "5902500"}},
        {"one tile's counter reset", {}, {}, {"12", "5122000", "40"}},
        {"counter unreadable", {}, {}, {"", "garbage", nullptr}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchRoot root;
        root.copy(intelTrees + "residency");
        FakeClock clock;
        IntelBusy busy(root.str(), clock);
        ASSERT_EQ(busy.cards(), (std::vector<std::string>{igpu, dgpu}));
        EXPECT_EQ(busy.source(igpu), IntelBusy::Source::idleResidency);
        EXPECT_EQ(busy.source(dgpu), IntelBusy::Source::idleResidency);
        EXPECT_EQ(busy.busyPercent(igpu), std::nullopt) << "one read is no interval";
        EXPECT_EQ(busy.busyPercent(dgpu), std::nullopt);
        clock.advance(2);
        for (std::size_t i = 0; i < 3; ++i)
            if (c.later[i])
                root.write(std::array{i915, xeRender, xeMedia}[i], c.later[i]);
        EXPECT_EQ(busy.busyPercent(igpu), c.igpuBusy);
        EXPECT_EQ(busy.busyPercent(dgpu), c.dgpuBusy);
    }
}

TEST(IntelBusy, ResidencyAfterSleepOrResetStartsAfreshAndNeedsRc6) {
    ScratchRoot root;
    root.copy(intelTrees + "residency");
    const std::string file = "sys/class/drm/card0/gt/gt0/rc6_residency_ms";
    FakeClock clock;
    IntelBusy busy(root.str(), clock);
    busy.busyPercent(igpu);
    clock.advance(1);
    root.write(file, "5");
    EXPECT_EQ(busy.busyPercent(igpu), std::nullopt);
    clock.advance(2);
    root.write(file, "1505"); // the reset value is the new start
    EXPECT_EQ(busy.busyPercent(igpu), 25);

    // The counter stood still while the card slept: no figure may span that.
    root.write("sys/class/drm/card0/device/power/runtime_suspended_time", "30000");
    clock.advance(31);
    EXPECT_EQ(busy.busyPercent(igpu), std::nullopt);
    clock.advance(2);
    EXPECT_EQ(busy.busyPercent(igpu), 100);

    // With RC6 switched off its counter means nothing: the card falls back to its clients.
    root.write("sys/class/drm/card0/power/rc6_enable", "0");
    IntelBusy rc6Off(root.str(), clock);
    EXPECT_EQ(rc6Off.source(igpu), IntelBusy::Source::clientEngineTime);
    EXPECT_EQ(rc6Off.source(dgpu), IntelBusy::Source::idleResidency);
}

TEST(IntelBusy, ClientEngineTimeCountsEachClientOnce) {
    ScratchRoot root;
    root.copy(intelTrees + "clients");
    FakeClock clock;
    IntelBusy busy(root.str(), clock);
    EXPECT_EQ(busy.source(igpu), IntelBusy::Source::clientEngineTime);
    EXPECT_EQ(busy.source(dgpu), IntelBusy::Source::clientEngineTime);

    // Client 4 under three descriptors of two processes, 9 and 7: three clients. A process
    // without one is listed again only in its turn.
    root.link("proc/1500/fd/0", "/dev/null");
    const auto search = busy.rescan();
    EXPECT_EQ(search.processes, 4);
    EXPECT_EQ(search.clients, 3);
    EXPECT_EQ(busy.rescan().processes, 3);
    EXPECT_EQ(busy.busyPercent(igpu), std::nullopt);
    EXPECT_EQ(busy.busyPercent(dgpu), std::nullopt);

    // One second later: render 0.3 s (client 4) + 0.2 s (client 9), video 0.5 s over two
    // engines; the xe client's rcs 20 % of its cycles, vcs 60 % over two engines.
    clock.advance(1);
    root.copy(intelTrees + "clients-later");
    EXPECT_DOUBLE_EQ(busy.busyPercent(igpu).value_or(-1), 50);
    EXPECT_DOUBLE_EQ(busy.busyPercent(dgpu).value_or(-1), 30);

    // Nothing more ran; then the clients closed their descriptors.
    clock.advance(1);
    EXPECT_EQ(busy.busyPercent(igpu), 0);
    for (const char* pid : {"1200", "1300", "1400"})
        stdfs::remove_all(root.path() / "proc" / pid);
    clock.advance(1);
    EXPECT_EQ(busy.rescan().clients, 0);
    EXPECT_EQ(busy.busyPercent(igpu), 0) << "a card with statistics is idle without clients";
}

TEST(IntelBusy, SearchesOnlyWhereACardNeedsIt) {
    const std::string card0 = "sys/class/drm/card0/device/", card1 = "sys/class/drm/card1/device/";
    const std::string amdgpu = "DRIVER=amdgpu\nPCI_SLOT_NAME=0000:03:00.0\n";
    struct Case {
        const char* what;
        std::vector<std::string> trees;
        std::vector<std::pair<std::string, std::string>> files;
        int processes;
    } const cases[] = {
        {"no Intel card", {"clients"}, {{card0 + "uevent", amdgpu}, {card1 + "uevent", amdgpu}}, 0},
        {"every card has residency", {"clients", "residency"}, {}, 0},
        {"the only card asleep",
         {"clients"},
         {{card0 + "power/runtime_status", "suspended"}, {card1 + "uevent", amdgpu}},
         0},
        {"one awake card", {"clients"}, {{card1 + "uevent", amdgpu}}, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchRoot root;
        for (const auto& tree : c.trees)
            root.copy(intelTrees + tree);
        for (const auto& [file, text] : c.files)
            root.write(file, text);
        FakeClock clock;
        IntelBusy busy(root.str(), clock);
        EXPECT_EQ(busy.rescan().processes, c.processes);
    }
}

TEST(IntelBusy, CardWithoutStatisticsHasNoFigure) {
    // Frequencies only, as on a kernel too old for client statistics: no figure, never 0.
    ScratchRoot root;
    root.copy(intelTrees + "clients");
    for (const char* pid : {"1200", "1300", "1400"}) {
        const auto fdinfo = root.path() / "proc" / pid / "fdinfo";
        for (const auto& file : stdfs::directory_iterator(fdinfo))
            root.write(file.path().lexically_relative(root.path()),
                       "pos:\t0\ndrm-driver:\ti915\ndrm-client-id:\t4\n");
    }
    FakeClock clock;
    IntelBusy busy(root.str(), clock);
    busy.rescan();
    for (int read = 0; read < 3; ++read, clock.advance(1))
        EXPECT_EQ(busy.busyPercent(igpu), std::nullopt);
    EXPECT_EQ(busy.busyPercent("0000:09:00.0"), std::nullopt) << "not an Intel card";
}
