#pragma once

#include "fakes/FakeDeviceRegistry.h"
#include "platform/Platform.h"

#include <deque>
#include <map>

namespace orb::testing {

// Platform fakes: each answers what the test put in it.
struct FakeClock final : platform::Clock {
    std::chrono::steady_clock::time_point steady{std::chrono::seconds(1000)};
    std::chrono::steady_clock::time_point now() override { return steady; }
    void advance(double seconds) {
        steady += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(seconds));
    }
};
// One sample per call; the last one repeats once the others are used up.
struct FakeProcessorInfo final : platform::ProcessorInfo {
    std::deque<std::optional<platform::ProcessorSample>> samples;
    std::optional<platform::ProcessorSample> processorTicks() override {
        if (samples.empty())
            return std::nullopt;
        auto sample = samples.front();
        if (samples.size() > 1)
            samples.pop_front();
        return sample;
    }
    unsigned processorCount() override { return 1; }
};
struct FakeHostInfo final : platform::HostInfo {
    std::optional<double> uptime;
    std::array<double, 3> loadAverages() override { return {}; }
    std::optional<double> uptimeSeconds() override { return uptime; }
    std::string brandString() override { return {}; }
    platform::CoreCounts coreCounts() override { return {}; }
};
struct FakeWiFi final : platform::WiFi {
    std::optional<platform::WiFiLink> link;
    std::optional<platform::WiFiLink> defaultInterface() override { return link; }
};
struct FakeVirtualMemory final : platform::VirtualMemory {
    std::uint64_t bytesPerPage = 0;
    std::optional<platform::PageCounts> counts;
    std::optional<std::uint64_t> size;
    std::optional<platform::SwapUsage> swap;
    std::uint64_t pageSize() override { return bytesPerPage; }
    std::optional<platform::PageCounts> pageCounts() override { return counts; }
    std::optional<std::uint64_t> memorySize() override { return size; }
    std::optional<platform::SwapUsage> swapUsage() override { return swap; }
};
struct FakeNetworkInterfaces final : platform::NetworkInterfaces {
    std::optional<std::vector<platform::NetworkInterface>> links;
    std::optional<std::vector<platform::NetworkInterface>> interfaces() override { return links; }
};
// The identifiers of `listed` in that order; those without an entry in `processes` have gone
// before they could be read.
struct FakeProcessTable final : platform::ProcessTable {
    struct Process {
        std::string path, name;
        std::uint64_t startTime = 0, cpuTime = 0, footprint = 0;
    };
    bool listable = true;
    std::vector<int> listed;
    std::map<int, Process> processes;
    std::vector<platform::RunningApplication> applications;

    bool listProcesses(std::vector<int>& pids) override {
        pids = listed;
        return listable;
    }
    bool readProcess(int pid, platform::ProcessReading& reading) override {
        const auto found = processes.find(pid);
        if (found == processes.end())
            return false;
        const Process& p = found->second;
        reading = {p.path, p.name, p.startTime, p.cpuTime, p.footprint};
        return true;
    }
    std::vector<platform::RunningApplication> runningApplications() override {
        return applications;
    }
};

// The snapshot the test put in; `onChange()` delivers a change as the event loop would.
struct FakePowerSources final : platform::PowerSources {
    std::optional<std::vector<platform::PropertyValue>> sources =
        std::vector<platform::PropertyValue>{};
    std::function<void()> onChange;
    std::optional<std::vector<platform::PropertyValue>> descriptions() override { return sources; }
    std::unique_ptr<platform::InterestNotification>
    notifyChanges(std::function<void()> changed) override {
        onChange = std::move(changed);
        return std::make_unique<platform::InterestNotification>();
    }
};

struct FakeThermalState final : platform::ThermalState {
    platform::ThermalStateLevel level = platform::thermalNominal;
    platform::ThermalStateLevel thermalState() override { return level; }
};

// A whole platform of fakes, with typed access to each for the test to script.
class FakePlatform {
    platform::Platform platform_; // first: the pointers below are taken from it

public:
    FakePlatform();
    platform::Platform& platform() { return platform_; }

    FakeClock* clock;
    FakeProcessorInfo* processors;
    FakeHostInfo* host;
    FakeWiFi* wifi;
    FakeVirtualMemory* memory;
    FakeNetworkInterfaces* network;
    FakeDeviceRegistry* registry;
    FakeProcessTable* processes;
    FakePowerSources* power;
    FakeThermalState* thermal;
};

} // namespace orb::testing
